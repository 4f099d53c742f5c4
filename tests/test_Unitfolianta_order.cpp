#include "catalogue/Unitfolianta_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "util/Unitutils.h"

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
    const auto records = Records({"\xE5\xE6\xE8\xEA", "\xA8\xEB\xEA\xE0", "\xC5\xEB\xFC",
                                  "\xE6\xF3\xEA", "Zebra", "apple", "\xC5\xCB\xDC"},
                                 {"9k", "10k", "2k", "100k", "9k", "1k", "10k"});
    const struct Row {
        const char* label;
        TZRecord::Field field;
        TSortOrder order;
        std::vector<std::uint32_t> expected;
    } rows[] = {
        {"titles: Latin first, case ignored, Ё after every Е, ties in page order",
         TZRecord::kTitle,
         TSortOrder::ascending,
         {5, 4, 0, 2, 6, 1, 3}},
        {"titles descending, ties still in page order",
         TZRecord::kTitle,
         TSortOrder::descending,
         {3, 1, 2, 6, 0, 4, 5}},
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

// Texts from a few letters of either case (Ё and Е among them) behind prefixes a key reaches
// past, so that ties are settled at every depth; sizes around the length a key holds.
TEST(RecordOrder, GivesWhatAStableSortByTheComparisonsGives) {
    std::mt19937 random(28);
    const std::string letters = "eEzZ\xC5\xE5\xA8\xB8\xDF\xFF-";
    const std::string prefixes[] = {"", "\xC0\xC1\xC2\xC3\xC4\xC5\xC6", std::string(8, 'a'),
                                    std::string(17, '\xE0')};
    std::vector<std::string> texts;
    std::vector<std::string> sizes;
    for (int i = 0; i < 12000; ++i) {
        std::string text = prefixes[random() % std::size(prefixes)];
        std::string size;
        for (auto n = random() % 4; n > 0; --n) {
            text += letters[random() % letters.size()];
        }
        for (auto n = 5 + random() % 6; n > 0; --n) {
            size += char('0' + random() % 3);
        }
        texts.push_back(text);
        sizes.push_back(size);
    }
    auto records = std::make_shared<std::vector<TZRecord>>(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        (*records)[i] = {"", texts[i].c_str(), sizes[i].c_str(), "", "", "", ""};
    }
    CRecordOrder orders;
    for (const TZRecord::Field field : {TZRecord::kTitle, TZRecord::kSize}) {
        for (const TSortOrder order : {TSortOrder::ascending, TSortOrder::descending}) {
            SCOPED_TRACE(testing::Message()
                         << "field " << field
                         << (order == TSortOrder::descending ? " descending" : " ascending"));
            std::vector<std::uint32_t> expected(records->size());
            std::iota(expected.begin(), expected.end(), 0u);
            std::stable_sort(
                expected.begin(), expected.end(), [&](std::uint32_t x, std::uint32_t y) {
                    const char* a = (*records)[x][field];
                    const char* b = (*records)[y][field];
                    const int c =
                        field == TZRecord::kSize ? CompareSizeText(a, b) : CompareRussian(a, b);
                    return order == TSortOrder::descending ? c > 0 : c < 0;
                });
            EXPECT_EQ(orders.Of(records, field, order), expected);
        }
    }
}

TEST(FindRule, ContainsWithLetterCaseIgnoredForCyrillicAndLatin) {
    const struct Row {
        const char* label;
        const char* text;
        const char* pattern;
        bool found;
    } rows[] = {
        {"small in capital", "\xD5\xEC\xE5\xEB\xB8\xE2", "\xF5\xEC", true},  // Хмелёв, хм
        {"capital in small", "\xF5\xEC\xE5\xEB\xB8\xE2", "\xD5\xCC", true},  // хмелёв, ХМ
        {"Ё and ё", "\xD5\xEC\xE5\xEB\xB8\xE2", "\xA8\xC2", true},           // Хмелёв, ЁВ
        {"Е is not Ё", "\xD5\xEC\xE5\xEB\xB8\xE2", "\xEB\xE5\xE2", false},   // Хмелёв, лев
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
