#pragma once
// The listing markers as the line readers compare them: static texts packed in words, and the
// searches of a work row compiled from the marker table. Internal to the listing parser.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "catalogue/Unitfolianta_records.h"

namespace listing {

// A static text as the line readers compare it: its bytes in words of 8, with the bytes of each
// word that belong to it.
struct TByteText {
    static constexpr int kWords = 6;
    std::uint64_t word[kWords] = {};
    std::uint64_t mask[kWords] = {};
    std::ptrdiff_t length = 0;

    char text[8 * kWords] = {};

    constexpr char Byte(std::ptrdiff_t i) const { return text[i]; }
    constexpr std::string_view View() const { return {text, std::size_t(length)}; }
};
constexpr std::ptrdiff_t kMaxText = 8 * TByteText::kWords;

// The text of the parts one after another.
constexpr TByteText CodeOf(std::initializer_list<std::string_view> parts) {
    TByteText code;
    for (const std::string_view part : parts) {
        for (const char c : part) {
            if (code.length == kMaxText) {
                throw "a listing text must have at most 48 bytes";
            }
            const std::ptrdiff_t i = code.length++;
            code.text[i] = c;
            code.word[i / 8] |= std::uint64_t(static_cast<unsigned char>(c)) << (8 * (i % 8));
            code.mask[i / 8] |= std::uint64_t(0xFF) << (8 * (i % 8));
        }
    }
    if (code.length == 0) {
        throw "a listing text must not be empty";
    }
    return code;
}

inline std::uint64_t Load64(const char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// True when code's text lies at p; kMaxText bytes from p must be readable.
template <TByteText code>
bool SameText(const char* p) {
    return [p]<std::size_t... W>(std::index_sequence<W...>) {
        return ((code.mask[W] == 0 || ((Load64(p + 8 * W) ^ code.word[W]) & code.mask[W]) == 0) &&
                ...);
    }
    (std::make_index_sequence<TByteText::kWords>());
}

// The searches of a line, in row order: the row's start, the start and end of every field, and
// the row's end. The store's extractors are the listing markers, so the searches are compiled
// from the same table; the steps between the row's start and its end stop at the row's end too.
constexpr int kSteps = 2 * TZRecord::kFieldCount + 2;
constexpr int kRowEndStep = kSteps - 1;
constexpr auto kStepCodes = [] {
    std::array<TByteText, kSteps> steps{};
    steps[0] = CodeOf({kListingMarkers[0].start});
    for (std::size_t i = 1; i <= std::size_t(TZRecord::kFieldCount); ++i) {
        steps[2 * i - 1] = CodeOf({kListingMarkers[i].start});
        steps[2 * i] = CodeOf({kListingMarkers[i].end});
    }
    steps[kRowEndStep] = CodeOf({kListingMarkers[0].end});
    return steps;
}();
constexpr TByteText kRowEnd = kStepCodes[kRowEndStep];

// True when marker may begin at place `at` of text: it lies there whole, or text ends in a
// beginning part of it.
constexpr bool MayBeginAt(std::string_view text, std::size_t at, std::string_view marker) {
    const std::size_t common = std::min(text.size() - at, marker.size());
    return text.substr(at, common) == marker.substr(0, common);
}

// The searches take the first row end met as the end of the row body, as the zero written there
// would end it. That is only right when a field marker can never overlap a row end: none holds
// its beginning, and none ends with a beginning part of it.
constexpr bool NoFieldMarkerOverlapsRowEnd() {
    const std::string_view rowEnd = kListingMarkers[0].end;
    for (std::size_t i = 1; i < std::size(kListingMarkers); ++i) {
        for (const std::string_view marker : {kListingMarkers[i].start, kListingMarkers[i].end}) {
            for (std::size_t at = 0; at < marker.size(); ++at) {
                if (MayBeginAt(marker, at, rowEnd)) {
                    return false;
                }
            }
        }
    }
    return true;
}
static_assert(NoFieldMarkerOverlapsRowEnd());

}  // namespace listing
