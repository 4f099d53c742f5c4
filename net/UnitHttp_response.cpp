#include "net/UnitHttp_response.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <optional>

#include "net/UnitHttp_errors.h"
#include "net/UnitHttp_headers.h"
#include "util/Unitutils.h"

namespace {

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

std::optional<std::int64_t> DecimalOrNone(std::string_view text) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
    if (text.empty() || ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
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
            throw EResponseLimitError("Chunk size too large.");
        }
    }
    return value;
}

// The longest HTTP date, with a margin; a longer value is none.
constexpr std::size_t kMaxDateLength = 40;
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// An HTTP date in any of its three forms, in seconds since the epoch (always GMT).
std::optional<std::int64_t> HttpDate(std::string_view text) {
    if (text.size() > kMaxDateLength) {
        return std::nullopt;
    }
    const std::string date(text);
    char weekday[10] = {};
    char month[4] = {};
    std::tm time{};
    int year = 0;
    int end = -1;
    const auto whole = [&](int fields, int expected) {
        return fields == expected && end == int(date.size());
    };
    bool read = whole(
        std::sscanf(date.c_str(), "%3s, %2d %3s %4d %2d:%2d:%2d GMT%n", weekday, &time.tm_mday,
                    month, &year, &time.tm_hour, &time.tm_min, &time.tm_sec, &end),
        7);
    if (!read) {
        end = -1;
        read = whole(std::sscanf(date.c_str(), "%9[A-Za-z], %2d-%3s-%2d %2d:%2d:%2d GMT%n", weekday,
                                 &time.tm_mday, month, &year, &time.tm_hour, &time.tm_min,
                                 &time.tm_sec, &end),
                     7);
        // A two-digit year is the one of the century that puts the date nearest in the past.
        year += year < 70 ? 2000 : 1900;
    }
    if (!read) {
        end = -1;
        read = whole(
            std::sscanf(date.c_str(), "%3s %3s %2d %2d:%2d:%2d %4d%n", weekday, month,
                        &time.tm_mday, &time.tm_hour, &time.tm_min, &time.tm_sec, &year, &end),
            7);
    }
    const auto named =
        std::find_if(std::begin(kMonths), std::end(kMonths),
                     [&month](const char* name) { return month == std::string_view(name); });
    const auto within = [](int value, int low, int high) { return value >= low && value <= high; };
    if (!read || named == std::end(kMonths) || !within(time.tm_mday, 1, 31) ||
        !within(time.tm_hour, 0, 23) || !within(time.tm_min, 0, 59) ||
        !within(time.tm_sec, 0, 60) || !within(year, 1900, 9999)) {
        return std::nullopt;
    }
    time.tm_mon = int(named - std::begin(kMonths));
    time.tm_year = year - 1900;
    return std::int64_t(timegm(&time));
}

// Status codes whose responses never carry a body, whatever their headers say.
bool HasNoBody(int code) {
    return (code >= 100 && code <= 199) || code == 204 || code == 304;
}

// The header lines taken out by name as they are; Content-Length and Content-Range are read as
// numbers apart from these.
struct TTextField {
    std::string_view name;
    std::string TResponseInfo::*field;
};

constexpr TTextField kTextFields[] = {
    {header_name::kLocation, &TResponseInfo::Location},
    {header_name::kServer, &TResponseInfo::Server},
    {header_name::kConnection, &TResponseInfo::Connection},
    {header_name::kContentVersion, &TResponseInfo::ContentVersion},
    {header_name::kWwwAuthenticate, &TResponseInfo::WWWAuthenticate},
    {header_name::kContentEncoding, &TResponseInfo::ContentEncoding},
    {header_name::kContentLanguage, &TResponseInfo::ContentLanguage},
    {header_name::kContentType, &TResponseInfo::ContentType},
    {header_name::kDate, &TResponseInfo::Date},
    {header_name::kLastModified, &TResponseInfo::LastModified},
    {header_name::kExpires, &TResponseInfo::Expires},
    {header_name::kProxyAuthenticate, &TResponseInfo::ProxyAuthenticate},
    {header_name::kETag, &TResponseInfo::ETag},
    {header_name::kRetryAfter, &TResponseInfo::RetryAfter},
};

}  // namespace

std::optional<std::int64_t> RetryAfterSeconds(std::string_view value, std::int64_t now,
                                              std::int64_t maxSeconds) {
    value = TrimBlanks(value);
    std::optional<std::int64_t> seconds;
    if (!value.empty() && value.front() >= '0' && value.front() <= '9') {
        // A count too large for the type is still a count: the longest wait.
        seconds = DecimalOrNone(value);
        if (!seconds &&
            std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            seconds = maxSeconds;
        }
    } else if (const auto date = HttpDate(value)) {
        seconds = std::max<std::int64_t>(*date - now, 0);
    }
    if (!seconds) {
        return std::nullopt;
    }
    return std::min(*seconds, maxSeconds);
}

THttpResponseReader::THttpResponseReader(std::int64_t maxBodySize, bool answersConnect)
    : maxBodySize(maxBodySize), answersConnect(answersConnect) {}

THttpResponseReader::TStep THttpResponseReader::Read(std::string_view input) {
    TStep step;
    while (step.taken < input.size() && part != TPart::kDone) {
        const std::string_view rest = input.substr(step.taken);
        if (part == TPart::kCountedBody || part == TPart::kChunkData ||
            part == TPart::kUntilClose) {
            step.body = TakeBody(rest);
            step.taken += step.body.size();
            break;
        }
        if (TakeLine(rest, step.taken)) {
            std::string_view text = line;
            if (!text.empty() && text.back() == '\r') {
                text.remove_suffix(1);
            }
            EndLine(text);
            line.clear();
        }
    }
    return step;
}

