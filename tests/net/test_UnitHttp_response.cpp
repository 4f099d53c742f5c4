// The response reader without a socket: every response gives the same outcome whole, one byte
// at a time and in random slices.
#include <gtest/gtest.h>

#include <random>

#include "tests/support/ResponseSlices.h"

namespace {

constexpr std::int64_t kBodyLimit = 100;
constexpr int kRandomSlicings = 20;
constexpr std::size_t kLongestRandomSlice = 7;

TEST(THttpResponseReader, ReadsTheSameWhateverTheSlices) {
    constexpr std::size_t kLine = THttpResponseReader::kMaxLineLength;
    std::string manyHeaders = "HTTP/1.1 200 OK\r\n";
    for (std::size_t i = 0; i <= THttpResponseReader::kMaxHeaderLines; ++i) {
        manyHeaders += "X: 1\r\n";
    }
    struct Row {
        const char* label;
        std::string bytes;
        const char* error;
        std::string body;
        std::size_t left;
    } rows[] = {
        {"counted body, a next response left over",
         "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloHTTP", "", "hello", 4},
        {"chunks with an extension, bare line feeds, a folded header",
         "HTTP/1.1 200 OK\nX: a\n b\nTransfer-Encoding: chunked\n\n3 "
         "ext\nabc\r\nA\r\n0123456789\r\n"
         "0\r\n\r\nafter",
         "", "abc0123456789", 5},
        {"semicolon extension ends the chunks",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;x\r\n\r\n", "", "", 0},
        {"until the close", "HTTP/1.0 200 OK\r\n\r\nall of it", "", "all of it", 0},
        {"stated length 0", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\nstray", "", "", 5},
        {"1xx has no body, whatever its length",
         "HTTP/1.1 100 Continue\r\nContent-Length: 3\r\n\r\nHTTP/1.1 204", "", "", 12},
        {"header line at the limit, its carriage return counted",
         "HTTP/1.1 200 OK\r\nX:" + std::string(kLine - 3, 'a') + "\r\nContent-Length: 1\r\n\r\nz",
         "", "z", 0},
        {"header line one byte over the limit",
         "HTTP/1.1 200 OK\r\nX:" + std::string(kLine - 2, 'a') + "\r\n\r\n",
         "Response line too long.", "", 0},
        {"status line over the limit, no line feed yet", std::string(kLine + 1, 'H'),
         "Response line too long.", "", 0},
        {"too many header lines", manyHeaders, "Too many response header lines.", "", 0},
        {"chunk size that would overflow",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFFFFFFFF\r\n",
         "Chunk size too large.", "", 0},
        {"chunks adding up over the limit",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n32\r\n" + std::string(50, 'a') +
             "\r\n33\r\n",
         "Response body too large.", "", 0},
        {"until the close over the limit", "HTTP/1.0 200 OK\r\n\r\n" + std::string(101, 'a'),
         "Response body too large.", "", 0},
        {"status code not a number", "HTTP/1.1 2x0 OK\r\n\r\n",
         "'2x0' is not a valid integer value", "", 0},
        {"Content-Range not numbers", "HTTP/1.1 206 Partial\r\nContent-Range: bytes 1-z/9\r\n\r\n",
         "'z' is not a valid integer value", "", 0},
        {"closed inside a chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\nabc",
         "Connection Closed Gracefully.", "", 0},
        {"closed before a byte", "", "Connection Closed Gracefully.", "", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const TReadOutcome whole =
            ReadInSlices(row.bytes, kBodyLimit, [&] { return row.bytes.size(); });
        EXPECT_EQ(whole.error, row.error);
        EXPECT_EQ(whole.body, row.body);
        EXPECT_EQ(whole.left, row.left);
        EXPECT_EQ(ReadInSlices(row.bytes, kBodyLimit, [] { return 1; }), whole) << "byte by byte";
        std::mt19937 random(1);
        std::uniform_int_distribution<std::size_t> slice(1, kLongestRandomSlice);
        for (int i = 0; i < kRandomSlicings; ++i) {
            EXPECT_EQ(ReadInSlices(row.bytes, kBodyLimit, [&] { return slice(random); }), whole)
                << "random slicing " << i;
        }
    }
}

TEST(THttpResponseReader, StatesTheHeadOnceItIsComplete) {
    THttpResponseReader reader(kBodyLimit);
    const std::string head = "HTTP/1.0 404 Not Found\r\nContent-Length: 4\r\nConnection: x\r\n\r\n";
    EXPECT_EQ(reader.Read(head.substr(0, head.size() - 1)).taken, head.size() - 1);
    EXPECT_FALSE(reader.HeadComplete());
    EXPECT_EQ(reader.BodyLength(), -1);
    EXPECT_EQ(reader.Read("\ngo").body, "go");
    EXPECT_TRUE(reader.HeadComplete());
    EXPECT_FALSE(reader.Complete());
    EXPECT_EQ(reader.StatusCode(), 404);
    EXPECT_EQ(reader.StatusText(), "404 Not Found");
    EXPECT_EQ(reader.BodyLength(), 4);
    EXPECT_TRUE(reader.EndsConnection()) << "version 1.0";
    EXPECT_THROW(reader.Close(), EConnClosedGracefully);
}

}  // namespace
