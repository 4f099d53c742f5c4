#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/PageGenerator.h"
#include "catalogue/Unitfolianta.h"
#include "filter/Unitfilter.h"

// The filter set-ups the benchmarks measure, drawn from a generated page, and the tree the main
// window builds for them (a root lmAll list with one node per switched-on condition).
struct FilterSetup {
    bool sizeMax = false, sizeMin = false, zanr = false;
    std::string upper = ToCp1251("1000К");
    std::string lower = "5k";
    std::vector<std::string> wanted;    // include-list links; empty: the switch is off
    std::vector<std::string> unwanted;  // exclude-list links; empty: the switch is off
    std::vector<std::string> genres;    // ticked genres, Windows-1251
};

// Both size bounds, 20 wanted authors, 5 unwanted authors and 5 ticked genres.
FilterSetup HeavySetup(const GeneratedPage& page);
// The include-list alone, with the first authors of the page.
FilterSetup IncludeListSetup(const GeneratedPage& page, std::size_t authors);

// The tree for setup, built the way the window's filter command builds it.
std::unique_ptr<CFilterList> BuildTree(const FilterSetup& setup);

// The 1,000,000-record page the core benchmarks filter, generated and loaded on first use.
struct FilterPage {
    FilterPage();
    GeneratedPage page;
    CFolianta store;
};
FilterPage& MillionRecordPage();
