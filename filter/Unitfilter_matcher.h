#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Tells whether any of a set of byte patterns occurs in a zero-terminated text, in one pass over
// the text whatever the number of patterns. Byte-exact, like strstr; an empty pattern occurs in
// every text, an empty set in none. Patterns hold no zero byte.
//
// Every pattern is filed under its last keyWidth bytes, keyWidth being the shortest pattern's
// length, at most 8. At each place of the text where a pattern could end, at least the shortest
// pattern's length into it, the key of the keyWidth bytes that end there is looked up in a
// bitmap of key hashes small enough for the first-level cache, which clears most places; only
// at a marked place are the patterns filed under that exact key compared. Skipping the places
// nearer the start made a list of authors' links about a third quicker to ask.
class TPatternMatcher {
public:
    // The patterns are copied; they need not outlive the call.
    explicit TPatternMatcher(const std::vector<std::string_view>& patterns);

    bool FoundIn(const char* text) const;

private:
    // A pattern filed under its key: where its bytes are, and the next one with the same key.
    struct TFiledPattern {
        std::uint32_t offset;
        std::uint32_t length;
        std::int32_t nextWithKey;  // -1: none
    };

    // The slot of key (mixed is its hash): the one that holds it, or the empty one it would take.
    std::size_t SlotOf(std::uint64_t key, std::uint64_t mixed) const;

    bool matchesEverything = false;
    std::size_t shortest = SIZE_MAX;  // the shortest pattern's length
    std::size_t keyWidth = 0;
    std::uint64_t keyMask = 0;           // the low keyWidth bytes
    std::vector<std::uint64_t> keyBits;  // one bit per key hash
    // An open-addressed table of keys, each with its first filed pattern (-1: an empty slot).
    std::vector<std::uint64_t> slotKeys;
    std::vector<std::int32_t> slotFirst;
    int slotBits = 0;
    std::vector<TFiledPattern> filed;
    std::string filedBytes;
};
