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
#include <cstring>
#include <optional>

#include "net/UnitHttp_errors.h"

namespace {

using Clock = std::chrono::steady_clock;

struct ErrnoRow {
    int error;
    int code;
};

constexpr ErrnoRow kErrnoCodes[] = {
    {EINTR, 10004},
    {EBADF, 10009},
    {EACCES, 10013},
    {EPERM, 10013},
    {EFAULT, 10014},
    {EINVAL, 10022},
    {EMFILE, 10024},
    {ENFILE, 10024},
    {EWOULDBLOCK, 10035},
    {EINPROGRESS, 10036},
    {EALREADY, 10037},
    {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},
    {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},
    {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},
    {ENETUNREACH, 10051},
    {ENETRESET, 10052},
    {ECONNABORTED, 10053},
    {ECONNRESET, 10054},
    // Writing to a connection the peer has closed: what Windows reports as a reset.
    {EPIPE, 10054},
    {ENOBUFS, 10055},
    {ENOMEM, 10055},
    {EISCONN, 10056},
    {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},
    {ETOOMANYREFS, 10059},
    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},
    {ELOOP, 10062},
    {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},
    {ENOTEMPTY, 10066},
};

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

// Four decimal numbers 0..255 separated by dots, nothing else (inet_aton would also take octal,
// hexadecimal and shortened forms).
std::optional<in_addr> DottedAddress(const std::string& host) {
    unsigned char bytes[4];
    std::size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= host.size() || host[at] != '.') {
                return std::nullopt;
            }
            ++at;
        }
        unsigned value = 0;
        std::size_t digits = 0;
        while (at < host.size() && host[at] >= '0' && host[at] <= '9' && digits < 4) {
            value = value * 10 + unsigned(host[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) {
            return std::nullopt;
        }
        bytes[part] = static_cast<unsigned char>(value);
    }
    if (at != host.size()) {
        return std::nullopt;
    }
    in_addr address{};
    std::memcpy(&address.s_addr, bytes, sizeof bytes);
    return address;
}

bool IsLocalhost(const std::string& host) {
    static constexpr char kName[] = "localhost";
    if (host.size() != sizeof kName - 1) {
        return false;
    }
    for (std::size_t i = 0; i < host.size(); ++i) {
        const char c = host[i];
        if ((c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) != kName[i]) {
            return false;
        }
    }
    return true;
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
    if (IsLocalhost(host)) {
        in_addr loopback{};
        loopback.s_addr = htonl(INADDR_LOOPBACK);
        return loopback;
    }
    if (const std::optional<in_addr> dotted = DottedAddress(host)) {
        return *dotted;
    }
    // A zero byte would silently shorten the name handed to the resolver.
    if (host.empty() || host.find('\0') != std::string::npos) {
        throw ESocketError(kWsaHostNotFound);
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (status != 0) {
        throw ESocketError(WsaCodeFromLookup(status));
    }
    const in_addr address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
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

int WsaCodeFromErrno(int error) {
    for (const ErrnoRow& row : kErrnoCodes) {
        if (row.error == error) {
            return row.code;
        }
    }
    return error;
}

TSocketLayer& PosixSocketLayer() {
    static TPosixSocketLayer layer;
    return layer;
}
