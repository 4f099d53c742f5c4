#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// The socket layer under the HTTP client: one open TCP connection, and the layer that opens
// them. The client only talks to these interfaces, so tests and fuzzers can plug in a peer of
// their own.

class TSocketConnection {
public:
    // Receive's result when nothing arrived within the wait.
    static constexpr std::ptrdiff_t kNothingYet = -1;

    virtual ~TSocketConnection() = default;
    // Sends every byte, waiting at most timeoutMs whenever the peer accepts nothing. Throws
    // ESocketError (10060 when the wait runs out); a closed peer is an error, never a signal.
    virtual void Send(std::string_view bytes, int timeoutMs) = 0;
    // Waits at most timeoutMs (0: only looks) for bytes and receives up to capacity of them into
    // buffer. Returns the count, 0 when the peer has closed its side, or kNothingYet. Throws
    // ESocketError.
    virtual std::ptrdiff_t Receive(char* buffer, std::size_t capacity, int timeoutMs) = 0;
};

class TSocketLayer {
public:
    virtual ~TSocketLayer() = default;
    // Opens an IPv4 TCP connection to host and port (1..65535), waiting at most timeoutMs for
    // it. Throws EInvalidSocket or ESocketError; nothing stays open on failure. The caller owns
    // the result; destroying it shuts down sending and closes the socket.
    virtual std::unique_ptr<TSocketConnection> Connect(const std::string& host, int port,
                                                       int timeoutMs) = 0;
};

// The layer on POSIX sockets. "LOCALHOST" (any letter case) is 127.0.0.1 and a dotted address of
// four numbers 0..255 is used as it is; other names are resolved to their first IPv4 address.
// OS error numbers become the Windows Sockets codes of the message table.
TSocketLayer& PosixSocketLayer();

// The Windows Sockets code for an OS error number; the number itself when it has none.
int WsaCodeFromErrno(int error);
