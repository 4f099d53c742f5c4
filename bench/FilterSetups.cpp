#include "bench/FilterSetups.h"

#include <stdexcept>

namespace {

constexpr int kSizeField = 2;
constexpr int kZanrField = 3;
constexpr int kAutorLinkField = 4;

CFilterList* ListOf(int mode, const std::vector<std::string>& patterns, int field) {
    auto* list = new CFilterList(mode, int(patterns.size()), true);
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        auto* leaf = new CFilterInside(true);
        leaf->SetPattern(patterns[i].c_str(), field);
        list->SetAt(int(i), leaf);
    }
    return list;
}

std::vector<std::string> FirstAuthors(const GeneratedPage& page, std::size_t from, std::size_t n) {
    if (page.authorLinks.size() < from + n) {
        throw std::invalid_argument("the page has too few authors for the set-up");
    }
    return {page.authorLinks.begin() + std::ptrdiff_t(from),
            page.authorLinks.begin() + std::ptrdiff_t(from + n)};
}

}  // namespace

FilterSetup HeavySetup(const GeneratedPage& page) {
    FilterSetup setup;
    setup.sizeMax = setup.sizeMin = setup.zanr = true;
    setup.wanted = FirstAuthors(page, 0, 20);
    setup.unwanted = FirstAuthors(page, 20, 5);
    for (const char* genre : {"Проза", "Фантастика", "Юмор", "Сказки", "Мистика"}) {
        setup.genres.push_back(ToCp1251(genre));
    }
    return setup;
}

FilterSetup IncludeListSetup(const GeneratedPage& page, std::size_t authors) {
    FilterSetup setup;
    setup.wanted = FirstAuthors(page, 0, authors);
    return setup;
}

std::unique_ptr<CFilterList> BuildTree(const FilterSetup& s) {
    const int conditions = s.sizeMax + s.sizeMin + !s.wanted.empty() + !s.unwanted.empty() + s.zanr;
    auto root = std::make_unique<CFilterList>(lmAll, conditions, false);
    int slot = 0;
    if (s.sizeMax) {
        root->SetAt(slot++, new CFilterCMP(s.upper.c_str(), kSizeField, true, true));
    }
    if (s.sizeMin) {
        root->SetAt(slot++, new CFilterCMP(s.lower.c_str(), kSizeField, false, true));
    }
    if (!s.wanted.empty()) {
        root->SetAt(slot++, ListOf(lmAny, s.wanted, kAutorLinkField));
    }
    if (!s.unwanted.empty()) {
        root->SetAt(slot++, ListOf(lmNone, s.unwanted, kAutorLinkField));
    }
    if (s.zanr) {
        root->SetAt(slot++, ListOf(lmAny, s.genres, kZanrField));
    }
    return root;
}
