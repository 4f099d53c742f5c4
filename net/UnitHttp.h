#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/UnitHttp_errors.h"
#include "net/UnitHttp_response.h"
#include "net/UnitHttp_socket.h"

// An address taken apart: "\" read as "/", the fragment dropped, the query kept in document.
struct TAddressParts {
    std::string scheme;    // text before "://"; empty without "://"
    std::string host;      // empty without "://"
    std::string portText;  // text after the authority's first ":"
    std::string path;      // starts and ends with "/"
    std::string document;  // the text after the path's last "/", query included
    // portText as a decimal integer; none when empty or not a number. A number beyond the range
    // of int is held as 0, which no connection takes either.
    std::optional<int> port;
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
    // The validators of the copy the caller holds (an ETag, a Last-Modified date): the server
    // may answer 304 Not Modified when the page has not changed since.
    std::string IfNoneMatch;
    std::string IfModifiedSince;
    std::vector<std::string> ExtraHeaders;  // further request lines, sent as they are
};

enum class TProtocolVersion { pv1_0, pv1_1 };

// Where a get puts the body as it arrives. A get that throws may have written part of a body, or
// the body of an error response: the caller discards what it got then.
class TBodySink {
public:
    virtual ~TBodySink() = default;
    // Takes the next bytes of the body; may throw, which ends the get with the connection closed.
    virtual void Write(std::string_view bytes) = 0;
};

// Watches a get while it runs and may cancel it.
class TFetchMonitor {
public:
    virtual ~TFetchMonitor() = default;
    // Called about every THttpClient::kMonitorIntervalMs while a get runs, waits included, on
    // the caller's thread, so it may run the caller's event loop. received counts the body
    // bytes so far, length is the body's announced length or -1 while it is unknown. True
    // cancels the get: it ends with EFetchCancelled and the connection closed.
    virtual bool Progress(std::int64_t received, std::int64_t length) = 0;
};

// A blocking HTTP/1.1 client for one GET at a time, directly or through an HTTP proxy. An https
// address is fetched over TLS, through the proxy in a tunnel its CONNECT opens to the site. The
// connection may stay open between calls and is reused while the target stays the same: scheme,
// host and port, and through the proxy the site an https tunnel leads to.
class THttpClient {
public:
    static constexpr int kDefaultPort = 80;
    static constexpr int kDefaultSecurePort = 443;
    static constexpr int kDefaultRedirectMaximum = 15;
    static constexpr int kDefaultConnectTimeoutMs = 30'000;
    static constexpr int kDefaultReadTimeoutMs = 60'000;
    static constexpr int kDefaultTotalTimeoutMs = 5 * 60'000;
    // The longest the client waits on the socket in one piece, and how often it calls a monitor.
    static constexpr int kMonitorIntervalMs = 25;
    // The reader's limits (see THttpResponseReader); MaxBodySize below is the body limit.
    static constexpr std::size_t kMaxLineLength = THttpResponseReader::kMaxLineLength;
    static constexpr std::size_t kMaxHeaderLines = THttpResponseReader::kMaxHeaderLines;
    static constexpr std::int64_t kMaxBodySize = std::int64_t(1) << 30;

    // The layer must outlive the client; by default POSIX sockets.
    explicit THttpClient(TSocketLayer& layer = PosixSocketLayer());
    THttpClient(const THttpClient&) = delete;
    THttpClient& operator=(const THttpClient&) = delete;
    ~THttpClient();

    // GETs address and returns the response body as raw bytes (zero bytes included). monitor,
    // when given, is called while the get runs (see TFetchMonitor). A kept-open connection that
    // the peer closed or reset before any byte of an answer is replaced once by a new one.
    // Every failure is an EBaseError:
    //  - EProtocolReplyError: a redirect (never followed) or a status outside 200..299; the
    //    response was read whole and the connection is kept. A 304 that answers a request with
    //    IfNoneMatch or IfModifiedSince is no error: the get returns without a body, and
    //    ResponseCode() tells it.
    //    Also a proxy that refuses the tunnel of an https address; that connection is closed.
    //  - ETlsError: an https connection could not be secured: the server's certificate was
    //    refused (expired, issued for another name, by an authority the system does not trust)
    //    or the TLS handshake failed.
    //  - ESocketError: a socket operation failed (10060 when a wait or the whole get ran out of
    //    time, 10049 for a port outside 1..65535, 11001 to 11003 for a name not resolved).
    //  - EInvalidSocket: no socket could be made.
    //  - EConnClosedGracefully: the peer closed before the response was complete.
    //  - EConvertError: a status code or a Content-Range number that is not an integer.
    //  - EResponseLimitError: a line, the header lines, a chunk or the body over the limits.
    //  - EFetchCancelled: the monitor cancelled the get.
    // The 10049 of a proxied address leaves the connection as it was; every other error but
    // EProtocolReplyError closes it, and so does an error of the sink.
    std::string FetchBody(std::string_view address, TFetchMonitor* monitor = nullptr);
    // The same get, with the body written to body as it arrives instead of kept in memory.
    void FetchBody(std::string_view address, TBodySink& body, TFetchMonitor* monitor = nullptr);

