#include "filter/Unitfilter_matcher.h"

#include <algorithm>
#include <cstring>

namespace {

// Bits of a key's hash: a bitmap of 8 KB, which stays in the first-level cache.
constexpr int kKeyHashBits = 16;

template <std::size_t Width>
std::uint64_t KeyHash(const char* p) {
    std::uint64_t key = 0;
    std::memcpy(&key, p, Width);
    return (key * 0x9E3779B97F4A7C15u) >> (64 - kKeyHashBits);
}

std::string_view AsCText(std::string_view pattern) {
    return pattern.substr(0, pattern.find('\0'));
}

}  // namespace

std::unique_ptr<TPatternMatcher> TPatternMatcher::Build(
    const std::vector<std::string_view>& patterns) {
    std::unique_ptr<TPatternMatcher> matcher(new TPatternMatcher);
    // Class 0 stands for every byte no pattern uses; from any state it leads back to the root.
    std::size_t classes = 1;
    std::size_t patternBytes = 0;
    matcher->shortest = SIZE_MAX;
    for (std::string_view pattern : patterns) {
        pattern = AsCText(pattern);  // a pattern is the C text it starts
        if (pattern.empty()) {
            matcher->matchesEverything = true;
            return matcher;
        }
        patternBytes += pattern.size();
        matcher->shortest = std::min(matcher->shortest, pattern.size());
        for (const unsigned char c : pattern) {
            if (matcher->byteClass[c] == 0) {
                matcher->byteClass[c] = std::uint8_t(classes++);
            }
        }
    }
    if (patternBytes + 1 > kMaxTableCells / classes) {
        return nullptr;
    }

    // The trie, in rows of next (state numbers; 0 means no edge, since no edge leads to the root).
    std::vector<std::uint32_t>& next = matcher->next;
    next.assign(classes, 0);
    std::vector<bool> ends(1, false);
    for (std::string_view pattern : patterns) {
        pattern = AsCText(pattern);
        std::size_t state = 0;
        for (const unsigned char c : pattern) {
            const std::size_t edge = state * classes + matcher->byteClass[c];
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
    matcher->MarkKeys(patterns);
    return matcher;
}

void TPatternMatcher::MarkKeys(const std::vector<std::string_view>& patterns) {
    keyWidth = shortest >= 8 ? 8 : shortest >= 4 ? 4 : 0;
    if (keyWidth == 0) {
        return;
    }
    keyBits.assign((std::size_t(1) << kKeyHashBits) / 64, 0);
    for (std::string_view pattern : patterns) {
        pattern = AsCText(pattern);
        const char* key = pattern.data() + pattern.size() - keyWidth;
        const std::uint64_t hash = keyWidth == 8 ? KeyHash<8>(key) : KeyHash<4>(key);
        keyBits[hash / 64] |= std::uint64_t(1) << (hash % 64);
    }
}

template <std::size_t Width>
bool TPatternMatcher::MayHold(const char* text) const {
    const std::size_t length = std::strlen(text);
    // Every place is looked at, without an early stop, so that the steps overlap.
    std::uint64_t marked = 0;
    for (std::size_t end = shortest; end <= length; ++end) {
        const std::uint64_t hash = KeyHash<Width>(text + end - Width);
        marked |= keyBits[hash / 64] >> (hash % 64);
    }
    return marked & 1;
}

bool TPatternMatcher::FoundIn(const char* text) const {
    if (matchesEverything) {
        return true;
    }
    if (!text) {
        return false;
    }
    if (keyWidth == 8 ? !MayHold<8>(text) : keyWidth == 4 ? !MayHold<4>(text) : false) {
        return false;
    }
    return Scan(text);
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
