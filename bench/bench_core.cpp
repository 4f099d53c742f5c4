// Core benchmarks, each beside a reference in the same run that does the least work the
// measured operation must do; their ratio is what counts.
//   LoadPage + ParsePage of a 100,000-row page  against reading the file into a fresh buffer
//   (25 MB, so parsed in two halves at once;     plus a memchr line split;
//   _OneThread: all on one thread)
//   FilterRecords over 1,000,000 records, the tree  against a loop that only reads the bytes of
//   built afresh each time as the window does     the size, genre and author link of every
//                                                 record once.
// Every filter case checks that it kept exactly the records a record-by-record Accept keeps.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "bench/FilterSetups.h"
#include "catalogue/Unitfolianta.h"
#include "catalogue/Unitfolianta_view.h"
#include "tests/support/PageGenerator.h"

namespace {

constexpr std::size_t kLoadRows = 100'000;
constexpr std::uint32_t kSeed = 20261208;

const GeneratedPage& LoadPageBytes() {
    static const GeneratedPage page = GenerateListingPage(kLoadRows, kSeed);
    return page;
}

const std::string& PageFile() {
    static const std::string path = [] {
        const auto p = std::filesystem::temp_directory_path() /
                       ("folianta_bench_" + std::to_string(getpid()) + ".shtml");
        std::ofstream(p, std::ios::binary) << LoadPageBytes().bytes;
        return p.string();
    }();
    return path;
}

void RunLoadAndParsePage(benchmark::State& state, std::int32_t halvedPageSize) {
    const std::string& path = PageFile();
    CFolianta store;
    store.halvedPageSize = halvedPageSize;
    for (auto _ : state) {
        store.LoadPage(path.c_str());
        benchmark::DoNotOptimize(store.Records().data());
    }
    if (store.Records().size() != LoadPageBytes().workRows) {
        state.SkipWithError("the page's work rows were not all parsed");
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * LoadPageBytes().bytes.size()));
    state.counters["records"] = double(store.Records().size());
}

void BM_LoadAndParsePage(benchmark::State& state) {
    RunLoadAndParsePage(state, CFolianta::kHalvedPageSize);
}
BENCHMARK(BM_LoadAndParsePage)->Unit(benchmark::kMillisecond);

void BM_LoadAndParsePage_OneThread(benchmark::State& state) {
    RunLoadAndParsePage(state, CFolianta::kMaxPageSize);
}
BENCHMARK(BM_LoadAndParsePage_OneThread)->Unit(benchmark::kMillisecond);

void BM_Reference_ReadAndMemchrSplit(benchmark::State& state) {
    const std::string& path = PageFile();
    const std::size_t size = LoadPageBytes().bytes.size();
    std::vector<const char*> lines;
    for (auto _ : state) {
        std::unique_ptr<char[]> text(new char[size + 1]);
        std::FILE* file = std::fopen(path.c_str(), "rb");
        const std::size_t got = std::fread(text.get(), 1, size, file);
        std::fclose(file);
        lines.clear();
        const char* p = text.get();
        const char* const end = p + got;
        lines.push_back(p);
        while ((p = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p))))) {
            lines.push_back(++p);
        }
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * size));
}
BENCHMARK(BM_Reference_ReadAndMemchrSplit)->Unit(benchmark::kMillisecond);

// How many records the tree's own Accept keeps, asked record by record.
int AcceptedOneByOne(const CFolianta& store, const CBaseFilter& tree) {
    int kept = 0;
    for (const TZRecord& record : store.Records()) {
        kept += tree.Accept(record);
    }
    return kept;
}

void RunApplyFilter(benchmark::State& state, const FilterSetup& setup) {
    CFolianta& store = MillionRecordPage().store;
    const int expected = AcceptedOneByOne(store, *BuildTree(setup));
    std::vector<std::uint32_t> kept;
    for (auto _ : state) {
        const std::unique_ptr<CFilterList> root = BuildTree(setup);
        kept = FilterRecords(store.Records(), root.get(), std::move(kept));
        benchmark::DoNotOptimize(kept.data());
    }
    if (int(kept.size()) != expected) {
        state.SkipWithError("FilterRecords kept other records than Accept");
    }
    state.counters["shown"] = double(kept.size());
}

void BM_ApplyFilter_HeavyTree(benchmark::State& state) {
    RunApplyFilter(state, HeavySetup(MillionRecordPage().page));
}
BENCHMARK(BM_ApplyFilter_HeavyTree)->Unit(benchmark::kMillisecond);

void BM_ApplyFilter_IncludeList(benchmark::State& state) {
    RunApplyFilter(state, IncludeListSetup(MillionRecordPage().page, std::size_t(state.range(0))));
}
BENCHMARK(BM_ApplyFilter_IncludeList)->Arg(5)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_Reference_ReadTestedFields(benchmark::State& state) {
    const CFolianta& store = MillionRecordPage().store;
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const TZRecord& r : store.Records()) {
            bytes += std::strlen(r.size) + std::strlen(r.zanr) + std::strlen(r.autorLink);
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["field_bytes"] = double(bytes);
}
BENCHMARK(BM_Reference_ReadTestedFields)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(PageFile());
    return 0;
}
