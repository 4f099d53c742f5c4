#pragma once
// Rows as the catalogue writes them: the markers with the usual gaps between them, only the
// fields varying. Such a row is one chain of fixed stretches with a field after each but the
// last: stretch 0 is the row start, the first gap and field 0's start marker; stretch i is field
// i-1's end marker, the gap and field i's start marker; the last stretch is the last field's end
// marker, the last gap and the row end. The row is read by comparing each stretch in place and
// searching each field only for the stretch after it. A line that turns out otherwise is left
// to the line search. Internal to the listing parser.
#include "catalogue/Unitfolianta.h"
#include "catalogue/Unitfolianta_markers.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace listing {

constexpr int kStretchCount = TZRecord::kFieldCount + 1;
constexpr auto kStretches = [] {
    std::array<TByteText, kStretchCount> stretches{};
    stretches[0] = CodeOf({kListingMarkers[0].start, kUsualRowGaps[0], kListingMarkers[1].start});
    for (std::size_t i = 1; i < std::size_t(TZRecord::kFieldCount); ++i) {
        stretches[i] =
            CodeOf({kListingMarkers[i].end, kUsualRowGaps[i], kListingMarkers[i + 1].start});
    }
    stretches[TZRecord::kFieldCount] =
        CodeOf({kListingMarkers[TZRecord::kFieldCount].end, kUsualRowGaps[TZRecord::kFieldCount],
                kListingMarkers[0].end});
    return stretches;
}();

// Reading a stretch in place gives what the searches give: each search that begins inside a
// stretch (after its first marker) finds its marker where the stretch holds it, and no row end
// can begin before that. No row end begins inside a marker either (NoFieldMarkerOverlapsRowEnd),
// so a row end can only begin inside a field, which the field search watches for.
constexpr bool StretchesReadAsSearched() {
    const std::string_view rowEnd = kListingMarkers[0].end;
    for (std::size_t i = 0; i < kStretches.size(); ++i) {
        const std::string_view text = kStretches[i].View();
        const std::string_view searched =
            i < std::size_t(TZRecord::kFieldCount) ? kListingMarkers[i + 1].start : rowEnd;
        const std::string_view before = i == 0 ? kListingMarkers[0].start : kListingMarkers[i].end;
        for (std::size_t at = before.size(); at + searched.size() < text.size(); ++at) {
            if (MayBeginAt(text, at, searched) || MayBeginAt(text, at, rowEnd)) {
                return false;
            }
        }
    }
    return true;
}
static_assert(StretchesReadAsSearched());

// Each field search looks for its end marker by one byte of it, its anchor: the first byte, or
// the last when only that one is already looked for. The searches stop at the anchors, at the
// row end's first byte and at a zero or line feed; few bytes, so that marking them is cheap.
struct TStopBytes {
    char byte[TZRecord::kFieldCount + 3] = {};
    std::size_t count = 0;
    std::ptrdiff_t anchor[TZRecord::kFieldCount] = {};

    constexpr bool Holds(char b) const { return std::find(byte, byte + count, b) != byte + count; }
    constexpr void Add(char b) {
        if (!Holds(b)) {
            byte[count++] = b;
        }
    }
};

constexpr TStopBytes kStops = [] {
    TStopBytes stops;
    stops.Add('\0');
    stops.Add('\n');
    stops.Add(kRowEnd.Byte(0));
    for (int field = 0; field < TZRecord::kFieldCount; ++field) {
        const TByteText end = kStepCodes[std::size_t(2 * field + 2)];
        const std::ptrdiff_t last = end.length - 1;
        stops.anchor[field] = !stops.Holds(end.Byte(0)) && stops.Holds(end.Byte(last)) ? last : 0;
        stops.Add(end.Byte(stops.anchor[field]));
    }
    return stops;
}();
static_assert(kStops.count <= 4, "a stop byte more costs the marking of every line");

// A search whose anchor is not the first byte meets the bytes of its marker before the anchor;
// were one of them a stop byte, the search could stop there before it sees the marker.
constexpr bool AnchorsComeFirst() {
    for (int field = 0; field < TZRecord::kFieldCount; ++field) {
        const TByteText end = kStepCodes[std::size_t(2 * field + 2)];
        for (std::ptrdiff_t at = 0; at < kStops.anchor[field]; ++at) {
            if (kStops.Holds(end.Byte(at))) {
                return false;
            }
        }
    }
    return true;
}
static_assert(AnchorsComeFirst());

