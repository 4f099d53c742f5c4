// The listing parser: the page cut into lines in one pass, each line read once, forward. Rows
// laid out as the catalogue writes them are read by the usual-row reader; every other line by
// the line search, which reads any line.
#include <algorithm>
#include <array>
#include <cstring>

#include "catalogue/Unitfolianta.h"
#include "catalogue/Unitfolianta_linesearch.h"
#include "catalogue/Unitfolianta_usualrow.h"
#include "catalogue/Unitfolianta_variants.h"

namespace {

using namespace listing;

// Room reserved in rows and records each time they are rebuilt, at the least.
constexpr std::size_t kReservedEntries = 1000;

// Cuts the page text, which ends at pageEnd and is padded, into lines and parses each. The
// marks of a line give its end, so the next line is marked as soon as the line's end is known,
// before the line itself is read: the processor then works on both at once.
template <typename Chunk, typename Lanes>
void ParseLines(const FieldExtractor* pairs, char* text, char* pageEnd, std::vector<char*>& rows,
                std::vector<TZRecord>& records) {
    const char* const readable = pageEnd + 1 + CFolianta::kPagePadding;
    // The store's pairs all cut at their end; pairs that do not are left to the line search.
    const bool cutsEveryEnd = std::all_of(pairs, pairs + TZRecord::kFieldCount + 1,
                                          [](const FieldExtractor& pair) { return pair.cutAtEnd; });
    TLineStops<Lanes> marked[2];
    TLineStops<Lanes>* stops = &marked[0];
    TLineStops<Lanes>* nextStops = &marked[1];
    stops->Mark(text);
    TZRecord record;
    for (;;) {
        char* const line = stops->Line();
        char* lineEnd = stops->FirstEnd();
        if (!lineEnd || *lineEnd != '\n') {
            // A zero byte inside the line, the page's end, or a line longer than its marks.
            char* const from = lineEnd ? lineEnd : line;
            lineEnd = static_cast<char*>(std::memchr(from, '\n', std::size_t(pageEnd - from)));
            if (!lineEnd) {
                lineEnd = pageEnd;
            }
        }
        if (lineEnd != pageEnd) {
            nextStops->Mark(lineEnd + 1);
            *lineEnd = '\0';
        }
        rows.push_back(line);
        if ((cutsEveryEnd && ReadUsualRow<Lanes>(*stops, record)) ||
            ParseLine<Chunk>(pairs, line, lineEnd, readable, record)) {
            records.push_back(record);
        }
        if (lineEnd == pageEnd) {
            return;
        }
        std::swap(stops, nextStops);
    }
}

// Each variant has the whole line search inlined, so that the vector code of its instruction
// set is inlined too.
__attribute__((flatten)) void ParseLinesBytes(const FieldExtractor* pairs, char* text,
                                              char* pageEnd, std::vector<char*>& rows,
                                              std::vector<TZRecord>& records) {
    ParseLines<TByteChunk, TByteLanes>(pairs, text, pageEnd, rows, records);
}

#if defined(__x86_64__)
__attribute__((flatten)) void ParseLinesSse2(const FieldExtractor* pairs, char* text, char* pageEnd,
                                             std::vector<char*>& rows,
                                             std::vector<TZRecord>& records) {
    ParseLines<TSse2Chunk, TSse2Lanes>(pairs, text, pageEnd, rows, records);
}

__attribute__((target("avx2,bmi,bmi2"), flatten)) void ParseLinesAvx2(
    const FieldExtractor* pairs, char* text, char* pageEnd, std::vector<char*>& rows,
    std::vector<TZRecord>& records) {
    ParseLines<TSse2Chunk, TAvx2Lanes>(pairs, text, pageEnd, rows, records);
}

__attribute__((target("avx512bw,bmi,bmi2"), flatten)) void ParseLinesAvx512(
    const FieldExtractor* pairs, char* text, char* pageEnd, std::vector<char*>& rows,
    std::vector<TZRecord>& records) {
    ParseLines<TAvx512Chunk, TAvx512Lanes>(pairs, text, pageEnd, rows, records);
}
#endif

const PageParser kParseLines = [] {
    for (const TPageParserVariant& variant : PageParserVariants()) {
        if (variant.supported) {
            return variant.parse;
        }
    }
    return ParseLinesBytes;
}();

}  // namespace

std::span<const listing::TPageParserVariant> listing::PageParserVariants() {
    static const auto variants = [] {
#if defined(__x86_64__)
        __builtin_cpu_init();
        const bool bitInstructions =
            __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
        return std::array{
            TPageParserVariant{"avx512bw", __builtin_cpu_supports("avx512bw") && bitInstructions,
                               ParseLinesAvx512},
            TPageParserVariant{"avx2", __builtin_cpu_supports("avx2") && bitInstructions,
                               ParseLinesAvx2},
            TPageParserVariant{"sse2", true, ParseLinesSse2},
            TPageParserVariant{"bytes", true, ParseLinesBytes},
        };
#else
        return std::array{TPageParserVariant{"bytes", true, ParseLinesBytes}};
#endif
    }();
    return variants;
}

void CFolianta::ParsePage() {
    rows.clear();
    rows.reserve(kReservedEntries);
    if (records.use_count() > 1) {
        records = std::make_shared<std::vector<TZRecord>>();  // a holder keeps the old ones
    }
    records->clear();
    records->reserve(kReservedEntries);
    if (pageText) {
        kParseLines(extractors, pageText.get(), pageText.get() + pageSize, rows, *records);
    }
}

bool CFolianta::ParseRow(char* line, TZRecord& record) {
    char* const end = line + std::strlen(line);
    return ParseLine<TPortableChunk>(extractors, line, end, end + 1, record);
}

char* CFolianta::Extract(char*& cursor, const FieldExtractor& extractor) {
    // Any marker pair may be given here, so it is searched with a plain substring search.
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
