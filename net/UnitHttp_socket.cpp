#include "net/UnitHttp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "net/UnitHttp_errors.h"
#include "util/Unitutils.h"

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void ThrowErrno(int error) {
    throw ESocketError(WsaCodeFromErrno(error));
}

// Milliseconds left until deadline, rounded up so that a wait never ends before it; never
// negative.
int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// Waits for events on fd until deadline; false when the time ran out. Signals do not shorten it.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, MsLeft(deadline));
        if (n > 0) {
            return true;
        }
        if (n == 0) {
            return false;
        }
        if (errno != EINTR) {
            ThrowErrno(errno);
        }
    }
}

int WsaCodeFromLookup(int status) {
    switch (status) {
        case EAI_NONAME:
        case EAI_NODATA:
        case EAI_ADDRFAMILY:
            return kWsaHostNotFound;
        case EAI_AGAIN:
            return kWsaTryAgain;
        case EAI_MEMORY:
            return WsaCodeFromErrno(ENOMEM);
        case EAI_SYSTEM:
            return WsaCodeFromErrno(errno);
        default:
            return kWsaNoRecovery;
    }
}

in_addr Resolve(const std::string& host) {
    in_addr address{};
    if (EqualIgnoringLatinCase(host, "localhost")) {
        address.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }
    // A zero byte would silently shorten the name handed on.
    if (host.empty() || host.find('\0') != std::string::npos) {
        throw ESocketError(kWsaHostNotFound);
    }
    // Four decimal numbers 0..255 are the address itself, without asking the resolver.
    if (inet_pton(AF_INET, host.c_str(), &address) == 1) {
        return address;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (status != 0) {
        throw ESocketError(WsaCodeFromLookup(status));
    }
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return address;
}

class TPosixConnection final : public TSocketConnection {
public:
    explicit TPosixConnection(int fd) : fd(fd) {}
    ~TPosixConnection() override {
        shutdown(fd, SHUT_WR);
        close(fd);
    }

    // A socket becomes writable once its connect has completed, made or failed.
    bool WaitConnected(int timeoutMs) override {
        if (!WaitFor(fd, POLLOUT, Clock::now() + std::chrono::milliseconds(timeoutMs))) {
            return false;
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            ThrowErrno(errno);
        }
        if (error != 0) {
            ThrowErrno(error);
        }
        return true;
    }

    std::size_t Send(std::string_view bytes, int timeoutMs) override {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n >= 0) {
                return std::size_t(n);
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (!WaitFor(fd, POLLOUT, deadline)) {
                    return 0;
                }
            } else if (errno != EINTR) {
                ThrowErrno(errno);
            }
        }
    }

    std::ptrdiff_t Receive(char* buffer, std::size_t capacity, int timeoutMs) override {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const ssize_t n = recv(fd, buffer, capacity, 0);
            if (n >= 0) {
                return n;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (!WaitFor(fd, POLLIN, deadline)) {
                    return kNothingYet;
                }
            } else if (errno != EINTR) {
                ThrowErrno(errno);
            }
        }
    }

private:
    int fd;
};

class TPosixSocketLayer final : public TSocketLayer {
public:
    std::unique_ptr<TSocketConnection> Connect(const std::string& host, int port) override {
        if (port < 1 || port > kMaxPort) {
            throw ESocketError(kWsaAddrNotAvail);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr = Resolve(host);

        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            throw EInvalidSocket();
        }
        // Owns fd from here, so a failure closes it.
        auto connection = std::make_unique<TPosixConnection>(fd);
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
            errno != EINPROGRESS && errno != EINTR) {
            ThrowErrno(errno);
        }
        return connection;
    }
};

}  // namespace

TSocketLayer& PosixSocketLayer() {
    static TPosixSocketLayer layer;
    return layer;
}
