#include "util/Unitutils_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

// How many names are tried for a new file before giving up; another name is only needed when
// an earlier replacement by a process with the same id died before it renamed its file.
constexpr int kTempNameAttempts = 16;
// How many symbolic links are followed from a path to its file; more is taken for a loop. The
// system's own limit for one path name.
constexpr int kMaxLinkHops = 40;

// The file path names once every symbolic link on the way is followed, also a last one that
// names nothing yet. nullopt when a link cannot be read or the links go round in a loop.
std::optional<std::string> FinalTarget(const char* path) {
    fs::path target = path;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(target, error))) {
            return target.string();
        }
        const fs::path link = fs::read_symlink(target, error);
        if (error) {
            return std::nullopt;
        }
        // A relative link is read from the folder the link lies in; an absolute one replaces.
        target = target.parent_path() / link;
    }
    return std::nullopt;
}

// Creates a new file beside target under a free name, given in temp. -1, with errno from the
// last attempt, when none can be created.
int CreateBeside(const std::string& target, std::string& temp) {
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        temp = target + ".new-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// Opens target, a regular file, to be written in place; -1 when it is no longer one or
// cannot be written. Non-blocking, so that a FIFO put there meanwhile is not waited on.
int OpenInPlace(const std::string& target) {
    const int fd = open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        close(fd);
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
            return false;
        }
        bytes.remove_prefix(std::size_t(n));
    }
    return true;
}

}  // namespace

CFileReader::CFileReader(const char* path, std::int64_t limit) {
    // The path is looked at before it is opened, so that a device, whose opening may itself
    // act, is never opened; the open file is looked at again, as the path may have changed.
    struct stat info {};
    if (stat(path, &info) != 0 || !S_ISREG(info.st_mode)) {
        return;
    }
    // Non-blocking, so that a FIFO put in the file's place meanwhile is refused, not waited on.
    const int file = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0) {
        return;
    }
    if (fstat(file, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > limit) {
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
    const CFileReader file(path, limit);
    if (!file) {
        return std::nullopt;
    }
    std::string bytes(file.Size(), '\0');
    const std::optional<std::size_t> got = file.ReadInto(bytes.data());
    if (!got) {
        return std::nullopt;
    }
    bytes.resize(*got);
    return bytes;
}

CFileReplacement::CFileReplacement(const char* path) {
    failed = true;
    const std::optional<std::string> final = FinalTarget(path);
    if (!final) {
        return;
    }
    target = *final;
    struct stat old {};
    const bool exists = lstat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        return;
    }
    fd = CreateBeside(target, temp);
    if (fd >= 0) {
        if (exists && fchmod(fd, old.st_mode & 07777) != 0) {
            Discard();
        }
    } else if (exists && (errno == EACCES || errno == EPERM)) {
        // Only a refusal by the folder's permissions or attributes: a folder out of space or
        // quota would risk the old contents for a write that may not fit either.
        fd = OpenInPlace(target);
        inPlace = true;
    }
    failed = fd < 0;
}

CFileReplacement::~CFileReplacement() {
    Discard();
}

void CFileReplacement::Discard() {
    if (fd >= 0) {
        close(fd);
        fd = -1;
        if (!inPlace) {
            unlink(temp.c_str());
        }
    }
}

bool CFileReplacement::Write(std::string_view bytes) {
    if (!failed) {
        if (inPlace) {
            pending.append(bytes);
        } else {
            failed = !WriteAll(fd, bytes);
        }
    }
    return !failed;
}

bool CFileReplacement::Commit() {
    if (fd < 0) {
        return false;
    }
    bool ok = !failed;
    if (inPlace) {
        ok = ok && ftruncate(fd, 0) == 0 && WriteAll(fd, pending);
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    fd = -1;
    if (!inPlace) {
        ok = ok && rename(temp.c_str(), target.c_str()) == 0;
        if (!ok) {
            unlink(temp.c_str());
        }
    }
    failed = !ok;
    return ok;
}

bool ReplaceFile(const char* path, std::string_view bytes) {
    CFileReplacement file(path);
    return file.Write(bytes) && file.Commit();
}
