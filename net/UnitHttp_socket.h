#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// The socket layer under the HTTP client: one TCP connection, and the layer that opens them.
// Every wait is bounded by the caller, so the client can wait in short slices and do other work
// in between. The client only talks to these interfaces, so tests and fuzzers can plug in a peer
// of their own.

inline constexpr int kMaxPort = 65535;

class TSocketConnection {
public:
    // Receive's result when nothing arrived within the wait.
    static constexpr std::ptrdiff_t kNothingYet = -1;

    virtual ~TSocketConnection() = default;
    // Waits at most timeoutMs (0: only looks) for the connection to be made. True once it is,
    // false while it is still being made; throws ESocketError when it failed.
    virtual bool WaitConnected(int timeoutMs) = 0;
    // Sends what the peer accepts within timeoutMs, at once when it has room. Returns the count of
    // bytes sent, 0 only when the wait ran out. Throws ESocketError; a closed peer is an error,
    // never a signal.
    virtual std::size_t Send(std::string_view bytes, int timeoutMs) = 0;
    // Waits at most timeoutMs (0: only looks) for bytes and receives up to capacity of them into
    // buffer. Returns the count, 0 when the peer has closed its side, or kNothingYet. Throws
    // ESocketError.
    virtual std::ptrdiff_t Receive(char* buffer, std::size_t capacity, int timeoutMs) = 0;
};

class TSocketLayer {
public:
    virtual ~TSocketLayer() = default;
    // Starts an IPv4 TCP connection to host and port (1..65535); WaitConnected tells when it is
    // made. Resolving a host name blocks. Throws EInvalidSocket or ESocketError; nothing stays
    // open on failure. The caller owns the result; destroying it shuts down sending and closes
    // the socket.
    virtual std::unique_ptr<TSocketConnection> Connect(const std::string& host, int port) = 0;
};

// The layer on POSIX sockets. "LOCALHOST" (any letter case) is 127.0.0.1 and a dotted address of
// four numbers 0..255 is used as it is; other names are resolved to their first IPv4 address.
// OS error numbers become Windows Sockets codes (WsaCodeFromErrno). A wait of n milliseconds
// lasts at least n milliseconds unless something arrives.
TSocketLayer& PosixSocketLayer();
