#pragma once

// The result table's orders and the find rule as plainly as their rules read: the Russian
// alphabet written out letter by letter, texts compared place by place, records sorted stably.
// CompareRussian, CRecordOrder and CTextFinder must agree with these.

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/Unitfolianta_records.h"
#include "tests/support/Cp1251Bytes.h"
#include "tests/support/ReferenceFilter.h"

namespace reference {

// The alphabet in Windows-1251, capitals and small letters at the same places.
inline const std::string kRussianCapitals = ToCp1251("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ");
inline const std::string kRussianSmall = ToCp1251("абвгдеёжзийклмнопрстуфхцчшщъыьэюя");

// A byte's place in Russian alphabetical order: a Russian letter, either case, at its place in
// the alphabet after every other byte; a Latin letter at its capital's; any other at its value.
inline int Place(char byte) {
    std::size_t at = kRussianCapitals.find(byte);
    if (at == std::string::npos) {
        at = kRussianSmall.find(byte);
    }
    if (at != std::string::npos) {
        return 256 + int(at);
    }
    const auto value = static_cast<unsigned char>(byte);
    return value >= 'a' && value <= 'z' ? value - 'a' + 'A' : value;
}

// -1, 0 or 1: a and b in Russian alphabetical order, a text that begins the other first.
inline int CompareRussian(std::string_view a, std::string_view b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (Place(a[i]) != Place(b[i])) {
            return Place(a[i]) < Place(b[i]) ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// The record numbers of records in the order of field: sizes by their length and then byte by
// byte, other fields in Russian alphabetical order; ties in page order either way.
inline std::vector<std::uint32_t> Order(const std::vector<TZRecord>& records, int field,
                                        bool descending) {
    std::vector<std::uint32_t> order(records.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t x, std::uint32_t y) {
        const char* a = records[x][field];
        const char* b = records[y][field];
        const int c = field == TZRecord::kSize ? CompareSizes(a, b) : CompareRussian(a, b);
        return descending ? c > 0 : c < 0;
    });
    return order;
}

// text with its Latin and Russian capitals made small.
inline std::string Folded(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        if (const std::size_t at = kRussianCapitals.find(c); at != std::string::npos) {
            c = kRussianSmall[at];
        } else if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return folded;
}

// Whether text holds pattern with the case of Latin and Russian letters ignored.
inline bool Contains(std::string_view text, std::string_view pattern) {
    return Folded(text).find(Folded(pattern)) != std::string::npos;
}

}  // namespace reference
