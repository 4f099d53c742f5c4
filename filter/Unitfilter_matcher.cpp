#include "filter/Unitfilter_matcher.h"

std::unique_ptr<TPatternMatcher> TPatternMatcher::Build(
    const std::vector<std::string_view>& patterns) {
    std::unique_ptr<TPatternMatcher> matcher(new TPatternMatcher);
    // Class 0 stands for every byte no pattern uses; from any state it leads back to the root.
    std::size_t classes = 1;
    std::size_t patternBytes = 0;
    for (std::string_view pattern : patterns) {
        pattern = pattern.substr(0, pattern.find('\0'));  // a pattern is the C text it starts
        if (pattern.empty()) {
            matcher->matchesEverything = true;
            return matcher;
        }
        patternBytes += pattern.size();
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
        pattern = pattern.substr(0, pattern.find('\0'));
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
    return matcher;
}

bool TPatternMatcher::FoundIn(const char* text) const {
    if (matchesEverything) {
        return true;
    }
    if (!text) {
        return false;
    }
    std::uint32_t row = 0;
    for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        row = next[row + byteClass[*p]];
        if (row == kMatched) {
            return true;
        }
    }
    return false;
}
