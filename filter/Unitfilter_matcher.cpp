#include "filter/Unitfilter_matcher.h"

#include <algorithm>
#include <cstring>

namespace {

// Bits of a key's hash in the bitmap: 8 KB, which stays in the first-level cache.
constexpr int kKeyHashBits = 16;
// Patterns of at least this many bytes are filed under their last bytes.
constexpr std::size_t kShortestFiled = 4;

template <std::size_t Width>
std::uint64_t KeyAt(const char* p) {
    std::uint64_t key = 0;
    std::memcpy(&key, p, Width);
    return key;
}

std::uint64_t Mix(std::uint64_t key) {
    return key * 0x9E3779B97F4A7C15u;
}

std::string_view AsCText(std::string_view pattern) {
    return pattern.substr(0, pattern.find('\0'));
}

}  // namespace

std::unique_ptr<TPatternMatcher> TPatternMatcher::Build(
    const std::vector<std::string_view>& patterns) {
    std::unique_ptr<TPatternMatcher> matcher(new TPatternMatcher);
    matcher->shortest = SIZE_MAX;
    for (std::string_view pattern : patterns) {
        pattern = AsCText(pattern);  // a pattern is the C text it starts
        if (pattern.empty()) {
            matcher->matchesEverything = true;
            return matcher;
        }
        matcher->shortest = std::min(matcher->shortest, pattern.size());
    }
    if (matcher->shortest >= kShortestFiled) {
        matcher->FileUnderKeys(patterns);
    } else if (!matcher->BuildAutomaton(patterns)) {
        return nullptr;
    }
    return matcher;
}

bool TPatternMatcher::BuildAutomaton(const std::vector<std::string_view>& patterns) {
    // Class 0 stands for every byte no pattern uses; from any state it leads back to the root.
    std::size_t classes = 1;
    std::size_t patternBytes = 0;
    for (const std::string_view pattern : patterns) {
        for (const unsigned char c : AsCText(pattern)) {
            if (byteClass[c] == 0) {
                byteClass[c] = std::uint8_t(classes++);
            }
            ++patternBytes;
        }
    }
    if (patternBytes + 1 > kMaxTableCells / classes) {
        return false;
    }

    // The trie, in rows of next (state numbers; 0 means no edge, since no edge leads to the root).
    next.assign(classes, 0);
    std::vector<bool> ends(1, false);
    for (std::string_view pattern : patterns) {
        pattern = AsCText(pattern);
        std::size_t state = 0;
        for (const unsigned char c : pattern) {
            const std::size_t edge = state * classes + byteClass[c];
            if (next[edge] == 0) {
                next[edge] = std::uint32_t(ends.size());
                ends.push_back(false);
                next.resize(next.size() + classes, 0);
            }
            state = next[edge];
        }
        ends[state] = true;
    }

    // Breadth first, every missing edge becomes the edge of the state's failure link, so each
    // text byte costs one look-up; a state ends a pattern when its failure link does.
    const std::size_t states = ends.size();
    std::vector<std::uint32_t> failure(states, 0);
    std::vector<std::uint32_t> queue;
    queue.reserve(states);
    for (std::size_t c = 0; c < classes; ++c) {
        if (next[c] != 0) {
            queue.push_back(next[c]);
        }
    }
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const std::size_t state = queue[head];
        const std::size_t fallback = failure[state] * classes;
        ends[state] = ends[state] || ends[failure[state]];
        for (std::size_t c = 0; c < classes; ++c) {
            std::uint32_t& edge = next[state * classes + c];
            if (edge != 0) {
                failure[edge] = next[fallback + c];
                queue.push_back(edge);
            } else {
                edge = next[fallback + c];
            }
        }
    }
    for (std::uint32_t& edge : next) {
        edge = ends[edge] ? kMatched : std::uint32_t(edge * classes);
    }
    return true;
}

