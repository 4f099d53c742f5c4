#include "util/Unitutils_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/FileTesting.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

// The test program is linked with fsync and rename wrapped (-Wl,--wrap), so that these tests
// can watch what a save syncs and renames.
extern "C" int __real_fsync(int fd);
extern "C" int __real_rename(const char* from, const char* to);

namespace {

// While alive, records the wrapped calls, paths relative to folder, and makes the sync of a
// folder fail with folderSyncError (0: never). Otherwise the calls do what they always do.
class TSyncWatch {
public:
    TSyncWatch(const fs::path& folder, int folderSyncError)
        : folder(fs::canonical(folder)), folderSyncError(folderSyncError) {
        active = this;
    }
    ~TSyncWatch() { active = nullptr; }
    TSyncWatch(const TSyncWatch&) = delete;
    TSyncWatch& operator=(const TSyncWatch&) = delete;

    static inline TSyncWatch* active = nullptr;
    const fs::path folder;
    const int folderSyncError;
    std::vector<std::string> calls;

    std::string Relative(const fs::path& path) const {
        return fs::weakly_canonical(path).lexically_relative(folder).string();
    }
};

}  // namespace

extern "C" int __wrap_fsync(int fd) {
    TSyncWatch* watch = TSyncWatch::active;
    if (!watch) {
        return __real_fsync(fd);
    }
    struct stat info {};
    const bool isFolder = fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
    watch->calls.push_back(
        std::string(isFolder ? "sync folder " : "sync file ") +
        watch->Relative(fs::read_symlink("/proc/self/fd/" + std::to_string(fd))));
    if (isFolder && watch->folderSyncError != 0) {
        errno = watch->folderSyncError;
        return -1;
    }
    return __real_fsync(fd);
}

extern "C" int __wrap_rename(const char* from, const char* to) {
    if (TSyncWatch* watch = TSyncWatch::active) {
        watch->calls.push_back("rename " + watch->Relative(from) + " " + watch->Relative(to));
    }
    return __real_rename(from, to);
}

namespace {

constexpr mode_t kTestUmask = 022;

// A folder of each test's own, with a known umask, so that a new file's mode is known.
class FileTest : public ::testing::Test {
protected:
    void SetUp() override { previousUmask = umask(kTestUmask); }
    void TearDown() override { umask(previousUmask); }
    std::string Write(const std::string& name, const std::string& bytes,
                      fs::perms mode = fs::perms::owner_read | fs::perms::owner_write) {
        const std::string path = folder.Write(name, bytes);
        fs::permissions(path, mode);
        return path;
    }
    // Every entry under the folder, by path: its kind, and a file's mode and bytes or a link's
    // text; so that two listings are equal only when nothing was changed, added or left.
    std::map<std::string, std::string> Listing() const {
        std::map<std::string, std::string> entries;
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir)) {
            const fs::file_status status = e.symlink_status();
            std::string& entry = entries[e.path().lexically_relative(dir).string()];
            if (fs::is_symlink(status)) {
                entry = "link to " + fs::read_symlink(e.path()).string();
            } else if (fs::is_regular_file(status)) {
                entry = FileEntry(e.path(), status.permissions());
            } else {
                entry = "kind " + std::to_string(int(status.type()));
            }
        }
        return entries;
    }
    static std::string FileEntry(const fs::path& path, fs::perms mode) {
        std::ostringstream bytes;
        bytes << std::ifstream(path, std::ios::binary).rdbuf();
        return "file " + std::to_string(int(mode)) + ": " + bytes.str();
    }

    TTempFolder folder;
    const fs::path dir = folder.Path();
    mode_t previousUmask = 0;
};

