#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// The socket layer under the HTTP client: one TCP connection, plain or secured with TLS, and the
// layer that opens them. Every wait is bounded by the caller, so the client can wait in short
// slices and do other work in between. The client only talks to these interfaces, so tests and
// fuzzers can plug in a peer of their own.

inline constexpr int kMaxPort = 65535;

class TSocketConnection {
public:
    // Receive's result when nothing arrived within the wait.
    static constexpr std::ptrdiff_t kNothingYet = -1;

    virtual ~TSocketConnection() = default;
    // Waits at most timeoutMs (0: only looks) for the connection to be ready: the host's name
    // looked up, the connection made and, after StartTls, the TLS handshake done. True once it
    // is, false while it is still under way; throws ESocketError, or ETlsError for the handshake.
    virtual bool WaitConnected(int timeoutMs) = 0;
    // Once WaitConnected has said true: everything sent and received from now on goes through
    // TLS 1.2 or newer with serverName, whose certificate must be trusted by the system and
    // issued for serverName (a host name, or a dotted IPv4 address). WaitConnected does the
    // handshake.
    virtual void StartTls(const std::string& serverName) = 0;
    // Sends what the peer accepts within timeoutMs, at once when it has room. Returns the count of
    // bytes sent, 0 only when the wait ran out. Throws ESocketError (ETlsError over TLS); a
    // closed peer is an error, never a signal.
    virtual std::size_t Send(std::string_view bytes, int timeoutMs) = 0;
    // Waits at most timeoutMs (0: only looks) for bytes and receives up to capacity of them into
    // buffer. Returns the count, 0 when the peer has closed its side, or kNothingYet. Throws
    // ESocketError (ETlsError over TLS).
    virtual std::ptrdiff_t Receive(char* buffer, std::size_t capacity, int timeoutMs) = 0;
};

class TSocketLayer {
public:
    virtual ~TSocketLayer() = default;
    // Starts an IPv4 TCP connection to host and port (1..65535) and returns at once;
    // WaitConnected tells when it is made. Throws EInvalidSocket or ESocketError; nothing stays
    // open on failure. The caller owns the result; destroying it shuts down sending and closes
    // the socket.
    virtual std::unique_ptr<TSocketConnection> Connect(const std::string& host, int port) = 0;
};

// Looks up the IPv4 address of a host name, for as long as the name servers take.
class TNameResolver {
public:
    virtual ~TNameResolver() = default;
    // Called on a thread of its own. Returns the address in network byte order; throws
    // ESocketError (kWsaHostNotFound, kWsaTryAgain, kWsaNoRecovery) for a name not resolved.
    // Any other exception counts as kWsaNoRecovery.
    virtual std::uint32_t Resolve(const std::string& host) = 0;
};

// The layer on POSIX sockets and OpenSSL. "LOCALHOST" (any letter case) is 127.0.0.1 and a dotted
// address of four numbers 0..255 is used as it is; other names go to resolver on a thread of
// their own, which a connection given up during the look-up leaves behind to end by itself.
// OS error numbers become Windows Sockets codes (WsaCodeFromErrno). A wait of n milliseconds
// lasts at least n milliseconds unless something arrives.
std::unique_ptr<TSocketLayer> MakePosixSocketLayer(std::shared_ptr<TNameResolver> resolver);
// The layer with the system's resolver (getaddrinfo), for the whole run.
TSocketLayer& PosixSocketLayer();
