#include "catalogue/Unitfolianta.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/support/ListingRows.h"
#include "tests/support/PageGenerator.h"
#include "tests/support/ReferenceParser.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

using Fields = RowFields;

std::string Row(const Fields& f) {
    return ListingRow(f);
}

const Fields kWork{"/a/avtor/w1.shtml", "Title", "12k", "Prose", "/a/avtor/", "Avtor", "3"};

std::vector<std::string> FieldsOf(const TZRecord& r) {
    std::vector<std::string> out;
    for (int i = 0; i < TZRecord::kFieldCount; ++i) {
        out.emplace_back(r[i] ? r[i] : "<null>");
    }
    return out;
}

std::vector<std::string> FieldsOf(const Fields& f) {
    return {f.workLink, f.title, f.size, f.zanr, f.autorLink, f.autorName, f.lastCell};
}

class TempDir : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        return folder.Write(name, bytes);
    }
    TTempFolder folder;
    const fs::path dir = folder.Path();
};

TEST(ListingParser, CutsPagesIntoRecords) {
    Fields quoted = kWork;
    quoted.title = "He said \"hi\" and left";
    Fields empty = kWork;
    empty.size = "";
    Fields tagged = kWork;
    tagged.zanr = "<i>Prose</i>";
    std::string upper = Row(kWork);
    upper.replace(0, 18, "<TR><TD WIDTH=400>");
    std::string noEnd = Row(kWork);
    noEnd.resize(noEnd.size() - 5);
    std::string nulInside = Row(kWork);
    nulInside[40] = '\0';

    struct Case {
        const char* label;
        std::string page;
        std::vector<Fields> expected;
    } cases[] = {
        {"one row", Row(kWork), {kWork}},
        {"row with text around it", "<p>x</p>" + Row(kWork) + "<p>y", {kWork}},
        {"row split over two lines", Row(kWork).insert(60, "\n"), {}},
        {"two rows on one line give the first", Row(kWork) + Row(empty), {kWork}},
        {"capital markers", upper, {}},
        {"no </tr> on the line", noEnd + "\n</tr>", {}},
        {"empty size field", Row(empty), {empty}},
        {"quotes inside the title", Row(quoted), {quoted}},
        {"tags inside a field stay", Row(tagged), {tagged}},
        {"CR LF line ends", Row(kWork) + "\r\n" + Row(empty) + "\r\n", {kWork, empty}},
        {"zero byte hides the rest of its line", nulInside + "\n" + Row(empty), {empty}},
        {"markers out of order",
         "<tr><td width=400><b>1k</b><a href=\"/w\">\"T\"</a> <small>&nbsp; G</small>"
         "<a href=\"/a/indexdate.shtml\">N</a><td width=50>1</td></tr>",
         {}},
        {"missing last cell",
         "<tr><td width=400><a href=\"/w\">\"T\"</a><b>1k</b>&nbsp; G"
         "</small><a href=\"/a/indexdate.shtml\">N</a></tr>",
         {}},
        {"lines that are not rows", "<html>\n\n<table>\n" + Row(kWork) + "\n</table>", {kWork}},
        {"empty page", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CFolianta store;
        store.LoadPageText(c.page);
        ASSERT_EQ(store.Records().size(), c.expected.size());
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ(FieldsOf(store.Records()[i]), FieldsOf(c.expected[i]));
        }
    }
}

TEST(ListingParser, FieldsAreAddressableByNameAndIndex) {
    CFolianta store;
    store.LoadPageText(Row(kWork));
    const TZRecord& r = store.Records().at(0);
    EXPECT_STREQ(r.workLink, r[0]);
    EXPECT_STREQ(r.title, r[1]);
    EXPECT_STREQ(r.lastCell, r[6]);
    EXPECT_EQ(r[7], nullptr);
    EXPECT_EQ(r[-1], nullptr);
}

