#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// Tells whether any of a set of byte patterns occurs in a zero-terminated text, in one pass over
// the text whatever the number of patterns: an Aho-Corasick automaton built once into a full
// transition table over the classes of bytes the patterns use. Byte-exact, like strstr; an
// empty pattern occurs in every text.
class TPatternMatcher {
public:
    // The largest transition table built (states times byte classes); Build refuses sets that
    // would need more, about 16 MB.
    static constexpr std::size_t kMaxTableCells = std::size_t(1) << 22;

    // The matcher of patterns, or null when its table would exceed kMaxTableCells. The patterns
    // are copied into the table; they need not outlive the call.
    static std::unique_ptr<TPatternMatcher> Build(const std::vector<std::string_view>& patterns);

    // True when at least one pattern occurs in text (zero-terminated; null reads as empty).
    bool FoundIn(const char* text) const;

private:
    // A transition into a state whose path ends with a pattern: the scan stops there.
    static constexpr std::uint32_t kMatched = UINT32_MAX;

    TPatternMatcher() = default;

    bool matchesEverything = false;
    std::uint8_t byteClass[256] = {};
    // Row r (r = state * classCount) holds the offset of the next state's row for each class,
    // or kMatched.
    std::vector<std::uint32_t> next;
};
