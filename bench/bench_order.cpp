// The table's orders and the find line over 1,000,000 records, each beside the least work it
// must do in the same run:
//   the refilter with an active sort (ApplyFilter, then ArrangeShown by a sorted order)  against
//   the same refilter without one, with the heavy filter and with no filter on;
//   finding "хм" in titles and author names (ApplyFilter, then NarrowShown)  against a loop that
//   only reads the bytes of every title and author name once;
//   and, on its own, the first sort of a column, which a page pays once per column.
// Each checks that it kept the records it must: the sorted refilter the same set as without.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>

#include "bench/FilterSetups.h"
#include "catalogue/Unitfolianta.h"
#include "catalogue/Unitfolianta_order.h"
#include "tests/support/PageGenerator.h"

namespace {


std::unique_ptr<CFilterList> Tree(bool heavy) {
    return heavy ? BuildTree(HeavySetup(MillionRecordPage().page)) : MakeFilterList(lmAll, {}, false);
}

void RunRefilter(benchmark::State& state, bool heavy, bool sorted) {
    CFolianta& store = MillionRecordPage().store;
    CRecordOrder orders;
    const std::vector<std::uint32_t>& bySize =
        orders.Of(store.RecordsBuffer(), TZRecord::kSize, TSortOrder::ascending);
    for (auto _ : state) {
        const std::unique_ptr<CFilterList> root = Tree(heavy);
        store.ApplyFilter(root.get());
        if (sorted) {
            store.ArrangeShown(bySize);
        }
        benchmark::DoNotOptimize(store.ShownIndexes().data());
    }
    std::vector<std::uint32_t> kept = store.ShownIndexes();
    std::sort(kept.begin(), kept.end());
    store.ApplyFilter(Tree(heavy).get());
    if (kept != store.ShownIndexes()) {
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

void BM_Find(benchmark::State& state) {
    CFolianta& store = MillionRecordPage().store;
    const CTextFinder finder(ToCp1251("хм"));
    const std::vector<TZRecord>& records = store.Records();
    std::size_t expected = 0;
    for (const TZRecord& r : records) {
        expected += finder.FoundIn(r.title) || finder.FoundIn(r.autorName);
    }
    for (auto _ : state) {
        store.ApplyFilter(Tree(false).get());
        store.NarrowShown([&](std::uint32_t n) {
            return finder.FoundIn(records[n].title) || finder.FoundIn(records[n].autorName);
        });
        benchmark::DoNotOptimize(store.ShownIndexes().data());
    }
    if (std::size_t(store.ShownCount()) != expected || expected == 0) {
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
