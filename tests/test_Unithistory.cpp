#include "history/Unithistory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kDay = 24 * 60 * 60;
constexpr std::int64_t kMonday = 1'796'000'000;

class HistoryTest : public ::testing::Test {
protected:
    // The marks of the works of a load, by link.
    std::vector<std::uint8_t> Load(CHistory& history, const std::vector<TMetWork>& works,
                                   std::int64_t now) {
        std::vector<std::uint8_t> marks;
        history.RecordLoad(works, now, marks);
        return marks;
    }

    TTempFolder folder;
    const std::string path = (folder.Path() / "data" / "history.sqlite").string();
};

TEST_F(HistoryTest, MarksNewUpdatedSeenAndOpenedWorksOverTwoLoads) {
    const struct Row {
        const char* label;
        std::string link, firstSize, secondSize;
        bool openedBetween, seenBetween;
        std::uint8_t firstMarks, secondMarks;
        std::string seenSize;  // told in the second load's details
    } rows[] = {
        {"met twice alike, never seen: still new", "/a", "1k", "1k", false, false, kUnseen,
         kUnseen, ""},
        {"seen, then grown: updated", "/b", "2k", "5k", false, true, kUnseen,
         kUnseen | kUpdated, "2k"},
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
    std::vector<std::uint8_t> firstMarks, secondMarks;
    {
        CHistory history(path, kMonday);
        firstMarks = Load(history, first, kMonday);
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
    CHistory history(path, kMonday + kDay);
    secondMarks = Load(history, second, kMonday + kDay);
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.label);
        if (!row.firstSize.empty()) {
            EXPECT_EQ(firstMarks[i], row.firstMarks);
        }
        EXPECT_EQ(secondMarks[i], row.secondMarks);
        const std::optional<TWorkDetails> details = history.Details(row.link);
        ASSERT_TRUE(details);
        EXPECT_EQ(details->seenSize, row.seenSize);
        EXPECT_EQ(details->firstMet, row.firstSize.empty() ? kMonday + kDay : kMonday);
    }
    EXPECT_FALSE(history.Details("/unknown"));
}

TEST_F(HistoryTest, ForgetsWorksNotMetForAYear) {
    const std::vector<TMetWork> both = {{"/old", "1k"}, {"/kept", "1k"}};
    const std::vector<TMetWork> kept = {{"/kept", "1k"}};
    CHistory history(path, kMonday);
    Load(history, both, kMonday);
    Load(history, kept, kMonday + 200 * kDay);
    Load(history, kept, kMonday + CHistory::kForgetAfterSeconds);
    EXPECT_TRUE(history.Details("/old")) << "a year to the second is not over a year";
    Load(history, kept, kMonday + CHistory::kForgetAfterSeconds + kDay);
    EXPECT_FALSE(history.Details("/old"));
    EXPECT_TRUE(history.Details("/kept"));
    EXPECT_FALSE(CHistory(path, kMonday).Details("/old")) << "gone from the file too";
}

TEST_F(HistoryTest, ADamagedFileIsMovedAsideAndANewHistoryMade) {
    fs::create_directories(fs::path(path).parent_path());
    const std::string damaged(4096, 'x');
    folder.Write("data/history.sqlite", damaged);
    CHistory history(path, kMonday);
    EXPECT_EQ(history.MovedAside(), path + ".damaged-" + std::to_string(kMonday));
    EXPECT_EQ(folder.Read("data/history.sqlite.damaged-" + std::to_string(kMonday)), damaged);
    EXPECT_EQ(Load(history, {{"/a", "1k"}}, kMonday), std::vector<std::uint8_t>{kUnseen});

    EXPECT_THROW(CHistory((folder.Path() / "data" / "history.sqlite" / "x").string(), kMonday),
                 std::runtime_error)
        << "a folder that is a file: nothing to move aside, an error";
}

TEST_F(HistoryTest, TwoCopiesShareTheFile) {
    CHistory one(path, kMonday);
    CHistory other(path, kMonday);
    const std::vector<TMetWork> page = {{"/a", "1k"}, {"/b", "2k"}};
    Load(one, page, kMonday);
    EXPECT_EQ(Load(other, page, kMonday), (std::vector<std::uint8_t>{kUnseen, kUnseen}));
    other.MarkOpened("/a", kMonday + 1);
    EXPECT_EQ(Load(one, page, kMonday + 2), (std::vector<std::uint8_t>{kOpened, kUnseen}))
        << "what the other copy wrote is read in";
}

}  // namespace
