#pragma once
// The line search, which reads any line: a line is read in chunks of 64 byte places, each
// loaded once into vector registers. A search compares the first bytes of its marker at all 64
// places at once, so only the places where the marker may begin are looked at, in order,
// together with the places of zero bytes and of the row's end. Internal to the listing parser.
#include "catalogue/Unitfolianta.h"
#include "catalogue/Unitfolianta_markers.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace listing {

constexpr std::ptrdiff_t kChunk = 64;
// Bytes of a marker the vector comparison checks; a chunk holds this many bytes less one past
// its 64 places.
constexpr std::ptrdiff_t kPrefix = 4;
constexpr std::ptrdiff_t kChunkBytes = kChunk + kPrefix - 1;
static_assert(CFolianta::kPagePadding >= std::size_t(kChunkBytes));

// Chunk holders: Load takes the kChunkBytes bytes from p; Places<code> gives one bit for each
// of the 64 places where the first bytes of code's marker (up to kPrefix of them) stand, and
// Zeros the places of zero bytes.
struct TByteChunk {
    const char* bytes;
    void Load(const char* p) { bytes = p; }
    template <TByteText code>
    std::uint64_t Places() const {
        std::uint64_t places = 0;
        for (std::ptrdiff_t i = 0; i < kChunk; ++i) {
            bool same = true;
            for (std::ptrdiff_t k = 0; k < std::min(code.length, kPrefix); ++k) {
                same = same && bytes[i + k] == code.Byte(k);
            }
            places |= std::uint64_t(same) << i;
        }
        return places;
    }
    std::uint64_t Zeros() const {
        std::uint64_t places = 0;
        for (std::ptrdiff_t i = 0; i < kChunk; ++i) {
            places |= std::uint64_t(bytes[i] == '\0') << i;
        }
        return places;
    }
};

#if defined(__x86_64__)
struct TSse2Chunk {
    __m128i at[kChunk / 16][kPrefix];
    void Load(const char* p) {
        for (std::ptrdiff_t block = 0; block < kChunk / 16; ++block) {
            for (std::ptrdiff_t k = 0; k < kPrefix; ++k) {
                at[block][k] =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * block + k));
            }
        }
    }
    template <TByteText code>
    std::uint64_t Places() const {
        std::uint64_t places = 0;
        for (std::ptrdiff_t block = 0; block < kChunk / 16; ++block) {
            __m128i same = _mm_cmpeq_epi8(at[block][0], _mm_set1_epi8(code.Byte(0)));
            for (std::ptrdiff_t k = 1; k < std::min(code.length, kPrefix); ++k) {
                same =
                    _mm_and_si128(same, _mm_cmpeq_epi8(at[block][k], _mm_set1_epi8(code.Byte(k))));
            }
            places |= std::uint64_t(unsigned(_mm_movemask_epi8(same))) << (16 * block);
        }
        return places;
    }
    std::uint64_t Zeros() const {
        std::uint64_t places = 0;
        for (std::ptrdiff_t block = 0; block < kChunk / 16; ++block) {
            const __m128i zero = _mm_cmpeq_epi8(at[block][0], _mm_setzero_si128());
            places |= std::uint64_t(unsigned(_mm_movemask_epi8(zero))) << (16 * block);
        }
        return places;
    }
};

struct TAvx512Chunk {
    __m512i at[kPrefix];
    __attribute__((target("avx512bw"))) void Load(const char* p) {
        for (std::ptrdiff_t k = 0; k < kPrefix; ++k) {
            at[k] = _mm512_loadu_si512(p + k);
        }
    }
    template <TByteText code>
    __attribute__((target("avx512bw"))) std::uint64_t Places() const {
        std::uint64_t places = _mm512_cmpeq_epi8_mask(at[0], _mm512_set1_epi8(code.Byte(0)));
        for (std::ptrdiff_t k = 1; k < std::min(code.length, kPrefix); ++k) {
            places &= _mm512_cmpeq_epi8_mask(at[k], _mm512_set1_epi8(code.Byte(k)));
        }
        return places;
    }
    __attribute__((target("avx512bw"))) std::uint64_t Zeros() const {
        return _mm512_testn_epi8_mask(at[0], at[0]);
    }
};
using TPortableChunk = TSse2Chunk;
#else
using TPortableChunk = TByteChunk;
#endif

