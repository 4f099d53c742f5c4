// Writes a synthetic listing page: folianta_pagegen ROWS SEED OUTPUT
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "tests/support/PageGenerator.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s ROWS SEED OUTPUT\n", argv[0]);
        return 2;
    }
    const GeneratedPage page = GenerateListingPage(
        std::strtoul(argv[1], nullptr, 10), std::uint32_t(std::strtoul(argv[2], nullptr, 10)));
    std::ofstream out(argv[3], std::ios::binary);
    out.write(page.bytes.data(), std::streamsize(page.bytes.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
