#include "catalogue/Unitfolianta_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "filter/Unitfilter.h"
#include "tests/support/ListingRows.h"
#include "tests/support/PageGenerator.h"
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

// The shown records as the stages read one after another: every record the filter accepts,
// whose mark holds a wanted bit and whose title or author name holds the find text, then a
// stable sort by the field's comparison.
std::vector<std::uint32_t> PlainView(const std::vector<TZRecord>& records,
                                     const TViewRequest& request) {
    std::vector<std::uint32_t> shown;
    const CTextFinder finder(request.find);
    for (std::uint32_t i = 0; i < records.size(); ++i) {
        const TZRecord& r = records[i];
        const bool marked =
            request.wantedMarks == 0 || ((*request.marks)[i] & request.wantedMarks) != 0;
        if (request.filter->Accept(r) && marked &&
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
        mark = std::uint8_t(random() % 8);
    }
    CBaseFilter all(false);
    const CFilterCMP small("10k", TZRecord::kSize, true, false);
    const std::string find = ToCp1251("ор");
    struct Sort {
        TZRecord::Field field;
        TSortOrder order;
    };
    CRecordView view;
    for (const CBaseFilter* filter : std::vector<const CBaseFilter*>{&all, &small}) {
        for (const std::uint8_t wanted : {0, 1, 6}) {
            for (const std::string& text : {std::string(), find}) {
                for (const Sort sort : {Sort{TZRecord::kTitle, TSortOrder::page},
                                        Sort{TZRecord::kTitle, TSortOrder::ascending},
                                        Sort{TZRecord::kSize, TSortOrder::descending},
                                        Sort{TZRecord::kAutorName, TSortOrder::ascending}}) {
                    SCOPED_TRACE(testing::Message()
                                 << (filter == &all ? "all" : "small") << ", marks " << int(wanted)
                                 << ", find " << !text.empty() << ", field " << sort.field
                                 << ", order " << int(sort.order));
                    const TViewRequest request{filter, marks, wanted, text, sort.field, sort.order};
                    view.Refilter(store, request);
                    const std::vector<std::uint32_t> expected = PlainView(store.Records(), request);
                    ASSERT_FALSE(expected.empty());
                    EXPECT_EQ(view.Shown(), expected);
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
