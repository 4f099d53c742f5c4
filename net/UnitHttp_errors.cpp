#include "net/UnitHttp_errors.h"

#include <algorithm>
#include <cerrno>
#include <charconv>

#include "util/Unitutils_cp1251.h"

namespace {

constexpr int kMostErrorsPerCode = 2;

// A Windows Sockets code, its text, and the OS error numbers reported as that code (0 fills the
// places not needed; 0 is no error number).
struct SocketErrorRow {
    int code;
    std::string_view text;
    int errors[kMostErrorsPerCode];
};

constexpr SocketErrorRow kSocketErrors[] = {
    {10004, "Interrupted system call.", {EINTR}},
    {10009, "Bad file number.", {EBADF}},
    {10013, "Access denied.", {EACCES, EPERM}},
    {10014, "Bad address.", {EFAULT}},
    {10022, "Invalid argument.", {EINVAL}},
    {10024, "Too many open files.", {EMFILE, ENFILE}},
    {10035, "Operation would block. ", {EWOULDBLOCK}},
    {10036, "Operation now in progress.", {EINPROGRESS}},
    {10037, "Operation already in progress.", {EALREADY}},
    {10038, "Socket operation on non-socket.", {ENOTSOCK}},
    {10039, "Destination address required.", {EDESTADDRREQ}},
    {10040, "Message too long.", {EMSGSIZE}},
    {10041, "Protocol wrong type for socket.", {EPROTOTYPE}},
    {10042, "Bad protocol option.", {ENOPROTOOPT}},
    {10043, "Protocol not supported.", {EPROTONOSUPPORT}},
    {10044, "Socket type not supported.", {ESOCKTNOSUPPORT}},
    {10045, "Operation not supported on socket.", {EOPNOTSUPP}},
    {10046, "Protocol family not supported.", {EPFNOSUPPORT}},
    {10047, "Address family not supported by protocol family.", {EAFNOSUPPORT}},
    {10048, "Address already in use.", {EADDRINUSE}},
    {kWsaAddrNotAvail, "Cannot assign requested address.", {EADDRNOTAVAIL}},
    {10050, "Network is down.", {ENETDOWN}},
    {10051, "Network is unreachable.", {ENETUNREACH}},
    {10052, "Net dropped connection or reset.", {ENETRESET}},
    {10053, "Software caused connection abort.", {ECONNABORTED}},
    // EPIPE: writing to a connection the peer has closed, which Windows reports as a reset.
    {kWsaConnReset, "Connection reset by peer.", {ECONNRESET, EPIPE}},
    {10055, "No buffer space available.", {ENOBUFS, ENOMEM}},
    {10056, "Socket is already connected.", {EISCONN}},
    {10057, "Socket is not connected.", {ENOTCONN}},
    {kWsaShutdown, "Cannot send or receive after socket is closed.", {ESHUTDOWN}},
    {10059, "Too many references, cannot splice.", {ETOOMANYREFS}},
    {kWsaTimedOut, "Connection timed out.", {ETIMEDOUT}},
    {10061, "Connection refused.", {ECONNREFUSED}},
    {10062, "Too many levels of symbolic links.", {ELOOP}},
    {10063, "File name too long.", {ENAMETOOLONG}},
    {10064, "Host is down.", {EHOSTDOWN}},
    {10065, "No route to host.", {EHOSTUNREACH}},
    {10066, "Directory not empty", {ENOTEMPTY}},
};

template <typename Int>
Int ConvertStrict(std::string_view text) {
    std::string_view digits = text;
    // from_chars takes a minus sign but not a plus sign.
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
        if (!digits.empty() && digits.front() == '-') {
            throw EConvertError(text);
        }
    }
    Int value = 0;
    const char* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value, 10);
    if (digits.empty() || ec != std::errc() || ptr != end) {
        throw EConvertError(text);
    }
    return value;
}

}  // namespace

EConvertError::EConvertError(std::string_view text)
    : EBaseError(std::string(1, '\'').append(text).append("' is not a valid integer value")) {}

EConnClosedGracefully::EConnClosedGracefully() : EBaseError("Connection Closed Gracefully.") {}

ETlsError::ETlsError(std::string_view reason)
    : EBaseError(std::string(TCp1251Text(u8"Защищённое соединение не установлено: ").View())
                     .append(reason)) {}

ETlsCutOff::ETlsCutOff()
    : EBaseError(TCp1251Text(u8"Сервер закрыл соединение, не завершив защищённый сеанс: "
                             u8"страница может быть неполной.")) {}

ESocketError::ESocketError(int code)
    : EBaseError("Socket Error # " + std::to_string(code) + "\r\n" +
                 std::string(SocketErrorText(code))),
      code(code) {}

EInvalidSocket::EInvalidSocket() : EBaseError("Cannot allocate socket.") {}

EFetchCancelled::EFetchCancelled() : EBaseError(TCp1251Text(u8"Загрузка прервана.")) {}

std::string_view SocketErrorText(int code) {
    for (const SocketErrorRow& row : kSocketErrors) {
        if (row.code == code) {
            return row.text;
        }
    }
    return {};
}

int WsaCodeFromErrno(int error) {
    if (error == 0) {
        return 0;
    }
    for (const SocketErrorRow& row : kSocketErrors) {
        if (std::find(std::begin(row.errors), std::end(row.errors), error) !=
            std::end(row.errors)) {
            return row.code;
        }
    }
    return error;
}

int StrToInt(std::string_view text) {
    return ConvertStrict<int>(text);
}

std::int64_t StrToInt64(std::string_view text) {
    return ConvertStrict<std::int64_t>(text);
}
