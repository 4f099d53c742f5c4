// The history step of a page load, beside the same load without it:
//   LoadPage of a 100,000-work page + RecordLoad, every work known  against LoadPage alone;
//   the first RecordLoad of 100,000 unknown works, in seconds per work, and the file's size;
//   RecordLoad of 100,000 works met yesterday against the same on the day they were met, in one
//   run (the new day rewrites only the works whose refresh day it is).
// Both check that every work of the page got its marks.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
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

// RecordLoad of every work of the page into a history that met them all at metAt, opened anew
// from a copy of that file for each run; the nanoseconds of the RecordLoad calls alone.
std::int64_t LoadIntoCopies(benchmark::State& state, const std::string& metFile,
                            const std::vector<TMetWork>& works, std::int64_t now, int runs) {
    std::int64_t ns = 0;
    for (int run = 0; run < runs; ++run) {
        const TTempFolder folder;
        const std::string path = (folder.Path() / "history.sqlite").string();
        std::filesystem::copy_file(metFile, path);
        CHistory history(path, now);
        const auto start = std::chrono::steady_clock::now();
        const TPageMarks marks = history.RecordLoad(works, now);
        ns += std::chrono::duration_cast<std::chrono::nanoseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
        if (marks.marks.size() != works.size()) {
            state.SkipWithError("not every work got its marks");
        }
    }
    return ns;
}

void BM_History_NewDayOverSameDay(benchmark::State& state) {
    constexpr std::int64_t kDay = 24 * 60 * 60;
    constexpr int kRuns = 3;
    CFolianta store;
    store.LoadPage(ThePage().path.c_str());
    const std::vector<TMetWork> works = MetWorks(store);
    const TTempFolder folder;
    const std::string met = (folder.Path() / "met.sqlite").string();
    CHistory(met, kNow - kDay).RecordLoad(works, kNow - kDay);
    std::int64_t newDayNs = 0, sameDayNs = 0;
    for (auto _ : state) {
        newDayNs += LoadIntoCopies(state, met, works, kNow, kRuns);
        sameDayNs += LoadIntoCopies(state, met, works, kNow - kDay, kRuns);
    }
    const double runs = double(state.iterations()) * kRuns;
    state.counters["new_day_ms"] = double(newDayNs) / runs / 1e6;
    state.counters["same_day_ms"] = double(sameDayNs) / runs / 1e6;
    state.counters["ratio"] = double(newDayNs) / double(sameDayNs);
}
BENCHMARK(BM_History_NewDayOverSameDay)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    ThePage();  // made before any benchmark runs
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
