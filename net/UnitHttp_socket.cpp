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
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "net/UnitHttp_errors.h"
#include "net/UnitHttp_tls.h"
#include "util/Unitutils.h"

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void ThrowErrno(int error) {
    throw ESocketError(WsaCodeFromErrno(error));
}

Clock::time_point DeadlineIn(int timeoutMs) {
    return Clock::now() + std::chrono::milliseconds(timeoutMs);
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

// Repeats step until it goes through, waiting on fd for the events it asks for in between (it
// sets them to 0 once it went through). Returns step's result, or timedOut when a wait reached
// deadline.
template <typename Step>
std::ptrdiff_t Repeat(int fd, Clock::time_point deadline, std::ptrdiff_t timedOut, Step step) {
    for (;;) {
        short events = 0;
        const std::ptrdiff_t result = step(events);
        if (events == 0) {
            return result;
        }
        if (!WaitFor(fd, events, deadline)) {
            return timedOut;
        }
    }
}

// For a plain send or receive: n when it went through; 0 and the events to wait for when it
// would block or was interrupted; throws on any other failure.
std::ptrdiff_t PlainResult(ssize_t n, short wanted, short& events) {
    if (n >= 0) {
        return n;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        ThrowErrno(errno);
    }
    events = wanted;
    return 0;
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

class TSystemResolver final : public TNameResolver {
public:
    std::uint32_t Resolve(const std::string& host) override {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
        if (status != 0) {
            throw ESocketError(WsaCodeFromLookup(status));
        }
        const std::uint32_t address =
            reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
        freeaddrinfo(found);
        return address;
    }
};

// One name look-up on a thread of its own. The thread holds the look-up and the resolver, so
// that a connection given up while the resolver still waits returns at once and leaves the
// thread to end by itself. A failure crosses over as its code, and is thrown anew on the
// waiting side, so that no exception object is shared between the two threads.
class TLookup {
public:
    static std::shared_ptr<TLookup> Start(std::shared_ptr<TNameResolver> resolver,
                                          const std::string& host) {
        auto lookup = std::make_shared<TLookup>();
        try {
            std::thread([lookup, resolver = std::move(resolver), host] {
                int error = 0;
                std::uint32_t address = 0;
                try {
                    address = resolver->Resolve(host);
                } catch (const ESocketError& failure) {
                    error = failure.LastError();
                } catch (...) {
                    error = kWsaNoRecovery;
                }
                std::lock_guard lock(lookup->mutex);
                lookup->address = address;
                lookup->error = error;
                lookup->done = true;
                lookup->finished.notify_all();
            }).detach();
        } catch (const std::system_error& error) {
            throw ESocketError(WsaCodeFromErrno(error.code().value()));
        }
        return lookup;
    }

    // True once the look-up has ended, by deadline at the latest.
    bool Wait(Clock::time_point deadline) {
        std::unique_lock lock(mutex);
        return finished.wait_until(lock, deadline, [this] { return done; });
    }

    // Once Wait said true: the address, or the resolver's error thrown.
    in_addr Address() const {
        if (error != 0) {
            throw ESocketError(error);
        }
        in_addr result{};
        result.s_addr = address;
        return result;
    }

private:
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::uint32_t address = 0;
    int error = 0;  // the Windows Sockets code of a failed look-up
};

class TPosixConnection final : public TSocketConnection {
public:
    TPosixConnection(int port, std::shared_ptr<TLookup> lookup)
        : port(port), lookup(std::move(lookup)) {}
    TPosixConnection(int port, in_addr address) : port(port) { Open(address); }
    ~TPosixConnection() override {
        tls.reset();
        if (fd >= 0) {
            shutdown(fd, SHUT_WR);
            close(fd);
        }
    }

    bool WaitConnected(int timeoutMs) override {
        const Clock::time_point deadline = DeadlineIn(timeoutMs);
        if (lookup) {
            if (!lookup->Wait(deadline)) {
                return false;
            }
            const in_addr address = lookup->Address();
            lookup.reset();
            Open(address);
        }
        // A socket becomes writable once its connect has completed, made or failed.
        if (!made) {
            if (!WaitFor(fd, POLLOUT, deadline)) {
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
            made = true;
        }
        if (tls && !secured) {
            // A wait that ran out leaves the handshake under way, to be waited on again.
            secured = Repeat(fd, deadline, 0, [this](short& events) {
                tls->Handshake(events);
                return 1;
            });
        }
        return !tls || secured;
    }

    void StartTls(const std::string& serverName) override {
        tls = std::make_unique<TTlsSession>(fd, serverName);
    }

    std::size_t Send(std::string_view bytes, int timeoutMs) override {
        return std::size_t(Repeat(fd, DeadlineIn(timeoutMs), 0, [&](short& events) {
            if (tls) {
                return std::ptrdiff_t(tls->Write(bytes, events));
            }
            return PlainResult(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), POLLOUT, events);
        }));
    }

    std::ptrdiff_t Receive(char* buffer, std::size_t capacity, int timeoutMs) override {
        return Repeat(fd, DeadlineIn(timeoutMs), kNothingYet, [&](short& events) {
            if (tls) {
                return std::ptrdiff_t(tls->Read(buffer, capacity, events));
            }
            return PlainResult(recv(fd, buffer, capacity, 0), POLLIN, events);
        });
    }

private:
    void Open(in_addr address) {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            throw EInvalidSocket();
        }
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(static_cast<std::uint16_t>(port));
        peer.sin_addr = address;
        if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0 &&
            errno != EINPROGRESS && errno != EINTR) {
            const int error = errno;
            close(fd);
            fd = -1;
            ThrowErrno(error);
        }
    }

    int port;
    int fd = -1;
    // Set while the host's name is being looked up; the socket is made after it.
    std::shared_ptr<TLookup> lookup;
    bool made = false;
    std::unique_ptr<TTlsSession> tls;
    bool secured = false;
};

class TPosixSocketLayer final : public TSocketLayer {
public:
    explicit TPosixSocketLayer(std::shared_ptr<TNameResolver> resolver)
        : resolver(std::move(resolver)) {}

    std::unique_ptr<TSocketConnection> Connect(const std::string& host, int port) override {
        if (port < 1 || port > kMaxPort) {
            throw ESocketError(kWsaAddrNotAvail);
        }
        in_addr address{};
        if (EqualIgnoringLatinCase(host, "localhost")) {
            address.s_addr = htonl(INADDR_LOOPBACK);
            return std::make_unique<TPosixConnection>(port, address);
        }
        // A zero byte would silently shorten the name handed on.
        if (host.empty() || host.find('\0') != std::string::npos) {
            throw ESocketError(kWsaHostNotFound);
        }
        // Four decimal numbers 0..255 are the address itself, without asking the resolver.
        if (inet_pton(AF_INET, host.c_str(), &address) == 1) {
            return std::make_unique<TPosixConnection>(port, address);
        }
        return std::make_unique<TPosixConnection>(port, TLookup::Start(resolver, host));
    }

private:
    std::shared_ptr<TNameResolver> resolver;
};

}  // namespace

std::unique_ptr<TSocketLayer> MakePosixSocketLayer(std::shared_ptr<TNameResolver> resolver) {
    return std::make_unique<TPosixSocketLayer>(std::move(resolver));
}

TSocketLayer& PosixSocketLayer() {
    static const std::unique_ptr<TSocketLayer> layer =
        MakePosixSocketLayer(std::make_shared<TSystemResolver>());
    return *layer;
}
