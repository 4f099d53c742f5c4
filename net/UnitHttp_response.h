#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The header lines of a response: the known fields by name, every other line (among them
// Transfer-Encoding) in ExtraHeaders as "Name: value".
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
    std::string ETag;
    std::string RetryAfter;
    std::vector<std::string> ExtraHeaders;

    bool operator==(const TResponseInfo&) const = default;
};

// How many seconds after now a Retry-After value asks to wait: a number of seconds, or an
// HTTP date (IMF-fixdate, RFC 850 or asctime form) less now, both in seconds since the epoch; a
// date already past is 0, a wait over maxSeconds is maxSeconds. None for anything else.
std::optional<std::int64_t> RetryAfterSeconds(std::string_view value, std::int64_t now,
                                              std::int64_t maxSeconds);

// Reads one HTTP/1.x response from the bytes handed to it, as they arrive: the same bytes give
// the same result whether they come whole, one at a time or in slices of any size. It never
// waits and never touches a socket; the caller receives and hands on.
//
// A line ends at a line feed (a carriage return before it is dropped). The status line gives
// StatusText (the line after its first space) and StatusCode (that text up to its next space).
// Header lines end at an empty line; a line that begins with a blank continues the one before.
// The body is, in this order: none for 1xx, 204 and 304, nor for a 2xx that answers a CONNECT
// (the tunnel starts right after the head); Content-Length bytes when that is not 0; chunks when
// Transfer-Encoding contains "chunked" (a chunk-size line is read up to its first space as
// hexadecimal, anything else there counts as 0 and ends the body, and one line is skipped after
// the last chunk); none for a stated length of 0; otherwise everything until the peer closes.
class THttpResponseReader {
public:
    // A longer line (status, header or chunk-size line, without its line feed), more header
    // lines, or a body or single chunk larger than the body limit ends the reading with
    // EResponseLimitError instead of growing memory on the peer's word.
    static constexpr std::size_t kMaxLineLength = 16 * 1024;
    static constexpr std::size_t kMaxHeaderLines = 256;

    // What one Read did.
    struct TStep {
        std::size_t taken = 0;  // bytes used, from the front of the input
        std::string_view body;  // the body bytes among them, a view into the input; may be empty
    };

    // answersConnect: the response is the proxy's answer to a CONNECT.
    explicit THttpResponseReader(std::int64_t maxBodySize, bool answersConnect = false);

    // Takes bytes from the front of input until it has a run of body bytes to hand over, the
    // response is complete, or input is used up; call again with the bytes after taken. Once
    // Complete(), nothing more is taken: bytes left over are not part of this response.
    // Throws EConvertError for a status code or a Content-Range number that is not an integer,
    // EResponseLimitError for a limit broken (see above). A reader that threw is not used again.
    TStep Read(std::string_view input);
    // The peer closed its side: a body that runs until the close is complete. Throws
    // EConnClosedGracefully when the response is not complete otherwise, before its first byte
    // too. Nothing to do once Complete().
    void Close();

    // True once the empty line after the header lines was read; the head's fields are set then.
    bool HeadComplete() const { return part > TPart::kHeaderLines; }
    bool Complete() const { return part == TPart::kDone; }

    int StatusCode() const { return statusCode; }
    const std::string& StatusText() const { return statusText; }
    const TResponseInfo& Info() const { return info; }
    // The body's stated length; -1 while it is not known (no head yet, chunks, or until close).
    std::int64_t BodyLength() const { return bodyLength; }
    // The peer ends the connection after this response: its status line is of version 1.0, or
    // its Connection header, blanks around it removed, says "close" (any letter case). The
    // version is read from the status line's characters 6 to 8.
    bool EndsConnection() const;

private:
    // The parts of a response, in the order it goes through them (HeadComplete relies on it).
    enum class TPart {
        kStatusLine,
        kHeaderLines,
        kCountedBody,
        kChunkSizeLine,
        kChunkData,
        kChunkEndLine,
        kTrailerLine,
        kUntilClose,
        kDone,
    };

    // Adds the bytes of input up to its first line feed to the line under way; true once the
    // line is whole.
    bool TakeLine(std::string_view input, std::size_t& taken);
    // Each takes a whole line, without its line feed and carriage return.
    void EndLine(std::string_view text);
    void TakeStatusLine(std::string_view text);
    void TakeHeaderLine(std::string_view text);
    void TakeChunkSizeLine(std::string_view text);
    // Once the header lines are all there: fills Info from them, then picks the body's part.
    void SortHeaderLines();
    void ChooseBody();
    // Takes the body bytes at the front of input that belong to the body part under way.
    std::string_view TakeBody(std::string_view input);
    void CheckBodySize(std::int64_t size) const;

    std::int64_t maxBodySize;
    bool answersConnect;
    TPart part = TPart::kStatusLine;
    std::string line;  // the bytes of a line not yet ended by a line feed
    std::vector<std::string> headerLines;
    std::size_t headerLineCount = 0;  // continuation lines included

    std::string statusText;
    int statusCode = 0;
    bool statusVersion10 = false;
    bool hasContentLength = false;  // the response stated a length, 0 included
    bool chunked = false;
    TResponseInfo info;
    std::int64_t bodyLength = -1;
    std::int64_t bodyLeft = 0;  // of the counted body or the chunk under way
    std::int64_t bodyRead = 0;
};
