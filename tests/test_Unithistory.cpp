#include "history/Unithistory.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "history/Unithistory_file.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kDay = 24 * 60 * 60;
constexpr std::int64_t kMonday = 1'796'000'000;

class HistoryTest : public ::testing::Test {
protected:
    TTempFolder folder;
    const std::string path = (folder.Path() / "data" / "history.sqlite").string();
};

TEST_F(HistoryTest, MarksNewUpdatedSeenAndOpenedWorksOverTwoLoads) {
    const struct Row {
        const char* label;
        std::string link, firstSize, secondSize;
        bool openedBetween, seenBetween;
        std::uint8_t firstMarks, secondMarks;
        std::string seenSize;  // told in the second load's marks
    } rows[] = {
        {"met twice alike, never seen: still new", "/a", "1k", "1k", false, false, kUnseen, kUnseen,
         ""},
        {"seen, then grown: updated", "/b", "2k", "5k", false, true, kUnseen, kUnseen | kUpdated,
         "2k"},
        {"opened, then grown: updated and opened", "/c", "3k", "4k", true, false, kUnseen,
         kUnseen | kUpdated | kOpened, "3k"},
        {"seen, met alike: nothing", "/d", "4k", "4k", false, true, kUnseen, 0, ""},
        {"opened, met alike: opened", "/e", "4k", "4k", true, false, kUnseen, kOpened, ""},
        {"never seen, grown: still new", "/f", "6k", "7k", false, false, kUnseen, kUnseen, ""},
        {"only in the second load: new", "/g", "", "8k", false, false, 0, kUnseen, ""},
    };
    std::vector<TMetWork> first, second;
    for (const Row& row : rows) {
        if (!row.firstSize.empty()) {
            first.push_back({row.link, row.firstSize});
        }
        second.push_back({row.link, row.secondSize});
    }
    TPageMarks before;
    {
        CHistory history(path, kMonday);
        before = history.RecordLoad(first, kMonday);
        for (const Row& row : rows) {
            if (row.openedBetween) {
                history.MarkOpened(row.link, kMonday + 60);
            }
            if (row.seenBetween) {
                const std::string_view link = row.link;
                history.MarkSeen({&link, 1});
            }
        }
    }
    // A restart in between: the marks come from the file.
    const TPageMarks after = CHistory(path, kMonday + kDay).RecordLoad(second, kMonday + kDay);
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.label);
        if (!row.firstSize.empty()) {
            EXPECT_EQ(before.marks[i], row.firstMarks);
        }
        EXPECT_EQ(after.marks[i], row.secondMarks);
        const auto seen = after.seenSizes.find(std::uint32_t(i));
        EXPECT_EQ(seen == after.seenSizes.end() ? "" : seen->second, row.seenSize);
        EXPECT_EQ(after.firstMet[i], row.firstSize.empty() ? kMonday + kDay : kMonday);
    }
}

