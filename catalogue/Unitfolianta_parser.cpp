// The listing parser: the page cut into lines, and each line read once, forward, for the marker
// pairs of a work row.
//
// A line is read in chunks of 64 byte places. For each chunk one vector scan marks the places of
// the bytes that begin or end a marker ('<', '"', '&', '>'), of zero bytes and of the row end's
// first bytes; the markers are then looked for, in row order, only at marked places.
#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "catalogue/Unitfolianta.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// Room reserved in rows and records each time they are rebuilt, at the least.
constexpr std::size_t kReservedEntries = 1000;

// The kinds of marked places of a chunk.
enum TMark { kMarkLess, kMarkQuote, kMarkAmpersand, kMarkGreater, kMarkZero, kMarkRowEnd, kMarks };
constexpr char kMarkedBytes[kMarkZero + 1] = {'<', '"', '&', '>', '\0'};

constexpr std::ptrdiff_t kChunk = 64;
// Bytes of the row end a chunk scan compares; a chunk scan reads this many bytes less one past
// its 64 places.
constexpr std::ptrdiff_t kRowEndPrefix = 4;
constexpr std::ptrdiff_t kChunkReach = kChunk + kRowEndPrefix - 1;
static_assert(CFolianta::kPagePadding >= std::size_t(kChunkReach));

struct TChunkMarks {
    std::uint64_t bits[kMarks];
};

// The marks of the places before end only, reading nothing at or after end.
void MarkBytes(const char* p, const char* end, const char* rowEnd, TChunkMarks& marks) {
    marks = {};
    const std::ptrdiff_t places = std::min(kChunk, end - p);
    for (std::ptrdiff_t i = 0; i < places; ++i) {
        for (int kind = 0; kind <= kMarkZero; ++kind) {
            marks.bits[kind] |= std::uint64_t(p[i] == kMarkedBytes[kind]) << i;
        }
        if (end - (p + i) >= kRowEndPrefix && std::memcmp(p + i, rowEnd, kRowEndPrefix) == 0) {
            marks.bits[kMarkRowEnd] |= std::uint64_t(1) << i;
        }
    }
}

// Chunk scans: Mark marks the 64 places from p, reading p[0] to p[kChunkReach - 1].
struct TByteScan {
    static void Mark(const char* p, const char* rowEnd, TChunkMarks& marks) {
        MarkBytes(p, p + kChunkReach, rowEnd, marks);
    }
};

#if defined(__x86_64__)
// The vector scans compare each of the first kRowEndPrefix bytes of the row end at its own
// offset; written out, so that the four loads stay in registers.
static_assert(kRowEndPrefix == 4);

struct TSse2Scan {
    static void Mark(const char* p, const char* rowEnd, TChunkMarks& marks) {
        marks = {};
        const __m128i r0 = _mm_set1_epi8(rowEnd[0]), r1 = _mm_set1_epi8(rowEnd[1]),
                      r2 = _mm_set1_epi8(rowEnd[2]), r3 = _mm_set1_epi8(rowEnd[3]);
        for (std::ptrdiff_t block = 0; block < kChunk; block += 16) {
            const auto* q = reinterpret_cast<const __m128i*>(p + block);
            const __m128i b0 = _mm_loadu_si128(q);
            const auto bits = [&](__m128i same) {
                return std::uint64_t(unsigned(_mm_movemask_epi8(same))) << block;
            };
            for (int kind = 0; kind <= kMarkZero; ++kind) {
                marks.bits[kind] |= bits(_mm_cmpeq_epi8(b0, _mm_set1_epi8(kMarkedBytes[kind])));
            }
            const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + block + 1));
            const __m128i b2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + block + 2));
            const __m128i b3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + block + 3));
            marks.bits[kMarkRowEnd] |=
                bits(_mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(b0, r0), _mm_cmpeq_epi8(b1, r1)),
                                   _mm_and_si128(_mm_cmpeq_epi8(b2, r2), _mm_cmpeq_epi8(b3, r3))));
        }
    }
};