// A line [line, end) chunk by chunk, end being the place of its terminating zero. Bytes from end
// up to readable may be read: the lines of a padded page let a chunk run past their end. Nearer
// the end of what may be read, the chunk is taken from a copy padded with zeros. Nothing found
// at or after end is used, since the zero at end stops every search.
template <typename Chunk>
class TLineChunks {
public:
    TLineChunks(char* end, const char* readable) : end(end), readable(readable) {}

    void Load(char* at) {
        base = at;
        if (readable - at >= kChunkBytes) {
            chunk.Load(at);
        } else {
            char copy[kChunkBytes] = {};
            std::memcpy(copy, at, std::size_t(std::min<std::ptrdiff_t>(kChunkBytes, end + 1 - at)));
            chunk.Load(copy);
        }
        zeros = chunk.Zeros();
        rowEnds = chunk.template Places<kRowEnd>();
    }
    // The places of bits from `from` on.
    std::uint64_t From(std::uint64_t bits, const char* from) const {
        const std::ptrdiff_t skip = from - base;
        return skip <= 0 ? bits : skip >= kChunk ? 0 : bits >> skip << skip;
    }
    // True when code's marker lies at p, whose first kPrefix bytes already matched.
    template <TByteText code>
    bool Holds(const char* p) const {
        if constexpr (code.length <= kPrefix) {
            return true;
        }
        if (readable - p >= kMaxText) {
            return SameText<code>(p);
        }
        // Bytes from end on never match, since a marker holds no zero byte.
        for (std::ptrdiff_t i = 0; i < code.length; ++i) {
            if (p + i >= end || p[i] != code.Byte(i)) {
                return false;
            }
        }
        return true;
    }

    Chunk chunk;
    char* base = nullptr;
    std::uint64_t zeros = 0;
    std::uint64_t rowEnds = 0;

private:
    char* const end;
    const char* const readable;
};

// Where the searches of a line stand: the marker places found so far, where the next search
// begins, and the row end or zero byte that stopped them early.
struct TRowProgress {
    char* at[kSteps];
    int found = 0;
    char* from;
    char* stoppedAt = nullptr;
};

// Step S: finds its marker from row.from on, or the stop before it. True when found.
template <typename Chunk, int S>
bool FindStep(TLineChunks<Chunk>& line, TRowProgress& row) {
    constexpr TByteText code = kStepCodes[S];
    constexpr bool kWatched = S > 0 && S < kRowEndStep;
    for (;;) {
        const std::uint64_t stops = line.From(line.zeros | (kWatched ? line.rowEnds : 0), row.from);
        const std::uint64_t starts = line.From(line.chunk.template Places<code>(), row.from);
        for (std::uint64_t places = stops | starts; places != 0; places &= places - 1) {
            const int bit = __builtin_ctzll(places);
            char* const p = line.base + bit;
            if (stops >> bit & 1 && (*p == '\0' || line.template Holds<kRowEnd>(p))) {
                row.stoppedAt = p;
                return false;
            }
            if (starts >> bit & 1 && line.template Holds<code>(p)) {
                row.at[row.found++] = p;
                row.from = p + code.length;
                if (row.from - line.base >= kChunk) {
                    line.Load(row.from);
                }
                return true;
            }
        }
        line.Load(line.base + kChunk);
    }
}

template <typename Chunk, int... S>
void FindSteps(TLineChunks<Chunk>& line, TRowProgress& row, std::integer_sequence<int, S...>) {
    (FindStep<Chunk, S>(line, row) && ...);
}

// ParseRow of a line whose terminating zero is at end; bytes up to readable may be read.
template <typename Chunk>
bool ParseLine(const FieldExtractor* pairs, char* line, char* end, const char* readable,
               TZRecord& record) {
    // Every step searches from where the marker before it ended, so each place of the line is
    // looked at once, in order. The first row end met closes the body, as the zero written there
    // would; a zero byte ends the search.
    TLineChunks<Chunk> chunks(end, readable);
    TRowProgress row;
    row.from = line;
    chunks.Load(line);
    FindSteps(chunks, row, std::make_integer_sequence<int, kSteps>());
    if (row.found == 0) {
        return false;
    }
    // The fields found whole before the search stopped, and the row end that closes the body;
    // a body that is never closed yields nothing and writes nothing.
    const int fieldsFound = std::min<int>((row.found - 1) / 2, TZRecord::kFieldCount);
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

}  // namespace listing
