#include "net/UnitHttp.h"

#include <algorithm>
#include <charconv>

#include "net/UnitHttp_headers.h"
#include "util/Unitutils.h"

namespace {

// Bytes asked of the socket per receive into the input buffer, which every body passes through.
constexpr std::size_t kReceiveChunk = 64 * 1024;
// The look at the connection after a response, for a peer that closed right after it.
constexpr int kAfterResponseCheckMs = 1;

constexpr char kCrLf[] = "\r\n";
constexpr int kNotModified = 304;

// The request lines sent as their field holds them, when it is not empty, in this order.
struct TRequestTextField {
    std::string_view name;
    std::string THeaderInfo::*field;
};

constexpr TRequestTextField kRequestTextFields[] = {
    {header_name::kAccept, &THeaderInfo::Accept},
    {header_name::kAcceptCharset, &THeaderInfo::AcceptCharSet},
    {header_name::kAcceptEncoding, &THeaderInfo::AcceptEncoding},
    {header_name::kAcceptLanguage, &THeaderInfo::AcceptLanguage},
    {header_name::kFrom, &THeaderInfo::From},
    {header_name::kReferer, &THeaderInfo::Referer},
    {header_name::kUserAgent, &THeaderInfo::UserAgent},
    {header_name::kConnection, &THeaderInfo::Connection},
    {header_name::kContentVersion, &THeaderInfo::ContentVersion},
    {header_name::kContentEncoding, &THeaderInfo::ContentEncoding},
    {header_name::kContentLanguage, &THeaderInfo::ContentLanguage},
    {header_name::kContentType, &THeaderInfo::ContentType},
    {header_name::kIfNoneMatch, &THeaderInfo::IfNoneMatch},
    {header_name::kIfModifiedSince, &THeaderInfo::IfModifiedSince},
};

// A port text read as a decimal number; none when it is empty or not a number. A number beyond
// the range of int becomes 0, a port that is refused like every other outside 1..65535.
std::optional<int> PortNumber(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
    if (text.empty() || ptr != end) {
        return std::nullopt;
    }
    return ec == std::errc::result_out_of_range ? 0 : value;
}

bool IsValidPort(int port) {
    return port >= 1 && port <= kMaxPort;
}

bool IsSecure(std::string_view scheme) {
    return EqualIgnoringLatinCase(scheme, "HTTPS");
}

void AddLine(std::string& text, std::string_view name, std::string_view value) {
    text.append(name).append(": ").append(value).append(kCrLf);
}

class TStringSink final : public TBodySink {
public:
    void Write(std::string_view bytes) override { body.append(bytes); }
    std::string body;
};

}  // namespace

TAddressParts SplitAddress(std::string_view address) {
    std::string text(address);
    std::replace(text.begin(), text.end(), '\\', '/');

    TAddressParts parts;
    std::string_view rest = text;
    const std::size_t separator = rest.find("://");
    if (separator != std::string_view::npos) {
        parts.scheme = rest.substr(0, separator);
        rest.remove_prefix(separator + 3);
        std::string_view authority = SplitAtFirst(rest, '/');
        parts.host = SplitAtFirst(authority, ':');
        parts.portText = authority;
        parts.port = PortNumber(parts.portText);
    }
    // The fragment is cut before the split, so that a "/" inside it never reaches the path.
    rest = rest.substr(0, rest.find('#'));
    const std::size_t lastSlash = rest.rfind('/');
    if (lastSlash != std::string_view::npos) {
        parts.path = rest.substr(0, lastSlash + 1);
        parts.document = rest.substr(lastSlash + 1);
    } else {
        parts.document = rest;
    }
    if (parts.path.empty() || parts.path.front() != '/') {
        parts.path.insert(0, "/");
    }
    return parts;
}

