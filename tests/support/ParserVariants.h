#pragma once
// Runs one variant of the page parser on a copy of a page, padded as the store pads it, and
// gives its result as the reference parser gives it.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/Unitfolianta.h"
#include "catalogue/Unitfolianta_variants.h"
#include "tests/support/ReferenceParser.h"

inline reference::ParsedPage ParseWithVariant(const listing::TPageParserVariant& variant,
                                              std::string_view page) {
    std::string text(page);
    text.append(1 + CFolianta::kPagePadding, '\0');
    FieldExtractor pairs[std::size(kListingMarkers)];
    for (std::size_t i = 0; i < std::size(kListingMarkers); ++i) {
        pairs[i].Set(kListingMarkers[i].start, kListingMarkers[i].end, true);
    }
    std::vector<char*> rows;
    std::vector<TZRecord> records;
    variant.parse(pairs, text.data(), text.data() + page.size(), rows, records);

    reference::ParsedPage parsed;
    parsed.text.assign(text, 0, page.size() + 1);
    for (const char* row : rows) {
        parsed.lines.push_back(std::size_t(row - text.data()));
    }
    for (const TZRecord& record : records) {
        std::array<std::size_t, 7> places{};
        for (int f = 0; f < TZRecord::kFieldCount; ++f) {
            places[std::size_t(f)] = std::size_t(record[f] - text.data());
        }
        parsed.fields.push_back(places);
    }
    return parsed;
}
