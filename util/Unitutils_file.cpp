#include "util/Unitutils_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

// What stands between a target's name and the process id in the name of its new file.
constexpr std::string_view kTempInfix = ".new-";
// How many names are tried for a new file before giving up; another name is only needed when
// an earlier replacement by a process with the same id died before it renamed its file.
constexpr int kTempNameAttempts = 16;
// How many symbolic links are followed from a path to its file; more is taken for a loop. The
// system's own limit for one path name.
constexpr int kMaxLinkHops = 40;

// The file path names once every symbolic link on the way is followed, also a last one that
// names nothing yet. nullopt, with errno set, when a link cannot be read or the links go round
// in a loop.
std::optional<std::string> FinalTarget(const char* path) {
    fs::path target = path;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(target, error))) {
            return target.string();
        }
        const fs::path link = fs::read_symlink(target, error);
        if (error) {
            errno = error.value();
            return std::nullopt;
        }
        // A relative link is read from the folder the link lies in; an absolute one replaces.
        target = target.parent_path() / link;
    }
    errno = ELOOP;
    return std::nullopt;
}

std::string FolderOf(const std::string& target) {
    const fs::path folder = fs::path(target).parent_path();
    return folder.empty() ? "." : folder.string();
}

// The process id in a new file's name, the text after the target's name and kTempInfix
// ("PID-N"); 0 when the text is not of that form.
pid_t TempOwner(std::string_view rest) {
    pid_t pid = 0;
    const char* end = rest.data() + rest.size();
    const auto [dash, error] = std::from_chars(rest.data(), end, pid);
    if (error != std::errc() || dash == end || *dash != '-' || dash + 1 == end) {
        return 0;
    }
    for (const char* p = dash + 1; p != end; ++p) {
        if (*p < '0' || *p > '9') {
            return 0;
        }
    }
    return pid;
}

// Removes the new files beside target that replacements by processes no longer running left
// behind (killed before they renamed or removed them). A file of a running process, this one
// or another copy of the program saving at the same moment, is left alone.
void RemoveLeftovers(const std::string& target) {
    const std::string prefix = fs::path(target).filename().string() + std::string(kTempInfix);
    DIR* folder = opendir(FolderOf(target).c_str());
    if (!folder) {
        return;
    }
    while (const dirent* entry = readdir(folder)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(prefix)) {
            continue;
        }
        const pid_t owner = TempOwner(name.substr(prefix.size()));
        if (owner > 0 && owner != getpid() && kill(owner, 0) != 0 && errno == ESRCH) {
            unlinkat(dirfd(folder), entry->d_name, 0);
        }
    }
    closedir(folder);
}

// Creates a new file beside target under a free name, given in temp. -1, with errno from the
// last attempt, when none can be created.
int CreateBeside(const std::string& target, std::string& temp) {
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        temp = target + std::string(kTempInfix) + std::to_string(getpid()) + "-" +
               std::to_string(attempt);
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// Gives the new file fd the owner, group and permissions of the old file. False when the owner
// or group cannot be given (another user's file); errno then says why.
bool TakeAttributes(int fd, const struct stat& old) {
    struct stat made {};
    if (fstat(fd, &made) != 0) {
        return false;
    }
    if ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) &&
        fchown(fd, old.st_uid, old.st_gid) != 0) {
        return false;
    }
    // After the owner: a change of owner clears the set-user and set-group bits.
    return fchmod(fd, old.st_mode & 07777) == 0;
}

// Opens target, a regular file, to be written in place; -1 when it is no longer one or cannot
// be written. Non-blocking, so that a FIFO put there meanwhile is not waited on; for reading
// too, as reserving space without the file system's help reads what it must not overwrite.
int OpenInPlace(const std::string& target) {
    const int fd = open(target.c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        bytes.remove_prefix(std::size_t(n));
    }
    return true;
}

// Makes a rename in target's folder durable: until the folder is synced, a power cut may bring
// back the old name's file. 0, or why it failed.
int SyncFolderOf(const std::string& target) {
    const int folder = open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        return errno;
    }
    const int result = fsync(folder) == 0 ? 0 : errno;
    close(folder);
    return result;
}

int NotRegularError(mode_t mode) {
    return S_ISDIR(mode) ? EISDIR : EINVAL;
}

}  // namespace