// Lane sets: Mark(p, ends) gives one bit for each of the kLanes places from p that holds a stop
// byte, and sets ends to the bits of those that hold a zero or a line feed.
struct TByteLanes {
    static constexpr std::size_t kLanes = 8;
    static std::uint64_t Mark(const char* p, std::uint64_t& ends) {
        std::uint64_t stops = 0;
        ends = 0;
        for (std::size_t i = 0; i < kLanes; ++i) {
            ends |= std::uint64_t(p[i] == '\0' || p[i] == '\n') << i;
            stops |= std::uint64_t(kStops.Holds(p[i])) << i;
        }
        return stops;
    }
};

#if defined(__x86_64__)
struct TSse2Lanes {
    static constexpr std::size_t kLanes = 16;
    static std::uint64_t Mark(const char* p, std::uint64_t& ends) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i lineEnds = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_setzero_si128()),
                                              _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')));
        __m128i stops = lineEnds;
        for (std::size_t b = 2; b < kStops.count; ++b) {
            stops = _mm_or_si128(stops, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(kStops.byte[b])));
        }
        ends = unsigned(_mm_movemask_epi8(lineEnds));
        return unsigned(_mm_movemask_epi8(stops));
    }
};

struct TAvx2Lanes {
    static constexpr std::size_t kLanes = 32;
    __attribute__((target("avx2"))) static std::uint64_t Mark(const char* p, std::uint64_t& ends) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i lineEnds = _mm256_or_si256(_mm256_cmpeq_epi8(bytes, _mm256_setzero_si256()),
                                                 _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\n')));
        __m256i stops = lineEnds;
        for (std::size_t b = 2; b < kStops.count; ++b) {
            stops =
                _mm256_or_si256(stops, _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(kStops.byte[b])));
        }
        ends = unsigned(_mm256_movemask_epi8(lineEnds));
        return unsigned(_mm256_movemask_epi8(stops));
    }
};

struct TAvx512Lanes {
    static constexpr std::size_t kLanes = 64;
    __attribute__((target("avx512bw"))) static std::uint64_t Mark(const char* p,
                                                                  std::uint64_t& ends) {
        const __m512i bytes = _mm512_loadu_si512(p);
        ends = _mm512_testn_epi8_mask(bytes, bytes) |
               _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('\n'));
        std::uint64_t stops = ends;
        for (std::size_t b = 2; b < kStops.count; ++b) {
            stops |= _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(kStops.byte[b]));
        }
        return stops;
    }
};
using TPortableLanes = TSse2Lanes;
#else
using TPortableLanes = TByteLanes;
#endif

// The stops of a line's field searches, one bit per place and 64 places to a block: the places
// of the stop bytes from the line's start on, up to the block that holds its first zero or line
// feed. A line is marked before the searches of the line before it are done: the marking needs
// nothing of them, so the processor runs both at once, and a search is then a few bit
// operations.
template <typename Lanes>
class TLineStops {
public:
    static constexpr std::size_t kBlock = 64;
    static constexpr std::size_t kMaxBlocks = 16;
    static_assert(CFolianta::kPagePadding >= kBlock);

    // Marks from line on up to the block that holds a zero or line feed, or kMaxBlocks blocks;
    // reads up to kBlock bytes past that zero or line feed.
    void Mark(char* from) {
        line = from;
        for (std::size_t block = 0; block < kMaxBlocks; ++block) {
            if (const std::uint64_t ends = MarkBlock(line + kBlock * block, stops[block])) {
                firstEnd = line + kBlock * block + __builtin_ctzll(ends);
                return;
            }
        }
        firstEnd = nullptr;
    }

