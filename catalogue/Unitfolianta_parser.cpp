// The listing parser: the page cut into lines, each line read once, forward, for the marker pairs
// of a work row.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "catalogue/Unitfolianta.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Room reserved in rows and records each time they are rebuilt, at the least.
constexpr std::size_t kReservedEntries = 1000;

struct Marker {
    const char* text;
    std::size_t length;
};

// True when marker begins at p. Compares byte by byte, so it never reads past the first byte
// that differs: a zero byte ends the comparison, as it ends the text.
bool MarkerAt(const char* p, Marker marker) {
    for (std::size_t i = 0; i < marker.length; ++i) {
        if (p[i] != marker.text[i]) {
            return false;
        }
    }
    return true;
}

// What a scan stopped at.
enum class Stop { kMarker, kRowEnd, kEnd };

struct Hit {
    Stop stop;
    char* at;
};

// The first place in [p, end) where marker begins, where rowEnd begins (when rowEnd.length is
// not 0), or where a zero byte is, whichever comes first; kEnd at end when there is none. end
// is the position of the text's terminating zero; nothing at or after it is read except that
// zero, and only by MarkerAt.
class TScanner {
public:
    TScanner(Marker marker, Marker rowEnd) : marker(marker), rowEnd(rowEnd) {}

    Hit Find(char* p, char* end) const {
#if defined(__SSE2__)
        if (end - p >= kLookahead + kBlock) {
            return FindBlocks(p, end);
        }
#endif
        return FindBytes(p, end);
    }

private:
    // Bytes of a marker the block filter compares beyond the first.
    static constexpr std::ptrdiff_t kLookahead = 3;
    static constexpr std::ptrdiff_t kBlock = 16;

    // Settles a candidate position: a zero byte, the row end, the marker, or nothing.
    bool Settle(char* p, Hit& hit) const {
        if (*p == '\0') {
            hit = {Stop::kEnd, p};
            return true;
        }
        if (rowEnd.length != 0 && MarkerAt(p, rowEnd)) {
            hit = {Stop::kRowEnd, p};
            return true;
        }
        if (MarkerAt(p, marker)) {
            hit = {Stop::kMarker, p};
            return true;
        }
        return false;
    }

    Hit FindBytes(char* p, char* end) const {
        Hit hit{Stop::kEnd, end};
        for (; p < end; ++p) {
            if (Settle(p, hit)) {
                return hit;
            }
        }
        return hit;
    }

#if defined(__SSE2__)
    // Positions whose first bytes (up to kLookahead + 1 of them) equal those of text.
    static __m128i Prefix(const __m128i (&bytes)[kLookahead + 1], Marker text) {
        __m128i match = _mm_cmpeq_epi8(bytes[0], _mm_set1_epi8(text.text[0]));
        for (std::size_t i = 1; i < text.length && i <= std::size_t(kLookahead); ++i) {
            match = _mm_and_si128(match, _mm_cmpeq_epi8(bytes[i], _mm_set1_epi8(text.text[i])));
        }
        return match;
    }

    // Candidates of the 16 positions from q: each is settled in order from bit `from` on.
    int Candidates(const char* q) const {
        __m128i bytes[kLookahead + 1];
        for (std::ptrdiff_t i = 0; i <= kLookahead; ++i) {
            bytes[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + i));
        }
        __m128i any =
            _mm_or_si128(Prefix(bytes, marker), _mm_cmpeq_epi8(bytes[0], _mm_setzero_si128()));
        if (rowEnd.length != 0) {
            any = _mm_or_si128(any, Prefix(bytes, rowEnd));
        }
        return _mm_movemask_epi8(any);
    }

    Hit FindBlocks(char* p, char* end) const {
        // Blocks read their 16 positions and kLookahead bytes after them, all before end; the
        // last block is moved back to end there and skips the positions already settled.
        char* const lastBlock = end - kLookahead - kBlock;
        Hit hit{Stop::kEnd, end};
        for (char* q = p;; q += kBlock) {
            int skip = 0;
            if (q > lastBlock) {
                skip = int(q - lastBlock);
                q = lastBlock;
            }
            for (int bits = Candidates(q) >> skip << skip; bits != 0; bits &= bits - 1) {
                if (Settle(q + __builtin_ctz(unsigned(bits)), hit)) {
                    return hit;
                }
            }
            if (q == lastBlock) {
                return FindBytes(end - kLookahead, end);
            }
        }
    }