std::string EncodeBase64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = unsigned(static_cast<unsigned char>(bytes[i])) << 16 |
                           unsigned(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                           unsigned(static_cast<unsigned char>(bytes[i + 2]));
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (const std::size_t left = bytes.size() - i; left > 0) {
        unsigned v = unsigned(static_cast<unsigned char>(bytes[i])) << 16;
        if (left == 2) {
            v |= unsigned(static_cast<unsigned char>(bytes[i + 1])) << 8;
        }
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += left == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

THttpClient::THttpClient(TSocketLayer& layer) : layer(layer) {}

THttpClient::~THttpClient() = default;

void THttpClient::Disconnect() {
    connection.reset();
    inPos = 0;
    inEnd = 0;
    peerClosed = false;
}

template <typename Attempt>
void THttpClient::Await(int waitMs, Attempt attempt) {
    const Clock::time_point waitEnd = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        Checkpoint();
        const Clock::time_point now = Clock::now();
        const Clock::time_point end = std::min(waitEnd, get.deadline);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
        if (attempt(int(std::clamp<decltype(left)>(left, 0, kMonitorIntervalMs)))) {
            return;
        }
        if (Clock::now() >= end) {
            throw ESocketError(kWsaTimedOut);
        }
    }
}

void THttpClient::Checkpoint() {
    const Clock::time_point now = Clock::now();
    if (now >= get.deadline) {
        throw ESocketError(kWsaTimedOut);
    }
    if (get.monitor && now >= get.nextReport) {
        get.nextReport = now + std::chrono::milliseconds(kMonitorIntervalMs);
        if (get.monitor->Progress(get.received, get.length)) {
            throw EFetchCancelled();
        }
    }
}

std::string THttpClient::FetchBody(std::string_view address, TFetchMonitor* monitor) {
    TStringSink body;
    FetchBody(address, body, monitor);
    return std::move(body.body);
}

void THttpClient::FetchBody(std::string_view address, TBodySink& body, TFetchMonitor* monitor) {
    const TAddressParts parts = SplitAddress(address);
    const std::string target = ChooseTarget(parts);
    const Clock::time_point start = Clock::now();
    get = TGet{.body = &body,
               .monitor = monitor,
               .deadline = start + std::chrono::milliseconds(TotalTimeoutMs),
               .nextReport = start + std::chrono::milliseconds(kMonitorIntervalMs)};
    try {
        DropStaleConnection();
        if (!SendOnKeptConnection(target)) {
            Disconnect();
            OpenConnection();
            SendRequest(target);
        }
        ReadResponse();
        const int code = reader.StatusCode();
        const bool redirect =
            (code >= 300 && code <= 399 && code != 304) || !reader.Info().Location.empty();
        const bool unchanged = code == kNotModified &&
                               !(Request.IfNoneMatch.empty() && Request.IfModifiedSince.empty());
        if (redirect || ((code < 200 || code > 299) && !unchanged)) {
            throw EProtocolReplyError(code, reader.StatusText());
        }
        FinishExchange();
    } catch (const EProtocolReplyError&) {
        throw;  // the response was read whole; the connection is still in step
    } catch (...) {
        Disconnect();
        throw;
    }
}

std::string THttpClient::ChooseTarget(const TAddressParts& parts) {
    std::string target;
    if (Request.ProxyServer.empty()) {
        if (!parts.host.empty()) {
            // An address without a port always counts as another target.
            if (connection &&
                (!EqualIgnoringLatinCase(parts.host, Host) || !parts.port || *parts.port != Port)) {
                Disconnect();
            }
            Host = parts.host;
            requestHost = parts.host;
            if (!parts.scheme.empty()) {
                requestScheme = parts.scheme;
            }
        } else {
            requestHost = Host;
        }
        // An address without a scheme goes the way the last one went, as it goes to its host.
        route = {.secure = IsSecure(requestScheme), .tunnel = {}};
        Port = parts.port.value_or(route.secure ? kDefaultSecurePort : kDefaultPort);
        target = parts.path + parts.document;
    } else {
        // Whatever the proxy would make of it, the address cannot be reached.
        if (parts.port && !IsValidPort(*parts.port)) {
            throw ESocketError(kWsaAddrNotAvail);
        }
        Host = Request.ProxyServer;
        Port = Request.ProxyPort;
        if (!parts.host.empty()) {
            requestHost = parts.host;
        }
        if (!parts.scheme.empty()) {
            requestScheme = parts.scheme;
        }
        route = {.secure = IsSecure(requestScheme), .tunnel = {}};
        if (route.secure) {
            // The proxy only relays the bytes of the TLS session; the get inside goes to the site.
            route.tunnel =
                requestHost + ":" + std::to_string(parts.port.value_or(kDefaultSecurePort));
            target = parts.path + parts.document;
        } else {
            // The proxy learns the port only from the target, so a port in the address stays in
            // it.
            const std::string port = parts.port ? ":" + std::to_string(*parts.port) : "";
            target = requestScheme + "://" + requestHost + port + parts.path + parts.document;
        }
    }
    // A request must reach the target just chosen, never a connection left from another one.
    if (connection && (!EqualIgnoringLatinCase(connectedHost, Host) || connectedPort != Port ||
                       connectedRoute.secure != route.secure ||
                       !EqualIgnoringLatinCase(connectedRoute.tunnel, route.tunnel))) {
        Disconnect();
    }
    return target;
}

void THttpClient::DropStaleConnection() {
    if (!connection) {
        return;
    }
    // An idle connection has nothing to read. Readable means the peer closed it (zero bytes),
    // reset it (an error), or sent bytes no request asked for; a request sent on it would fail
    // or be answered out of step, so a fresh connection is made instead.
    if (peerClosed || inPos < inEnd) {
        Disconnect();
        return;
    }
    char probe[1];
    try {
        if (connection->Receive(probe, sizeof probe, 0) != TSocketConnection::kNothingYet) {
            Disconnect();
        }
    } catch (const ESocketError&) {
        Disconnect();
    } catch (const ETlsCutOff&) {
        Disconnect();
    }
}

bool THttpClient::SendOnKeptConnection(const std::string& target) {
    if (!connection) {
        return false;
    }
    try {
        SendRequest(target);
        return inPos < inEnd || Fill();
    } catch (const ESocketError& error) {
        if (error.LastError() != kWsaConnReset) {
            throw;
        }
        return false;
    } catch (const ETlsCutOff&) {
        return false;  // closed before a byte of the response, as a plain connection may be
    }
}

void THttpClient::OpenConnection() {
    connection = layer.Connect(Host, Port);
    connectedHost = Host;
    connectedPort = Port;
    connectedRoute = route;
    AwaitConnected();
    if (!route.tunnel.empty()) {
        OpenTunnel();
    }
    if (route.secure) {
        connection->StartTls(requestHost);
        AwaitConnected();
    }
}

void THttpClient::AwaitConnected() {
    Await(ConnectTimeoutMs, [this](int sliceMs) { return connection->WaitConnected(sliceMs); });
}

void THttpClient::OpenTunnel() {
    std::string request = "CONNECT " + route.tunnel + " HTTP/" + VersionText() + kCrLf;
    AddLine(request, header_name::kHost, route.tunnel);
    request += ProxyAuthorizationLine() + kCrLf;
    SendText(request);
    ReadResponse(true);
    const int code = reader.StatusCode();
    if (code < 200 || code > 299) {
        // Not a tunnel, so never to be taken for one by a later get.
        Disconnect();
        throw EProtocolReplyError(code, reader.StatusText());
    }
    // The site speaks only after the client's first TLS bytes: whatever came with the proxy's
    // answer is not the site's.
    inPos = inEnd;
}

std::string THttpClient::RequestText(const std::string& target) const {
    std::string request = "GET " + target + " HTTP/" + VersionText() + kCrLf;
    AddLine(request, header_name::kHost, requestHost);
    for (const TRequestTextField& line : kRequestTextFields) {
        if (const std::string& value = Request.*line.field; !value.empty()) {
            AddLine(request, line.name, value);
        }
    }
    if (Request.ContentRangeStart != 0 || Request.ContentRangeEnd != 0) {
        AddLine(request, header_name::kRange,
                "bytes=" + std::to_string(Request.ContentRangeStart) + "-" +
                    std::to_string(Request.ContentRangeEnd));
    }
    if (!Request.Username.empty()) {
        AddLine(request, header_name::kAuthorization,
                "Basic " + EncodeBase64(Request.Username + ":" + Request.Password));
    }
    // Inside a tunnel the get goes to the site, which must never see the proxy's credentials.
    if (route.tunnel.empty()) {
        request += ProxyAuthorizationLine();
    }
    for (const std::string& line : Request.ExtraHeaders) {
        request.append(line).append(kCrLf);
    }
    request += kCrLf;
    return request;
}

std::string THttpClient::ProxyAuthorizationLine() const {
    std::string line;
    if (!Request.ProxyServer.empty() && !Request.ProxyUsername.empty()) {
        AddLine(line, header_name::kProxyAuthorization,
                "Basic " + EncodeBase64(Request.ProxyUsername + ":" + Request.ProxyPassword));
    }
    return line;
}

const char* THttpClient::VersionText() const {
    return ProtocolVersion == TProtocolVersion::pv1_0 ? "1.0" : "1.1";
}

void THttpClient::SendRequest(const std::string& target) {
    SendText(RequestText(target));
}

void THttpClient::SendText(std::string_view text) {
    // One send for the whole request: the same bytes as line by line, without waiting on the
    // peer's delayed acknowledgement between the lines.
    for (std::string_view rest = text; !rest.empty();) {
        Await(ReadTimeoutMs, [&](int sliceMs) {
            const std::size_t sent = connection->Send(rest, sliceMs);
            rest.remove_prefix(sent);
            return sent > 0;
        });
    }
}

void THttpClient::ReadResponse(bool answersConnect) {
    reader = THttpResponseReader(MaxBodySize, answersConnect);
    while (!reader.Complete()) {
        if (inPos == inEnd && !Fill()) {
            reader.Close();
            break;
        }
        const THttpResponseReader::TStep step =
            reader.Read(std::string_view(inBuffer).substr(inPos, inEnd - inPos));
        inPos += step.taken;
        get.length = reader.BodyLength();
        PassToBody(step.body);
    }
}

void THttpClient::FinishExchange() {
    if (peerClosed || ProtocolVersion == TProtocolVersion::pv1_0 || reader.EndsConnection()) {
        Disconnect();
        return;
    }
    try {
        if (ReceiveIntoBuffer(kAfterResponseCheckMs) == 0) {
            Disconnect();
        }
    } catch (const ESocketError&) {
        Disconnect();  // the body is whole; the next get connects anew
    } catch (const ETlsCutOff&) {
        Disconnect();
    }
}

std::ptrdiff_t THttpClient::ReceiveIntoBuffer(int timeoutMs) {
    // The reader takes every byte it is given but those after a complete response, so unread
    // bytes are left only by the look after a response; every other receive starts at the front.
    if (inPos == inEnd) {
        inPos = 0;
        inEnd = 0;
    }
    if (inBuffer.size() - inEnd < kReceiveChunk / 4) {
        inBuffer.resize(inEnd + kReceiveChunk);
    }
    const std::ptrdiff_t n =
        connection->Receive(inBuffer.data() + inEnd, inBuffer.size() - inEnd, timeoutMs);
    if (n > 0) {
        inEnd += std::size_t(n);
    } else if (n == 0) {
        peerClosed = true;
    }
    return n;
}

bool THttpClient::Fill() {
    std::ptrdiff_t n = 0;
    Await(ReadTimeoutMs, [&](int sliceMs) {
        n = ReceiveIntoBuffer(sliceMs);
        return n != TSocketConnection::kNothingYet;
    });
    return n > 0;
}

void THttpClient::PassToBody(std::string_view bytes) {
    if (bytes.empty()) {
        return;
    }
    get.body->Write(bytes);
    get.received += std::int64_t(bytes.size());
}
