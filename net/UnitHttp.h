#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/UnitHttp_errors.h"
#include "net/UnitHttp_socket.h"

// An address taken apart: "\" read as "/", the fragment dropped, the query kept in document.
struct TAddressParts {
    std::string scheme;       // text before "://"; empty without "://"
    std::string host;         // empty without "://"
    std::string portText;     // text after the authority's first ":"
    std::string path;         // starts and ends with "/"
    std::string document;     // the text after the path's last "/", query included
    std::optional<int> port;  // portText as a decimal integer; none when empty or not a number
};

// Splits an address as typed in the address box. Never fails; any bytes are accepted.
TAddressParts SplitAddress(std::string_view address);

// Standard Base64 (RFC 2045 alphabet, "=" padding, no line breaks).
std::string EncodeBase64(std::string_view bytes);

// The fields from which request headers are made (texts empty and numbers 0 mean "not sent"),
// and the proxy to go through (none while ProxyServer is empty).
struct THeaderInfo {
    std::string Accept;
    std::string AcceptCharSet;
    std::string AcceptEncoding;
    std::string AcceptLanguage;
    std::string From;
    std::string Referer;
    std::string UserAgent;
    std::string Connection;
    std::string ContentVersion;
    std::string ContentEncoding;
    std::string ContentLanguage;
    std::string ContentType;
    std::int64_t ContentLength = 0;  // never sent by a get
    std::int64_t ContentRangeStart = 0;
    std::int64_t ContentRangeEnd = 0;
    std::string Username;
    std::string Password;
    std::string ProxyServer;
    int ProxyPort = 0;
    std::string ProxyUsername;
    std::string ProxyPassword;
    std::vector<std::string> ExtraHeaders;  // further request lines, sent as they are
};

// The header lines of the last response: the known fields by name, every other line (among
// them Transfer-Encoding) in ExtraHeaders as "Name: value".
struct TResponseInfo {
    std::string Location;
    std::string Server;
    std::string Connection;
    std::string ContentVersion;
    std::string WWWAuthenticate;
    std::string ContentEncoding;
    std::string ContentLanguage;
    std::string ContentType;
    std::int64_t ContentLength = 0;  // 0 when missing or not a number
    std::int64_t ContentRangeStart = 0;
    std::int64_t ContentRangeEnd = 0;
    std::string Date;
    std::string LastModified;
    std::string Expires;
    std::string ProxyAuthenticate;
    std::vector<std::string> ExtraHeaders;
};

enum class TProtocolVersion { pv1_0, pv1_1 };

// A blocking HTTP/1.1 client for one GET at a time, directly or through an HTTP proxy. The
// connection may stay open between calls and is reused while the target stays the same.
class THttpClient {
public:
    static constexpr int kDefaultPort = 80;
    static constexpr int kDefaultRedirectMaximum = 15;
    static constexpr int kDefaultConnectTimeoutMs = 30'000;
    static constexpr int kDefaultReadTimeoutMs = 60'000;
    // Reader limits: a longer line, more header lines or a larger body end the get with
    // EResponseLimitError instead of growing memory on the peer's word.
    static constexpr std::size_t kMaxLineLength = 16 * 1024;
    static constexpr std::size_t kMaxHeaderLines = 256;
    static constexpr std::int64_t kMaxBodySize = std::int64_t(1) << 30;

    // The layer must outlive the client; by default POSIX sockets.
    explicit THttpClient(TSocketLayer& layer = PosixSocketLayer());
    THttpClient(const THttpClient&) = delete;
    THttpClient& operator=(const THttpClient&) = delete;
    ~THttpClient();

    // GETs address and returns the response body as raw bytes (zero bytes included). Throws
    // EProtocolReplyError for a redirect (never followed) or a status outside 200..299, with
    // the response read and the connection kept; EInterceptPropInvalid for a direct "https"
    // address; ESocketError, EConnClosedGracefully, EConvertError or EResponseLimitError
    // otherwise, each with the connection closed.
    std::string FetchBody(std::string_view address);

    // Closes the open connection, if any.
    void Disconnect();
    bool Connected() const { return connection != nullptr; }

    int ResponseCode() const { return statusCode; }
    const std::string& ResponseText() const { return statusText; }
    const TResponseInfo& Response() const { return response; }

    std::string Host;  // the host connected to; set by every get to the target used
    int Port = kDefaultPort;
    TProtocolVersion ProtocolVersion = TProtocolVersion::pv1_1;
    // Kept for the component's shape: redirects are never followed, whatever these say.
    bool HandleRedirects = false;
    int RedirectMaximum = kDefaultRedirectMaximum;
    THeaderInfo Request;
    // Bounds of every wait: for a connection to open, and for the next bytes of a response.
    int ConnectTimeoutMs = kDefaultConnectTimeoutMs;
    int ReadTimeoutMs = kDefaultReadTimeoutMs;
    std::int64_t MaxBodySize = kMaxBodySize;

private:
    std::string ChooseTarget(const TAddressParts& parts);
    void DropStaleConnection();
    void SendRequest(const std::string& target);
    void ReadResponseHead();
    std::string ReadBody();
    void ReadChunkedBody(std::string& body);
    void FinishExchange();

    // Input: the bytes at [inPos, inEnd) of inBuffer come before anything not yet received.
    std::ptrdiff_t ReceiveIntoBuffer(int timeoutMs);
    bool Fill();
    std::string ReadLine();
    void ReadExact(std::int64_t count, std::string& body);
    void ReadToClose(std::string& body);
    void CheckBodySize(std::int64_t size) const;

    TSocketLayer& layer;
    std::unique_ptr<TSocketConnection> connection;
    std::string connectedHost;
    int connectedPort = 0;
    std::string inBuffer;
    std::size_t inPos = 0;
    std::size_t inEnd = 0;
    bool peerClosed = false;

    std::string requestHost;
    std::string requestScheme;
    std::string statusText;
    int statusCode = 0;
    bool statusVersion10 = false;
    bool hasContentLength = false;  // the response named a length, 0 included
    TResponseInfo response;
};