// A clock that was wrong for a start forgets nothing and moves no date back; a year and its
// refresh lag without a work, by the clock and by the newest meeting alike, forgets it.
TEST_F(HistoryTest, OnlyAYearWithoutAWorkByClockAndHistoryAlikeForgetsIt) {
    const struct Row {
        const char* label;
        std::vector<int> pageLoadDays;  // loads without "/old", days after it was met
        int oldAloneDay;                // then a load of "/old" alone, when not 0
        int checkDay;
        bool oldKept;
        bool oldHidden = false;
    } rows[] = {
        {"daily loads", {1, 2}, 0, 3, true},
        {"one start 400 days ahead, then the right clock", {400}, 0, 1, true},
        {"one start 400 days behind, then the right clock", {-400}, 0, 1, true},
        {"400 days behind, then the right clock without the page", {-400}, 1, 2, true},
        {"a year and its lag away from the page, two loads after", {200, 396, 397}, 0, 398, false},
        {"the same with the clock back to the year's start", {200, 396, 10}, 0, 397, true},
        {"hidden, a year and its lag away from the page", {200, 396, 397}, 0, 398, true, true},
    };
    const std::vector<TMetWork> page = {{"/seen", "1k"}, {"/new", "2k"}};
    std::vector<TMetWork> all = page;
    all.push_back({"/old", "3k"});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        fs::remove_all(fs::path(path).parent_path());
        {
            CHistory history(path, kMonday);
            history.RecordLoad(all, kMonday);
            const std::string_view seen = "/seen";
            history.MarkSeen({&seen, 1});
            const std::string_view old = "/old";
            history.SetHidden({&old, 1}, row.oldHidden);
            for (const int day : row.pageLoadDays) {
                history.RecordLoad(page, kMonday + day * kDay);
            }
            if (row.oldAloneDay != 0) {
                history.RecordLoad({&all[2], 1}, kMonday + row.oldAloneDay * kDay);
            }
        }
        const std::int64_t checked = kMonday + row.checkDay * kDay;
        const TPageMarks marks = CHistory(path, checked).RecordLoad(all, checked);
        EXPECT_EQ(marks.marks,
                  (std::vector<std::uint8_t>{
                      0, kUnseen, std::uint8_t(kUnseen | (row.oldHidden ? kHidden : 0))}));
        EXPECT_EQ(marks.firstMet[0], kMonday);
        EXPECT_EQ(marks.firstMet[1], kMonday);
        EXPECT_EQ(marks.firstMet[2], row.oldKept ? kMonday : checked);
    }
}

// Random loads, marks, restarts and clock steps within a year against a plain model of the rules:
// new, updated (with the size last seen), seen, opened, and the date first met.
TEST_F(HistoryTest, FollowsAPlainModelOverRandomLoadsMarksRestartsAndClockSteps) {
    struct Work {
        std::string size, seenSize;
        std::int64_t firstMet = 0;
        bool seen = false, opened = false;
    };
    std::mt19937 random(2026);
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        fs::remove_all(fs::path(path).parent_path());
        std::map<std::string, Work> model;
        auto history = std::make_unique<CHistory>(path, kMonday);
        std::int64_t now = kMonday;
        std::vector<std::string> shown;  // the links of the last load
        for (int step = 0; step < 40; ++step) {
            // The clock goes back and forth, within 300 days: nothing is forgotten.
            now = std::clamp<std::int64_t>(now + (pick(9) - 3) * kDay + pick(kDay), kMonday,
                                           kMonday + 300 * kDay);
            switch (pick(4)) {
                case 0: {
                    history = std::make_unique<CHistory>(path, now);
                    break;
                }
                case 1: {
                    if (!shown.empty()) {
                        const std::string& link = shown[std::size_t(pick(int(shown.size())))];
                        history->MarkOpened(link, now);
                        model[link].opened = model[link].seen = true;
                        model[link].seenSize.clear();
                    }
                    break;
                }
                case 2: {
                    std::vector<std::string_view> links(shown.begin(), shown.end());
                    history->MarkSeen(links);
                    for (const std::string& link : shown) {
                        model[link].seen = true;
                        model[link].seenSize.clear();
                    }
                    break;
                }
                default: {
                    std::vector<std::string> sizes;
                    shown.clear();
                    for (int i = 0; i < 12; ++i) {
                        if (pick(2)) {
                            shown.push_back("/w/" + std::to_string(i));
                            sizes.push_back(std::to_string(1 + pick(3)) + "k");
                        }
                    }
                    std::vector<TMetWork> met;
                    for (std::size_t i = 0; i < shown.size(); ++i) {
                        met.push_back({shown[i], sizes[i]});
                    }
                    const TPageMarks marks = history->RecordLoad(met, now);
                    for (std::size_t i = 0; i < shown.size(); ++i) {
                        const bool known = model.count(shown[i]) > 0;
                        Work& work = model[shown[i]];
                        if (!known) {
                            work = {sizes[i], "", now, false, false};
                        } else if (work.size != sizes[i]) {
                            if (work.seen) {
                                work.seenSize = work.size;
                            }
                            work.size = sizes[i];
                            work.seen = false;
                        }
                        SCOPED_TRACE(shown[i] + " at step " + std::to_string(step));
                        const bool updated = !work.seen && !work.seenSize.empty();
                        EXPECT_EQ(marks.marks[i], (work.seen ? 0 : kUnseen) |
                                                      (updated ? kUpdated : 0) |
                                                      (work.opened ? kOpened : 0));
                        EXPECT_EQ(marks.firstMet[i], work.firstMet);
                        const auto seen = marks.seenSizes.find(std::uint32_t(i));
                        EXPECT_EQ(seen == marks.seenSizes.end() ? "" : seen->second,
                                  updated ? work.seenSize : "");
                    }
                }
            }
        }
    }
}