TEST(ListingParser, WritesZerosInPlaceAndPointsIntoThePage) {
    const std::string page = Row(kWork) + "\r\n" + "plain line\n";
    CFolianta store;
    store.LoadPageText(page);
    ASSERT_EQ(store.PageSize(), int(page.size()));
    const char* text = store.PageText();
    const TZRecord& r = store.Records().at(0);
    for (int i = 0; i < TZRecord::kFieldCount; ++i) {
        EXPECT_GE(r[i], text);
        EXPECT_LT(r[i], text + page.size());
    }
    // Expected page: line feeds and the first byte of every end marker found became zeros.
    std::string expected = page;
    const std::size_t bodyEnd = page.find("</tr>");
    expected[bodyEnd] = '\0';
    std::size_t from = 0;
    for (const char* marker :
         {"\">", "\"</a>", "</b>", "</small>", "indexdate.shtml\"", "</a>", "</td></tr>"}) {
        from = page.find(marker, from);
        expected[from] = '\0';
        from += std::strlen(marker);
    }
    for (std::size_t i = 0; i < page.size(); ++i) {
        if (page[i] == '\n') {
            expected[i] = '\0';
        }
    }
    EXPECT_EQ(std::string(text, page.size() + 1), expected + '\0');
    EXPECT_EQ(text[bodyEnd + 5], '\r') << "the carriage return stays behind </tr>";
}

