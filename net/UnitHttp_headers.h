#pragma once

#include <string_view>

// The names of the header lines that the request writer sends and the response reader sorts out,
// each spelt once. The reader matches them without regard to Latin letter case.
namespace header_name {

// Written by the request writer.
inline constexpr std::string_view kHost = "Host";
inline constexpr std::string_view kAccept = "Accept";
inline constexpr std::string_view kAcceptCharset = "Accept-Charset";
inline constexpr std::string_view kAcceptEncoding = "Accept-Encoding";
inline constexpr std::string_view kAcceptLanguage = "Accept-Language";
inline constexpr std::string_view kFrom = "From";
inline constexpr std::string_view kReferer = "Referer";
inline constexpr std::string_view kUserAgent = "User-Agent";
inline constexpr std::string_view kRange = "Range";
inline constexpr std::string_view kAuthorization = "Authorization";
inline constexpr std::string_view kProxyAuthorization = "Proxy-Authorization";
inline constexpr std::string_view kIfNoneMatch = "If-None-Match";
inline constexpr std::string_view kIfModifiedSince = "If-Modified-Since";

// Written by the request writer and read by the response reader.
inline constexpr std::string_view kConnection = "Connection";
inline constexpr std::string_view kContentVersion = "Content-Version";
inline constexpr std::string_view kContentEncoding = "Content-Encoding";
inline constexpr std::string_view kContentLanguage = "Content-Language";
inline constexpr std::string_view kContentType = "Content-Type";

// Read by the response reader.
inline constexpr std::string_view kLocation = "Location";
inline constexpr std::string_view kServer = "Server";
// Matched as spelt here, without a hyphen: a "WWW-Authenticate" line stays an extra header.
inline constexpr std::string_view kWwwAuthenticate = "WWWAuthenticate";
inline constexpr std::string_view kContentLength = "Content-Length";
inline constexpr std::string_view kContentRange = "Content-Range";
inline constexpr std::string_view kDate = "Date";
inline constexpr std::string_view kLastModified = "Last-Modified";
inline constexpr std::string_view kExpires = "Expires";
inline constexpr std::string_view kProxyAuthenticate = "Proxy-Authenticate";
inline constexpr std::string_view kTransferEncoding = "Transfer-Encoding";
inline constexpr std::string_view kETag = "ETag";
inline constexpr std::string_view kRetryAfter = "Retry-After";

}  // namespace header_name
