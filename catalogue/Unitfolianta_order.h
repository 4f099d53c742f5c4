#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/Unitfolianta_records.h"

// The orders the result table shows its works in, and the rule of finding works by their text.
// Texts are Windows-1251 bytes.

// Russian alphabetical order: letter case ignored for Cyrillic and Latin letters, Ё and ё right
// after Е, Latin letters before Cyrillic ones, every other byte by its value. <0, 0 or >0.
int CompareRussian(const char* a, const char* b);

// Writes text (Windows-1251) over into, whose capacity is reused, with Cyrillic and Latin
// capitals made small and Ё and ё made е: texts that differ only so come out alike.
void FoldLettersAndYo(const char* text, std::string& into);

// Finds a text in others, letter case ignored for Cyrillic and Latin letters (Ё too).
class CTextFinder {
public:
    explicit CTextFinder(std::string_view pattern);
    // Whether text holds the pattern; an empty pattern is held by every text.
    bool FoundIn(const char* text) const;

private:
    std::string folded;  // the pattern, its capitals made small
    // Both cases of the pattern's first letter: the C library finds them in a text a vector of
    // bytes at a time, several times faster than a byte-by-byte look at every letter.
    char firsts[3] = {};
};

enum class TSortOrder { page, ascending, descending };

// The order of a page's records by one field: the size field in the order of CompareSizeText,
// every other field in Russian alphabetical order, ties in page order. Each order is made once
// per page, field and direction, on first use, and kept until a page with other records is
// asked about.
class CRecordOrder {
public:
    // The record numbers of records in the order of field, ascending or descending.
    const std::vector<std::uint32_t>& Of(std::shared_ptr<const std::vector<TZRecord>> records,
                                         TZRecord::Field field, TSortOrder order);

private:
    static std::vector<std::uint32_t> Sorted(const std::vector<TZRecord>& records,
                                             TZRecord::Field field, bool descending);

    std::shared_ptr<const std::vector<TZRecord>> page;
    // Indexed by field, then ascending (0) or descending (1); empty until first asked for.
    std::vector<std::uint32_t> orders[TZRecord::kFieldCount][2];
};
