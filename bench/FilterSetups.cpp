#include "bench/FilterSetups.h"

#include <stdexcept>

namespace {

std::unique_ptr<CBaseFilter> ListOf(int mode, const std::vector<std::string>& patterns,
                                    TZRecord::Field field) {
    TFilterChildren leaves;
    for (const std::string& pattern : patterns) {
        auto leaf = std::make_unique<CFilterInside>(true);
        leaf->SetPattern(pattern.c_str(), field);
        leaves.push_back(std::move(leaf));
    }
    return MakeFilterList(mode, std::move(leaves), true);
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
    TFilterChildren conditions;
    if (s.sizeMax) {
        conditions.push_back(
            std::make_unique<CFilterCMP>(s.upper.c_str(), TZRecord::kSize, true, true));
    }
    if (s.sizeMin) {
        conditions.push_back(
            std::make_unique<CFilterCMP>(s.lower.c_str(), TZRecord::kSize, false, true));
    }
    if (!s.wanted.empty()) {
        conditions.push_back(ListOf(lmAny, s.wanted, TZRecord::kAutorLink));
    }
    if (!s.unwanted.empty()) {
        conditions.push_back(ListOf(lmNone, s.unwanted, TZRecord::kAutorLink));
    }
    if (s.zanr) {
        conditions.push_back(ListOf(lmAny, s.genres, TZRecord::kZanr));
    }
    return MakeFilterList(lmAll, std::move(conditions), false);
}

FilterPage::FilterPage() : page(GenerateListingPage(1'000'000, 20261208)) {
    store.LoadPageText(page.bytes);
}

FilterPage& MillionRecordPage() {
    static FilterPage loaded;
    return loaded;
}
