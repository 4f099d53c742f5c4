#pragma once

// A desktop of the test run's own for the system opener: XDG folders with desktop entries whose
// Exec runs a script that records its arguments, and a mimeapps.list that makes them the
// defaults (text/html included). GIO reads the XDG folders once, so a test program calls
// SetUpDesktop in main, before anything asks GIO.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testdesktop {

namespace fs = std::filesystem;

using Args = std::vector<std::string>;

inline fs::path& DesktopRoot() {
    static fs::path root;
    return root;
}

inline fs::path Records() {
    return DesktopRoot() / "records";
}

inline fs::path Recorder() {
    return DesktopRoot() / "record";
}

inline void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline void AddApplication(const std::string& id, const std::string& arguments) {
    WriteFile(DesktopRoot() / "data" / "applications" / id,
              "[Desktop Entry]\nType=Application\nName=" + id +
                  "\nIcon=folianta\nExec=" + Recorder().string() + arguments + "\n");
}

// The desktop: each type of the globs below has its own recording handler, but for text/plain,
// which has none. Nothing of the machine's own desktop is read.
inline void SetUpDesktop() {
    char folder[] = "/tmp/folianta-opener-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    DesktopRoot() = folder;
    fs::create_directories(Records());
    fs::create_directories(DesktopRoot() / "system-data");
    fs::create_directories(DesktopRoot() / "system-config");
    WriteFile(Recorder(),
              "#!/bin/sh\n"
              "out=\"" +
                  Records().string() +
                  "/$$\"\n"
                  "printf '%s\\0' \"$#\" \"$@\" > \"$out.part\" && mv \"$out.part\" \"$out\"\n");
    fs::permissions(Recorder(), fs::perms::owner_all);
    WriteFile(DesktopRoot() / "data" / "mime" / "globs2",
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
    WriteFile(DesktopRoot() / "config" / "mimeapps.list",
              "[Default Applications]\n"
              "text/html=folianta-record.desktop\n"
              "application/x-folianta-quoted=folianta-quoted.desktop\n"
              "application/x-folianta-twice=folianta-twice.desktop\n"
              "application/x-folianta-none=folianta-none.desktop\n"
              "application/x-folianta-codes=folianta-codes.desktop\n");
    setenv("XDG_DATA_HOME", (DesktopRoot() / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (DesktopRoot() / "config").c_str(), 1);
    setenv("XDG_DATA_DIRS", (DesktopRoot() / "system-data").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (DesktopRoot() / "system-config").c_str(), 1);
    unsetenv("XDG_CURRENT_DESKTOP");
}

// The arguments of the next program the recorder saw. The deadline only guards against a hang.
inline std::optional<Args> WaitForRecord() {
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

inline bool NoChildLeft() {
    return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

}  // namespace testdesktop