void THttpResponseReader::Close() {
    if (part == TPart::kUntilClose) {
        part = TPart::kDone;
    } else if (part != TPart::kDone) {
        throw EConnClosedGracefully();
    }
}

bool THttpResponseReader::EndsConnection() const {
    return statusVersion10 || EqualIgnoringLatinCase(TrimBlanks(info.Connection), "CLOSE");
}

bool THttpResponseReader::TakeLine(std::string_view input, std::size_t& taken) {
    const std::size_t feed = input.find('\n');
    const std::size_t length = feed == std::string_view::npos ? input.size() : feed;
    if (line.size() + length > kMaxLineLength) {
        throw EResponseLimitError("Response line too long.");
    }
    line.append(input.substr(0, length));
    if (feed == std::string_view::npos) {
        taken += length;
        return false;
    }
    taken += length + 1;
    return true;
}

void THttpResponseReader::EndLine(std::string_view text) {
    switch (part) {
        case TPart::kStatusLine:
            TakeStatusLine(text);
            break;
        case TPart::kHeaderLines:
            TakeHeaderLine(text);
            break;
        case TPart::kChunkSizeLine:
            TakeChunkSizeLine(text);
            break;
        case TPart::kChunkEndLine:
            part = TPart::kChunkSizeLine;
            break;
        case TPart::kTrailerLine:
            part = TPart::kDone;
            break;
        case TPart::kCountedBody:
        case TPart::kChunkData:
        case TPart::kUntilClose:
        case TPart::kDone:
            break;  // no lines there
    }
}

void THttpResponseReader::TakeStatusLine(std::string_view text) {
    statusVersion10 = text.size() >= 8 && EqualIgnoringLatinCase(text.substr(5, 3), "1.0");
    const std::size_t space = text.find(' ');
    statusText = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
    statusCode = StrToInt(std::string_view(statusText).substr(0, statusText.find(' ')));
    part = TPart::kHeaderLines;
}

void THttpResponseReader::TakeHeaderLine(std::string_view text) {
    if (text.empty()) {
        SortHeaderLines();
        ChooseBody();
        return;
    }
    if (++headerLineCount > kMaxHeaderLines) {
        throw EResponseLimitError("Too many response header lines.");
    }
    if (IsBlank(text.front()) && !headerLines.empty()) {
        std::string& value = headerLines.back();
        if (!IsBlank(value.back())) {
            value += ' ';
        }
        value += TrimLeadingBlanks(text);
    } else {
        headerLines.emplace_back(text);
    }
}

void THttpResponseReader::SortHeaderLines() {
    for (const std::string& headerLine : headerLines) {
        std::string_view rest = headerLine;
        const std::string_view name = SplitAtFirst(rest, ':');
        const std::string_view value = TrimLeadingBlanks(rest);
        const auto is = [&name](std::string_view known) {
            return EqualIgnoringLatinCase(name, known);
        };
        const auto known = std::find_if(std::begin(kTextFields), std::end(kTextFields),
                                        [&is](const TTextField& f) { return is(f.name); });
        if (known != std::end(kTextFields)) {
            info.*known->field = value;
        } else if (is(header_name::kContentLength)) {
            const auto length = DecimalOrNone(TrimBlanks(value));
            hasContentLength = length && *length >= 0;
            info.ContentLength = hasContentLength ? *length : 0;
        } else if (is(header_name::kContentRange)) {
            std::string_view range = value;
            SplitAtFirst(range, ' ');
            info.ContentRangeStart = StrToInt64(SplitAtFirst(range, '-'));
            info.ContentRangeEnd = StrToInt64(SplitAtFirst(range, '/'));
        } else {
            if (is(header_name::kTransferEncoding)) {
                chunked = value.find("chunked") != std::string_view::npos;
            }
            info.ExtraHeaders.push_back(name.size() == headerLine.size()
                                            ? headerLine  // no colon: kept as it came
                                            : std::string(name) + ": " + std::string(value));
        }
    }
    headerLines.clear();
}

void THttpResponseReader::ChooseBody() {
    if (HasNoBody(statusCode) || (answersConnect && statusCode >= 200 && statusCode <= 299)) {
        part = TPart::kDone;
    } else if (info.ContentLength != 0) {
        CheckBodySize(info.ContentLength);
        bodyLength = info.ContentLength;
        bodyLeft = info.ContentLength;
        part = TPart::kCountedBody;
    } else if (chunked) {
        part = TPart::kChunkSizeLine;
    } else {
        part = hasContentLength ? TPart::kDone : TPart::kUntilClose;
    }
}

void THttpResponseReader::TakeChunkSizeLine(std::string_view text) {
    const std::int64_t size = ChunkSize(text.substr(0, text.find(' ')), maxBodySize);
    if (size <= 0) {
        part = TPart::kTrailerLine;
        return;
    }
    CheckBodySize(bodyRead + size);
    bodyLeft = size;
    part = TPart::kChunkData;
}

std::string_view THttpResponseReader::TakeBody(std::string_view input) {
    if (part == TPart::kUntilClose) {
        CheckBodySize(bodyRead + std::int64_t(input.size()));
        bodyRead += std::int64_t(input.size());
        return input;
    }
    const std::size_t count = std::size_t(std::min<std::int64_t>(bodyLeft, input.size()));
    bodyLeft -= std::int64_t(count);
    bodyRead += std::int64_t(count);
    if (bodyLeft == 0) {
        part = part == TPart::kCountedBody ? TPart::kDone : TPart::kChunkEndLine;
    }
    return input.substr(0, count);
}

void THttpResponseReader::CheckBodySize(std::int64_t size) const {
    if (size > maxBodySize) {
        throw EResponseLimitError("Response body too large.");
    }
}