struct TAvx512Scan {
    __attribute__((target("avx512bw"))) static void Mark(const char* p, const char* rowEnd,
                                                         TChunkMarks& marks) {
        const __m512i b0 = _mm512_loadu_si512(p);
        for (int kind = 0; kind <= kMarkZero; ++kind) {
            marks.bits[kind] = _mm512_cmpeq_epi8_mask(b0, _mm512_set1_epi8(kMarkedBytes[kind]));
        }
        marks.bits[kMarkRowEnd] =
            _mm512_cmpeq_epi8_mask(b0, _mm512_set1_epi8(rowEnd[0])) &
            _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(p + 1), _mm512_set1_epi8(rowEnd[1])) &
            _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(p + 2), _mm512_set1_epi8(rowEnd[2])) &
            _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(p + 3), _mm512_set1_epi8(rowEnd[3]));
    }
};
using TPortableScan = TSse2Scan;
#else
using TPortableScan = TByteScan;
#endif

// Where a marker is looked for: at the marked places of the kind of its first byte, or, when
// that byte is not a marked one, of its last byte (offset places after its start).
struct TAnchor {
    TMark mark;
    std::ptrdiff_t offset;
};

constexpr int MarkOf(char c) {
    for (int kind = 0; kind < kMarkZero; ++kind) {
        if (kMarkedBytes[kind] == c) {
            return kind;
        }
    }
    return -1;
}

constexpr TAnchor AnchorOf(std::string_view marker) {
    if (MarkOf(marker.front()) >= 0) {
        return {TMark(MarkOf(marker.front())), 0};
    }
    if (MarkOf(marker.back()) >= 0) {
        return {TMark(MarkOf(marker.back())), std::ptrdiff_t(marker.size() - 1)};
    }
    throw "a listing marker must begin or end with a marked byte";
}

// The scan takes the first row end met as the end of the row body, as the zero written there
// would end it. That is only right when a field marker can never overlap a row end: none holds
// its beginning, and none ends with a beginning part of it.
constexpr bool OverlapsRowEnd(std::string_view marker) {
    const std::string_view rowEnd = kListingMarkers[0].end;
    for (std::size_t at = 0; at < marker.size(); ++at) {
        const std::size_t common = std::min(marker.size() - at, rowEnd.size());
        if (marker.substr(at, common) == rowEnd.substr(0, common)) {
            return true;
        }
    }
    return false;
}

constexpr bool NoFieldMarkerOverlapsRowEnd() {
    for (std::size_t i = 1; i < std::size(kListingMarkers); ++i) {
        if (OverlapsRowEnd(kListingMarkers[i].start) || OverlapsRowEnd(kListingMarkers[i].end)) {
            return false;
        }
    }
    return std::string_view(kListingMarkers[0].end).size() >= std::size_t(kRowEndPrefix);
}
static_assert(NoFieldMarkerOverlapsRowEnd());

// A marker as the line search compares it: its bytes in words of 8, with the bytes of each word
// that belong to it, and the place where it is looked for.
struct TMarkerCode {
    static constexpr int kWords = 3;
    std::uint64_t word[kWords] = {};
    std::uint64_t mask[kWords] = {};
    std::ptrdiff_t length = 0;
    TAnchor anchor{};
};
constexpr std::ptrdiff_t kMaxMarker = 8 * TMarkerCode::kWords;

constexpr TMarkerCode CodeOf(std::string_view marker) {
    if (marker.size() > std::size_t(kMaxMarker)) {
        throw "a listing marker is longer than its code";
    }
    TMarkerCode code;
    for (std::size_t i = 0; i < marker.size(); ++i) {
        code.word[i / 8] |= std::uint64_t(static_cast<unsigned char>(marker[i])) << (8 * (i % 8));
        code.mask[i / 8] |= std::uint64_t(0xFF) << (8 * (i % 8));
    }
    code.length = std::ptrdiff_t(marker.size());
    code.anchor = AnchorOf(marker);
    return code;
}

