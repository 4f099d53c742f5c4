#include "catalogue/Unitfolianta_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "filter/Unitfilter.h"
#include "tests/support/ListingRows.h"
#include "tests/support/PageGenerator.h"
#include "tests/support/ReferenceOrder.h"
#include "util/Unitutils.h"

namespace {

TEST(FilterRecords, KeepsAcceptedRecordsInPageOrderAndNothingWithoutAFilter) {
    CFolianta store;
    std::string page;
    for (const char* size : {"5k", "50k", "500k", "5k"}) {
        page += ListingRow({"/w", "T", size, "G", "/a/", "N", "1"}) + "\n";
    }
    store.LoadPageText(page);
    CBaseFilter all(false);
    const CFilterCMP small("10k", TZRecord::kSize, true, false);
    EXPECT_EQ(FilterRecords(store.Records(), &all), (std::vector<std::uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(FilterRecords(store.Records(), &small), (std::vector<std::uint32_t>{0, 3}));
    EXPECT_TRUE(FilterRecords(store.Records(), nullptr).empty());
}

// Whether title holds entry, letter case ignored and Ё read as Е.
bool HoldsEntry(std::string_view title, const std::string& entry) {
    const auto plain = [](std::string_view text) {
        std::string folded = reference::Folded(text);
        std::replace(folded.begin(), folded.end(), ToCp1251("ё")[0], ToCp1251("е")[0]);
        return folded;
    };
    return plain(title).find(plain(entry)) != std::string::npos;
}

// The shown records as the stages read one after another: every record the filter accepts,
// whose mark holds no hidden bit, whose title holds no excluded entry and a wanted one (when
// there are any; empty entries count for nothing), whose mark holds a wanted bit and whose title or
// author name holds the find text, then a stable sort by the field's comparison.
std::vector<std::uint32_t> PlainView(const std::vector<TZRecord>& records,
                                     const TViewRequest& request) {
    std::vector<std::uint32_t> shown;
    const CTextFinder finder(request.find);
    for (std::uint32_t i = 0; i < records.size(); ++i) {
        const TZRecord& r = records[i];
        const std::uint8_t mark = (*request.marks)[i];
        const bool marked = (request.wantedMarks == 0 || (mark & request.wantedMarks) != 0) &&
                            (mark & request.hiddenMarks) == 0;
        // An empty entry counts for nothing.
        const auto holds = [&](const std::string& entry) {
            return !entry.empty() && HoldsEntry(r.title, entry);
        };
        const auto& excluded = request.excludedTitleWords;
        const auto& wanted = request.wantedTitleWords;
        const bool worded = std::none_of(excluded.begin(), excluded.end(), holds) &&
                            (wanted.empty() || std::any_of(wanted.begin(), wanted.end(), holds));
        if (request.filter->Accept(r) && marked && worded &&
            (finder.FoundIn(r.title) || finder.FoundIn(r.autorName))) {
            shown.push_back(i);
        }
    }
    if (request.sortOrder != TSortOrder::page) {
        const TZRecord::Field field = request.sortField;
        std::stable_sort(shown.begin(), shown.end(), [&](std::uint32_t x, std::uint32_t y) {
            const char* a = records[x][field];
            const char* b = records[y][field];
            const int c = field == TZRecord::kSize ? CompareSizeText(a, b) : CompareRussian(a, b);
            return request.sortOrder == TSortOrder::descending ? c > 0 : c < 0;
        });
    }
    return shown;
}

TEST(RecordView, EveryCombinationOfStagesShowsWhatThePlainReadingShows) {
    CFolianta store;
    store.LoadPageText(GenerateListingPage(2000, 28).bytes);
    std::mt19937 random(28);
    auto marks = std::make_shared<std::vector<std::uint8_t>>(store.Records().size());
    for (std::uint8_t& mark : *marks) {
        mark = std::uint8_t(random() % 16);
    }
    CBaseFilter all(false);
    const CFilterCMP small("10k", TZRecord::kSize, true, false);
    const std::string find = ToCp1251("ор");
    struct Sort {
        TZRecord::Field field;
        TSortOrder order;
    };
    struct Words {
        std::vector<std::string> excluded, wanted;
    };
    const Words wordSets[] = {
        {},
        {{ToCp1251("ТЕНЬ"), "", ToCp1251("звездный")}, {}},
        {{ToCp1251("над рекой")}, {ToCp1251("ЗЕЛЕНОЙ"), ToCp1251("город")}},
    };
    CRecordView view;
    for (const CBaseFilter* filter : std::vector<const CBaseFilter*>{&all, &small}) {
        for (const auto& [wanted, hidden] : {std::pair{0, 0}, std::pair{1, 0}, std::pair{6, 0},
                                             std::pair{0, 8}, std::pair{1, 8}}) {
            for (const auto& [text, words] :
                 {std::pair{std::string(), wordSets[0]}, std::pair{find, wordSets[0]},
                  std::pair{std::string(), wordSets[1]}, std::pair{find, wordSets[2]},
                  std::pair{std::string(), wordSets[2]}}) {
                for (const Sort sort : {Sort{TZRecord::kTitle, TSortOrder::page},
                                        Sort{TZRecord::kTitle, TSortOrder::ascending},
                                        Sort{TZRecord::kSize, TSortOrder::descending},
                                        Sort{TZRecord::kAutorName, TSortOrder::ascending}}) {
                    SCOPED_TRACE(testing::Message()
                                 << (filter == &all ? "all" : "small") << ", marks " << wanted
                                 << ", hidden " << hidden << ", find " << !text.empty()
                                 << ", excluded " << words.excluded.size() << ", wanted "
                                 << words.wanted.size() << ", field " << sort.field << ", order "
                                 << int(sort.order));
                    const TViewRequest request{
                        filter,      marks,      std::uint8_t(wanted), text,
                        sort.field,  sort.order, std::uint8_t(hidden), words.excluded,
                        words.wanted};
                    view.Refilter(store, request);
                    const std::vector<std::uint32_t> expected = PlainView(store.Records(), request);
                    ASSERT_FALSE(expected.empty());
                    EXPECT_EQ(view.Shown(), expected);
                    // Unseen works the reader's rules keep, whatever the other stages keep.
                    const TViewRequest unseen{&all,
                                              marks,
                                              1,
                                              {},
                                              sort.field,
                                              TSortOrder::page,
                                              request.hiddenMarks,
                                              words.excluded,
                                              words.wanted};
                    EXPECT_EQ(view.CountKeptByReaderRules(*marks, 1, request.hiddenMarks),
                              PlainView(store.Records(), unseen).size());
                }
            }
        }
    }
}

TEST(RecordView, MarksOfAnotherPageNarrowNothingAndTheViewOutlivesItsPage) {
    CFolianta store;
    store.LoadPageText(ListingRow({"/w1", "B", "1k", "G", "/a/", "N", "1"}) + "\n" +
                       ListingRow({"/w2", "A", "2k", "G", "/a/", "N", "1"}));
    CBaseFilter all(false);
    const auto shortMarks = std::make_shared<const std::vector<std::uint8_t>>(1, 0);
    CRecordView view;
    view.Refilter(store, {.filter = &all,
                          .marks = shortMarks,
                          .wantedMarks = 1,
                          .sortField = TZRecord::kTitle,
                          .sortOrder = TSortOrder::ascending});
    EXPECT_EQ(view.Shown(), (std::vector<std::uint32_t>{1, 0}));
    EXPECT_EQ(view.ShownAt(2), nullptr);
    EXPECT_EQ(view.ShownAt(-1), nullptr);

    store.LoadPageText(ListingRow({"/w3", "C", "1k", "G", "/a/", "N", "1"}));
    ASSERT_NE(view.ShownAt(0), nullptr);
    EXPECT_STREQ(view.ShownAt(0)->title, "A") << "the view keeps its page readable";
    view.Refilter(store, {.filter = &all, .sortOrder = TSortOrder::ascending});
    EXPECT_EQ(view.Shown(), (std::vector<std::uint32_t>{0})) << "the new page is sorted anew";
    view.Refilter(store, {});
    EXPECT_TRUE(view.Shown().empty()) << "no filter shows nothing";
}

}  // namespace
