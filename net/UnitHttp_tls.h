#pragma once

#include <openssl/types.h>

#include <cstddef>
#include <string>
#include <string_view>

// The TLS side of the POSIX socket layer: one client session over a connected non-blocking
// socket, on OpenSSL. It never waits: a step that cannot go on sets events to the poll events
// (POLLIN or POLLOUT) the socket must show first, and is repeated once it does; a step that went
// through leaves events 0. Failures throw ETlsError, or ESocketError for the socket's own.
class TTlsSession {
public:
    // serverName: the name sent to the server and checked against its certificate (a dotted
    // IPv4 address is checked against the certificate's addresses).
    TTlsSession(int fd, const std::string& serverName);
    // Tells the server the session ends, without waiting; the socket stays open.
    ~TTlsSession();
    TTlsSession(const TTlsSession&) = delete;
    TTlsSession& operator=(const TTlsSession&) = delete;

    // Handshake and Write throw EConnClosedGracefully when the server has ended the session.
    void Handshake(short& events);
    // The count of bytes taken; 0 while events are awaited.
    std::size_t Write(std::string_view bytes, short& events);
    // The count of bytes received; 0 when the server has ended the session, or while events are
    // awaited. Throws ETlsCutOff when the server closed the connection without ending it.
    std::size_t Read(char* buffer, std::size_t capacity, short& events);

private:
    void Begin(short& events);
    // After a step that did not go through: sets events when it is to be repeated, returns with
    // events 0 when the server ended the session, throws otherwise.
    void SortOut(int result, short& events);

    SSL* ssl;
    std::string serverName;
    // After a failure OpenSSL must not be asked to end the session politely.
    bool failed = false;
};