#endif

    Marker marker;
    Marker rowEnd;
};

Marker StartOf(const FieldExtractor& e) {
    return {e.startMarker, std::size_t(e.startLength)};
}

Marker EndOf(const FieldExtractor& e) {
    return {e.endMarker, std::size_t(e.endLength)};
}

constexpr Marker kNoRowEnd{"", 0};

}  // namespace

void CFolianta::ParsePage() {
    SplitRows();
    if (records.use_count() > 1) {
        records = std::make_shared<std::vector<TZRecord>>();  // a holder keeps the old ones
    }
    records->clear();
    records->reserve(std::max(kReservedEntries, rows.size()));
    TZRecord scratch;
    char* const pageEnd = pageText.get() + pageSize;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        char* const lineEnd = i + 1 < rows.size() ? rows[i + 1] - 1 : pageEnd;
        if (ParseLine(rows[i], lineEnd, scratch)) {
            records->push_back(scratch);
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
    return ParseLine(line, line + std::strlen(line), record);
}

bool CFolianta::ParseLine(char* line, char* end, TZRecord& record) {
    const Marker rowEnd = EndOf(extractors[0]);
    const Hit row = TScanner(StartOf(extractors[0]), kNoRowEnd).Find(line, end);
    if (row.stop != Stop::kMarker) {
        return false;
    }
    // One forward scan from the row body: each marker is searched from where the one before
    // ended, and the first row end met closes the body, as the zero written there would.
    char* cursor = row.at + extractors[0].startLength;
    char* fields[TZRecord::kFieldCount];
    char* fieldEnds[TZRecord::kFieldCount];
    int found = 0;
    char* bodyEnd = nullptr;
    for (; found < TZRecord::kFieldCount; ++found) {
        const FieldExtractor& e = extractors[found + 1];
        const Hit start = TScanner(StartOf(e), rowEnd).Find(cursor, end);
        if (start.stop != Stop::kMarker) {
            bodyEnd = start.stop == Stop::kRowEnd ? start.at : nullptr;
            break;
        }
        fields[found] = start.at + e.startLength;
        const Hit stop = TScanner(EndOf(e), rowEnd).Find(fields[found], end);
        if (stop.stop != Stop::kMarker) {
            bodyEnd = stop.stop == Stop::kRowEnd ? stop.at : nullptr;
            break;
        }
        fieldEnds[found] = stop.at;
        cursor = stop.at + e.endLength;
    }
    if (found == TZRecord::kFieldCount) {
        const Hit close = TScanner(rowEnd, kNoRowEnd).Find(cursor, end);
        bodyEnd = close.stop == Stop::kMarker ? close.at : nullptr;
    }
    // A row body that is never closed yields nothing and writes nothing.
    if (!bodyEnd) {
        return false;
    }
    if (extractors[0].cutAtEnd) {
        *bodyEnd = '\0';
    }
    for (int i = 0; i < found; ++i) {
        if (extractors[i + 1].cutAtEnd) {
            *fieldEnds[i] = '\0';
        }
    }
    if (found < TZRecord::kFieldCount) {
        return false;
    }
    for (int i = 0; i < TZRecord::kFieldCount; ++i) {
        record.*kRecordFields[i] = fields[i];
    }
    return true;
}

char* CFolianta::Extract(char*& cursor, const FieldExtractor& extractor) {
    char* const end = cursor + std::strlen(cursor);
    const Hit start = TScanner(StartOf(extractor), kNoRowEnd).Find(cursor, end);
    if (start.stop != Stop::kMarker) {
        return nullptr;
    }
    char* const field = start.at + extractor.startLength;
    const Hit stop = TScanner(EndOf(extractor), kNoRowEnd).Find(field, end);
    if (stop.stop != Stop::kMarker) {
        return nullptr;
    }
    if (extractor.cutAtEnd) {
        *stop.at = '\0';
    }
    cursor = stop.at + extractor.endLength;
    return field;
}
