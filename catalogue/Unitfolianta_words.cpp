#include "catalogue/Unitfolianta_words.h"

#include <algorithm>
#include <string_view>

#include "catalogue/Unitfolianta_order.h"

namespace {

// A matcher of the entries of list that are not empty, folded as titles are.
TPatternMatcher MatcherOf(const std::vector<std::string>& list) {
    std::vector<std::string> folded;
    for (const std::string& entry : list) {
        if (!entry.empty()) {
            FoldLettersAndYo(entry.c_str(), folded.emplace_back());
        }
    }
    return TPatternMatcher(std::vector<std::string_view>(folded.begin(), folded.end()));
}

bool AnyEntry(const std::vector<std::string>& list) {
    return std::any_of(list.begin(), list.end(),
                       [](const std::string& entry) { return !entry.empty(); });
}

}  // namespace

CTitleWords::CTitleWords(const std::vector<std::string>& excludedList,
                         const std::vector<std::string>& wantedList)
    : anyExcluded(AnyEntry(excludedList)),
      anyWanted(AnyEntry(wantedList)),
      excluded(MatcherOf(excludedList)),
      wanted(MatcherOf(wantedList)) {}

bool CTitleWords::Keeps(const char* title, std::string& folded) const {
    if (Empty()) {
        return true;
    }
    FoldLettersAndYo(title, folded);
    return !(anyExcluded && excluded.FoundIn(folded.c_str())) &&
           (!anyWanted || wanted.FoundIn(folded.c_str()));
}