TEST_F(HistoryTest, AHiddenWorkStaysHiddenWhateverItsSizeUntilShownAgain) {
    const std::vector<TMetWork> first = {{"/a", "1k"}, {"/b", "1k"}};
    const std::vector<TMetWork> grown = {{"/a", "9k"}, {"/b", "1k"}};
    const std::string_view links[] = {"/a", "/b", "/unknown"};
    {
        CHistory history(path, kMonday);
        history.RecordLoad(first, kMonday);
        history.SetHidden(links, true);
        EXPECT_EQ(history.RecordLoad(grown, kMonday + kDay).marks,
                  (std::vector<std::uint8_t>{kUnseen | kHidden, kUnseen | kHidden}));
        history.SetHidden({&links[1], 1}, false);
    }
    EXPECT_EQ(CHistory(path, kMonday + 2 * kDay).RecordLoad(grown, kMonday + 2 * kDay).marks,
              (std::vector<std::uint8_t>{kUnseen | kHidden, kUnseen}))
        << "after a restart";
}

TEST_F(HistoryTest, TheTableFindsEveryWorkAfterGrowingPastItsFirstSize) {
    std::vector<std::string> links;
    for (int i = 0; i < 5000; ++i) {
        links.push_back("/w/" + std::to_string(i));
    }
    std::vector<TMetWork> few, many;
    for (std::size_t i = 0; i < links.size(); ++i) {
        (i < 10 ? few : many).push_back({links[i], "1k"});
    }
    many.insert(many.end(), few.begin(), few.end());
    std::vector<std::string_view> all(links.begin(), links.end());
    CHistory history(path, kMonday);
    history.RecordLoad(few, kMonday);
    history.MarkSeen({all.data(), 10});
    const TPageMarks grown = history.RecordLoad(many, kMonday);
    EXPECT_EQ(std::count(grown.marks.begin(), grown.marks.end(), kUnseen), 4990);
    history.MarkSeen(all);
    const TPageMarks again = history.RecordLoad(many, kMonday);
    EXPECT_EQ(std::count(again.marks.begin(), again.marks.end(), 0), 5000);
}

TEST_F(HistoryTest, AFailedTransactionLeavesMemoryAndFileAgreeing) {
    CHistory history(path, kMonday);
    history.RecordLoad({{{"/a", "1k"}, {"/b", "1k"}}}, kMonday);
    const std::string_view a = "/a";
    history.MarkSeen({&a, 1});
    {
        // Fails a load on its write of "/x": the last of the load below, after "/a" grew and
        // "/c" was added.
        CDatabase other(path, 1000);
        other.Execute(
            "CREATE TRIGGER fail BEFORE INSERT ON works WHEN NEW.link = X'2F78' "
            "BEGIN SELECT RAISE(ABORT, 'planted'); END");
    }
    EXPECT_THROW(history.RecordLoad({{{"/a", "2k"}, {"/c", "1k"}, {"/x", "1k"}}}, kMonday),
                 CHistoryError);
    // The trigger stays: a change of another connection would make the history read the file.
    const std::vector<TMetWork> page = {{"/a", "1k"}, {"/b", "1k"}, {"/c", "1k"}};
    const std::vector<std::uint8_t> expected = {0, kUnseen, kUnseen};
    EXPECT_EQ(history.RecordLoad(page, kMonday).marks, expected) << "the memory";
    EXPECT_EQ(CHistory(path, kMonday).RecordLoad(page, kMonday).marks, expected) << "the file";
}