// The searches of a line, in row order: the row's start, the start and end of every field, and
// the row's end. The store's extractors are the listing markers, so the searches are compiled
// from the same table; the steps between the row's start and its end stop at the row's end too.
constexpr int kSteps = 2 * TZRecord::kFieldCount + 2;
constexpr int kRowEndStep = kSteps - 1;
constexpr auto kStepCodes = [] {
    std::array<TMarkerCode, kSteps> steps{};
    steps[0] = CodeOf(kListingMarkers[0].start);
    for (std::size_t i = 1; i <= std::size_t(TZRecord::kFieldCount); ++i) {
        steps[2 * i - 1] = CodeOf(kListingMarkers[i].start);
        steps[2 * i] = CodeOf(kListingMarkers[i].end);
    }
    steps[kRowEndStep] = CodeOf(kListingMarkers[0].end);
    return steps;
}();

std::uint64_t Load64(const char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The marked places of a line [line, end) chunk by chunk, end being the place of its
// terminating zero. Bytes from end up to readable may be read (the lines of a padded page let
// the chunk scans run past their end); the marks there are never used, since the zero at end
// stops every search.
template <typename Scan>
class TLineMarks {
public:
    TLineMarks(char* end, const char* readable) : end(end), readable(readable) {}

    void Mark(char* at) {
        base = at;
        if (readable - at >= kChunkReach) {
            Scan::Mark(at, kListingMarkers[0].end, marks);
        } else {
            MarkBytes(at, std::min<const char*>(end + 1, readable), kListingMarkers[0].end, marks);
        }
    }
    // The marks of one kind at places from `from` on.
    std::uint64_t From(int kind, const char* from) const {
        const std::ptrdiff_t skip = from - base;
        const std::uint64_t bits = marks.bits[kind];
        return skip <= 0 ? bits : skip >= kChunk ? 0 : bits >> skip << skip;
    }
    // True when the marker of code lies at p.
    template <TMarkerCode code>
    bool Holds(const char* p) const {
        if (readable - p >= kMaxMarker) {
            std::uint64_t differ = (Load64(p) ^ code.word[0]) & code.mask[0];
            if constexpr (code.mask[1] != 0) {
                differ |= (Load64(p + 8) ^ code.word[1]) & code.mask[1];
            }
            if constexpr (code.mask[2] != 0) {
                differ |= (Load64(p + 16) ^ code.word[2]) & code.mask[2];
            }
            return differ == 0;
        }
        // Near the end of what may be read: bytes from end on never match, since a marker
        // holds no zero byte.
        for (std::ptrdiff_t i = 0; i < code.length; ++i) {
            if (p + i >= end ||
                static_cast<unsigned char>(p[i]) != (code.word[i / 8] >> (8 * (i % 8)) & 0xFF)) {
                return false;
            }
        }
        return true;
    }

    char* base = nullptr;

private:
    char* const end;
    const char* const readable;
    TChunkMarks marks{};
};

// Where the searches of a line stand: the marker places found so far, where the next search
// begins, and the row end or zero byte that stopped them early.
struct TRowProgress {
    char* at[kSteps];
    int found = 0;
    char* from;
    char* stoppedAt = nullptr;
};

// Step S: finds its marker from progress.from on, or the stop before it. True when found.
template <typename Scan, int S>
bool FindStep(TLineMarks<Scan>& marks, TRowProgress& row) {
    constexpr TMarkerCode code = kStepCodes[S];
    constexpr bool kWatched = S > 0 && S < kRowEndStep;
    for (;;) {
        const std::uint64_t stops =
            marks.From(kMarkZero, row.from) | (kWatched ? marks.From(kMarkRowEnd, row.from) : 0);
        const std::uint64_t anchors = marks.From(code.anchor.mark, row.from + code.anchor.offset);
        for (std::uint64_t places = stops | anchors; places != 0; places &= places - 1) {
            const int bit = __builtin_ctzll(places);
            char* const p = marks.base + bit;
            if (stops >> bit & 1 &&
                (*p == '\0' || marks.template Holds<kStepCodes[kRowEndStep]>(p))) {
                row.stoppedAt = p;
                return false;
            }
            if (anchors >> bit & 1 && marks.template Holds<code>(p - code.anchor.offset)) {
                row.at[row.found++] = p - code.anchor.offset;
                row.from = p - code.anchor.offset + code.length;
                if (row.from - marks.base >= kChunk) {
                    marks.Mark(row.from);
                }
                return true;
            }
        }
        marks.Mark(marks.base + kChunk);
    }
}

template <typename Scan, int... S>
void FindSteps(TLineMarks<Scan>& marks, TRowProgress& row, std::integer_sequence<int, S...>) {
    (FindStep<Scan, S>(marks, row) && ...);
}

// ParseRow of a line whose terminating zero is at end; bytes up to readable may be read.
template <typename Scan>
bool ParseLine(const FieldExtractor* pairs, char* line, char* end, const char* readable,
               TZRecord& record) {
    // Every step searches from where the marker before it ended, so each marked place of the
    // line is looked at once, in order. The first row end met closes the body, as the zero
    // written there would; a zero byte ends the search.
    TLineMarks<Scan> marks(end, readable);
    TRowProgress row;
    row.from = line;
    marks.Mark(line);
    FindSteps(marks, row, std::make_integer_sequence<int, kSteps>());
    if (row.found == 0) {
        return false;
    }
    // The fields found whole before the search stopped, and the row end that closes the body;
    // a body that is never closed yields nothing and writes nothing.
    const int fieldsFound = std::min((row.found - 1) / 2, TZRecord::kFieldCount);
    char* const bodyEnd = row.found == kSteps                       ? row.at[kRowEndStep]
                          : row.stoppedAt && *row.stoppedAt != '\0' ? row.stoppedAt
                                                                    : nullptr;
    if (!bodyEnd) {
        return false;
    }
    if (pairs[0].cutAtEnd) {
        *bodyEnd = '\0';
    }
    for (int i = 0; i < fieldsFound; ++i) {
        if (pairs[i + 1].cutAtEnd) {
            *row.at[2 * i + 2] = '\0';
        }
    }
    if (fieldsFound < TZRecord::kFieldCount) {
        return false;
    }
    for (int i = 0; i < TZRecord::kFieldCount; ++i) {
        record.*kRecordFields[i] = row.at[2 * i + 1] + pairs[i + 1].startLength;
    }
    return true;
}

// Parses every line of rows into records; the page text ends at pageEnd, padded.
template <typename Scan>
void ParseLines(const FieldExtractor* pairs, const std::vector<char*>& rows, char* pageEnd,
                std::vector<TZRecord>& records) {
    const char* const readable = pageEnd + 1 + CFolianta::kPagePadding;
    TZRecord record;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        char* const lineEnd = i + 1 < rows.size() ? rows[i + 1] - 1 : pageEnd;
        if (ParseLine<Scan>(pairs, rows[i], lineEnd, readable, record)) {
            records.push_back(record);
        }
    }
}

