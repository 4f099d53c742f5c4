#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <ostream>
#include <sstream>

#include "catalogue/Unitfolianta.h"
#include "tests/support/FileTesting.h"
#include "tests/support/PageGenerator.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

using Entry = std::array<std::string, 3>;  // link, name, comment

// The settings members of a store, as plain values that compare and print.
struct Settings {
    std::vector<Entry> autorList1{}, autorList2{};
    bool zanrCheck = false;
    std::vector<std::string> zanrList{}, zanrCheckList{};
    bool sizeMaxCheck = false;
    std::string sizeMax{};
    bool sizeMinCheck = false;
    std::string sizeMin{};
    bool autorList1Check = false, autorList2Check = false;

    bool operator==(const Settings&) const = default;
};

std::string Escaped(const std::string& text) {
    std::ostringstream out;
    out << '"';
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out << c;
        } else {
            out << "\\x" << std::hex << int(c) << std::dec;
        }
    }
    out << '"';
    return out.str();
}

void PrintTo(const Settings& s, std::ostream* os) {
    auto entries = [&](const char* key, const std::vector<Entry>& list) {
        for (const Entry& e : list) {
            *os << key << ' ' << Escaped(e[0]) << ' ' << Escaped(e[1]) << ' ' << Escaped(e[2])
                << '\n';
        }
    };
    auto names = [&](const char* key, const std::vector<std::string>& list) {
        for (const std::string& n : list) {
            *os << key << ' ' << Escaped(n) << '\n';
        }
    };
    *os << '\n';
    entries("AutorList1", s.autorList1);
    entries("AutorList2", s.autorList2);
    names("ZanrList", s.zanrList);
    names("ZanrCheckList", s.zanrCheckList);
    *os << "switches zanr " << s.zanrCheck << " max " << s.sizeMaxCheck << " min " << s.sizeMinCheck
        << " list1 " << s.autorList1Check << " list2 " << s.autorList2Check << "\nsizes "
        << Escaped(s.sizeMax) << ' ' << Escaped(s.sizeMin) << '\n';
}

Settings Read(const CFolianta& store) {
    Settings s;
    for (const TAutorInf& e : store.autorList1) {
        s.autorList1.push_back({e.link, e.name, e.comment});
    }
    for (const TAutorInf& e : store.autorList2) {
        s.autorList2.push_back({e.link, e.name, e.comment});
    }
    s.zanrCheck = store.zanrCheck;
    s.zanrList.assign(store.zanrList.begin(), store.zanrList.end());
    s.zanrCheckList.assign(store.zanrCheckList.begin(), store.zanrCheckList.end());
    s.sizeMaxCheck = store.sizeMaxCheck;
    s.sizeMax = store.sizeMax;
    s.sizeMinCheck = store.sizeMinCheck;
    s.sizeMin = store.sizeMin;
    s.autorList1Check = store.autorList1Check;
    s.autorList2Check = store.autorList2Check;
    return s;
}

void Apply(const Settings& s, CFolianta& store) {
    auto entries = [](const std::vector<Entry>& from, TAutorList& to) {
        to.clear();
        for (const Entry& e : from) {
            to.push_back(TAutorInf::Make(e[0].c_str(), e[1].c_str(), e[2].c_str()));
        }
    };
    auto names = [](const std::vector<std::string>& from, std::vector<ShortStr>& to) {
        to.clear();
        for (const std::string& n : from) {
            to.emplace_back(n.c_str());
        }
    };
    entries(s.autorList1, store.autorList1);
    entries(s.autorList2, store.autorList2);
    store.zanrCheck = s.zanrCheck;
    names(s.zanrList, store.zanrList);
    names(s.zanrCheckList, store.zanrCheckList);
    store.sizeMaxCheck = s.sizeMaxCheck;
    store.sizeMax = ShortStr(s.sizeMax.c_str());
    store.sizeMinCheck = s.sizeMinCheck;
    store.sizeMin = ShortStr(s.sizeMin.c_str());
    store.autorList1Check = s.autorList1Check;
    store.autorList2Check = s.autorList2Check;
}

// Settings held before a read: half the switches on, so that both setting and keeping show.
const Settings kBefore{.autorList1 = {{"/o/old/", "Old", "kept?"}},
                       .autorList2 = {{"/o/other/", "Other", ""}},
                       .zanrCheck = true,
                       .zanrList = {"Old genre"},
                       .zanrCheckList = {"Old genre"},
                       .sizeMaxCheck = false,
                       .sizeMax = "9k",
                       .sizeMinCheck = true,
                       .sizeMin = "1k",
                       .autorList1Check = false,
                       .autorList2Check = true};