TEST_F(FileTest, ReadsARegularFileWithinItsLimitAndRefusesAnythingElseAtOnce) {
    constexpr std::int64_t kLimit = 8;
    const struct Case {
        const char* label;
        std::function<std::string()> make;
        std::optional<std::string> bytes;
    } cases[] = {
        {"a regular file", [&] { return Write("f", "bytes"); }, "bytes"},
        {"an empty file", [&] { return Write("f", ""); }, ""},
        {"a file of the limit's size", [&] { return Write("f", "12345678"); }, "12345678"},
        {"a file over the limit", [&] { return Write("f", "123456789"); }, std::nullopt},
        {"a link to a regular file",
         [&] {
             Write("f", "bytes");
             fs::create_symlink("f", dir / "link");
             return (dir / "link").string();
         },
         "bytes"},
        {"a missing file", [&] { return (dir / "missing").string(); }, std::nullopt},
        {"a folder", [&] { return dir.string(); }, std::nullopt},
        {"a FIFO without a writer",
         [&] {
             mkfifo((dir / "fifo").c_str(), 0600);
             return (dir / "fifo").string();
         },
         std::nullopt},
        // Reading it would give endless zero bytes; its size is 0.
        {"a link to a device",
         [&] {
             fs::create_symlink("/dev/zero", dir / "zero");
             return (dir / "zero").string();
         },
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(dir);
        fs::create_directories(dir);
        const std::string path = c.make();
        std::optional<std::string> got;
        EXPECT_TRUE(
            ReturnsAtOnce(path.c_str(), [&] { got = ReadWholeFile(path.c_str(), kLimit); }));
        EXPECT_EQ(got, c.bytes);
    }
}

TEST_F(FileTest, ASaveWritesThroughLinksKeepsPermissionsAndReplacesOnlyARegularFile) {
    const fs::perms kOld = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    const fs::perms kNew = fs::perms(0666 & ~kTestUmask);
    const struct Case {
        const char* label;
        std::function<void()> arrange;
        // The file that then holds the new bytes, and its mode; none when the save fails.
        const char* written;
        fs::perms mode;
    } cases[] = {
        {"a regular file", [&] { Write("name", "old", kOld); }, "name", kOld},
        {"no file yet", [] {}, "name", kNew},
        {"a link to a link in another folder",
         [&] {
             fs::create_directory(dir / "dots");
             Write("dots/real", "old", kOld);
             fs::create_symlink("real", dir / "dots" / "link");
             fs::create_symlink("dots/link", dir / "name");
         },
         "dots/real", kOld},
        {"a dangling link",
         [&] {
             fs::create_directory(dir / "dots");
             fs::create_symlink(dir / "dots" / "absent", dir / "name");
         },
         "dots/absent", kNew},
        {"a FIFO", [&] { mkfifo((dir / "name").c_str(), 0600); }, nullptr, {}},
        {"a device", [&] { MakeDevice(dir / "name"); }, nullptr, {}},
        {"a folder", [&] { fs::create_directory(dir / "name"); }, nullptr, {}},
        {"a loop of links",
         [&] {
             fs::create_symlink("other", dir / "name");
             fs::create_symlink("name", dir / "other");
         },
         nullptr,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(dir);
        fs::create_directories(dir);
        c.arrange();
        std::map<std::string, std::string> expected = Listing();
        const std::string path = (dir / "name").string();
        bool saved = false;
        EXPECT_TRUE(ReturnsAtOnce(path.c_str(), [&] { saved = ReplaceFile(path.c_str(), "new"); }));
        EXPECT_EQ(saved, c.written != nullptr);
        if (c.written) {
            expected[c.written] = "file " + std::to_string(int(c.mode)) + ": new";
        }
        EXPECT_EQ(Listing(), expected);
    }
}

TEST_F(FileTest, WhereTheFolderTakesNoNewFileAWritableFileIsWrittenInPlace) {
    const std::string path = Write("name", "old");
    const std::string locked = Write("locked", "old", fs::perms::owner_read);
    fs::create_symlink("absent", dir / "dangling");
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    const TWithoutPermissionOverride ordinaryUser;
    if (ReplaceFile((dir / "probe").c_str(), "")) {
        GTEST_SKIP() << "this process can create files in a read-only folder";
    }
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    {
        CFileReplacement file(path.c_str());
        ASSERT_TRUE(file.Write("new bytes"));
        EXPECT_EQ(ReadWholeFile(path.c_str(), 100), "old") << "nothing is written before Commit";
        ASSERT_TRUE(file.Commit());
    }
    struct stat after {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the same file, written in place";
    EXPECT_EQ(ReadWholeFile(path.c_str(), 100), "new bytes");

    EXPECT_FALSE(ReplaceFile(locked.c_str(), "new")) << "a read-only file";
    EXPECT_EQ(ReadWholeFile(locked.c_str(), 100), "old");
    EXPECT_FALSE(ReplaceFile((dir / "dangling").c_str(), "new")) << "a file to be created";
    EXPECT_FALSE(fs::exists(dir / "absent"));
}

TEST_F(FileTest, AnotherUsersFileStaysTheirs) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "only the super-user can make a file of another user";
    }
    constexpr uid_t kOther = 65534;
    const std::string path = Write("name", "old", fs::perms(0666));
    ASSERT_EQ(chown(path.c_str(), kOther, kOther), 0);
    struct stat info {};
    ASSERT_TRUE(ReplaceFile(path.c_str(), "by the super-user"));
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, kOther) << "the new file was given to the owner";
    const ino_t replaced = info.st_ino;
    {
        const TWithoutPermissionOverride ordinaryUser;
        ASSERT_TRUE(ReplaceFile(path.c_str(), "by a user who may write it"));
    }
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, kOther);
    EXPECT_EQ(info.st_ino, replaced) << "written in place, since it cannot be given away";
    EXPECT_EQ(ReadWholeFile(path.c_str(), 100), "by a user who may write it");
    EXPECT_EQ(Listing().size(), 1u);
}

