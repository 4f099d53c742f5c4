#include "util/Unitutils_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

// How many names are tried for a new file before giving up; another name is only needed when
// an earlier replacement by a process with the same id died before it renamed its file.
constexpr int kTempNameAttempts = 16;

// The file a path names in the end: a symbolic link is followed, so that replacing the file
// keeps the link. The path itself when it names nothing yet.
std::string FinalTarget(const char* path) {
    std::string target = path;
    if (char* real = realpath(path, nullptr)) {
        target = real;
        std::free(real);
    }
    return target;
}

// Creates a new file beside target, with target's permissions when it exists (the umask's
// otherwise); the name is returned in temp. -1 when none can be created.
int CreateBeside(const std::string& target, std::string& temp) {
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        temp = target + ".new-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            struct stat old {};
            if (stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode) &&
                fchmod(fd, old.st_mode & 07777) != 0) {
                close(fd);
                unlink(temp.c_str());
                return -1;
            }
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    return -1;
}

}  // namespace

CFileReplacement::CFileReplacement(const char* path) : target(FinalTarget(path)) {
    fd = CreateBeside(target, temp);
    failed = fd < 0;
}

CFileReplacement::~CFileReplacement() {
    if (fd >= 0) {
        close(fd);
        unlink(temp.c_str());
    }
}

bool CFileReplacement::Write(std::string_view bytes) {
    while (!failed && !bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        failed = n <= 0;
        if (n > 0) {
            bytes.remove_prefix(std::size_t(n));
        }
    }
    return !failed;
}

bool CFileReplacement::Commit() {
    if (fd < 0) {
        return false;
    }
    bool ok = !failed && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    fd = -1;
    if (ok && rename(temp.c_str(), target.c_str()) == 0) {
        return true;
    }
    unlink(temp.c_str());
    failed = true;
    return false;
}

bool ReplaceFile(const char* path, std::string_view bytes) {
    CFileReplacement file(path);
    return file.Write(bytes) && file.Commit();
}
