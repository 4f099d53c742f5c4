#include "catalogue/Unitfolianta_order.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Records whose title and size are the texts given; the other fields are empty.
std::shared_ptr<const std::vector<TZRecord>> Records(const std::vector<const char*>& titles,
                                                    const std::vector<const char*>& sizes) {
    auto records = std::make_shared<std::vector<TZRecord>>(titles.size());
    for (std::size_t i = 0; i < titles.size(); ++i) {
        (*records)[i] = {"", titles[i], sizes[i], "", "", "", ""};
    }
    return records;
}

TEST(RecordOrder, RussianOrderForTextsSizeOrderForSizesTiesInPageOrder) {
    // Windows-1251: "ежик", "Ёлка", "Ель", "жук", "Zebra", "apple", "ЕЛЬ" (a tie with "Ель").
    const auto records =
        Records({"\xE5\xE6\xE8\xEA", "\xA8\xEB\xEA\xE0", "\xC5\xEB\xFC", "\xE6\xF3\xEA", "Zebra",
                 "apple", "\xC5\xCB\xDC"},
                {"9k", "10k", "2k", "100k", "9k", "1k", "10k"});
    const struct Row {
        const char* label;
        TZRecord::Field field;
        TSortOrder order;
        std::vector<std::uint32_t> expected;
    } rows[] = {
        {"titles: Latin first, case ignored, Ё after every Е, ties in page order",
         TZRecord::kTitle, TSortOrder::ascending, {5, 4, 0, 2, 6, 1, 3}},
        {"titles descending, ties still in page order", TZRecord::kTitle,
         TSortOrder::descending, {3, 1, 2, 6, 0, 4, 5}},
        {"sizes by length first", TZRecord::kSize, TSortOrder::ascending, {5, 2, 0, 4, 1, 6, 3}},
        {"sizes descending", TZRecord::kSize, TSortOrder::descending, {3, 1, 6, 0, 4, 2, 5}},
    };
    CRecordOrder orders;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(orders.Of(records, row.field, row.order), row.expected);
    }
    const auto other = Records({"b", "a"}, {"1k", "1k"});
    EXPECT_EQ(orders.Of(other, TZRecord::kTitle, TSortOrder::ascending),
              (std::vector<std::uint32_t>{1, 0}))
        << "another page is sorted anew";
}

TEST(FindRule, ContainsWithLetterCaseIgnoredForCyrillicAndLatin) {
    const struct Row {
        const char* label;
        const char* text;
        const char* pattern;
        bool found;
    } rows[] = {
        {"small in capital", "\xD5\xEC\xE5\xEB\xB8\xE2", "\xF5\xEC", true},       // Хмелёв, хм
        {"capital in small", "\xF5\xEC\xE5\xEB\xB8\xE2", "\xD5\xCC", true},       // хмелёв, ХМ
        {"Ё and ё", "\xD5\xEC\xE5\xEB\xB8\xE2", "\xA8\xC2", true},                // Хмелёв, ЁВ
        {"Е is not Ё", "\xD5\xEC\xE5\xEB\xB8\xE2", "\xEB\xE5\xE2", false},        // Хмелёв, лев
        {"Latin", "Red Moon", "MOON", true},
        {"at the very end", "abc", "bc", true},
        {"longer than the text", "ab", "abc", false},
        {"empty pattern", "ab", "", true},
        {"a first letter met twice, the second time whole", "x-xyz", "XY", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(CTextFinder(row.pattern).FoundIn(row.text), row.found);
    }
}

}  // namespace
