#include "catalogue/Unitfolianta_order.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>

#include "util/Unitutils.h"

namespace {

constexpr unsigned char kCapitalA = 0xC0;  // А
constexpr unsigned char kSmallA = 0xE0;    // а
constexpr unsigned char kCapitalYe = 0xC5;  // Е
constexpr unsigned char kCapitalYo = 0xA8;  // Ё
constexpr unsigned char kSmallYo = 0xB8;    // ё

// The small letter of each byte: Latin and Cyrillic capitals (Ё too) made small.
constexpr std::array<unsigned char, 256> kSmall = [] {
    std::array<unsigned char, 256> small{};
    for (int b = 0; b < 256; ++b) {
        small[std::size_t(b)] = (b >= 'A' && b <= 'Z')            ? (unsigned char)(b - 'A' + 'a')
                                : (b >= kCapitalA && b < kSmallA) ? (unsigned char)(b + 0x20)
                                : b == kCapitalYo                 ? kSmallYo
                                                                  : (unsigned char)b;
    }
    return small;
}();

// The place of each byte in Russian alphabetical order: twice the byte's value, small letters
// weighed as their capitals and Ё (either case) just after Е.
constexpr std::array<std::uint16_t, 256> kWeight = [] {
    std::array<std::uint16_t, 256> weight{};
    for (int b = 0; b < 256; ++b) {
        int capital = (b >= 'a' && b <= 'z') ? b - 'a' + 'A' : (b >= kSmallA) ? b - 0x20 : b;
        weight[std::size_t(b)] = std::uint16_t(2 * capital);
        if (b == kCapitalYo || b == kSmallYo) {
            weight[std::size_t(b)] = std::uint16_t(2 * kCapitalYe + 1);
        }
    }
    return weight;
}();

}  // namespace

int CompareRussian(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const int wa = kWeight[(unsigned char)*a];
        const int wb = kWeight[(unsigned char)*b];
        if (wa != wb || *a == 0) {
            return wa - wb;
        }
    }
}

std::string FoldCase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        c = char(kSmall[(unsigned char)c]);
    }
    return folded;
}

bool ContainsFolded(const char* text, std::string_view folded) {
    if (folded.empty()) {
        return true;
    }
    const unsigned char first = (unsigned char)folded[0];
    for (const char* p = text; *p; ++p) {
        if (kSmall[(unsigned char)*p] != first) {
            continue;
        }
        std::size_t i = 1;
        while (i < folded.size() && p[i] && kSmall[(unsigned char)p[i]] == (unsigned char)folded[i]) {
            ++i;
        }
        if (i == folded.size()) {
            return true;
        }
    }
    return false;
}

const std::vector<std::uint32_t>& CRecordOrder::Of(
    std::shared_ptr<const std::vector<TZRecord>> records, TZRecord::Field field, TSortOrder order) {
    if (records != page) {
        page = std::move(records);
        for (auto& byField : orders) {
            byField[0].clear();
            byField[1].clear();
        }
    }
    const bool descending = order == TSortOrder::descending;
    std::vector<std::uint32_t>& sorted = orders[field][descending];
    if (sorted.size() != page->size()) {
        sorted.resize(page->size());
        std::iota(sorted.begin(), sorted.end(), 0u);
        const std::vector<TZRecord>& all = *page;
        const auto compare = [&](std::uint32_t x, std::uint32_t y) {
            const char* a = all[x][field];
            const char* b = all[y][field];
            const int c = field == TZRecord::kSize ? CompareSizeText(a, b) : CompareRussian(a, b);
            return descending ? c > 0 : c < 0;
        };
        std::stable_sort(sorted.begin(), sorted.end(), compare);
    }
    return sorted;
}