void TPatternMatcher::FileUnderKeys(const std::vector<std::string_view>& patterns) {
    keyWidth = shortest >= 8 ? 8 : 4;
    keyBits.assign((std::size_t(1) << kKeyHashBits) / 64, 0);
    // At most half the slots are taken, so a probe soon meets the key or an empty slot.
    slotBits = 1;
    while ((std::size_t(1) << slotBits) < 2 * patterns.size()) {
        ++slotBits;
    }
    slotKeys.assign(std::size_t(1) << slotBits, 0);
    slotFirst.assign(std::size_t(1) << slotBits, -1);
    filed.reserve(patterns.size());
    for (std::string_view pattern : patterns) {
        pattern = AsCText(pattern);
        const char* keyBytes = pattern.data() + pattern.size() - keyWidth;
        const std::uint64_t key = keyWidth == 8 ? KeyAt<8>(keyBytes) : KeyAt<4>(keyBytes);
        const std::uint64_t mixed = Mix(key);
        const std::uint64_t hash = mixed >> (64 - kKeyHashBits);
        keyBits[hash / 64] |= std::uint64_t(1) << (hash % 64);
        const std::size_t slot = SlotOf(key, mixed);
        slotKeys[slot] = key;
        filed.push_back(
            {std::uint32_t(filedBytes.size()), std::uint32_t(pattern.size()), slotFirst[slot]});
        slotFirst[slot] = std::int32_t(filed.size() - 1);
        filedBytes.append(pattern);
    }
}

std::size_t TPatternMatcher::SlotOf(std::uint64_t key, std::uint64_t mixed) const {
    const std::size_t mask = slotKeys.size() - 1;
    std::size_t slot = std::size_t(mixed >> (64 - slotBits));
    while (slotFirst[slot] >= 0 && slotKeys[slot] != key) {
        slot = (slot + 1) & mask;
    }
    return slot;
}

template <std::size_t Width>
bool TPatternMatcher::MayHold(const char* text, std::size_t length) const {
    // Every place is looked at, without an early stop, so that the steps overlap.
    std::uint64_t marked = 0;
    for (std::size_t end = shortest; end <= length; ++end) {
        const std::uint64_t hash = Mix(KeyAt<Width>(text + end - Width)) >> (64 - kKeyHashBits);
        marked |= keyBits[hash / 64] >> (hash % 64);
    }
    return marked & 1;
}

template <std::size_t Width>
bool TPatternMatcher::FoundFiled(const char* text, std::size_t length) const {
    for (std::size_t end = shortest; end <= length; ++end) {
        const std::uint64_t key = KeyAt<Width>(text + end - Width);
        const std::uint64_t mixed = Mix(key);
        const std::uint64_t hash = mixed >> (64 - kKeyHashBits);
        if (!(keyBits[hash / 64] >> (hash % 64) & 1)) {
            continue;
        }
        for (std::int32_t i = slotFirst[SlotOf(key, mixed)]; i >= 0;
             i = filed[std::size_t(i)].nextWithKey) {
            const TFiledPattern& pattern = filed[std::size_t(i)];
            if (pattern.length <= end &&
                std::memcmp(text + end - pattern.length, filedBytes.data() + pattern.offset,
                            pattern.length) == 0) {
                return true;
            }
        }
    }
    return false;
}

bool TPatternMatcher::FoundIn(const char* text) const {
    if (matchesEverything) {
        return true;
    }
    if (!text) {
        return false;
    }
    if (keyWidth == 0) {
        return Scan(text);
    }
    const std::size_t length = std::strlen(text);
    return keyWidth == 8 ? MayHold<8>(text, length) && FoundFiled<8>(text, length)
                         : MayHold<4>(text, length) && FoundFiled<4>(text, length);
}

bool TPatternMatcher::Scan(const char* text) const {
    std::uint32_t row = 0;
    for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        row = next[row + byteClass[*p]];
        if (row == kMatched) {
            return true;
        }
    }
    return false;
}
