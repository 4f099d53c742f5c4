#pragma once

// Helpers for tests of the program's file handling: the special files it must pass over, a
// guard that turns a wait on a FIFO into a failure instead of a hung test run, and a way to
// make folder permissions bind the super-user too.

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

// How long an action that should return at once may take before it counts as blocked; far
// above what opening a file takes, also under the sanitizers.
inline constexpr std::chrono::seconds kBlockedAfter{5};

// Runs act on this thread. When it has not returned within kBlockedAfter, a watcher opens the
// FIFO at fifo for writing and closes it again, over and over until act returns: a reader
// blocked on opening or reading it is let go. True when act returned without that help.
inline bool ReturnsAtOnce(const char* fifo, const std::function<void()>& act) {
    constexpr std::chrono::milliseconds kRetry{50};
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool released = false;
    std::thread watcher([&] {
        std::unique_lock lock(mutex);
        if (finished.wait_for(lock, kBlockedAfter, [&] { return done; })) {
            return;
        }
        released = true;
        do {
            // Fails (no reader yet) without waiting; succeeds once the reader is in its open.
            const int fd = open(fifo, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                close(fd);
            }
        } while (!finished.wait_for(lock, kRetry, [&] { return done; }));
    });
    act();
    {
        const std::lock_guard lock(mutex);
        done = true;
    }
    finished.notify_one();
    watcher.join();
    return !released;
}

// Makes a device at path: the null device's own node where this process may make device
// nodes, a link to /dev/null otherwise (such a process cannot change anything in /dev).
inline void MakeDevice(const std::filesystem::path& path) {
    if (mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        std::filesystem::create_symlink("/dev/null", path);
    }
}

// While alive, this thread's power to pass over file permissions and to give files away is off,
// so that permissions and owners bind the super-user as they bind anyone else. Does nothing
// where it was off.
class TWithoutPermissionOverride {
public:
    TWithoutPermissionOverride() {
        if (syscall(SYS_capget, &header, saved) != 0) {
            return;
        }
        __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_CHOWN);
        active = syscall(SYS_capset, &header, reduced) == 0;
    }
    TWithoutPermissionOverride(const TWithoutPermissionOverride&) = delete;
    TWithoutPermissionOverride& operator=(const TWithoutPermissionOverride&) = delete;
    ~TWithoutPermissionOverride() {
        if (active) {
            syscall(SYS_capset, &header, saved);
        }
    }

private:
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2]{};
    bool active = false;
};