TEST_F(HistoryTest, AnUnusableFileIsMovedAsideWholeAndAnOlderOneUpgraded) {
    const std::string firstLayout =
        "CREATE TABLE works(link BLOB PRIMARY KEY, size BLOB NOT NULL, seen_size BLOB NOT "
        "NULL, first_met INTEGER NOT NULL, last_met INTEGER NOT NULL, opened INTEGER NOT NULL, "
        "seen INTEGER NOT NULL) WITHOUT ROWID;"
        "INSERT INTO works VALUES(X'2F61', X'316B', X'', 1, 1796000000, 0, 1)";
    const struct Row {
        const char* label;
        std::string garbage;  // the file's bytes, or empty for made by sql
        std::string sql;
        bool moved;
        THistoryFault why;
    } rows[] = {
        {"no database at all", std::string(4096, 'x'), "", true, THistoryFault::damaged},
        {"a later version", "",
         firstLayout + "; PRAGMA user_version=" + std::to_string(kHistorySchemaVersion + 1), true,
         THistoryFault::foreign},
        {"validators in a version without them", "",
         firstLayout + "; CREATE TABLE validators(address)", true, THistoryFault::foreign},
        {"another program's table", "", "CREATE TABLE notes(x)", true, THistoryFault::foreign},
        {"works of other columns", "", "CREATE TABLE works(link, size)", true,
         THistoryFault::foreign},
        {"the first layout, without a version", "", firstLayout, false, THistoryFault::damaged},
        {"version 1, without validators", "", firstLayout + "; PRAGMA user_version=1", false,
         THistoryFault::damaged},
        {"version 2, without the hidden flag", "",
         firstLayout + "; CREATE TABLE validators(address BLOB PRIMARY KEY, etag BLOB NOT NULL, "
                       "last_modified BLOB NOT NULL, page_stamp BLOB NOT NULL) WITHOUT ROWID;"
                       "PRAGMA user_version=2",
         false, THistoryFault::damaged},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        fs::remove_all(fs::path(path).parent_path());
        fs::create_directories(fs::path(path).parent_path());
        if (row.sql.empty()) {
            folder.Write("data/history.sqlite", row.garbage);
        } else {
            CDatabase(path, 1000).Execute(row.sql.c_str());
        }
        const std::string bytes = folder.Read("data/history.sqlite");
        CHistory history(path, kMonday);
        const TPageMarks marks = history.RecordLoad({{{"/a", "1k"}}}, kMonday);
        if (row.moved) {
            EXPECT_EQ(history.MovedAside(), path + ".damaged-" + std::to_string(kMonday));
            EXPECT_EQ(history.WhyMovedAside(), row.why);
            EXPECT_EQ(folder.Read("data/history.sqlite.damaged-" + std::to_string(kMonday)), bytes);
        } else {
            EXPECT_EQ(history.MovedAside(), "");
            EXPECT_EQ(marks.marks, std::vector<std::uint8_t>{0}) << "its row kept";
            EXPECT_EQ(CDatabase(path, 1000).Integer("PRAGMA user_version"), kHistorySchemaVersion);
            history.StoreValidators("http://x/", {"\"e\"", "", "stamp"});
            EXPECT_EQ(CHistory(path, kMonday).Validators("http://x/")->etag, "\"e\"");
        }
    }
    EXPECT_THROW(CHistory((folder.Path() / "data" / "history.sqlite" / "x").string(), kMonday),
                 CHistoryError)
        << "a folder that is a file: nothing to move aside, an error";
}

