#include "util/Unitutils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/PageGenerator.h"

namespace {

int Sign(int v) {
    return (v > 0) - (v < 0);
}

TEST(CompareSizeText, OrdersByLengthThenUnsignedBytes) {
    const std::string cyrK = ToCp1251("1000К");
    struct Row {
        const char* label;
        std::string a, b;
        int sign;
    } rows[] = {
        {"equal", "12k", "12k", 0},
        {"both empty", "", "", 0},
        {"empty sorts first", "", "1", -1},
        {"shorter sorts first whatever its bytes", "99k", "100k", -1},
        {"longer sorts last", "10000k", "9999k", 1},
        {"same length, first differing byte decides", "101k", "100k", 1},
        {"Latin k sorts below Cyrillic K", "1000k", cyrK, -1},
        {"Cyrillic K sorts above Latin K", cyrK, "1000K", 1},
        {"lowercase Latin above uppercase", "100k", "100K", 1},
        {"not read as numbers: leading zero", "0999", "100k", -1},
        {"high bytes compare unsigned", "\xFF", "\x01", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(Sign(CompareSizeText(row.a.c_str(), row.b.c_str())), row.sign);
        EXPECT_EQ(Sign(CompareSizeText(row.b.c_str(), row.a.c_str())), -row.sign);
    }
}

TEST(CompareSizeText, EqualLengthResultIsTheByteDifference) {
    EXPECT_EQ(CompareSizeText("1000k", "1000\xCA"), 0x6B - 0xCA);
    EXPECT_EQ(CompareSizeText("a", "a"), 0);
}

}  // namespace

namespace {

// A registry of document types held in memory, which records what the opener asks of it.
class FakeRegistry : public COpenerSystem {
public:
    static constexpr int kNotFound = 2;

    // Keys by path without the leading "\"; a key without a default value holds nothing.
    std::map<std::string, std::optional<std::string>> keys;
    std::string failingClose;
    std::vector<std::string> opened;
    std::vector<std::pair<std::string, std::string>> started;
    std::map<Key, std::string> openKeys;

    void Register(const std::string& type, const std::string& className,
                  const std::string& command) {
        keys[type] = className;
        keys[className + "\\shell\\open\\command"] = command;
    }

