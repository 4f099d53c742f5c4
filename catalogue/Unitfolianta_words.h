#pragma once

#include <string>
#include <vector>

#include "filter/Unitfilter_matcher.h"

// The reader's rules on words in titles: a title that holds an excluded entry is left out; when
// there are wanted entries, only a title that holds one of them is kept. An entry is found
// anywhere in the title, letter case ignored for Cyrillic and Latin letters, Ё as Е. Entries are
// Windows-1251 bytes; empty ones count for nothing, so a list of none narrows nothing.
class CTitleWords {
public:
    CTitleWords(const std::vector<std::string>& excluded, const std::vector<std::string>& wanted);

    // Whether no entry of either list counts.
    bool Empty() const { return !anyExcluded && !anyWanted; }
    // Whether title passes the rules; folded is room for the folded title, its capacity reused.
    bool Keeps(const char* title, std::string& folded) const;

private:
    bool anyExcluded;
    bool anyWanted;
    TPatternMatcher excluded;
    TPatternMatcher wanted;
};