// What every read leaves of kBefore before its lines act.
Settings KeptOfBefore() {
    Settings s = kBefore;
    s.autorList1.clear();
    s.autorList2.clear();
    s.zanrList.clear();
    s.zanrCheckList.clear();
    s.zanrCheck = false;
    return s;
}

std::string FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class SettingsFile : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        return folder.Write(name, bytes);
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    TTempFolder folder;
    const fs::path dir = folder.Path();
};

TEST_F(SettingsFile, SavedSettingsReadBackTheSame) {
    const std::string l64(64, 'l'), n64(64, 'n'), c128(128, 'c'), s32(32, '7');
    const struct Case {
        const char* label;
        Settings settings;
    } cases[] = {
        {"nothing set", {}},
        {"every switch on, empty lists",
         {.zanrCheck = true,
          .sizeMaxCheck = true,
          .sizeMax = "",
          .sizeMinCheck = true,
          .sizeMin = "",
          .autorList1Check = true,
          .autorList2Check = true}},
        {"entries, names and texts in order",
         {.autorList1 = {{"/b/bee/", "\xC1\xE8", "first"}, {"", "", ""}, {"/a/ay/", "Ay", ""}},
          .autorList2 = {{"/z/zed/", "Zed", "no\rcr"}, {"/b/bee/", "\xC1\xE8", "again"}},
          .zanrCheck = false,
          .zanrList = {"\xCF\xF0\xEE\xE7\xE0", "Love story", "", "Love story"},
          .zanrCheckList = {"Love story"},
          .sizeMaxCheck = true,
          .sizeMax = "1000\xCA",
          .sizeMinCheck = false,
          .sizeMin = "100K",
          .autorList1Check = true,
          .autorList2Check = false}},
        {"texts at full capacity, with spaces and commas",
         {.autorList1 = {{l64, n64, c128}},
          .autorList2 = {{" , lead", "trail , ", " , "}},
          .zanrList = {s32, " g "},
          .zanrCheckList = {s32},
          .sizeMax = s32,
          .sizeMin = s32}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CFolianta saved;
        Apply(c.settings, saved);
        const std::string path = (dir / "Settings.ini").string();
        ASSERT_TRUE(saved.SaveSettings(path.c_str()));
        EXPECT_EQ(FileBytes(path), saved.SettingsText());
        CFolianta loaded;
        ASSERT_TRUE(loaded.LoadSettings(path.c_str()));
        EXPECT_EQ(Read(loaded), c.settings);
        ASSERT_TRUE(saved.LoadSettings(path.c_str()));
        EXPECT_EQ(Read(saved), c.settings) << "loaded over the settings it was saved from";
        EXPECT_EQ(Names(), std::vector<std::string>{"Settings.ini"}) << "nothing left beside it";
    }
}

TEST_F(SettingsFile, TheDesignedWindowSavesTheDefaultFile) {
    // The state the window gives at a start without a settings file: the designed genres, none
    // ticked, no switch on, the designed size texts ("1000К" with a Cyrillic letter, "100K"
    // with a Latin one).
    CFolianta store;
    for (std::string_view genre : GenreNames()) {
        store.zanrList.emplace_back(ToCp1251(genre).c_str());
    }
    store.sizeMax = ShortStr(ToCp1251("1000К").c_str());
    store.sizeMin = ShortStr("100K");
    const std::string expected =
        "ZanrList,\"\xC1\xE0\xE9\xEA\xE8\"\r\n"                          // Байки
        "ZanrList,\"\xC4\xE5\xF2\xE5\xEA\xF2\xE8\xE2\"\r\n"              // Детектив
        "ZanrList,\"\xC4\xE5\xF2\xF1\xEA\xE0\xFF\"\r\n"                  // Детская
        "ZanrList,\"\xC4\xF0\xE0\xEC\xE0\xF2\xF3\xF0\xE3\xE8\xFF\"\r\n"  // Драматургия
        "ZanrList,\"\xC5\xF1\xF2\xE5\xF1\xF2\xE2\xEE\xE7\xED\xE0\xED\xE8\xE5\"\r\n"  // Естествознание
        "ZanrList,\"\xC8\xE7\xEE\xE1\xF0\xE5\xF2\xE0\xF2\xE5\xEB\xFC\xF1\xF2\xE2\xEE\"\r\n"  // Изобретательство
        "ZanrList,\"\xC8\xF1\xF2\xEE\xF0\xE8\xFF\"\r\n"          // История
        "ZanrList,\"\xCA\xE8\xE1\xE5\xF0\xEF\xE0\xED\xEA\"\r\n"  // Киберпанк
        "ZanrList,\"\xCA\xF0\xE8\xF2\xE8\xEA\xE0\"\r\n"          // Критика
        "ZanrList,\"\xCB\xE8\xF0\xE8\xEA\xE0\"\r\n"              // Лирика
        "ZanrList,\"\xCB\xE8\xF2\xEE\xE1\xE7\xEE\xF0\"\r\n"      // Литобзор
        "ZanrList,\"\xCB\xFE\xE1\xEE\xE2\xED\xFB\xE9 \xF0\xEE\xEC\xE0\xED\"\r\n"  // Любовный роман
        "ZanrList,\"\xCC\xE5\xEC\xF3\xE0\xF0\xFB\"\r\n"                           // Мемуары
        "ZanrList,\"\xCC\xE8\xF1\xF2\xE8\xEA\xE0\"\r\n"                           // Мистика
        "ZanrList,\"\xCE\xEA\xEA\xF3\xEB\xFC\xF2\xE8\xE7\xEC\"\r\n"      // Оккультизм
        "ZanrList,\"\xCF\xE0\xF0\xEE\xE4\xE8\xE8\"\r\n"                  // Пародии
        "ZanrList,\"\xCF\xE5\xF0\xE5\xE2\xEE\xE4\xFB\"\r\n"              // Переводы
        "ZanrList,\"\xCF\xEE\xEB\xE8\xF2\xE8\xEA\xE0\"\r\n"              // Политика
        "ZanrList,\"\xCF\xEE\xFD\xE7\xE8\xFF\"\r\n"                      // Поэзия
        "ZanrList,\"\xCF\xF0\xE8\xEA\xEB\xFE\xF7\xE5\xED\xE8\xFF\"\r\n"  // Приключения
        "ZanrList,\"\xCF\xF0\xEE\xE7\xE0\"\r\n"                          // Проза
        "ZanrList,\"\xCF\xF3\xE1\xEB\xE8\xF6\xE8\xF1\xF2\xE8\xEA\xE0\"\r\n"  // Публицистика
        "ZanrList,\"\xD0\xE5\xEB\xE8\xE3\xE8\xFF\"\r\n"                      // Религия
        "ZanrList,\"\xD1\xEA\xE0\xE7\xEA\xE8\"\r\n"                          // Сказки
        "ZanrList,\"\xD1\xEE\xE1\xFB\xF2\xE8\xFF\"\r\n"                      // События
        "ZanrList,\"\xD4\xE0\xED\xF2\xE0\xF1\xF2\xE8\xEA\xE0\"\r\n"          // Фантастика
        "ZanrList,\"\xD4\xE8\xEB\xEE\xF1\xEE\xF4\xE8\xFF\"\r\n"              // Философия
        "ZanrList,\"\xD4\xFD\xED\xF2\xE5\xE7\xE8\"\r\n"                      // Фэнтези
        "ZanrList,\"\xD5\xEE\xF0\xF0\xEE\xF0\"\r\n"                          // Хоррор
        "ZanrList,\"\xDD\xE7\xEE\xF2\xE5\xF0\xE8\xEA\xE0\"\r\n"              // Эзотерика
        "ZanrList,\"\xDE\xEC\xEE\xF0\"\r\n"                                  // Юмор
        "SizeMax,\"1000\xCA\"\r\n"
        "SizeMin,\"100K\"\r\n";
    const std::string path = (dir / "Settings.ini").string();
    ASSERT_TRUE(store.SaveSettings(path.c_str()));
    const std::string written = FileBytes(path);
    EXPECT_EQ(written, expected);
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 33);
}