    // Closes the open connection, if any.
    void Disconnect();
    bool Connected() const { return connection != nullptr; }

    // The status and header lines of the last response, as far as they were read.
    int ResponseCode() const { return reader.StatusCode(); }
    const std::string& ResponseText() const { return reader.StatusText(); }
    const TResponseInfo& Response() const { return reader.Info(); }

    std::string Host;  // the host connected to; set by every get to the target used
    int Port = kDefaultPort;
    TProtocolVersion ProtocolVersion = TProtocolVersion::pv1_1;
    // Kept for the component's shape: redirects are never followed, whatever these say.
    bool HandleRedirects = false;
    int RedirectMaximum = kDefaultRedirectMaximum;
    THeaderInfo Request;
    // Bounds of every wait: for a connection to open, and for the peer to take or send the next
    // bytes; and of the whole get: connect, request and response.
    int ConnectTimeoutMs = kDefaultConnectTimeoutMs;
    int ReadTimeoutMs = kDefaultReadTimeoutMs;
    int TotalTimeoutMs = kDefaultTotalTimeoutMs;
    std::int64_t MaxBodySize = kMaxBodySize;

private:
    using Clock = std::chrono::steady_clock;

    // What the get under way writes to and reports to, and its limits; set by every get and
    // used only while it runs.
    struct TGet {
        TBodySink* body = nullptr;
        TFetchMonitor* monitor = nullptr;
        Clock::time_point deadline;
        Clock::time_point nextReport;
        std::int64_t received = 0;
        std::int64_t length = -1;
    };

    // Sets Host and Port, and the route of the get under way; returns the request target.
    std::string ChooseTarget(const TAddressParts& parts);
    void DropStaleConnection();
    // Sends the request on the connection kept from an earlier get and waits for the first byte
    // of the answer. False when there is no such connection, or when the peer closed or reset it
    // before answering: it had closed it right after its last response, too late for the checks
    // after that response and before this request to see. A GET may then simply go out again.
    bool SendOnKeptConnection(const std::string& target);
    // Connects to Host and Port, then opens the tunnel and the TLS session the route asks for.
    void OpenConnection();
    void AwaitConnected();
    // Asks the proxy for a tunnel to the site; a refusal closes the connection and throws
    // EProtocolReplyError with the proxy's status text.
    void OpenTunnel();
    // The request's bytes: the GET line, the header lines in their fixed order, an empty line.
    std::string RequestText(const std::string& target) const;
    // The proxy's credentials line ("Proxy-Authorization: Basic ..." and CR LF), or nothing.
    std::string ProxyAuthorizationLine() const;
    const char* VersionText() const;
    void SendRequest(const std::string& target);
    void SendText(std::string_view text);
    // Hands the received bytes to a fresh reader until the response is complete; its body goes
    // to the get's sink. answersConnect: the response to a CONNECT, whose success has no body.
    void ReadResponse(bool answersConnect = false);
    void FinishExchange();

    // Repeats attempt(sliceMs), each run allowed to wait at most sliceMs, until it returns
    // true; between runs the monitor is called. Throws ESocketError 10060 once waitMs have
    // passed without success, or at the whole get's deadline.
    template <typename Attempt>
    void Await(int waitMs, Attempt attempt);
    // Ends the get at its deadline; calls the monitor when it is due.
    void Checkpoint();

    // Input: the bytes at [inPos, inEnd) of inBuffer come before anything not yet received.
    std::ptrdiff_t ReceiveIntoBuffer(int timeoutMs);
    // Waits for more bytes; false when the peer has closed.
    bool Fill();
    void PassToBody(std::string_view bytes);

    // Where a connection leads beyond Host and Port: over TLS or not, and through the proxy the
    // "host:port" of the site its tunnel reaches (empty without a tunnel).
    struct TRoute {
        bool secure = false;
        std::string tunnel;
    };

    TSocketLayer& layer;
    std::unique_ptr<TSocketConnection> connection;
    std::string connectedHost;
    int connectedPort = 0;
    TRoute connectedRoute;
    TRoute route;  // of the get under way
    std::string inBuffer;
    std::size_t inPos = 0;
    std::size_t inEnd = 0;
    bool peerClosed = false;

    std::string requestHost;
    std::string requestScheme;
    THttpResponseReader reader{kMaxBodySize};
    TGet get;
};
