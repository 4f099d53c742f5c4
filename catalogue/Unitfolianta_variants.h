#pragma once
// The page parser as built for each instruction set. ParsePage runs the first variant the
// processor supports; the tests and the page fuzzer run every supported one.
#include <span>
#include <vector>

#include "catalogue/Unitfolianta_records.h"

namespace listing {

// Cuts the page text [text, pageEnd) into lines and records as ParsePage does, appending to rows
// and records. pageEnd holds a zero and CFolianta::kPagePadding more bytes follow it.
using PageParser = void (*)(const FieldExtractor* pairs, char* text, char* pageEnd,
                            std::vector<char*>& rows, std::vector<TZRecord>& records);

struct TPageParserVariant {
    const char* name;
    bool supported;  // this processor runs it
    PageParser parse;
};

// Every variant built, fastest first; the last runs on any processor.
std::span<const TPageParserVariant> PageParserVariants();

}  // namespace listing
