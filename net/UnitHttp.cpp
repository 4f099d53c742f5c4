#include "net/UnitHttp.h"
#include "util/Unitutils.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

// Bytes asked of the socket per receive into the input buffer, which every body passes through.
constexpr std::size_t kReceiveChunk = 64 * 1024;
// The look at the connection after a response, for a peer that closed right after it.
constexpr int kAfterResponseCheckMs = 1;

constexpr char kCrLf[] = "\r\n";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeadingBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    return s;
}

std::string_view TrimBlanks(std::string_view s) {
    s = TrimLeadingBlanks(s);
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Takes s up to the first delimiter and leaves the rest after it in s (all of s, and an empty
// rest, when there is no delimiter).
std::string_view Fetch(std::string_view& s, char delimiter) {
    const std::size_t at = s.find(delimiter);
    const std::string_view head = s.substr(0, at);
    s = at == std::string_view::npos ? std::string_view() : s.substr(at + 1);
    return head;
}

std::optional<std::int64_t> DecimalOrNone(std::string_view text) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
    if (text.empty() || ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

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

[[noreturn]] void ThrowChunkSizeTooLarge() {
    throw EResponseLimitError("Chunk size too large.");
}

// A chunk-size text read as hexadecimal; 0 when it is not a number. Sizes above limit throw
// before they can overflow.
std::int64_t ChunkSize(std::string_view text, std::int64_t limit) {
    std::int64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return 0;
        }
        value = value * 16 + digit;
        if (value > limit) {
            ThrowChunkSizeTooLarge();
        }
    }
    return value;
}

// Status codes whose responses never carry a body, whatever their headers say.
bool HasNoBody(int code) {
    return (code >= 100 && code <= 199) || code == 204 || code == 304;
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
        std::string_view authority = Fetch(rest, '/');
        parts.host = Fetch(authority, ':');
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
        ReadResponseHead();
        ReadBody();
        const bool redirect = (statusCode >= 300 && statusCode <= 399 && statusCode != 304) ||
                              !response.Location.empty();
        if (redirect || statusCode < 200 || statusCode > 299) {
            throw EProtocolReplyError(statusCode, statusText);
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
        if (EqualIgnoringLatinCase(parts.scheme, "HTTPS")) {
            throw EInterceptPropInvalid();
        }
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
        Port = parts.port.value_or(kDefaultPort);
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
        // The proxy learns the port only from the target, so a port in the address stays in it.
        const std::string port = parts.port ? ":" + std::to_string(*parts.port) : "";
        target = requestScheme + "://" + requestHost + port + parts.path + parts.document;
    }
    // A request must reach the target just chosen, never a connection left from another one.
    if (connection && (!EqualIgnoringLatinCase(connectedHost, Host) || connectedPort != Port)) {
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
    }
}

void THttpClient::OpenConnection() {
    connection = layer.Connect(Host, Port);
    connectedHost = Host;
    connectedPort = Port;
    Await(ConnectTimeoutMs, [this](int sliceMs) { return connection->WaitConnected(sliceMs); });
}

void THttpClient::SendRequest(const std::string& target) {
    std::string request = "GET " + target + " HTTP/" +
                          (ProtocolVersion == TProtocolVersion::pv1_0 ? "1.0" : "1.1") + kCrLf;
    request += "Host: " + requestHost + kCrLf;
    const auto addLine = [&request](const char* name, const std::string& value) {
        if (!value.empty()) {
            request += name + value + kCrLf;
        }
    };
    addLine("Accept: ", Request.Accept);
    addLine("Accept-Charset: ", Request.AcceptCharSet);
    addLine("Accept-Encoding: ", Request.AcceptEncoding);
    addLine("Accept-Language: ", Request.AcceptLanguage);
    addLine("From: ", Request.From);
    addLine("Referer: ", Request.Referer);
    addLine("User-Agent: ", Request.UserAgent);
    addLine("Connection: ", Request.Connection);
    addLine("Content-Version: ", Request.ContentVersion);
    addLine("Content-Encoding: ", Request.ContentEncoding);
    addLine("Content-Language: ", Request.ContentLanguage);
    addLine("Content-Type: ", Request.ContentType);
    if (Request.ContentRangeStart != 0 || Request.ContentRangeEnd != 0) {
        request += "Range: bytes=" + std::to_string(Request.ContentRangeStart) + "-" +
                   std::to_string(Request.ContentRangeEnd) + kCrLf;
    }
    if (!Request.Username.empty()) {
        addLine("Authorization: Basic ", EncodeBase64(Request.Username + ":" + Request.Password));
    }
    if (!Request.ProxyServer.empty() && !Request.ProxyUsername.empty()) {
        addLine("Proxy-Authorization: Basic ",
                EncodeBase64(Request.ProxyUsername + ":" + Request.ProxyPassword));
    }
    for (const std::string& line : Request.ExtraHeaders) {
        request += line + kCrLf;
    }
    request += kCrLf;
    // One send for the whole request: the same bytes as line by line, without waiting on the
    // peer's delayed acknowledgement between the lines.
    for (std::string_view rest = request; !rest.empty();) {
        Await(ReadTimeoutMs, [&](int sliceMs) {
            const std::size_t sent = connection->Send(rest, sliceMs);
            rest.remove_prefix(sent);
            return sent > 0;
        });
    }
}

void THttpClient::ReadResponseHead() {
    response = TResponseInfo();
    statusCode = 0;
    const std::string statusLine = ReadLine();
    statusVersion10 = statusLine.size() >= 8 &&
                      EqualIgnoringLatinCase(std::string_view(statusLine).substr(5, 3), "1.0");
    const std::size_t space = statusLine.find(' ');
    statusText = space == std::string::npos ? std::string() : statusLine.substr(space + 1);
    statusCode = StrToInt(std::string_view(statusText).substr(0, statusText.find(' ')));

    std::vector<std::string> lines;
    std::size_t count = 0;
    for (std::string line = ReadLine(); !line.empty(); line = ReadLine()) {
        if (++count > kMaxHeaderLines) {
            throw EResponseLimitError("Too many response header lines.");
        }
        if (IsBlank(line.front()) && !lines.empty()) {
            std::string& value = lines.back();
            if (!IsBlank(value.back())) {
                value += ' ';
            }
            value += TrimLeadingBlanks(line);
        } else {
            lines.push_back(std::move(line));
        }
    }

    hasContentLength = false;
    for (const std::string& line : lines) {
        std::string_view rest = line;
        const std::string_view name = Fetch(rest, ':');
        const std::string value(TrimLeadingBlanks(rest));
        const auto is = [&name](std::string_view known) {
            return EqualIgnoringLatinCase(name, known);
        };
        if (is("Location")) {
            response.Location = value;
        } else if (is("Server")) {
            response.Server = value;
        } else if (is("Connection")) {
            response.Connection = value;
        } else if (is("Content-Version")) {
            response.ContentVersion = value;
        } else if (is("WWWAuthenticate")) {
            response.WWWAuthenticate = value;
        } else if (is("Content-Encoding")) {
            response.ContentEncoding = value;
        } else if (is("Content-Language")) {
            response.ContentLanguage = value;
        } else if (is("Content-Type")) {
            response.ContentType = value;
        } else if (is("Content-Length")) {
            const auto length = DecimalOrNone(TrimBlanks(value));
            hasContentLength = length && *length >= 0;
            response.ContentLength = hasContentLength ? *length : 0;
        } else if (is("Content-Range")) {
            std::string_view range = value;
            Fetch(range, ' ');
            response.ContentRangeStart = StrToInt64(Fetch(range, '-'));
            response.ContentRangeEnd = StrToInt64(Fetch(range, '/'));
        } else if (is("Date")) {
            response.Date = value;
        } else if (is("Last-Modified")) {
            response.LastModified = value;
        } else if (is("Expires")) {
            response.Expires = value;
        } else if (is("Proxy-Authenticate")) {
            response.ProxyAuthenticate = value;
        } else {
            response.ExtraHeaders.push_back(
                line.find(':') == std::string::npos ? line : std::string(name) + ": " + value);
        }
    }
}

void THttpClient::ReadBody() {
    if (HasNoBody(statusCode)) {
        return;
    }
    std::string_view transferEncoding;
    for (const std::string& line : response.ExtraHeaders) {
        std::string_view value = line;
        if (EqualIgnoringLatinCase(Fetch(value, ':'), "Transfer-Encoding")) {
            transferEncoding = value;
        }
    }
    if (response.ContentLength != 0) {
        CheckBodySize(response.ContentLength);
        get.length = response.ContentLength;
        ReadExact(response.ContentLength);
    } else if (transferEncoding.find("chunked") != std::string_view::npos) {
        ReadChunkedBody();
    } else if (!hasContentLength) {
        ReadToClose();
    }
}

void THttpClient::ReadChunkedBody() {
    for (;;) {
        const std::string line = ReadLine();
        const std::int64_t size =
            ChunkSize(std::string_view(line).substr(0, line.find(' ')), MaxBodySize);
        if (size <= 0) {
            break;
        }
        CheckBodySize(get.received + size);
        ReadExact(size);
        ReadLine();
    }
    ReadLine();
}

void THttpClient::FinishExchange() {
    if (peerClosed || statusVersion10 || ProtocolVersion == TProtocolVersion::pv1_0 ||
        EqualIgnoringLatinCase(TrimBlanks(response.Connection), "CLOSE")) {
        Disconnect();
        return;
    }
    try {
        if (ReceiveIntoBuffer(kAfterResponseCheckMs) == 0) {
            Disconnect();
        }
    } catch (const ESocketError&) {
        Disconnect();  // the body is whole; the next get connects anew
    }
}

std::ptrdiff_t THttpClient::ReceiveIntoBuffer(int timeoutMs) {
    if (inPos == inEnd) {
        inPos = 0;
        inEnd = 0;
    } else if (inPos > 0 && inBuffer.size() - inEnd < kReceiveChunk / 4) {
        std::memmove(inBuffer.data(), inBuffer.data() + inPos, inEnd - inPos);
        inEnd -= inPos;
        inPos = 0;
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

std::string THttpClient::ReadLine() {
    std::size_t scanned = 0;  // bytes after inPos known to hold no line feed
    for (;;) {
        const char* begin = inBuffer.data() + inPos;
        const std::size_t available = inEnd - inPos;
        const auto* feed =
            static_cast<const char*>(std::memchr(begin + scanned, '\n', available - scanned));
        const std::size_t length = feed ? std::size_t(feed - begin) : available;
        if (length > kMaxLineLength) {
            throw EResponseLimitError("Response line too long.");
        }
        if (feed) {
            std::string line(begin, length);
            inPos += length + 1;
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return line;
        }
        scanned = available;
        if (!Fill()) {
            throw EConnClosedGracefully();
        }
    }
}

void THttpClient::ReadExact(std::int64_t count) {
    while (count > 0) {
        if (inPos == inEnd && !Fill()) {
            throw EConnClosedGracefully();
        }
        const std::size_t n = std::min(std::size_t(count), inEnd - inPos);
        PassToBody(n);
        count -= std::int64_t(n);
    }
}

void THttpClient::ReadToClose() {
    do {
        CheckBodySize(get.received + std::int64_t(inEnd - inPos));
        PassToBody(inEnd - inPos);
    } while (Fill());
}

void THttpClient::PassToBody(std::size_t count) {
    if (count == 0) {
        return;
    }
    get.body->Write(std::string_view(inBuffer).substr(inPos, count));
    inPos += count;
    get.received += std::int64_t(count);
}

void THttpClient::CheckBodySize(std::int64_t size) const {
    if (size > MaxBodySize) {
        throw EResponseLimitError("Response body too large.");
    }
}
