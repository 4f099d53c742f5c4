// The opener of this system against the test run's own desktop (tests/support/TestDesktop.h).
#include "util/Unitutils_platform.h"

#include "tests/support/TestDesktop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using namespace testdesktop;

class CountingOpener : public CDesktopOpener {
public:
    int starts = 0;
    bool StartCommand(std::string_view command, std::string_view address) override {
        ++starts;
        return CDesktopOpener::StartCommand(command, address);
    }
};

TEST(DesktopOpener, FindsTheOpenCommandOfTheDefaultApplication) {
    const std::string record = Recorder().string();
    struct Row {
        const char* type;
        std::optional<std::string> command;
    } rows[] = {
        {".html", record + " %1"},
        {".fquoted", record + " %1"},
        {".ftwice", record + " %1 %1"},
        {".fnone", record},
        {".fcodes", record + " --flag 100% %1"},
        {".ftxt", std::nullopt},
        {".zzz", std::nullopt},
        {"html", std::nullopt},
        {"", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        char out[kOpenCommandSize];
        ASSERT_EQ(FindOpenCommand(row.type, out, sizeof out), row.command.has_value());
        if (row.command) {
            EXPECT_EQ(out, *row.command);
        }
    }
}

TEST(DesktopOpener, StartsTheHandlerWithTheAddressAsOneArgument) {
    const std::string longAddress = "catalogue.example/" + std::string(2000, 'w') + ".shtml";
    struct Row {
        const char* label;
        std::string address;
        const char* type;
        std::optional<Args> args;  // the handler's arguments; none when nothing starts
    } rows[] = {
        {"host and work link", "catalogue.example/s/smith/w1.shtml", ".html",
         Args{"catalogue.example/s/smith/w1.shtml"}},
        {"quoted placeholder", "a.b/c/", ".fquoted", Args{"a.b/c/"}},
        {"placeholder twice: the first takes the address", "a.b/c/", ".ftwice",
         Args{"a.b/c/", "%1"}},
        {"other field codes dropped", "a.b/c/", ".fcodes", Args{"--flag", "100%", "a.b/c/"}},
        {"type taken from the address", "x.y/z.html", nullptr, Args{"x.y/z.html"}},
        {"address longer than 255 characters", longAddress, ".html", Args{longAddress}},
        {"handler without a place for the address", "a.b/c/", ".fnone", std::nullopt},
        {"no default application for the type", "a.b/c/", ".ftxt", std::nullopt},
        {"unknown type", "a.b/c/", ".zzz", std::nullopt},
        {"address without a dot and no type", "x/y", nullptr, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        CountingOpener opener;
        EXPECT_EQ(OpenWithHandler(row.address.c_str(), row.type, opener), row.args.has_value());
        EXPECT_EQ(opener.starts, row.args ? 1 : 0);
        EXPECT_TRUE(NoChildLeft());
        if (row.args) {
            EXPECT_EQ(WaitForRecord(), row.args);
        }
    }
}

TEST(DesktopOpener, HostileLinksReachTheProgramUnchangedAndRunNothingElse) {
    const std::string marker = (DesktopRoot() / "marker").string();
    const std::string links[] = {
        "/a b/c d.shtml",
        "/\"quoted\"/x.shtml",
        "/'single'/x.shtml",
        "/a;touch " + marker + ";/x.shtml",
        "/$(touch " + marker + ")/x.shtml",
        "/`touch " + marker + "`/x.shtml",
        "/a|touch " + marker + "&>x<y",
        "/a\\b\\\"c\\",
        "/%1 %u %%",
        "/\xCA\xF2\xEE\t\n",
    };
    for (const std::string& link : links) {
        SCOPED_TRACE(link);
        const std::string address = "catalogue.example" + link;
        EXPECT_TRUE(OpenWithHandler(address.c_str(), ".html"));
        EXPECT_EQ(WaitForRecord(), Args{address});
    }
    for (const char* address : {"-rf x.html", "--help"}) {
        SCOPED_TRACE(address);
        EXPECT_TRUE(OpenWithHandler(address, ".html"));
        EXPECT_EQ(WaitForRecord(), Args{address});
    }
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_TRUE(NoChildLeft());
}

TEST(StartDetached, RunsOnlyExecutableProgramsAndNeverAShell) {
    const fs::path marker = DesktopRoot() / "script-marker";
    const fs::path noFormat = DesktopRoot() / "no-format";
    WriteFile(noFormat, "touch " + marker.string() + "\n");
    fs::permissions(noFormat, fs::perms::owner_all);
    const fs::path notExecutable = DesktopRoot() / "not-executable";
    WriteFile(notExecutable, "#!/bin/sh\ntouch " + marker.string() + "\n");
    struct Row {
        const char* label;
        Args args;
        bool started;
    } rows[] = {
        {"no arguments", Args{}, false},
        {"empty program", Args{""}, false},
        {"missing path", Args{(DesktopRoot() / "missing").string()}, false},
        {"name not in PATH", Args{"folianta-no-such-program"}, false},
        {"a folder", Args{DesktopRoot().string()}, false},
        {"not executable", Args{notExecutable.string()}, false},
        {"executable without a known format is not handed to a shell", Args{noFormat.string()},
         false},
        {"name found in PATH", Args{"true"}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(StartDetached(row.args), row.started);
        EXPECT_TRUE(NoChildLeft());
    }
    EXPECT_FALSE(fs::exists(marker));
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    SetUpDesktop();
    const int result = RUN_ALL_TESTS();
    fs::remove_all(DesktopRoot());
    return result;
}