    char* Line() const { return line; }
    // The line's first zero or line feed; null when it lies past the marked blocks.
    char* FirstEnd() const { return firstEnd; }
    // The stops of the block that holds the place `place` of the line, from that place on,
    // shifted to bit 0. Only places up to FirstEnd() are marked.
    std::uint64_t From(std::size_t place) const {
        return stops[place / kBlock] >> (place % kBlock);
    }

private:
    // Marks the block at p into stops; gives its places of zeros and line feeds.
    static std::uint64_t MarkBlock(const char* p, std::uint64_t& stops) {
        std::uint64_t ends = 0;
        stops = 0;
        for (std::size_t lane = 0; lane < kBlock; lane += Lanes::kLanes) {
            std::uint64_t laneEnds;
            stops |= Lanes::Mark(p + lane, laneEnds) << lane;
            ends |= laneEnds << lane;
        }
        return ends;
    }

    std::uint64_t stops[kMaxBlocks];
    char* line = nullptr;
    char* firstEnd = nullptr;
};

// The place of the stretch after field `I` of a usual row, the field beginning at from; null
// when the row is not usual there: the field's end marker is followed by other text, or a
// zero, a line feed or a row end comes first. The line's first zero or line feed is marked.
template <typename Lanes, int I>
char* UsualFieldEnd(const TLineStops<Lanes>& stops, char* from) {
    constexpr TByteText end = kStepCodes[2 * I + 2];
    constexpr TByteText next = kStretches[I + 1];
    constexpr std::ptrdiff_t anchor = kStops.anchor[I];
    constexpr std::size_t kBlock = TLineStops<Lanes>::kBlock;
    char* const line = stops.Line();
    // The marked zero or line feed stops the search at the latest.
    for (std::size_t place = std::size_t(from - line);; place = (place | (kBlock - 1)) + 1) {
        for (std::uint64_t ahead = stops.From(place); ahead != 0; ahead &= ahead - 1) {
            char* const stop = line + place + unsigned(__builtin_ctzll(ahead));
            // A marker anchored at its first byte is looked for at every stop, the stretch's
            // comparison taking in the anchor; one anchored further on only where the anchor
            // byte stands and the marker would begin inside the field.
            if (anchor == 0 || (*stop == end.Byte(anchor) && stop - anchor >= from)) {
                char* const at = stop - anchor;
                if (SameText<next>(at)) {
                    return at;
                }
                if (SameText<end>(at)) {
                    return nullptr;
                }
            }
            if (*stop == '\0' || *stop == '\n' || SameText<kRowEnd>(stop)) {
                return nullptr;
            }
        }
    }
}

// Finds the ends of fields I.. of a usual row, field I beginning at from; false at the first
// field that is not usual.
template <typename Lanes, int I>
bool FindUsualFieldEnds(const TLineStops<Lanes>& stops, char* from,
                        char* (&ends)[TZRecord::kFieldCount]) {
    char* const end = UsualFieldEnd<Lanes, I>(stops, from);
    if (!end) {
        return false;
    }
    ends[I] = end;
    if constexpr (I + 1 < TZRecord::kFieldCount) {
        return FindUsualFieldEnds<Lanes, I + 1>(stops, end + kStretches[I + 1].length, ends);
    }
    return true;
}

// ParseRow of the marked line when it is a usual row, with what the searches would give for
// marker pairs that all cut at their end; false, with nothing written, for any other line.
// Lines of a padded page only: the comparisons read past the line.
template <typename Lanes>
bool ReadUsualRow(const TLineStops<Lanes>& stops, TZRecord& record) {
    static_assert(CFolianta::kPagePadding >= std::size_t(kMaxText));
    char* const line = stops.Line();
    char* ends[TZRecord::kFieldCount];
    if (!stops.FirstEnd() || !SameText<kStretches[0]>(line) ||
        !FindUsualFieldEnds<Lanes, 0>(stops, line + kStretches[0].length, ends)) {
        return false;
    }
    ends[TZRecord::kFieldCount - 1][kStretches.back().length - kRowEnd.length] = '\0';
    record.*kRecordFields[0] = line + kStretches[0].length;
    for (int i = 0; i < TZRecord::kFieldCount; ++i) {
        if (i > 0) {
            record.*kRecordFields[i] = ends[i - 1] + kStretches[std::size_t(i)].length;
        }
        *ends[i] = '\0';
    }
    return true;
}

}  // namespace listing