TEST_F(HistoryTest, ValidatorsAreKeptPerAddressReplacedAndForgotten) {
    CHistory history(path, kMonday);
    const TPageValidators first{"\"v1\"", "Mon, 07 Dec 2026 10:00:00 GMT", "stamp 1"};
    const TPageValidators second{"", "Tue, 08 Dec 2026 10:00:00 GMT", "stamp 2"};
    EXPECT_EQ(history.Validators("http://a/"), std::nullopt);
    history.StoreValidators("http://a/", first);
    history.StoreValidators("http://b/", first);
    history.StoreValidators("http://a/", second);
    EXPECT_EQ(CHistory(path, kMonday).Validators("http://a/"), second) << "on the disk, replaced";
    EXPECT_EQ(history.Validators("http://b/"), first);
    history.StoreValidators("http://b/", {"", "", "stamp 3"});
    EXPECT_EQ(history.Validators("http://b/"), std::nullopt) << "an answer without validators";
}

// Copies of the program started at the same moment on a damaged file, round after round, at the
// same clock second: each says only what it did, and every damaged file is kept.
TEST_F(HistoryTest, CopiesStartingAtOnceOnADamagedFileKeepItAndTellTheTruth) {
    constexpr int kRounds = 30;
    fs::create_directories(fs::path(path).parent_path());
    std::map<std::string, std::string> kept;  // moved-aside name: the damaged bytes
    for (int round = 0; round < kRounds; ++round) {
        const std::string damaged =
            "damaged round " + std::to_string(round) + std::string(600, '#');
        folder.Write("data/history.sqlite", damaged);
        int start[2];
        ASSERT_EQ(pipe(start), 0);
        pid_t children[2];
        for (int copy = 0; copy < 2; ++copy) {
            children[copy] = fork();
            if (children[copy] == 0) {
                char go;
                close(start[1]);
                (void)!read(start[0], &go, 1);
                int status = 1;
                try {
                    CHistory history(path, kMonday);
                    folder.Write("said-" + std::to_string(copy), history.MovedAside());
                    status = 0;
                } catch (...) {
                }
                _exit(status);
            }
        }
        close(start[0]);
        close(start[1]);  // both copies go
        std::vector<std::string> moves;
        for (int copy = 0; copy < 2; ++copy) {
            int status = -1;
            waitpid(children[copy], &status, 0);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            const std::string said = folder.Read("said-" + std::to_string(copy));
            if (!said.empty()) {
                moves.push_back(said);
            }
        }
        ASSERT_EQ(moves.size(), 1u) << "round " << round << ": one copy found the damage";
        EXPECT_TRUE(kept.emplace(moves[0], damaged).second) << moves[0] << " was used before";
    }
    for (const auto& [name, bytes] : kept) {
        EXPECT_EQ(folder.Read(fs::path(name).lexically_relative(folder.Path()).string()), bytes)
            << name;
    }
}

// What a power cut leaves, once every synced byte is on the disk: the files as they are now.
TEST_F(HistoryTest, ACommittedLoadIsInTheFilesWhileTheHistoryIsStillOpen) {
    CHistory history(path, kMonday);
    history.RecordLoad({{{"/a", "1k"}}}, kMonday);
    const fs::path copy = folder.Path() / "copy";
    fs::create_directories(copy);
    for (const char* file : {"history.sqlite", "history.sqlite-wal"}) {
        fs::copy_file(fs::path(path).parent_path() / file, copy / file);
    }
    const TPageMarks marks = CHistory((copy / "history.sqlite").string(), kMonday + kDay)
                                 .RecordLoad({{{"/a", "1k"}}}, kMonday + kDay);
    EXPECT_EQ(marks.firstMet, std::vector<std::int64_t>{kMonday});
}

TEST_F(HistoryTest, TwoCopiesShareTheFile) {
    CHistory one(path, kMonday);
    CHistory other(path, kMonday);
    const std::vector<TMetWork> page = {{"/a", "1k"}, {"/b", "2k"}};
    one.RecordLoad(page, kMonday);
    EXPECT_EQ(other.RecordLoad(page, kMonday).marks, (std::vector<std::uint8_t>{kUnseen, kUnseen}));
    other.MarkOpened("/a", kMonday + 1);
    EXPECT_EQ(one.RecordLoad(page, kMonday + 2).marks,
              (std::vector<std::uint8_t>{kOpened, kUnseen}))
        << "what the other copy wrote is read in";
}

}  // namespace
