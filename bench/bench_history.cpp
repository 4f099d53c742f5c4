// The history step of a page load, beside the same load without it:
//   LoadPage of a 100,000-work page + RecordLoad, every work known  against LoadPage alone;
//   the first RecordLoad of 100,000 unknown works, in seconds per work, and the file's size.
// Both check that every work of the page got its marks.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "catalogue/Unitfolianta.h"
#include "history/Unithistory.h"
#include "tests/support/PageGenerator.h"
#include "tests/support/TempFolder.h"

namespace {

constexpr std::size_t kRows = 100'000;
constexpr std::uint32_t kSeed = 20261209;
constexpr std::int64_t kNow = 1'796'000'000;

struct Page {
    TTempFolder folder;
    GeneratedPage generated = GenerateListingPage(kRows, kSeed);
    std::string path = folder.Write("page.shtml", generated.bytes);
};

Page& ThePage() {
    static Page page;
    return page;
}

std::vector<TMetWork> MetWorks(const CFolianta& store) {
    std::vector<TMetWork> works;
    works.reserve(store.Records().size());
    for (const TZRecord& record : store.Records()) {
        works.push_back({record.workLink, record.size});
    }
    return works;
}

void BM_LoadPage(benchmark::State& state) {
    CFolianta store;
    for (auto _ : state) {
        store.LoadPage(ThePage().path.c_str());
        benchmark::DoNotOptimize(store.Records().data());
    }
    state.counters["records"] = double(store.Records().size());
}
BENCHMARK(BM_LoadPage)->Unit(benchmark::kMillisecond);

void BM_LoadPage_WithHistoryOfKnownWorks(benchmark::State& state) {
    const TTempFolder folder;
    CHistory history((folder.Path() / "history.sqlite").string(), kNow);
    CFolianta store;
    std::vector<std::uint8_t> marks;
    store.LoadPage(ThePage().path.c_str());
    marks = history.RecordLoad(MetWorks(store), kNow).marks;
    for (auto _ : state) {
        store.LoadPage(ThePage().path.c_str());
        marks = history.RecordLoad(MetWorks(store), kNow).marks;
        benchmark::DoNotOptimize(marks.data());
    }
    if (marks.size() != ThePage().generated.workRows) {
        state.SkipWithError("not every work got its marks");
    }
}
BENCHMARK(BM_LoadPage_WithHistoryOfKnownWorks)->Unit(benchmark::kMillisecond);

void BM_History_FirstLoadOfUnknownWorks(benchmark::State& state) {
    CFolianta store;
    store.LoadPage(ThePage().path.c_str());
    const std::vector<TMetWork> works = MetWorks(store);
    std::vector<std::uint8_t> marks;
    std::uintmax_t fileSize = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const TTempFolder folder;
        const std::string path = (folder.Path() / "history.sqlite").string();
        {
            CHistory history(path, kNow);
            state.ResumeTiming();
            marks = history.RecordLoad(works, kNow).marks;
            state.PauseTiming();
        }
        fileSize = std::filesystem::file_size(path);
        state.ResumeTiming();
    }
    if (marks.size() != works.size() || marks.front() != kUnseen) {
        state.SkipWithError("the works were not all new");
    }
    state.counters["per_work"] = benchmark::Counter(
        double(works.size()), benchmark::Counter::kIsIterationInvariantRate |
                                  benchmark::Counter::kInvert);
    state.counters["file_bytes"] = double(fileSize);
}
BENCHMARK(BM_History_FirstLoadOfUnknownWorks)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    ThePage();  // made before any benchmark runs
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
