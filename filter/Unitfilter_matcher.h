#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Tells whether any of a set of byte patterns occurs in a zero-terminated text, in one pass over
// the text whatever the number of patterns. Byte-exact, like strstr; an empty pattern occurs in
// every text.
//
// A pattern that occurs ends at some place at least the shortest pattern's length into the
// text, and the keyWidth bytes before that place are its last ones. When every pattern has at
// least 4 bytes, each is filed under its last keyWidth bytes (8, or 4 when one is shorter than
// 8): a bitmap of key hashes clears most texts with steps that do not wait on each other, and
// only at a place whose key hash is marked are the patterns filed under that exact key compared.
// A set with a shorter pattern is read instead by an Aho-Corasick automaton built into a full
// transition table over the classes of bytes the patterns use.
class TPatternMatcher {
public:
    // The largest transition table built (states times byte classes); Build refuses sets that
    // would need more, about 16 MB.
    static constexpr std::size_t kMaxTableCells = std::size_t(1) << 22;

    // The matcher of patterns, or null when it would read texts by an automaton whose table
    // would exceed kMaxTableCells. The patterns are copied; they need not outlive the call.
    static std::unique_ptr<TPatternMatcher> Build(const std::vector<std::string_view>& patterns);

    // True when at least one pattern occurs in text (zero-terminated; null reads as empty).
    bool FoundIn(const char* text) const;

private:
    // A transition into a state whose path ends with a pattern: the scan stops there.
    static constexpr std::uint32_t kMatched = UINT32_MAX;

    // A pattern filed under its key: where its bytes are, and the next one with the same key.
    struct TFiledPattern {
        std::uint32_t offset;
        std::uint32_t length;
        std::int32_t nextWithKey;  // -1: none
    };

    TPatternMatcher() = default;

    bool BuildAutomaton(const std::vector<std::string_view>& patterns);
    void FileUnderKeys(const std::vector<std::string_view>& patterns);
    // The slot of key (mixed is its hash): the one that holds it, or the empty one it would take.
    std::size_t SlotOf(std::uint64_t key, std::uint64_t mixed) const;
    template <std::size_t Width>
    bool MayHold(const char* text, std::size_t length) const;
    template <std::size_t Width>
    bool FoundFiled(const char* text, std::size_t length) const;
    bool Scan(const char* text) const;

    bool matchesEverything = false;
    std::size_t shortest = 0;  // the length of the shortest pattern
    // 8 or 4 when the patterns are filed under keys; 0: texts are read by the automaton.
    std::size_t keyWidth = 0;
    std::vector<std::uint64_t> keyBits;  // one bit per key hash
    // The filed patterns: an open-addressed table of keys, each with its first pattern.
    std::vector<std::uint64_t> slotKeys;
    std::vector<std::int32_t> slotFirst;  // -1: empty slot
    int slotBits = 0;
    std::vector<TFiledPattern> filed;
    std::string filedBytes;
    // The automaton: row r (r = state * classCount) holds the offset of the next state's row
    // for each class, or kMatched.
    std::uint8_t byteClass[256] = {};
    std::vector<std::uint32_t> next;
};
