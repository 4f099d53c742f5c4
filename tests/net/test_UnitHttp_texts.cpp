// Address splitting, strict integers, error messages and Base64: the pure parts of the download.
#include <gtest/gtest.h>

#include <cstring>

#include "net/UnitHttp.h"
#include "net/UnitHttp_texts.h"
#include "tests/support/Cp1251Bytes.h"

namespace {

TEST(SplitAddress, TakesAddressesApart) {
    struct Row {
        const char* label;
        const char* address;
        const char* scheme;
        const char* host;
        const char* portText;
        std::optional<int> port;
        const char* path;
        const char* document;
    } rows[] = {
        {"full address", "http://site.example/a/b/short.shtml", "http", "site.example", "",
         std::nullopt, "/a/b/", "short.shtml"},
        {"explicit port", "http://site.example:8080/short.shtml", "http", "site.example", "8080",
         8080, "/", "short.shtml"},
        {"port that is not a number", "http://h:80a/x", "http", "h", "80a", std::nullopt, "/", "x"},
        {"port beyond the range of int", "http://h:99999999999/x", "http", "h", "99999999999", 0,
         "/", "x"},
        {"only the first colon splits", "http://h:1:2/x", "http", "h", "1:2", std::nullopt, "/",
         "x"},
        {"host only", "http://h", "http", "h", "", std::nullopt, "/", ""},
        {"host and slash", "http://h/", "http", "h", "", std::nullopt, "/", ""},
        {"backslashes read as slashes", "http:\\\\h\\a\\b.html", "http", "h", "", std::nullopt,
         "/a/", "b.html"},
        {"fragment dropped", "http://h/p/doc.html#part", "http", "h", "", std::nullopt, "/p/",
         "doc.html"},
        {"query kept", "http://h/p/doc?x=1&y=2", "http", "h", "", std::nullopt, "/p/",
         "doc?x=1&y=2"},
        {"slash in the query stays with the query", "http://h/doc?x=a/b", "http", "h", "",
         std::nullopt, "/doc?x=a/", "b"},
        {"query kept, fragment dropped", "http://h/d?q=1#f", "http", "h", "", std::nullopt, "/",
         "d?q=1"},
        {"slash inside the fragment never reaches the path", "http://h/a#x/y", "http", "h", "",
         std::nullopt, "/", "a"},
        {"no scheme: all of it is path and document", "site/page.html", "", "", "", std::nullopt,
         "/site/", "page.html"},
        {"no scheme, rooted", "/page.html", "", "", "", std::nullopt, "/", "page.html"},
        {"empty address", "", "", "", "", std::nullopt, "/", ""},
        {"https scheme kept as written", "HTTPS://h/x", "HTTPS", "h", "", std::nullopt, "/", "x"},
        {"empty host", "http:///x", "http", "", "", std::nullopt, "/", "x"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const TAddressParts parts = SplitAddress(row.address);
        EXPECT_EQ(parts.scheme, row.scheme);
        EXPECT_EQ(parts.host, row.host);
        EXPECT_EQ(parts.portText, row.portText);
        EXPECT_EQ(parts.port, row.port);
        EXPECT_EQ(parts.path, row.path);
        EXPECT_EQ(parts.document, row.document);
    }
}

TEST(StrToInt, AcceptsOnlyDecimalIntegers) {
    struct Row {
        const char* label;
        const char* text;
        std::optional<int> value;
    } rows[] = {
        {"plain", "8080", 8080},
        {"zero", "0", 0},
        {"negative", "-12", -12},
        {"plus sign", "+7", 7},
        {"largest", "2147483647", 2147483647},
        {"smallest", "-2147483648", INT32_MIN},
        {"trailing letter", "80a", std::nullopt},
        {"empty", "", std::nullopt},
        {"leading blank", " 80", std::nullopt},
        {"trailing blank", "80 ", std::nullopt},
        {"sign alone", "-", std::nullopt},
        {"two signs", "+-1", std::nullopt},
        {"hexadecimal", "0x50", std::nullopt},
        {"too large", "2147483648", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        if (row.value) {
            EXPECT_EQ(StrToInt(row.text), *row.value);
        } else {
            try {
                StrToInt(row.text);
                ADD_FAILURE() << "no error";
            } catch (const EConvertError& error) {
                EXPECT_EQ(error.what(),
                          "'" + std::string(row.text) + "' is not a valid integer value");
            }
        }
    }
    EXPECT_EQ(StrToInt64("9000000000"), 9'000'000'000);
}

TEST(ErrorMessages, AreTheProgramsTexts) {
    struct Row {
        const char* label;
        std::string message;
        std::string expected;
    } rows[] = {
        {"timed out", ESocketError(10060).what(), "Socket Error # 10060\r\nConnection timed out."},
        {"refused", ESocketError(10061).what(), "Socket Error # 10061\r\nConnection refused."},
        {"would block keeps its trailing space", ESocketError(10035).what(),
         "Socket Error # 10035\r\nOperation would block. "},
        {"last row has no full stop", ESocketError(10066).what(),
         "Socket Error # 10066\r\nDirectory not empty"},
        {"unknown host: empty text", ESocketError(11001).what(), "Socket Error # 11001\r\n"},
        {"closed gracefully", EConnClosedGracefully().what(), "Connection Closed Gracefully."},
        {"no socket", EInvalidSocket().what(), "Cannot allocate socket."},
        {"TLS, Russian letters made Windows-1251", ETlsError("x").what(),
         ToCp1251("Защищённое соединение не установлено: x")},
        {"TLS session not ended", ETlsCutOff().what(),
         ToCp1251("Сервер закрыл соединение, не завершив защищённый сеанс: страница может "
                  "быть неполной.")},
        {"cancelled", EFetchCancelled().what(), ToCp1251("Загрузка прервана.")},
        {"reply", EProtocolReplyError(404, "404 Not Found").what(), "404 Not Found"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(row.message, row.expected);
    }
    EXPECT_EQ(ESocketError(10054).LastError(), 10054);
    EXPECT_EQ(EProtocolReplyError(301, "301 Moved").ReplyErrorCode(), 301);
}

TEST(WsaCodeFromErrno, MapsTheErrorsAConnectionMeets) {
    struct Row {
        const char* label;
        int error;
        int code;
    } rows[] = {
        {"refused", ECONNREFUSED, 10061},  {"reset", ECONNRESET, 10054},
        {"broken pipe", EPIPE, 10054},     {"timed out", ETIMEDOUT, 10060},
        {"shut down", ESHUTDOWN, 10058},   {"unreachable", ENETUNREACH, 10051},
        {"no route", EHOSTUNREACH, 10065}, {"no counterpart keeps its number", EIO, EIO},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(WsaCodeFromErrno(row.error), row.code);
    }
}

TEST(EncodeBase64, PadsAndUsesTheStandardAlphabet) {
    struct Row {
        const char* label;
        std::string in;
        const char* out;
    } rows[] = {
        {"empty", "", ""},
        {"one byte", "f", "Zg=="},
        {"two bytes", "fo", "Zm8="},
        {"three bytes", "foo", "Zm9v"},
        {"six bytes", "foobar", "Zm9vYmFy"},
        {"high bytes and the last letters", "\xFB\xFF\xBF", "+/+/"},
        {"proxy credentials", std::string(kProxyUsername) + ":" + kProxyPassword,
         "YW5hbmltdXM6a1c0bTh6"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(EncodeBase64(row.in), row.out);
    }
}

TEST(ProxyPassword, IsSixPrintableAsciiCharacters) {
    ASSERT_EQ(std::strlen(kProxyPassword), 6u);
    for (const char c : std::string(kProxyPassword)) {
        EXPECT_TRUE(c > ' ' && c < 0x7F) << int(c);
    }
}

}  // namespace
