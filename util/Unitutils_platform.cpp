#include "util/Unitutils_platform.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "util/Unitutils_command.h"

namespace {

constexpr std::string_view kOpenCommandKey = "\\shell\\open\\command";
constexpr char kDefaultPath[] = "/usr/local/bin:/usr/bin:/bin";

std::optional<std::string> DefaultApplicationId(const std::string& type) {
    gboolean uncertain = FALSE;
    gchar* contentType = g_content_type_guess(type.c_str(), nullptr, 0, &uncertain);
    std::optional<std::string> id;
    if (contentType != nullptr && !g_content_type_is_unknown(contentType)) {
        GAppInfo* app = g_app_info_get_default_for_type(contentType, FALSE);
        if (app != nullptr) {
            if (const char* appId = g_app_info_get_id(app)) {
                id = appId;
            }
            g_object_unref(app);
        }
    }
    g_free(contentType);
    return id;
}

std::optional<std::string> ApplicationCommand(const std::string& id) {
    GDesktopAppInfo* app = g_desktop_app_info_new(id.c_str());
    if (app == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> command;
    if (const char* execLine = g_app_info_get_commandline(G_APP_INFO(app))) {
        command = ExecLineToCommand(execLine);
    }
    g_object_unref(app);
    return command;
}

bool IsExecutableFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

// Looked up here rather than by execvp, which would hand a file without a known format to
// /bin/sh.
std::string FindProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        return IsExecutableFile(name) ? name : std::string();
    }
    const char* path = std::getenv("PATH");
    std::string_view dirs = path != nullptr ? path : kDefaultPath;
    while (!name.empty()) {
        const std::size_t colon = dirs.find(':');
        const std::string_view dir = dirs.substr(0, colon);
        // An empty entry would mean the working folder, which is no place to take programs from.
        if (!dir.empty()) {
            std::string candidate(dir);
            candidate += '/';
            candidate += name;
            if (IsExecutableFile(candidate)) {
                return candidate;
            }
        }
        if (colon == std::string_view::npos) {
            break;
        }
        dirs.remove_prefix(colon + 1);
    }
    return std::string();
}

// Runs in the grandchild between fork and exec, so only async-signal-safe calls.
[[noreturn]] void ExecDetached(const char* program, char* const argv[], int report) {
    setsid();
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig = 1; sig < NSIG; ++sig) {
        signal(sig, SIG_DFL);
    }
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    execve(program, argv, environ);
    const int error = errno;
    (void)!write(report, &error, sizeof error);
    _exit(127);
}

}  // namespace

int CDesktopOpener::OpenKey(const char* path, Key& key) {
    std::string_view name = path != nullptr ? path : "";
    if (!name.empty() && name.front() == '\\') {
        name.remove_prefix(1);
    }
    std::optional<std::string> value;
    if (name.size() > kOpenCommandKey.size() && name.ends_with(kOpenCommandKey)) {
        const std::string className(name.substr(0, name.size() - kOpenCommandKey.size()));
        if (className.find('\\') == std::string::npos) {
            value = ApplicationCommand(className);
        }
    } else if (name.size() > 1 && name.front() == '.' && name.find('\\') == name.npos) {
        value = DefaultApplicationId(std::string(name));
    }
    if (!value) {
        return kNotFound;
    }
    key = nextKey++;
    openKeys.emplace(key, std::move(*value));
    return 0;
}

int CDesktopOpener::QueryValue(Key key, char* buffer, int& size) {
    const auto it = openKeys.find(key);
    if (it == openKeys.end()) {
        return kBadKey;
    }
    const std::string& value = it->second;
    if (buffer == nullptr || size < 0 || value.size() >= std::size_t(size)) {
        return kMoreData;
    }
    std::memcpy(buffer, value.c_str(), value.size() + 1);
    size = int(value.size() + 1);
    return 0;
}

int CDesktopOpener::CloseKey(Key key) {
    return openKeys.erase(key) == 1 ? 0 : kBadKey;
}

bool CDesktopOpener::StartCommand(std::string_view command, std::string_view address) {
    std::vector<std::string> args;
    return CommandArguments(command, address, args) && StartDetached(args);
}

CDesktopOpener& SystemOpener() {
    static CDesktopOpener opener;
    return opener;
}

bool FindOpenCommand(const char* type, char* out, int size) {
    return FindOpenCommand(type, out, size, SystemOpener());
}

bool OpenWithHandler(const char* address, const char* type) {
    return OpenWithHandler(address, type, SystemOpener());
}

bool StartDetached(const std::vector<std::string>& args) {
    if (args.empty()) {
        return false;
    }
    const std::string program = FindProgram(args[0]);
    if (program.empty()) {
        return false;
    }
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    // The grandchild reports a failed exec through this pipe; a successful exec closes it.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        return false;
    }
    // The middle child exits at once, so the program is adopted by init and this process has
    // no child left to reap.
    const pid_t middle = fork();
    if (middle < 0) {
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (middle == 0) {
        close(report[0]);
        const pid_t child = fork();
        if (child == 0) {
            ExecDetached(program.c_str(), argv.data(), report[1]);
        }
        if (child < 0) {
            const int error = errno;
            (void)!write(report[1], &error, sizeof error);
            _exit(1);
        }
        _exit(0);
    }
    close(report[1]);
    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(middle, &status, 0);
    } while (waited < 0 && errno == EINTR);
    int error = 0;
    ssize_t got;
    do {
        got = read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    return waited == middle && WIFEXITED(status) && WEXITSTATUS(status) == 0 && got == 0;
}
