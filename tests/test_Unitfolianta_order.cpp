#include "catalogue/Unitfolianta_order.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/support/ReferenceOrder.h"

namespace {

using ::testing::PrintToString;

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
}

// Words of every byte but the zero, alone and in longer words that share beginnings longer
// than the first bytes a sort may look at; pages made of few words have many ties.
std::vector<std::string> Words(std::mt19937& random) {
    constexpr int kLongerWords = 100;
    std::vector<std::string> words;
    for (int byte = 1; byte < 256; ++byte) {
        words.emplace_back(1, char(byte));
    }
    const std::string beginnings[] = {"", "Ab", ToCp1251("Жил-был "), ToCp1251("ёлка Ёлка ")};
    for (int i = 0; i < kLongerWords; ++i) {
        std::string word = beginnings[random() % std::size(beginnings)];
        for (auto n = random() % 4; n > 0; --n) {
            word += char(1 + random() % 255);
        }
        words.push_back(word);
    }
    return words;
}

// word with the case of each of its Latin and Russian letters chosen at random.
std::string RandomCase(std::string word, std::mt19937& random) {
    const std::string& capitals = reference::kRussianCapitals;
    const std::string& small = reference::kRussianSmall;
    for (char& c : word) {
        if (random() % 2 == 0) {
            continue;
        }
        if (const std::size_t at = capitals.find(c); at != std::string::npos) {
            c = small[at];
        } else if (const std::size_t at = small.find(c); at != std::string::npos) {
            c = capitals[at];
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            c = char(c ^ 0x20);
        }
    }
    return word;
}

// Sizes of a few digits with a unit, and a few longer than any key of a sort may hold.
std::string SizeText(std::mt19937& random) {
    const char* const units[] = {"", "k", "K", "\xCA"};  // the last one Cyrillic
    const std::size_t digits =
        random() % 8 == 0 ? 250 + random() % 10 : random() % 4;  // some longer than 255
    std::string size;
    for (std::size_t i = 0; i < digits; ++i) {
        size += char('0' + random() % 10);
    }
    return size + units[random() % std::size(units)];
}

// A page of records whose texts are few words, each in random letter case, and few sizes.
struct TiedPage {
    TiedPage(std::uint32_t seed, std::size_t count) {
        constexpr int kSizes = 40;
        std::mt19937 random(seed);
        const std::vector<std::string> words = Words(random);
        std::vector<std::string> sizes;
        for (int i = 0; i < kSizes; ++i) {
            sizes.push_back(SizeText(random));
        }
        auto page = std::make_shared<std::vector<TZRecord>>(count);
        for (TZRecord& record : *page) {
            for (int field = 0; field < TZRecord::kFieldCount; ++field) {
                texts.push_back(field == TZRecord::kSize
                                    ? sizes[random() % sizes.size()]
                                    : RandomCase(words[random() % words.size()], random));
                record.*kRecordFields[field] = texts.back().c_str();
            }
        }
        records = page;
    }
    std::deque<std::string> texts;  // never moved, so the records may point into them
    std::shared_ptr<const std::vector<TZRecord>> records;
};

constexpr std::size_t kTiedRecords = 1500;

TEST(RussianOrder, EveryPairOfWordsComparesAsTheReferenceSays) {
    std::mt19937 random(1);
    const std::vector<std::string> words = Words(random);
    for (const std::string& a : words) {
        for (const std::string& word : words) {
            const std::string b = RandomCase(word, random);
            const int c = CompareRussian(a.c_str(), b.c_str());
            if ((c > 0) - (c < 0) != reference::CompareRussian(a, b)) {
                FAIL() << PrintToString(a) << " against " << PrintToString(b) << " gave " << c;
            }
        }
    }
}

TEST(RecordOrder, EveryColumnBothWaysIsTheStableReferenceSortOfPagesWithManyTies) {
    CRecordOrder orders;
    for (const std::uint32_t seed : {1u, 2u}) {  // the second page, of the same size, anew
        const TiedPage page(seed, kTiedRecords);
        for (int field = 0; field < TZRecord::kFieldCount; ++field) {
            for (const TSortOrder order : {TSortOrder::ascending, TSortOrder::descending}) {
                SCOPED_TRACE("page " + std::to_string(seed) + ", field " + std::to_string(field) +
                             (order == TSortOrder::descending ? " descending" : " ascending"));
                EXPECT_EQ(orders.Of(page.records, TZRecord::Field(field), order),
                          reference::Order(*page.records, field, order == TSortOrder::descending));
            }
        }
    }
}

TEST(FindRule, AgreesWithTheReferenceOnEveryByteAndOnRandomCutsOfAPage) {
    constexpr int kCuts = 200;
    const TiedPage page(3, kTiedRecords);
    std::mt19937 random(4);
    std::vector<std::string> needles{""};
    for (int byte = 1; byte < 256; ++byte) {
        needles.emplace_back(1, char(byte));
    }
    for (int i = 0; i < kCuts; ++i) {
        const std::string_view text = (*page.records)[random() % kTiedRecords].title;
        const std::size_t from = random() % (text.size() + 1);
        needles.push_back(RandomCase(std::string(text.substr(from, 1 + random() % 12)), random));
    }
    for (const std::string& needle : needles) {
        const CTextFinder finder(needle);
        for (const TZRecord& record : *page.records) {
            for (const char* text : {record.title, record.autorName}) {
                if (finder.FoundIn(text) != reference::Contains(text, needle)) {
                    FAIL() << PrintToString(needle) << " in " << PrintToString(text);
                }
            }
        }
    }
}

}  // namespace