TEST(SettingsReader, ReadsEachLineByTheScanningSteps) {
    const std::string long70 = std::string(64, 'a') + "bbbbbb";
    const std::string genre40 = std::string(32, 'g') + "12345678";
    const struct Case {
        const char* label;
        std::string file;
        std::function<void(Settings&)> change;  // what the file changes in KeptOfBefore()
    } cases[] = {
        {"an empty file", "", [](Settings&) {}},
        {"key case is ignored for Latin letters",
         "autorlist1,\"l\",\"n\",\"c\"\r\nZANRLIST,\"g\"\r\nsIZEmAXcHECK\r\nzanrcheck\r\n",
         [](Settings& s) {
             s.autorList1 = {{"l", "n", "c"}};
             s.zanrList = {"g"};
             s.sizeMaxCheck = true;
             s.zanrCheck = true;
         }},
        {"spaces before a key, after a comma and after a quote are skipped",
         "   AutorList2,  \"l\"  , \"n\" ,\"c\"  \r\n  ZanrCheckList,   \"g\"\r\n",
         [](Settings& s) {
             s.autorList2 = {{"l", "n", "c"}};
             s.zanrCheckList = {"g"};
         }},
        {"a space before the comma starts the first value at the comma",
         "AutorList1 ,\"l\",\"n\",\"c\"\r\n",
         [](Settings& s) {
             s.autorList1 = {{",", "l", "n"}};
         }},
        {"a value longer than its run feeds the next field",
         "AutorList1,\"" + long70 + "\",\"second\",\"third\"\r\nZanrList,\"" + genre40 + "\"\r\n",
         [&](Settings& s) {
             s.autorList1 = {{long70.substr(0, 64), "bbbbbb", "second"}};
             s.zanrList = {genre40.substr(0, 32)};
         }},
        {"a quote inside a value cuts it and shifts the rest",
         "AutorList1,\"l\",\"na\"me\",\"c\"\r\n",
         [](Settings& s) {
             s.autorList1 = {{"l", "na", "me"}};
         }},
        {"too few values borrow from the next line, which is still read",
         "AutorList1,\"l\",\"n\"\r\nZanrList,\"g\"\r\nSizeMax\r\nSizeMinCheck\r\n",
         [](Settings& s) {
             s.autorList1 = {{"l", "n", "\r\nZanrList,"}};
             s.zanrList = {"g"};
             s.sizeMax = "\r\nSizeMinCheck\r\n";
             s.sizeMinCheck = true;
         }},
        {"unquoted values run on to the next quote",
         "ZanrList,abc\r\nZanrCheck\r\nZanrList,\"x\"\r\nSizeMin, 5k \r\n",
         [](Settings& s) {
             s.zanrList = {"abc\r\nZanrCheck\r\nZanrList,", "x"};
             s.zanrCheck = true;
             s.sizeMin = "5k \r\n";
         }},
        {"line feeds alone end lines as CR LF do",
         "AutorList1,\"l\",\"n\",\"c\"\nZanrList,\"g\"\nAutorList1Check\n",
         [](Settings& s) {
             s.autorList1 = {{"l", "n", "c"}};
             s.zanrList = {"g"};
             s.autorList1Check = true;
         }},
        {"a last line without an end is read to the end of the data",
         "SizeMax,\"5k\"\r\nSizeMin,\"unclosed",
         [](Settings& s) {
             s.sizeMax = "5k";
             s.sizeMin = "unclosed";
         }},
        {"a tab before a key makes it unknown", "\tZanrCheck\r\n\tZanrList,\"g\"\r\n",
         [](Settings&) {}},
        {"ZanrCheckList is not taken for ZanrCheck", "ZanrCheckList,\"g\"\r\n",
         [](Settings& s) { s.zanrCheckList = {"g"}; }},
        {"a key longer than every key matches nothing",
         "AutorList1CheckX\r\nAutorList1Check\r\nSizeMaxCheck2\r\n",
         [](Settings& s) { s.autorList1Check = true; }},
        {"a switch key ignores the rest of its line", "SizeMaxCheck,\"no\" AutorList1\r\n",
         [](Settings& s) { s.sizeMaxCheck = true; }},
        {"a line with an empty key is ignored",
         "\r\nZanrList,\"g\"\r\n\r\n  \r\n,\"x\"\r\n\nZanrList,\"h\"",
         [](Settings& s) {
             s.zanrList = {"g", "h"};
         }},
        {"three empty values give an entry of three empty texts",
         "AutorList2,\"\",\"\",\"\"\r\nAutorList2",
         [](Settings& s) {
             s.autorList2 = {{"", "", ""}, {"", "", ""}};
         }},
        {"a size line without a value empties the size", "SizeMax,\"\"\r\nSizeMin",
         [](Settings& s) {
             s.sizeMax = "";
             s.sizeMin = "";
         }},
        {"a zero byte ends the scan like the end of the data",
         "ZanrList,\"a\0b\"\r\nAutorList1,\"l\0\",\"n\",\"c\"\r\nZanrCheck"s,
         [](Settings& s) {
             s.zanrList = {"a"};
             s.autorList1 = {{"l", "", ""}};
             s.zanrCheck = true;
         }},
        {"bytes above 0x7F are ordinary, typographic quotes included",
         "ZanrList,\"\x93\xCF\xF0\xEE\xE7\xE0\x94\"\r\nzanrlist,\"\xEF\"\r\n",
         [](Settings& s) {
             s.zanrList = {"\x93\xCF\xF0\xEE\xE7\xE0\x94", "\xEF"};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CFolianta store;
        Apply(kBefore, store);
        // A buffer of the file's exact size, so that a read past its end trips AddressSanitizer.
        const std::unique_ptr<char[]> exact(new char[c.file.size()]);
        std::memcpy(exact.get(), c.file.data(), c.file.size());
        store.LoadSettingsText(std::string_view(exact.get(), c.file.size()));
        Settings expected = KeptOfBefore();
        c.change(expected);
        EXPECT_EQ(Read(store), expected);
    }
}

TEST(SettingsWriter, AQuoteInAValueKeepsTheFollowingValuesInPlace) {
    CFolianta store;
    const Settings quoted{.autorList1 = {{"/q/\"link\"/", "\"Name\" Surname", "said \"hi\""},
                                         {"/n/next/", "Next", "after"}},
                          .zanrList = {"\"", "Plain"},
                          .sizeMax = "5\"k",
                          .sizeMin = "1k"};
    Apply(quoted, store);
    const std::string text = store.SettingsText();
    EXPECT_EQ(
        text.find("AutorList1,\"/q/\x94link\x94/\",\"\x94Name\x94 Surname\",\"said \x94hi\x94\""),
        0u);
    CFolianta loaded;
    loaded.LoadSettingsText(text);
    Settings expected = quoted;
    expected.autorList1[0] = {"/q/\x94link\x94/", "\x94Name\x94 Surname", "said \x94hi\x94"};
    expected.zanrList[0] = "\x94";
    expected.sizeMax = "5\x94k";
    EXPECT_EQ(Read(loaded), expected);
    EXPECT_STREQ(store.autorList1[0].name, "\"Name\" Surname") << "saving changes no member";
}

TEST(SettingsWriter, ALineEndInAValueStaysInsideItsLine) {
    // A file whose "SizeMax" line has no value: the value runs across the line end.
    CFolianta store;
    store.LoadSettingsText("SizeMax,\r\nZanrList,\"Drama\"\r\n");
    ASSERT_STREQ(store.sizeMax, "\r\nZanrList,");
    store.autorList1.push_back(TAutorInf::Make("/a/", "Two\nlines", "c"));
    const std::string text = store.SettingsText();
    CFolianta loaded;
    loaded.LoadSettingsText(text);
    EXPECT_EQ(loaded.zanrList.size(), 1u) << "the genre line is not read a second time";
    EXPECT_STREQ(loaded.sizeMax, "\r ZanrList,");
    ASSERT_EQ(loaded.autorList1.size(), 1u);
    EXPECT_STREQ(loaded.autorList1[0].name, "Two lines");
    EXPECT_STREQ(loaded.autorList1[0].comment, "c");
}

TEST_F(SettingsFile, AFileThatCannotBeReadChangesNothing) {
    const std::string tooLarge = Write("large.ini", "");
    // Sparse files: their size is what counts, no disk is used.
    ASSERT_EQ(truncate(tooLarge.c_str(), CFolianta::kMaxSettingsSize + 1), 0);
    const struct Case {
        const char* label;
        std::string path;
    } cases[] = {
        {"a missing file", (dir / "missing.ini").string()},
        {"a folder", dir.string()},
        {"a file larger than the limit", tooLarge},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CFolianta store;
        Apply(kBefore, store);
        EXPECT_FALSE(store.LoadSettings(c.path.c_str()));
        EXPECT_EQ(Read(store), kBefore);
    }

    const std::string atLimit = Write("limit.ini", "ZanrCheck\n");
    ASSERT_EQ(truncate(atLimit.c_str(), CFolianta::kMaxSettingsSize), 0);
    CFolianta store;
    Apply(kBefore, store);
    EXPECT_TRUE(store.LoadSettings(atLimit.c_str())) << "a file of the limit's size is read";
    Settings expected = KeptOfBefore();
    expected.zanrCheck = true;
    EXPECT_EQ(Read(store), expected);
}

TEST_F(SettingsFile, AFailedSaveLeavesTheOldFileAsItWasAndSaysWhy) {
    const std::string old = "ZanrList,\"old\"\r\nSizeMax,\"\"\r\nSizeMin,\"\"\r\n";
    CFolianta store;
    Apply(kBefore, store);
    for (int i = 0; i < 100; ++i) {
        store.autorList1.push_back(store.autorList1.front());
    }
    // A disk that is full for every file over 100 bytes.
    const auto fullDisk = [] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit small{100, RLIM_INFINITY};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    };
    const auto roomyDisk = [] {
        const rlimit none{RLIM_INFINITY, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &none);
    };
    const auto lockFolder = [&] {
        fs::permissions(dir, fs::perms::owner_write, fs::perm_options::remove);
    };
    const auto unlockFolder = [&] {
        fs::permissions(dir, fs::perms::owner_write, fs::perm_options::add);
    };
    const auto lockFile = [&] {
        fs::permissions(dir / "Settings.ini", fs::perms::owner_write, fs::perm_options::remove);
    };
    const struct Case {
        const char* label;
        std::string target;
        std::function<void()> arrange, restore;
        int error;
    } cases[] = {
        {"a write fails half-way (file size limit)", "Settings.ini", fullDisk, roomyDisk, EFBIG},
        {"written in place, as the folder takes no new file, on a full disk", "Settings.ini",
         [&] {
             lockFolder();
             fullDisk();
         },
         [&] {
             roomyDisk();
             unlockFolder();
         },
         EFBIG},
        {"the target is a folder", "folder", [&] { fs::create_directory(dir / "folder"); }, [] {},
         EISDIR},
        {"the folder is missing", "missing/Settings.ini", [] {}, [] {}, ENOENT},
        {"the target is a FIFO", "fifo", [&] { mkfifo((dir / "fifo").c_str(), 0600); }, [] {},
         EINVAL},
        {"the target is a device", "device", [&] { MakeDevice(dir / "device"); }, [] {}, EINVAL},
        {"the file is read-only in a writable folder", "Settings.ini", lockFile, [] {}, EACCES},
        {"the folder and the file are read-only", "Settings.ini",
         [&] {
             lockFile();
             lockFolder();
         },
         unlockFolder, EACCES},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(dir);
        fs::create_directories(dir);
        Write("Settings.ini", old);
        c.arrange();
        const std::vector<std::string> before = Names();
        bool saved = false;
        int error = 0;
        {
            const TWithoutPermissionOverride ordinaryUser;
            saved = store.SaveSettings((dir / c.target).c_str());
            error = errno;
        }
        c.restore();
        EXPECT_FALSE(saved);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(FileBytes(dir / "Settings.ini"), old);
        EXPECT_EQ(Names(), before) << "nothing is left beside the target";
    }
}

TEST_F(SettingsFile, SettingsTooLargeToReadBackAreNotWritten) {
    CFolianta store;
    const TAutorInf longest = TAutorInf::Make(std::string(64, 'l').c_str(),
                                              std::string(64, 'n').c_str(),
                                              std::string(128, 'c').c_str());
    store.autorList1.assign(std::size_t(CFolianta::kMaxSettingsSize / 256), longest);
    EXPECT_FALSE(store.SaveSettings((dir / "Settings.ini").c_str()));
    EXPECT_EQ(errno, EFBIG);
    EXPECT_FALSE(fs::exists(dir / "Settings.ini"));
}

TEST_F(SettingsFile, ASaveReplacesTheFileAndKeepsItsPermissionsAndLinks) {
    CFolianta store;
    Apply(kBefore, store);
    const std::string path = Write("real.ini", "old");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real.ini", dir / "Settings.ini");

    ASSERT_TRUE(store.SaveSettings((dir / "Settings.ini").c_str()));
    EXPECT_TRUE(fs::is_symlink(dir / "Settings.ini"));
    EXPECT_EQ(FileBytes(path), store.SettingsText());
    EXPECT_EQ(fs::status(path).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Settings.ini", "real.ini"}));
}

}  // namespace
