#include "tests/support/ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace {

// How often the server thread looks at its stop flag while it waits.
constexpr int kPollSliceMs = 20;
// The longest a test waits on the server; only a broken test ever reaches it.
constexpr auto kSafetyWait = std::chrono::seconds(20);
// Connections put into a full backlog before giving up on filling it.
constexpr int kMaxFillers = 16;
constexpr int kFillerWaitMs = 200;

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

}  // namespace

int ListenOnLoopback(int backlog, int& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on loopback");
    }
    port = ntohs(address.sin_port);
    return fd;
}

ScriptedServer::ScriptedServer(std::vector<TConnectionScript> scripts)
    : scripts(std::move(scripts)) {
    listener = ListenOnLoopback(SOMAXCONN, port);
    thread = std::thread([this] { Run(); });
}

ScriptedServer::~ScriptedServer() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
        changed.notify_all();
    }
    thread.join();
    for (int fd : heldOpen) {
        close(fd);
    }
    close(listener);
}

std::string ScriptedServer::Address(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

std::vector<std::string> ScriptedServer::Requests() const {
    std::lock_guard lock(mutex);
    return requests;
}

int ScriptedServer::Accepted() const {
    std::lock_guard lock(mutex);
    return accepted;
}

bool ScriptedServer::WaitForScripts(int count) const {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, kSafetyWait, [&] { return finished >= count; });
}

void ScriptedServer::Go() {
    std::lock_guard lock(mutex);
    go = true;
    changed.notify_all();
}

void ScriptedServer::Run() {
    for (const TConnectionScript& script : scripts) {
        int fd = -1;
        while (fd < 0) {
            {
                std::lock_guard lock(mutex);
                if (stopping) {
                    return;
                }
            }
            pollfd p{listener, POLLIN, 0};
            if (poll(&p, 1, kPollSliceMs) > 0) {
                fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            }
        }
        {
            std::lock_guard lock(mutex);
            ++accepted;
        }
        const bool open = RunScript(fd, script);
        std::lock_guard lock(mutex);
        if (open) {
            heldOpen.push_back(fd);
        }
        ++finished;
        changed.notify_all();
    }
}

// Runs script on fd; false when it closed fd.
bool ScriptedServer::RunScript(int fd, const TConnectionScript& script) {
    for (const TServerStep& step : script) {
        switch (step.kind) {
            case TServerStep::kReadRequest: {
                std::string request;
                while (request.find("\r\n\r\n") == std::string::npos) {
                    {
                        std::lock_guard lock(mutex);
                        if (stopping) {
                            break;
                        }
                    }
                    pollfd p{fd, POLLIN, 0};
                    if (poll(&p, 1, kPollSliceMs) <= 0) {
                        continue;
                    }
                    char buffer[4096];
                    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
                    if (n <= 0) {
                        break;
                    }
                    request.append(buffer, std::size_t(n));
                }
                std::lock_guard lock(mutex);
                requests.push_back(request);
                break;
            }
            case TServerStep::kSend:
                // A peer that has gone ends the script: a slow send would only keep the server
                // from stopping.
                if (!SendInPieces(fd, step)) {
                    close(fd);
                    return false;
                }
                break;
            case TServerStep::kReset: {
                const linger hard{1, 0};
                setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
                close(fd);
                return false;
            }
            case TServerStep::kAwaitGo: {
                std::unique_lock lock(mutex);
                changed.wait(lock, [this] { return go || stopping; });
                break;
            }
            case TServerStep::kClose:
                close(fd);
                return false;
        }
    }
    return true;
}

bool ScriptedServer::SendInPieces(int fd, const TServerStep& step) {
    const std::size_t piece = step.piece ? step.piece : step.bytes.size();
    for (std::size_t at = 0; at < step.bytes.size(); at += piece) {
        if (at > 0 && step.pauseMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(step.pauseMs));
        }
        {
            std::lock_guard lock(mutex);
            if (stopping) {
                return false;
            }
        }
        const std::string_view part = std::string_view(step.bytes).substr(at, piece);
        for (std::size_t sent = 0; sent < part.size();) {
            const ssize_t n = send(fd, part.data() + sent, part.size() - sent, MSG_NOSIGNAL);
            if (n < 0) {
                return false;
            }
            sent += std::size_t(n);
        }
    }
    return true;
}

FullBacklogListener::FullBacklogListener() {
    listener = ListenOnLoopback(0, port);
    const sockaddr_in address = Loopback(port);
    for (int i = 0; i < kMaxFillers; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        fillers.push_back(fd);
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            continue;
        }
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, kFillerWaitMs) == 0) {
            return;  // this one hangs: the queue is full
        }
    }
    throw std::runtime_error("cannot fill the listen queue");
}

FullBacklogListener::~FullBacklogListener() {
    for (int fd : fillers) {
        close(fd);
    }
    close(listener);
}

int RefusedPort() {
    int port = 0;
    close(ListenOnLoopback(1, port));
    return port;
}
