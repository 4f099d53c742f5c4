// The table's view over 1,000,000 records, each beside the least work it must do in the same
// run:
//   the refilter with an active sort (the filter, then the sorted order)  against the same
//   refilter without one, with the heavy filter and with no filter on;
//   the refilter with every stage (the heavy filter, unseen marks, a find text and a sort)
//   against the heavy filter alone;
//   finding "хм" in titles and author names (no filter, then the find)  against a loop that
//   only reads the bytes of every title and author name once;
//   the refilter with the reader's rules (50 excluded title phrases, 20 wanted ones and 1,000
//   hidden works), with the heavy filter and with no filter on, the titles judged by an earlier
//   refilter  against the same refilter without them; and with no filter, every title judged
//   again as after an edit of the words;
//   and, on its own, the first sort of a column, which a page pays once per column.
// Each checks that it kept the records it must: the sorted refilter the same set as without.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "bench/FilterSetups.h"
#include "catalogue/Unitfolianta.h"
#include "catalogue/Unitfolianta_order.h"
#include "catalogue/Unitfolianta_view.h"
#include "catalogue/Unitfolianta_words.h"
#include "tests/support/PageGenerator.h"

namespace {

std::unique_ptr<CFilterList> Tree(bool heavy) {
    return heavy ? BuildTree(HeavySetup(MillionRecordPage().page))
                 : MakeFilterList(lmAll, {}, false);
}

void RunRefilter(benchmark::State& state, bool heavy, bool sorted) {
    const CFolianta& store = MillionRecordPage().store;
    const TSortOrder order = sorted ? TSortOrder::ascending : TSortOrder::page;
    CRecordView view;
    view.Refilter(store,
                  {.filter = Tree(heavy).get(), .sortField = TZRecord::kSize, .sortOrder = order});
    for (auto _ : state) {
        const std::unique_ptr<CFilterList> root = Tree(heavy);
        view.Refilter(store,
                      {.filter = root.get(), .sortField = TZRecord::kSize, .sortOrder = order});
        benchmark::DoNotOptimize(view.Shown().data());
    }
    std::vector<std::uint32_t> kept = view.Shown();
    std::sort(kept.begin(), kept.end());
    if (kept != FilterRecords(store.Records(), Tree(heavy).get())) {
        state.SkipWithError("the sorted refilter kept other records");
    }
    state.counters["shown"] = double(kept.size());
}

void BM_Refilter_Heavy(benchmark::State& state) {
    RunRefilter(state, true, false);
}
BENCHMARK(BM_Refilter_Heavy)->Unit(benchmark::kMillisecond);

void BM_Refilter_HeavySorted(benchmark::State& state) {
    RunRefilter(state, true, true);
}
BENCHMARK(BM_Refilter_HeavySorted)->Unit(benchmark::kMillisecond);

void BM_Refilter_NoFilter(benchmark::State& state) {
    RunRefilter(state, false, false);
}
BENCHMARK(BM_Refilter_NoFilter)->Unit(benchmark::kMillisecond);

void BM_Refilter_NoFilterSorted(benchmark::State& state) {
    RunRefilter(state, false, true);
}
BENCHMARK(BM_Refilter_NoFilterSorted)->Unit(benchmark::kMillisecond);

// Every other record unseen, titles and author names that hold "е", sorted by title.
void BM_Refilter_HeavyAllStages(benchmark::State& state) {
    const CFolianta& store = MillionRecordPage().store;
    auto marks = std::make_shared<std::vector<std::uint8_t>>(store.Records().size());
    for (std::size_t i = 0; i < marks->size(); i += 2) {
        (*marks)[i] = 1;
    }
    const std::string find = ToCp1251("е");
    const auto request = [&](const CBaseFilter* filter) {
        return TViewRequest{filter, marks, 1, find, TZRecord::kTitle, TSortOrder::ascending};
    };
    CRecordView view;
    view.Refilter(store, request(Tree(true).get()));
    for (auto _ : state) {
        const std::unique_ptr<CFilterList> root = Tree(true);
        view.Refilter(store, request(root.get()));
        benchmark::DoNotOptimize(view.Shown().data());
    }
    const CTextFinder finder(find);
    std::size_t expected = 0;
    for (const std::uint32_t n : FilterRecords(store.Records(), Tree(true).get())) {
        const TZRecord& r = store.Records()[n];
        expected += (*marks)[n] && (finder.FoundIn(r.title) || finder.FoundIn(r.autorName));
    }
    if (view.Shown().size() != expected || expected == 0) {
        state.SkipWithError("the refilter kept other records");
    }
    state.counters["shown"] = double(expected);
}
BENCHMARK(BM_Refilter_HeavyAllStages)->Unit(benchmark::kMillisecond);

// The reader's rules of the benchmark: excluded phrases of which a few occur in titles, wanted
// words of which some do, and marks that hide 1,000 works spread over the page.
struct TReaderRules {
    std::vector<std::string> excluded, wanted;
    std::shared_ptr<std::vector<std::uint8_t>> marks;
};

const TReaderRules& ReaderRules() {
    static const TReaderRules rules = [] {
        constexpr int kExcluded = 50;
        constexpr int kWanted = 20;
        constexpr int kHidden = 1000;
        constexpr std::uint8_t kHiddenMark = 8;
        TReaderRules made;
        for (const char* phrase : {"над рекой", "ПЕПЕЛ", "Звездный", "маяка"}) {
            made.excluded.push_back(ToCp1251(phrase));
        }
        while (made.excluded.size() < kExcluded) {
            made.excluded.push_back(ToCp1251("черновик ") + std::to_string(made.excluded.size()));
        }
        for (const char* word : {"город", "дом", "сад", "ночи", "Ветер", "тайна", "МОСТ"}) {
            made.wanted.push_back(ToCp1251(word));
        }
        while (made.wanted.size() < kWanted) {
            made.wanted.push_back(ToCp1251("серия ") + std::to_string(made.wanted.size()));
        }
        const std::size_t records = MillionRecordPage().store.Records().size();
        made.marks = std::make_shared<std::vector<std::uint8_t>>(records);
        std::mt19937 random(29);
        for (int i = 0; i < kHidden; ++i) {
            (*made.marks)[random() % records] = kHiddenMark;
        }
        return made;
    }();
    return rules;
}

void BM_Refilter_ReaderRules(benchmark::State& state) {
    const bool heavy = state.range(0) != 0;
    const bool withRules = state.range(1) != 0;
    const bool wordsEdited = state.range(2) != 0;
    const CFolianta& store = MillionRecordPage().store;
    const TReaderRules& rules = ReaderRules();
    bool emptyEntry = false;
    const auto request = [&](const CBaseFilter* filter) {
        TViewRequest made{.filter = filter, .marks = rules.marks};
        if (withRules) {
            made.hiddenMarks = 8;
            made.excludedTitleWords = rules.excluded;
            made.wantedTitleWords = rules.wanted;
            if (emptyEntry) {
                made.excludedTitleWords.emplace_back();  // other words, the same verdicts
            }
        }
        return made;
    };
    CRecordView view;
    // As after the first control change since the load: the titles judged once.
    view.Refilter(store, request(Tree(heavy).get()));
    for (auto _ : state) {
        const std::unique_ptr<CFilterList> root = Tree(heavy);
        // As after an edit of the words: every title judged again.
        emptyEntry = wordsEdited && !emptyEntry;
        view.Refilter(store, request(root.get()));
        benchmark::DoNotOptimize(view.Shown().data());
    }
    const CTitleWords words(rules.excluded, rules.wanted);
    std::string folded;
    std::size_t expected = 0;
    for (const std::uint32_t n : FilterRecords(store.Records(), Tree(heavy).get())) {
        expected +=
            !withRules || ((*rules.marks)[n] == 0 && words.Keeps(store.Records()[n].title, folded));
    }
    if (view.Shown().size() != expected || expected == 0) {
        state.SkipWithError("the refilter kept other records");
    }
    state.counters["shown"] = double(expected);
}
BENCHMARK(BM_Refilter_ReaderRules)
    ->ArgsProduct({{1, 0}, {0, 1}, {0}})
    ->Args({0, 1, 1})
    ->ArgNames({"heavy", "rules", "edited"})
    ->Unit(benchmark::kMillisecond);

void BM_Find(benchmark::State& state) {
    const CFolianta& store = MillionRecordPage().store;
    const CTextFinder finder(ToCp1251("хм"));
    std::size_t expected = 0;
    for (const TZRecord& r : store.Records()) {
        expected += finder.FoundIn(r.title) || finder.FoundIn(r.autorName);
    }
    CRecordView view;
    for (auto _ : state) {
        view.Refilter(store, {.filter = Tree(false).get(), .find = ToCp1251("хм")});
        benchmark::DoNotOptimize(view.Shown().data());
    }
    if (view.Shown().size() != expected || expected == 0) {
        state.SkipWithError("the find kept other records");
    }
    state.counters["found"] = double(expected);
}
BENCHMARK(BM_Find)->Unit(benchmark::kMillisecond);

void BM_Reference_ReadTitleAndAuthor(benchmark::State& state) {
    const std::vector<TZRecord>& records = MillionRecordPage().store.Records();
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const TZRecord& r : records) {
            bytes += std::strlen(r.title) + std::strlen(r.autorName);
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_Reference_ReadTitleAndAuthor)->Unit(benchmark::kMillisecond);

void BM_FirstSort(benchmark::State& state) {
    const TZRecord::Field field = TZRecord::Field(state.range(0));
    const auto records = MillionRecordPage().store.RecordsBuffer();
    std::size_t sorted = 0;
    for (auto _ : state) {
        CRecordOrder orders;
        sorted = orders.Of(records, field, TSortOrder::ascending).size();
    }
    if (sorted != records->size()) {
        state.SkipWithError("not every record was sorted");
    }
}
BENCHMARK(BM_FirstSort)
    ->Arg(TZRecord::kTitle)
    ->Arg(TZRecord::kSize)
    ->Arg(TZRecord::kAutorName)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    MillionRecordPage();  // made before any benchmark runs
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