    int OpenKey(const char* path, Key& key) override {
        opened.push_back(path);
        std::string name = path;
        if (!name.empty() && name.front() == '\\') {
            name.erase(0, 1);
        }
        if (keys.count(name) == 0) {
            return kNotFound;
        }
        key = nextKey++;
        openKeys[key] = name;
        return 0;
    }
    int QueryValue(Key key, char* buffer, int& size) override {
        const std::optional<std::string>& value = keys.at(openKeys.at(key));
        if (!value) {
            return kNotFound;
        }
        if (value->size() >= std::size_t(size)) {
            return 234;
        }
        std::memcpy(buffer, value->c_str(), value->size() + 1);
        size = int(value->size() + 1);
        return 0;
    }
    int CloseKey(Key key) override {
        const auto it = openKeys.find(key);
        if (it == openKeys.end()) {
            return 6;
        }
        const bool fail = it->second == failingClose;
        openKeys.erase(it);
        return fail ? 1 : 0;
    }
    bool StartCommand(std::string_view command, std::string_view address) override {
        started.emplace_back(command, address);
        return true;
    }

private:
    Key nextKey = 1;
};

const std::string kHtmlCommandKey = "htmlfile\\shell\\open\\command";

TEST(FindOpenCommand, FollowsTheTypeToItsClassAndReadsTheOpenCommand) {
    FakeRegistry registry;
    registry.Register(".html", "htmlfile", "\"C:\\Browser\\browser.exe\" -url \"%1\"");
    char out[kOpenCommandSize];
    ASSERT_TRUE(FindOpenCommand(".html", out, sizeof out, registry));
    EXPECT_STREQ(out, "\"C:\\Browser\\browser.exe\" -url \"%1\"");
    EXPECT_EQ(registry.opened,
              (std::vector<std::string>{".html", "\\htmlfile\\shell\\open\\command"}));
    EXPECT_TRUE(registry.openKeys.empty());
}

TEST(FindOpenCommand, FailsOnAnyStepAndClosesEveryKeyItOpened) {
    const std::string tooLong(kOpenCommandSize, 'c');
    struct Row {
        const char* label;
        std::function<void(FakeRegistry&)> change;
        int opens;
    } rows[] = {
        {"no key for the type", [](FakeRegistry& r) { r.keys.erase(".html"); }, 1},
        {"type key without a value", [](FakeRegistry& r) { r.keys[".html"].reset(); }, 1},
        {"class name does not fit its buffer",
         [](FakeRegistry& r) { r.keys[".html"] = std::string(kClassNameSize, 'n'); }, 1},
        {"closing the type key fails", [](FakeRegistry& r) { r.failingClose = ".html"; }, 1},
        {"class without an open command", [](FakeRegistry& r) { r.keys.erase(kHtmlCommandKey); },
         2},
        {"open command key without a value",
         [](FakeRegistry& r) { r.keys[kHtmlCommandKey].reset(); }, 2},
        {"open command does not fit the caller's buffer",
         [&](FakeRegistry& r) { r.keys[kHtmlCommandKey] = tooLong; }, 2},
        {"closing the open command key fails",
         [](FakeRegistry& r) { r.failingClose = kHtmlCommandKey; }, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        FakeRegistry registry;
        registry.Register(".html", "htmlfile", "browser %1");
        row.change(registry);
        std::vector<char> out(kOpenCommandSize);
        EXPECT_FALSE(FindOpenCommand(".html", out.data(), int(out.size()), registry));
        EXPECT_EQ(int(registry.opened.size()), row.opens);
        EXPECT_TRUE(registry.openKeys.empty());
    }
}

TEST(FindOpenCommand, AnyClassNameThatFitsItsBufferFormsItsKeyPath) {
    for (const int length : {1, 235, 236, 255}) {
        SCOPED_TRACE(length);
        const std::string className(std::size_t(length), 'k');
        FakeRegistry registry;
        registry.Register(".html", className, "browser %1");
        char out[kOpenCommandSize];
        ASSERT_TRUE(FindOpenCommand(".html", out, sizeof out, registry));
        EXPECT_STREQ(out, "browser %1");
        EXPECT_EQ(registry.opened.back(), "\\" + className + "\\shell\\open\\command");
    }
}

TEST(FindOpenCommand, TheCommandAndItsZeroMustFitTheCallersSize) {
    struct Row {
        std::size_t length;
        int size;
        bool fits;
    } rows[] = {
        {255, 256, true}, {256, 256, false}, {9, 10, true},  {10, 10, false},
        {0, 1, true},     {3, 0, false},     {3, -1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.length) + " characters into " + std::to_string(row.size));
        FakeRegistry registry;
        const std::string command(row.length, 'c');
        registry.Register(".html", "htmlfile", command);
        // Exactly the size given, so a write past it is caught by the address sanitizer.
        std::vector<char> out(std::size_t(std::max(row.size, 1)), '\x7f');
        EXPECT_EQ(FindOpenCommand(".html", out.data(), row.size, registry), row.fits);
        if (row.fits) {
            EXPECT_EQ(std::string(out.data()), command);
        }
        EXPECT_TRUE(registry.openKeys.empty());
    }
}

TEST(OpenWithHandler, StartsTheCommandWithTheAddressOrRefuses) {
    const std::string longAddress = "x.y/" + std::string(1000, 'a');
    struct Row {
        const char* label;
        const char* command;  // registered for ".html"; null registers nothing
        std::string address;
        const char* type;
        bool result;
        const char* firstKey;  // the first key looked up; null when none is
    } rows[] = {
        {"quoted placeholder", "browser \"%1\"", "a.b/c/", ".html", true, ".html"},
        {"placeholder twice: the command goes whole to the start", "browser %1 %1", "a.b/c/",
         ".html", true, ".html"},
        {"no placeholder", "browser", "a.b/c/", ".html", false, ".html"},
        {"a lone percent is no placeholder", "browser % %2 1", "a.b/c/", ".html", false, ".html"},
        {"nothing registered", nullptr, "a.b/c/", ".html", false, ".html"},
        {"type from the address", "browser %1", "x.y/z.html", nullptr, true, ".html"},
        {"type from the last dot on", "browser %1", "x.html/z", nullptr, false, ".html/z"},
        {"address without a dot", "browser %1", "x/y", nullptr, false, nullptr},
        {"address of more than 255 characters", "browser %1", longAddress, ".html", true, ".html"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        FakeRegistry registry;
        if (row.command != nullptr) {
            registry.Register(".html", "htmlfile", row.command);
        }
        EXPECT_EQ(OpenWithHandler(row.address.c_str(), row.type, registry), row.result);
        if (row.firstKey == nullptr) {
            EXPECT_TRUE(registry.opened.empty());
        } else {
            ASSERT_FALSE(registry.opened.empty());
            EXPECT_EQ(registry.opened.front(), row.firstKey);
        }
        if (row.result) {
            ASSERT_EQ(registry.started.size(), 1u);
            EXPECT_EQ(registry.started[0].first, row.command);
            EXPECT_EQ(registry.started[0].second, row.address);
        } else {
            EXPECT_TRUE(registry.started.empty());
        }
        EXPECT_TRUE(registry.openKeys.empty());
    }
}

}  // namespace