TEST_F(FileTest, ASaveKilledAtAnyMomentLeavesAWholeFileAndNoLeftoverPastTheNextSave) {
    constexpr int kRounds = 300;
    const std::string path = (dir / "name").string();
    const std::string older(64 << 10, 'o');
    const std::string newer(64 << 10, 'n');
    ASSERT_TRUE(ReplaceFile(path.c_str(), older));
    std::mt19937 random(2026);
    for (int round = 0; round < kRounds; ++round) {
        const pid_t saver = fork();
        ASSERT_GE(saver, 0);
        if (saver == 0) {
            for (int i = 0;; ++i) {
                ReplaceFile(path.c_str(), i % 2 ? older : newer);
            }
        }
        usleep(useconds_t(random() % 4000));
        kill(saver, SIGKILL);
        waitpid(saver, nullptr, 0);
        const std::optional<std::string> now = ReadWholeFile(path.c_str(), 1 << 20);
        ASSERT_TRUE(now == older || now == newer) << "round " << round;
    }
    ASSERT_TRUE(ReplaceFile(path.c_str(), older));
    EXPECT_EQ(Listing().size(), 1u) << "only the file itself";
}

TEST_F(FileTest, ASaveSyncsTheNewFileThenRenamesItThenSyncsTheTargetsFolderAndTellsItsFailure) {
    const std::string temp = "name.new-" + std::to_string(getpid()) + "-0";
    const struct Case {
        const char* label;
        std::string path;  // saved to, under the folder
        int folderSyncError;
        std::vector<std::string> calls;
    } cases[] = {
        {"a file", "name", 0, {"sync file " + temp, "rename " + temp + " name", "sync folder ."}},
        {"a link to a file in another folder",
         "link",
         0,
         {"sync file dots/" + temp, "rename dots/" + temp + " dots/name", "sync folder dots"}},
        {"a folder whose sync fails",
         "name",
         EIO,
         {"sync file " + temp, "rename " + temp + " name", "sync folder ."}},
    };
    fs::create_directory(dir / "dots");
    fs::create_symlink("dots/name", dir / "link");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TSyncWatch watch(dir, c.folderSyncError);
        const bool saved = ReplaceFile((dir / c.path).c_str(), "new");
        EXPECT_EQ(saved, c.folderSyncError == 0);
        EXPECT_EQ(saved ? 0 : errno, c.folderSyncError);
        EXPECT_EQ(watch.calls, c.calls);
    }
}

TEST_F(FileTest, ASaveRemovesTheNewFilesOfItsTargetLeftOnlyByProcessesNoLongerRunning) {
    const pid_t living = fork();
    ASSERT_GE(living, 0);
    if (living == 0) {
        pause();
        _exit(0);
    }
    const pid_t dead = fork();
    ASSERT_GE(dead, 0);
    if (dead == 0) {
        _exit(0);
    }
    waitpid(dead, nullptr, 0);
    const std::string ofDead = "name.new-" + std::to_string(dead);
    const std::string ofLiving = "name.new-" + std::to_string(living);
    const struct Case {
        std::string name;
        bool kept;
    } cases[] = {
        {ofDead + "-0", false},
        {ofDead + "-15", false},
        {ofLiving + "-0", true},  // another copy saving at this moment
        {"name.new-" + std::to_string(getpid()) + "-7", true},
        {"other.new-" + std::to_string(dead) + "-0", true},  // another target's
        {ofDead, true},
        {ofDead + "-", true},
        {ofDead + "-1x", true},
    };
    for (const Case& c : cases) {
        Write(c.name, "left");
    }
    EXPECT_TRUE(ReplaceFile((dir / "name").c_str(), "new"));
    kill(living, SIGKILL);
    waitpid(living, nullptr, 0);
    for (const Case& c : cases) {
        EXPECT_EQ(fs::exists(dir / c.name), c.kept) << c.name;
    }
}

}  // namespace