// Each variant has the whole line search inlined, so that the chunk scan of its instruction set
// is inlined too.
__attribute__((flatten)) void ParseLinesPortable(const FieldExtractor* pairs,
                                                 const std::vector<char*>& rows, char* pageEnd,
                                                 std::vector<TZRecord>& records) {
    ParseLines<TPortableScan>(pairs, rows, pageEnd, records);
}

#if defined(__x86_64__)
__attribute__((target("avx512bw"), flatten)) void ParseLinesAvx512(const FieldExtractor* pairs,
                                                                   const std::vector<char*>& rows,
                                                                   char* pageEnd,
                                                                   std::vector<TZRecord>& records) {
    ParseLines<TAvx512Scan>(pairs, rows, pageEnd, records);
}

using LinesParser = decltype(&ParseLinesPortable);
const LinesParser kParseLines = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512bw") ? ParseLinesAvx512 : ParseLinesPortable;
}();
#else
const auto kParseLines = ParseLinesPortable;
#endif

}  // namespace

void CFolianta::ParsePage() {
    SplitRows();
    if (records.use_count() > 1) {
        records = std::make_shared<std::vector<TZRecord>>();  // a holder keeps the old ones
    }
    records->clear();
    records->reserve(std::max(kReservedEntries, rows.size()));
    if (pageText) {
        kParseLines(extractors, rows, pageText.get() + pageSize, *records);
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
    char* const end = line + std::strlen(line);
    return ParseLine<TPortableScan>(extractors, line, end, end + 1, record);
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