TEST(ListingParser, SplitsLinesOnLineFeedsOnly) {
    struct Case {
        const char* label;
        std::string page;
        std::vector<std::string> lines;
    } cases[] = {
        {"no line feed", "abc", {"abc"}},
        {"trailing line feed gives an empty last line", "a\nb\n", {"a", "b", ""}},
        {"carriage return stays", "a\r\nb", {"a\r", "b"}},
        {"empty lines", "\n\n", {"", "", ""}},
        {"zero byte does not end a line", std::string("a\0b\nc", 5), {"a", "c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CFolianta store;
        store.LoadPageText(c.page);
        std::vector<std::string> lines(store.Rows().begin(), store.Rows().end());
        EXPECT_EQ(lines, c.lines);
    }
}

// The page as the plain parser leaves it: the same bytes, zeros included, the same lines and
// the same records at the same places, when parsed in two halves wherever the page has a line
// feed after its middle.
void ExpectParsedAsReference(const std::string& page) {
    const reference::ParsedPage expected = reference::ParsePage(page);
    CFolianta store;
    store.halvedPageSize = 1;
    store.LoadPageText(page);
    const char* text = store.PageText();
    EXPECT_EQ(std::string(text, page.size() + 1), expected.text);
    ASSERT_EQ(store.Rows().size(), expected.lines.size());
    for (std::size_t l = 0; l < expected.lines.size(); ++l) {
        EXPECT_EQ(store.Rows()[l] - text, std::ptrdiff_t(expected.lines[l]));
    }
    ASSERT_EQ(store.Records().size(), expected.fields.size());
    for (std::size_t r = 0; r < expected.fields.size(); ++r) {
        for (int f = 0; f < TZRecord::kFieldCount; ++f) {
            EXPECT_EQ(store.Records()[r][f] - text, std::ptrdiff_t(expected.fields[r][f]));
        }
    }
}

TEST(ListingParser, KeepsEveryRowOfALargePageInOrder) {
    // Over a megabyte, so parsed in two halves at once.
    constexpr int kRows = 6000;
    std::string page;
    for (int i = 0; i < kRows; ++i) {
        Fields f = kWork;
        f.workLink = "/w/" + std::to_string(i);
        page += Row(f) + (i % 7 == 3 ? "\n<tr><td width=400>other</tr>\n" : "\n");
    }
    ASSERT_GT(page.size(), 1u << 20);
    CFolianta store;
    store.LoadPageText(page);
    ASSERT_EQ(store.Records().size(), std::size_t(kRows));
    for (int i = 0; i < kRows; ++i) {
        ASSERT_EQ(store.Records()[i].workLink, "/w/" + std::to_string(i));
    }
    ExpectParsedAsReference(page);
}

TEST(Extract, MovesTheCursorPastTheEndMarkerOnlyWhenFound) {
    FieldExtractor bold;
    bold.Set("<b>", "</b>", true);
    EXPECT_EQ(bold.startLength, 3);
    EXPECT_EQ(bold.endLength, 4);
    char line[] = "x<b>12k</b>y<b>open";
    char* cursor = line;
    char* field = CFolianta::Extract(cursor, bold);
    ASSERT_NE(field, nullptr);
    EXPECT_STREQ(field, "12k");
    EXPECT_STREQ(cursor, "y<b>open");
    char* const before = cursor;
    EXPECT_EQ(CFolianta::Extract(cursor, bold), nullptr);
    EXPECT_EQ(cursor, before);

    FieldExtractor keep;
    keep.Set("[", "]", false);
    char kept[] = "[a]b";
    cursor = kept;
    EXPECT_STREQ(CFolianta::Extract(cursor, keep), "a]b") << "no cut leaves the end marker";
}

TEST_F(TempDir, LoadPageOfAMissingFileChangesNothing) {
    CFolianta store;
    ASSERT_TRUE(store.LoadPage(Write("page.shtml", Row(kWork)).c_str()));
    const char* text = store.PageText();
    EXPECT_FALSE(store.LoadPage((dir / "missing.shtml").c_str()));
    EXPECT_EQ(errno, ENOENT) << "the reason the window tells";
    EXPECT_FALSE(store.LoadPage(dir.c_str())) << "a folder is not a page";
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(store.PageText(), text);
    ASSERT_EQ(store.Records().size(), 1u);
    EXPECT_STREQ(store.Records()[0].title, "Title");
}

TEST_F(TempDir, LoadPageOfAnEmptyFileGivesOneEmptyLine) {
    CFolianta store;
    ASSERT_TRUE(store.LoadPage(Write("empty.shtml", "").c_str()));
    EXPECT_EQ(store.PageSize(), 0);
    ASSERT_EQ(store.Rows().size(), 1u);
    EXPECT_STREQ(store.Rows()[0], "");
    EXPECT_TRUE(store.Records().empty());
}

TEST_F(TempDir, LoadPageKeepsZeroBytesAndEverythingAfterThem) {
    const std::string page = std::string("junk\0junk\n", 10) + Row(kWork);
    CFolianta store;
    ASSERT_TRUE(store.LoadPage(Write("nul.shtml", page).c_str()));
    EXPECT_EQ(store.PageSize(), int(page.size()));
    EXPECT_EQ(store.Records().size(), 1u);
}

TEST_F(TempDir, LoadPageRefusesAPageTooLargeForItsSize) {
    CFolianta store;
    store.LoadPageText(Row(kWork));
    const std::string path = Write("huge.shtml", "");
    // A sparse file: its size is what counts, no disk is used.
    ASSERT_EQ(truncate(path.c_str(), CFolianta::kMaxPageSize + 1), 0);
    EXPECT_FALSE(store.LoadPage(path.c_str()));
    EXPECT_EQ(errno, EFBIG);
    EXPECT_EQ(store.Records().size(), 1u) << "the previous page stays";
}

TEST(FixedTexts, HoldTheirCapacityAndCutLongerTexts) {
    const std::string l64(64, 'l'), n64(64, 'n'), c128(128, 'c');
    TAutorInf full = TAutorInf::Make(l64.c_str(), n64.c_str(), c128.c_str());
    EXPECT_EQ(full.link, l64);
    EXPECT_EQ(full.name, n64);
    EXPECT_EQ(full.comment, c128);

    TAutorInf cut = TAutorInf::Make((l64 + "x").c_str(), (n64 + "yy").c_str(), nullptr);
    EXPECT_EQ(cut.link, l64);
    EXPECT_EQ(cut.name, n64);
    EXPECT_STREQ(cut.comment, "");
    TAutorInf copy = cut;
    EXPECT_EQ(copy.link, l64) << "copied by value";

    const std::string s32(32, 's');
    EXPECT_EQ(std::string(ShortStr(s32.c_str())), s32);
    EXPECT_EQ(std::string(ShortStr((s32 + "tail").c_str())), s32);
    ShortStr edited;
    std::strcpy(edited, "12k");
    EXPECT_STREQ(edited, "12k") << "written through its text";
}

}  // namespace

namespace {

TEST(ListingParser, MatchesThePlainParserByteForByte) {
    const std::string row = Row(kWork);
    const std::string longTitle(70, 'x');  // fields longer than a few words
    Fields across = kWork;
    across.title = longTitle;
    across.autorLink = "/" + std::string(60, 'a') + "/";
    Fields longRow = kWork;
    longRow.title = std::string(1100, 't');
    Fields earlyQuote = kWork;
    earlyQuote.autorLink = "/\"/";  // a quote before the end marker could have begun
    const auto padded = [&](std::size_t lineLength) {
        Fields f = kWork;
        f.title += std::string(lineLength - row.size(), 't');
        return Row(f);
    };
    std::string otherGap = row;
    otherGap.replace(otherGap.find(" &nbsp; <b>"), 11, "&nbsp;<b>");
    const struct Case {
        const char* label;
        std::string page;
    } cases[] = {
        {"usual rows of 255 and 256 bytes", padded(255) + "\n" + padded(256) + "\n"},
        {"long usual row", Row(longRow) + "\n" + row},
        {"usual row cut short by the page's end", row + "\n" + row.substr(0, row.size() - 3)},
        {"quote early in the author's link", Row(earlyQuote)},
        {"other text between the markers", otherGap + "\n" + row},
        {"rows among other lines, CR LF",
         "head\r\n" + row + "\r\n<tr><td width=400>x</tr>\n" + row},
        {"row split over two lines", row.substr(0, 40) + "\n" + row.substr(40)},
        {"two rows on one line", row + row},
        {"capital markers", "<TR><TD WIDTH=400>" + row.substr(18)},
        {"body never closed", row.substr(0, row.size() - 5) + "\n" + row},
        {"row end before the last field", row.substr(0, row.find("<td width=50>")) + "</tr>" +
                                              row.substr(row.find("<td width=50>"))},
        {"row end inside a title", Row({"/w", "a</tr>b", "1k", "g", "/a/", "n", "1"})},
        {"zero byte inside the row", row.substr(0, 30) + std::string(1, '\0') + row.substr(30)},
        {"zero byte before the row end",
         row.substr(0, row.size() - 5) + std::string(1, '\0') + "</tr>"},
        {"markers in another order", "<tr><td width=400><b>1k</b><a href=\"/w\">\"t\"</a></tr>"},
        {"fields holding other markers",
         Row({"/w<b>", "a\"b", "<b>1k", "&nbsp; x", "/a/\">", "n>m", "<td width=50>"})},
        {"long fields, a row after other text",
         Row(across) + "\n" + std::string(63, 'y') + Row(kWork)},
        {"lines of marker bytes alone", std::string(66, '<') + "\n" + std::string(67, '"')},
        {"empty page", ""},
        {"line feeds only", "\n\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ExpectParsedAsReference(c.page);
        const reference::ParsedPage expected = reference::ParsePage(c.page);
        // The same first line alone, in a buffer that ends at its zero.
        std::string line = c.page.substr(0, c.page.find('\n'));
        std::vector<char> buffer(line.begin(), line.end());
        buffer.push_back('\0');
        TZRecord record;
        EXPECT_EQ(CFolianta().ParseRow(buffer.data(), record),
                  !expected.fields.empty() && expected.fields[0][0] < line.size());
        EXPECT_EQ(std::string(buffer.data(), buffer.size()),
                  expected.text.substr(0, buffer.size()));
    }
}

}  // namespace
