#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// The errors of a page download. Every one derives from EBaseError, whose what() is the exact
// message shown to the user (Windows-1251 bytes, no full stop added).
class EBaseError : public std::runtime_error {
public:
    explicit EBaseError(const std::string& message) : std::runtime_error(message) {}
};

// A text that is not a decimal integer: "'<text>' is not a valid integer value".
class EConvertError : public EBaseError {
public:
    explicit EConvertError(std::string_view text);
};

// A response that is not a success (or is a redirect, which is never followed). The message is
// the status line without its first word ("404 Not Found"); ReplyErrorCode() the status code.
class EProtocolReplyError : public EBaseError {
public:
    EProtocolReplyError(int code, const std::string& statusText)
        : EBaseError(statusText), code(code) {}
    int ReplyErrorCode() const { return code; }

private:
    int code;
};

// The peer closed the connection before a status line, header line, counted body or chunk was
// complete: "Connection Closed Gracefully."
class EConnClosedGracefully : public EBaseError {
public:
    EConnClosedGracefully();
};

// A secure connection that could not be made: the server's certificate was refused, or the TLS
// handshake or a later TLS record failed. The message is the program's own, in Windows-1251:
// "Защищённое соединение не установлено: " and the reason.
class ETlsError : public EBaseError {
public:
    explicit ETlsError(std::string_view reason);
};

// A failed socket operation: "Socket Error # <code>", CR LF, then SocketErrorText(code).
// LastError() is the Windows Sockets code (10060 for a wait that ran out of time).
class ESocketError : public EBaseError {
public:
    explicit ESocketError(int code);
    int LastError() const { return code; }

private:
    int code;
};

// The socket could not be created: "Cannot allocate socket."
class EInvalidSocket : public EBaseError {
public:
    EInvalidSocket();
};

// A response that breaks one of the reader's size limits (line length, header count, body size,
// chunk size). The connection is closed; the message names the limit.
class EResponseLimitError : public EBaseError {
public:
    using EBaseError::EBaseError;
};

// Over TLS, the server closed the connection without ending the session first, so the response
// may have been cut anywhere: "Сервер закрыл соединение, не завершив защищённый сеанс: страница
// может быть неполной." in Windows-1251. Refused even for a body that runs until the close.
class ETlsCutOff : public EBaseError {
public:
    ETlsCutOff();
};

// The get was cancelled through its monitor; the connection is closed. The message is the
// program's own, "Загрузка прервана." in Windows-1251.
class EFetchCancelled : public EBaseError {
public:
    EFetchCancelled();
};

// Windows Sockets codes the client raises or looks for by name; the texts of these and of the
// other codes are in one table with the OS error numbers each stands for.
constexpr int kWsaAddrNotAvail = 10049;
constexpr int kWsaConnReset = 10054;
constexpr int kWsaShutdown = 10058;
constexpr int kWsaTimedOut = 10060;
// Codes of a failed name look-up, with no text of their own.
constexpr int kWsaHostNotFound = 11001;  // the name does not exist
constexpr int kWsaTryAgain = 11002;      // the name server did not answer for now
constexpr int kWsaNoRecovery = 11003;    // any other failure of the name look-up

// The text of a Windows Sockets code; empty for codes without one.
std::string_view SocketErrorText(int code);
// The Windows Sockets code for an OS error number; the number itself when it has none.
int WsaCodeFromErrno(int error);

// Strict decimal conversion: an optional sign and one or more digits, nothing else, within the
// range of the result. Anything else throws EConvertError naming text.
int StrToInt(std::string_view text);
std::int64_t StrToInt64(std::string_view text);
