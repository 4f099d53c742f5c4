// The listing parser: the page cut into lines at its line feeds, and each line read for the
// marker pairs of a work row one after another.
#include <cstring>
#include <future>
#include <string_view>
#include <system_error>

#include "catalogue/Unitfolianta.h"

namespace {

// Room reserved in rows and records each time they are rebuilt, at the least.
constexpr std::size_t kReservedEntries = 1000;
constexpr std::string_view kRowEnd = "</tr>";

// A work row as the catalogue writes it: these stretches with a field between each two. Stretch
// 0 is the row start and field 0's start marker, stretch i (1..6) field i-1's end marker, the
// usual gap and field i's start marker, the last one field 6's end marker and the row end. Such
// a row is read by comparing the stretches in place and searching only the fields: a page of
// such rows loads about three times as fast as through ParseRow, which reads any line with a
// substring search per marker.
constexpr std::string_view kUsualRow[TZRecord::kFieldCount + 1] = {
    "<tr><td width=400><a href=\"",
    "\">\"",
    "\"</a> &nbsp; <b>",
    "</b> <small>&nbsp; ",
    "</small></td><td width=200><a href=\"",
    "indexdate.shtml\">",
    "</a></td><td width=50>",
    "</td></tr>",
};

// The stretches are the listing markers with gaps that hold no marker searched for next, and no
// row end begins inside one but the last one's own: the searches of ParseRow find each marker
// where its stretch has it, and a row end that cuts the body short can only begin in a field.
constexpr bool UsualRowReadsAsSearched() {
    for (std::size_t i = 0; i <= std::size_t(TZRecord::kFieldCount); ++i) {
        const std::string_view stretch = kUsualRow[i];
        const std::string_view before = i == 0 ? kListingMarkers[0].start : kListingMarkers[i].end;
        const std::string_view after =
            i < std::size_t(TZRecord::kFieldCount) ? kListingMarkers[i + 1].start : kRowEnd;
        if (!stretch.starts_with(before) || !stretch.ends_with(after) ||
            stretch.find(after, before.size()) != stretch.size() - after.size()) {
            return false;
        }
        for (std::size_t at = 0; at < stretch.size(); ++at) {
            const std::string_view tail = stretch.substr(at);
            if (kRowEnd.starts_with(tail.substr(0, kRowEnd.size())) && tail != kRowEnd) {
                return false;
            }
        }
    }
    return true;
}
static_assert(UsualRowReadsAsSearched());

// Whether text lies whole at p, before end. Inlined with the text known, the comparison is a few
// word compares.
bool HoldsAt(const char* p, const char* end, std::string_view text) {
    return std::size_t(end - p) >= text.size() && std::memcmp(p, text.data(), text.size()) == 0;
}

// The first byte equal to `byte` in [p, end), or null.
char* Next(char* p, char* end, char byte) {
    return static_cast<char*>(std::memchr(p, byte, std::size_t(end - p)));
}

// The byte of an end marker a usual row's field is searched for: its '<' if it has one, else its
// quote; bytes a field seldom holds.
constexpr std::size_t AnchorOf(std::string_view end) {
    const std::size_t less = end.find(kRowEnd[0]);
    return less != std::string_view::npos ? less : end.find('"');
}

// Where field I of a usual row ends, the field beginning at from: the first anchor byte after
// from must lie in the field's end marker, which must start the stretch after it; any earlier
// match of the marker would hold an anchor byte earlier. The field must hold no '<', so that no
// row end begins in it. Else null.
template <std::size_t I>
char* UsualFieldEnd(char* from, char* lineEnd) {
    constexpr std::string_view end = kListingMarkers[I + 1].end;
    constexpr std::size_t anchor = AnchorOf(end);
    static_assert(anchor < end.size());
    char* const found = Next(from, lineEnd, end[anchor]);
    if (!found || found < from + anchor || !HoldsAt(found - anchor, lineEnd, kUsualRow[I + 1])) {
        return nullptr;
    }
    char* const fieldEnd = found - anchor;
    if constexpr (end[anchor] != kRowEnd[0]) {
        if (Next(from, fieldEnd, kRowEnd[0])) {
            return nullptr;
        }
    }
    return fieldEnd;
}

// Finds the ends of fields I.. of a usual row, field I beginning at from; false at the first
// field that is not usual.
template <std::size_t I = 0>
bool FindUsualFields(char* from, char* lineEnd, char* (&starts)[TZRecord::kFieldCount],
                     char* (&ends)[TZRecord::kFieldCount]) {
    starts[I] = from;
    ends[I] = UsualFieldEnd<I>(from, lineEnd);
    if (!ends[I]) {
        return false;
    }
    if constexpr (I + 1 < std::size_t(TZRecord::kFieldCount)) {
        return FindUsualFields<I + 1>(ends[I] + kUsualRow[I + 1].size(), lineEnd, starts, ends);
    }
    return true;
}

// ParseRow of a line without zero bytes that ends at lineEnd, when it is a usual row whose
// fields each end at their first anchor byte and hold no '<'; false, with nothing written, for
// any other line, which ParseRow then reads.
bool ReadUsualRow(char* line, char* lineEnd, TZRecord& record) {
    char* starts[TZRecord::kFieldCount];
    char* ends[TZRecord::kFieldCount];
    if (!HoldsAt(line, lineEnd, kUsualRow[0]) ||
        !FindUsualFields(line + kUsualRow[0].size(), lineEnd, starts, ends)) {
        return false;
    }
    ends[TZRecord::kFieldCount - 1][kUsualRow[TZRecord::kFieldCount].size() - kRowEnd.size()] =
        '\0';
    for (int i = 0; i < TZRecord::kFieldCount; ++i) {
        *ends[i] = '\0';
        record.*kRecordFields[i] = starts[i];
    }
    return true;
}

}  // namespace

