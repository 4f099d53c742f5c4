// The opener of this system against a desktop set up for the run: its own XDG folders with
// desktop entries whose Exec runs a script that records its arguments, and a mimeapps.list that
// makes them the defaults. GIO reads the XDG folders once, so main sets them before any test.
#include "util/Unitutils_platform.h"

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

using Args = std::vector<std::string>;

fs::path root;

fs::path Records() {
    return root / "records";
}

fs::path Recorder() {
    return root / "record";
}

void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

void AddApplication(const std::string& id, const std::string& arguments) {
    WriteFile(root / "data" / "applications" / id,
              "[Desktop Entry]\nType=Application\nName=" + id +
                  "\nIcon=folianta\nExec=" + Recorder().string() + arguments + "\n");
}

// The desktop: each type of the globs below has its own recording handler, but for text/plain,
// which has none. Nothing of the machine's own desktop is read.
void SetUpDesktop() {
    char folder[] = "/tmp/folianta-opener-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    root = folder;
    fs::create_directories(Records());
    fs::create_directories(root / "system-data");
    fs::create_directories(root / "system-config");
    WriteFile(Recorder(),
              "#!/bin/sh\n"
              "out=\"" +
                  Records().string() +
                  "/$$\"\n"
                  "printf '%s\\0' \"$#\" \"$@\" > \"$out.part\" && mv \"$out.part\" \"$out\"\n");
    fs::permissions(Recorder(), fs::perms::owner_all);
    WriteFile(root / "data" / "mime" / "globs2",
              "50:text/html:*.html\n"
              "50:text/plain:*.ftxt\n"
              "50:application/x-folianta-quoted:*.fquoted\n"
              "50:application/x-folianta-twice:*.ftwice\n"
              "50:application/x-folianta-none:*.fnone\n"
              "50:application/x-folianta-codes:*.fcodes\n");
    AddApplication("folianta-record.desktop", " %u");
    AddApplication("folianta-quoted.desktop", " \"%u\"");
    AddApplication("folianta-twice.desktop", " %u %u");
    AddApplication("folianta-none.desktop", "");
    AddApplication("folianta-codes.desktop", " --flag %i %c %k 100%% %f");
    WriteFile(root / "config" / "mimeapps.list",
              "[Default Applications]\n"
              "text/html=folianta-record.desktop\n"
              "application/x-folianta-quoted=folianta-quoted.desktop\n"
              "application/x-folianta-twice=folianta-twice.desktop\n"
              "application/x-folianta-none=folianta-none.desktop\n"
              "application/x-folianta-codes=folianta-codes.desktop\n");
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_DATA_DIRS", (root / "system-data").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (root / "system-config").c_str(), 1);
    unsetenv("XDG_CURRENT_DESKTOP");
}

// The arguments of the next program the recorder saw. The deadline only guards against a hang.
std::optional<Args> WaitForRecord() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        for (const fs::directory_entry& entry : fs::directory_iterator(Records())) {
            if (entry.path().extension() == ".part") {
                continue;
            }
            std::ifstream in(entry.path(), std::ios::binary);
            Args fields;
            std::string field;
            while (std::getline(in, field, '\0')) {
                fields.push_back(field);
            }
            in.close();
            fs::remove(entry.path());
            if (fields.empty() || fields[0] != std::to_string(fields.size() - 1)) {
                ADD_FAILURE() << "broken record " << entry.path();
                return std::nullopt;
            }
            return Args(fields.begin() + 1, fields.end());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

bool NoChildLeft() {
    return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

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
    const std::string marker = (root / "marker").string();
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
    const fs::path marker = root / "script-marker";
    const fs::path noFormat = root / "no-format";
    WriteFile(noFormat, "touch " + marker.string() + "\n");
    fs::permissions(noFormat, fs::perms::owner_all);
    const fs::path notExecutable = root / "not-executable";
    WriteFile(notExecutable, "#!/bin/sh\ntouch " + marker.string() + "\n");
    struct Row {
        const char* label;
        Args args;
        bool started;
    } rows[] = {
        {"no arguments", Args{}, false},
        {"empty program", Args{""}, false},
        {"missing path", Args{(root / "missing").string()}, false},
        {"name not in PATH", Args{"folianta-no-such-program"}, false},
        {"a folder", Args{root.string()}, false},
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
    fs::remove_all(root);
    return result;
}
