#include "net/UnitHttp_errors.h"

#include <charconv>

namespace {

struct SocketErrorRow {
    int code;
    std::string_view text;
};

constexpr SocketErrorRow kSocketErrorTexts[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block. "},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
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

EInterceptPropInvalid::EInterceptPropInvalid() : EBaseError("Intercept value is not valid") {}

ESocketError::ESocketError(int code)
    : EBaseError("Socket Error # " + std::to_string(code) + "\r\n" +
                 std::string(SocketErrorText(code))),
      code(code) {}

EInvalidSocket::EInvalidSocket() : EBaseError("Cannot allocate socket.") {}

// "Загрузка прервана." as Windows-1251 bytes: the message is shown as the other errors are.
EFetchCancelled::EFetchCancelled()
    : EBaseError("\xC7\xE0\xE3\xF0\xF3\xE7\xEA\xE0 \xEF\xF0\xE5\xF0\xE2\xE0\xED\xE0.") {}

std::string_view SocketErrorText(int code) {
    for (const SocketErrorRow& row : kSocketErrorTexts) {
        if (row.code == code) {
            return row.text;
        }
    }
    return {};
}

int StrToInt(std::string_view text) {
    return ConvertStrict<int>(text);
}

std::int64_t StrToInt64(std::string_view text) {
    return ConvertStrict<std::int64_t>(text);
}