void CFolianta::ParsePage() {
    rows.clear();
    rows.reserve(kReservedEntries);
    if (records.use_count() > 1) {
        records = std::make_shared<std::vector<TZRecord>>();  // a holder keeps the old ones
    }
    records->clear();
    records->reserve(kReservedEntries);
    if (!pageText) {
        return;
    }
    char* const text = pageText.get();
    char* const pageEnd = text + pageSize;
    // Lines are read each on its own, so a large page is cut after a line feed near its middle
    // and the later half read on a second thread meanwhile (bench_core's load measures it).
    char* const middle =
        pageSize >= halvedPageSize ? Next(text + pageSize / 2, pageEnd, '\n') : nullptr;
    std::vector<char*> laterRows;
    std::vector<TZRecord> laterRecords;
    std::future<void> later;
    if (middle) {
        try {
            later = std::async(std::launch::async,
                               [&] { ParseLines(middle + 1, pageEnd, laterRows, laterRecords); });
        } catch (const std::system_error&) {  // no thread to be had: all on this one
        }
    }
    if (!later.valid()) {
        ParseLines(text, pageEnd, rows, *records);
        return;
    }
    ParseLines(text, middle, rows, *records);
    later.get();
    rows.insert(rows.end(), laterRows.begin(), laterRows.end());
    records->insert(records->end(), laterRecords.begin(), laterRecords.end());
}

void CFolianta::ParseLines(char* line, char* end, std::vector<char*>& lineStarts,
                           std::vector<TZRecord>& found) const {
    // A line is parsed as soon as its line feed is zeroed: parsing reads and writes only up to
    // that zero, so this gives what zeroing every line feed first would. A line without zero
    // bytes may be a usual row; the first zero of any other line ends what ParseRow reads of it.
    for (;;) {
        lineStarts.push_back(line);
        char* feed = strchrnul(line, '\n');
        const bool zeroFree = *feed == '\n' || feed == end;
        if (!zeroFree) {
            feed = Next(feed, end, '\n');
        }
        char* const lineEnd = feed && feed < end ? feed : end;
        *lineEnd = '\0';
        // The record is filled where it stays: a copy of one built beside would read it back
        // while its stores are still in flight.
        TZRecord& record = found.emplace_back();
        if (!(zeroFree && ReadUsualRow(line, lineEnd, record)) && !ParseRow(line, record)) {
            found.pop_back();
        }
        if (lineEnd == end) {
            return;
        }
        line = lineEnd + 1;
    }
}

bool CFolianta::ParseRow(char* line, TZRecord& record) const {
    char* cursor = line;
    char* const body = Extract(cursor, extractors[0]);
    if (!body) {
        return false;
    }
    cursor = body;
    TZRecord found;
    for (int i = 0; i < TZRecord::kFieldCount; ++i) {
        char* const field = Extract(cursor, extractors[i + 1]);
        if (!field) {
            return false;
        }
        found.*kRecordFields[i] = field;
    }
    record = found;
    return true;
}

char* CFolianta::Extract(char*& cursor, const FieldExtractor& extractor) {
    char* const start = std::strstr(cursor, extractor.startMarker);
    if (!start) {
        return nullptr;
    }
    char* const field = start + extractor.startLength;
    char* const stop = std::strstr(field, extractor.endMarker);
    if (!stop) {
        return nullptr;
    }
    if (extractor.cutAtEnd) {
        *stop = '\0';
    }
    cursor = stop + extractor.endLength;
    return field;
}
