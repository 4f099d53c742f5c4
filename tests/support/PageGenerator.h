#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/Cp1251Bytes.h"

// Synthetic listing pages for tests, benchmarks and the bundled example: invented titles and
// authors, genres from the program's genre list, realistic size texts, and a share of lines that
// are not work rows. Everything is Windows-1251 bytes and depends on the seed alone.

// The 31 genre names of the program's genre list, in list order, as UTF-8.
const std::vector<std::string_view>& GenreNames();

struct GeneratedPage {
    std::string bytes;                     // the page, Windows-1251
    std::size_t workRows = 0;              // lines that are work rows
    std::vector<std::string> authorLinks;  // every author link used, in first-use order
};

// A page with workRows work rows, the first after a page header; every extraLineEvery-th line
// in between is a line that is not a work row (0: none).
GeneratedPage GenerateListingPage(std::size_t workRows, std::uint32_t seed,
                                  std::size_t extraLineEvery = 7);