CFileReader::CFileReader(const char* path, std::int64_t limit) {
    // The path is looked at before it is opened, so that a device, whose opening may itself
    // act, is never opened; the open file is looked at again, as the path may have changed.
    struct stat info {};
    if (stat(path, &info) != 0) {
        error = errno;
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        error = NotRegularError(info.st_mode);
        return;
    }
    // Non-blocking, so that a FIFO put in the file's place meanwhile is refused, not waited on.
    const int file = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0) {
        error = errno;
        return;
    }
    if (fstat(file, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > limit) {
        error = !S_ISREG(info.st_mode) ? NotRegularError(info.st_mode) : EFBIG;
        close(file);
        return;
    }
    fd = file;
    size = std::size_t(info.st_size);
}

CFileReader::~CFileReader() {
    if (fd >= 0) {
        close(fd);
    }
}

std::optional<std::size_t> CFileReader::ReadInto(char* buffer) const {
    if (fd < 0) {
        errno = error;
        return std::nullopt;
    }
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = pread(fd, buffer + got, size - got, off_t(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        got += std::size_t(n);
    }
    return got;
}

std::optional<std::string> ReadWholeFile(const char* path, std::int64_t limit) {
    int error = 0;
    {
        const CFileReader file(path, limit);
        if (file) {
            std::string bytes(file.Size(), '\0');
            if (const std::optional<std::size_t> got = file.ReadInto(bytes.data())) {
                bytes.resize(*got);
                return bytes;
            }
        }
        error = file ? errno : file.Error();
    }
    errno = error;
    return std::nullopt;
}

CFileReplacement::CFileReplacement(const char* path) {
    const std::optional<std::string> final = FinalTarget(path);
    if (!final) {
        Fail();
        return;
    }
    target = *final;
    RemoveLeftovers(target);
    struct stat old {};
    const bool exists = lstat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) {
        Fail();
        return;
    }
    if (exists && !S_ISREG(old.st_mode)) {
        error = NotRegularError(old.st_mode);
        return;
    }
    // Renaming over a file takes only the folder's permission; the file's own is asked here,
    // so that a file the user keeps read-only stays as it is.
    if (exists && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        Fail();
        return;
    }
    fd = CreateBeside(target, temp);
    if (fd < 0 && !(exists && (errno == EACCES || errno == EPERM))) {
        // Only a refusal by the folder's permissions or attributes leads to the target itself:
        // a folder out of space or quota says so here already.
        Fail();
        return;
    }
    if (fd >= 0 && exists && !TakeAttributes(fd, old)) {
        Discard();
        if (errno != EPERM) {
            Fail();
            return;
        }
    }
    if (fd < 0) {
        inPlace = true;
        fd = OpenInPlace(target);
        if (fd < 0) {
            Fail();
        }
    }
}

CFileReplacement::~CFileReplacement() {
    Discard();
}

void CFileReplacement::Fail() {
    error = errno;
}

void CFileReplacement::Discard() {
    if (fd >= 0) {
        const int saved = errno;
        close(fd);
        fd = -1;
        if (!inPlace) {
            unlink(temp.c_str());
        }
        errno = saved;
    }
}

bool CFileReplacement::Write(std::string_view bytes) {
    if (error == 0) {
        if (inPlace) {
            pending.append(bytes);
        } else if (!WriteAll(fd, bytes)) {
            Fail();
        }
    }
    return error == 0;
}

bool CFileReplacement::Commit() {
    if (fd < 0 || error != 0) {
        Discard();
        return false;
    }
    return inPlace ? CommitInPlace() : CommitBeside();
}

bool CFileReplacement::CommitInPlace() {
    // Reserving the whole size first makes a full disk or a size limit refuse the save while
    // every old byte is still there; the write then cannot run out of room half-way.
    const off_t size = off_t(pending.size());
    int result = size == 0 ? 0 : posix_fallocate(fd, 0, size);
    if (result == 0 && !(WriteAll(fd, pending) && ftruncate(fd, size) == 0 && fsync(fd) == 0)) {
        result = errno;
    }
    if (close(fd) != 0 && result == 0) {
        result = errno;
    }
    fd = -1;
    error = result;
    return result == 0;
}

bool CFileReplacement::CommitBeside() {
    int result = fsync(fd) == 0 ? 0 : errno;
    if (close(fd) != 0 && result == 0) {
        result = errno;
    }
    fd = -1;
    if (result == 0 && rename(temp.c_str(), target.c_str()) != 0) {
        result = errno;
    }
    if (result != 0) {
        unlink(temp.c_str());
    } else {
        result = SyncFolderOf(target);
    }
    error = result;
    return result == 0;
}

bool ReplaceFile(const char* path, std::string_view bytes) {
    int error = 0;
    {
        CFileReplacement file(path);
        if (file.Write(bytes) && file.Commit()) {
            return true;
        }
        error = file.Error();
    }
    errno = error;
    return false;
}
