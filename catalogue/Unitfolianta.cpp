#include "catalogue/Unitfolianta.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "filter/Unitfilter.h"

namespace {

// Room reserved in rows, records and shown each time they are rebuilt.
constexpr std::size_t kReservedEntries = 1000;

// The marker pairs of a listing row, in the order they are searched. The first pair cuts out the
// row body; the other seven give the record's fields 0..6.
struct MarkerPair {
    const char* start;
    const char* end;
};
constexpr MarkerPair kMarkers[8] = {
    {"<tr><td width=400>", "</tr>"},
    {"<a href=\"", "\">"},
    {"\"", "\"</a>"},
    {"<b>", "</b>"},
    {"&nbsp; ", "</small>"},
    {"<a href=\"", "indexdate.shtml\""},
    {">", "</a>"},
    {"<td width=50>", "</td>"},
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::shared_ptr<char[]> NewPageBuffer(std::int64_t size) {
    if (size < 0 || size > CFolianta::kMaxPageSize) {
        throw std::length_error("Page is too large: " + std::to_string(size) +
                                " bytes, the limit is " + std::to_string(CFolianta::kMaxPageSize));
    }
    std::shared_ptr<char[]> buffer(new char[std::size_t(size) + 1]);
    buffer[size] = '\0';
    return buffer;
}

}  // namespace

const TZRecord CFolianta::emptyRecord{};

CFolianta::CFolianta() {
    static_assert(std::size(kMarkers) == std::size(decltype(extractors){}));
    for (std::size_t i = 0; i < std::size(kMarkers); ++i) {
        extractors[i].Set(kMarkers[i].start, kMarkers[i].end, true);
    }
}

bool CFolianta::LoadPage(const char* path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file) {
        return false;
    }
    struct stat info {};
    if (fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    std::shared_ptr<char[]> text = NewPageBuffer(info.st_size);
    // A file that shrank since fstat gives what it still holds.
    const std::size_t got = std::fread(text.get(), 1, std::size_t(info.st_size), file.get());
    if (std::ferror(file.get())) {
        return false;
    }
    text[got] = '\0';
    AdoptPage(std::move(text), std::int32_t(got));
    return true;
}

void CFolianta::LoadPageText(std::string_view bytes) {
    std::shared_ptr<char[]> text = NewPageBuffer(std::int64_t(bytes.size()));
    std::memcpy(text.get(), bytes.data(), bytes.size());
    AdoptPage(std::move(text), std::int32_t(bytes.size()));
}

void CFolianta::AdoptPage(std::shared_ptr<char[]> text, std::int32_t size) {
    shown.clear();
    pageText = std::move(text);
    pageSize = size;
    ParsePage();
}

void CFolianta::ParsePage() {
    records.clear();
    records.reserve(kReservedEntries);
    SplitRows();
    TZRecord scratch;
    for (char* line : rows) {
        if (ParseRow(line, scratch)) {
            records.push_back(scratch);
        }
    }
}

void CFolianta::SplitRows() {
    rows.reserve(kReservedEntries);
    rows.clear();
    char* const text = pageText.get();
    if (!text) {
        return;
    }
    rows.push_back(text);
    char* const end = text + pageSize;
    for (char* p = text; (p = static_cast<char*>(std::memchr(p, '\n', std::size_t(end - p))));) {
        *p++ = '\0';
        rows.push_back(p);
    }
}

bool CFolianta::ParseRow(char* line, TZRecord& record) {
    char* cursor = line;
    char* body = Extract(cursor, extractors[0]);
    if (!body) {
        return false;
    }
    cursor = body;
    for (int field = 0; field < TZRecord::kFieldCount; ++field) {
        char* text = Extract(cursor, extractors[field + 1]);
        if (!text) {
            return false;
        }
        record.*kRecordFields[field] = text;
    }
    return true;
}

char* CFolianta::Extract(char*& cursor, const FieldExtractor& extractor) {
    char* start = std::strstr(cursor, extractor.startMarker);
    if (!start) {
        return nullptr;
    }
    char* field = start + extractor.startLength;
    char* end = std::strstr(field, extractor.endMarker);
    if (!end) {
        return nullptr;
    }
    if (extractor.cutAtEnd) {
        *end = '\0';
    }
    cursor = end + extractor.endLength;
    return field;
}

void CFolianta::ApplyFilter(const CBaseFilter* filter) {
    shown.clear();
    shown.reserve(kReservedEntries);
    if (!filter) {
        return;
    }
    for (const TZRecord& record : records) {
        if (filter->Accept(record)) {
            shown.push_back(record);
        }
    }
}

const TZRecord& CFolianta::ShownAt(int index) const {
    return unsigned(index) < shown.size() ? shown[unsigned(index)] : emptyRecord;
}
