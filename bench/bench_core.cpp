// Core benchmarks on a generated 100,000-row page, each beside a bare reference doing the same
// work without the program's structures, so that their ratio is what counts:
//   LoadPage + ParsePage      against a memchr line split of the same bytes (and, to show the
//                             share of the file read, against the read plus that split);
//   ApplyFilter with a tree   against a hand-written loop doing the same tests.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <filesystem>
#include <fstream>

#include "bench/PageGenerator.h"
#include "catalogue/Unitfolianta.h"
#include "filter/Unitfilter.h"
#include "util/Unitutils.h"

namespace {

constexpr std::size_t kRows = 100'000;

const GeneratedPage& Page() {
    static const GeneratedPage page = GenerateListingPage(kRows, 20261208);
    return page;
}

const std::string& PageFile() {
    static const std::string path = [] {
        const auto p = std::filesystem::temp_directory_path() /
                       ("folianta_bench_" + std::to_string(getpid()) + ".shtml");
        std::ofstream(p, std::ios::binary) << Page().bytes;
        return p.string();
    }();
    return path;
}

void BM_LoadAndParsePage(benchmark::State& state) {
    const std::string& path = PageFile();
    CFolianta store;
    for (auto _ : state) {
        store.LoadPage(path.c_str());
        benchmark::DoNotOptimize(store.Records().data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * Page().bytes.size()));
    state.counters["records"] = double(store.Records().size());
}
BENCHMARK(BM_LoadAndParsePage)->Unit(benchmark::kMillisecond);

void BM_Reference_MemchrLineSplit(benchmark::State& state) {
    const std::string& bytes = Page().bytes;
    std::vector<const char*> lines;
    for (auto _ : state) {
        lines.clear();
        const char* p = bytes.data();
        const char* const end = p + bytes.size();
        lines.push_back(p);
        while ((p = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p))))) {
            lines.push_back(++p);
        }
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * bytes.size()));
}
BENCHMARK(BM_Reference_MemchrLineSplit)->Unit(benchmark::kMillisecond);

// The part of LoadPage that is not parsing: the file read whole into a fresh buffer, then the
// same memchr split. It shows how much of the distance to the bare split is the read alone.
void BM_Reference_ReadAndMemchrSplit(benchmark::State& state) {
    const std::string& path = PageFile();
    const std::size_t size = Page().bytes.size();
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

// The conditions of both filter benchmarks: both size bounds, 20 wanted authors, 5 unwanted
// authors and 5 ticked genres.
struct Conditions {
    std::string upper = ToCp1251("1000К");
    std::string lower = "5k";
    std::vector<std::string> wanted, unwanted, genres;
    Conditions() {
        const auto& links = Page().authorLinks;
        wanted.assign(links.begin(), links.begin() + 20);
        unwanted.assign(links.begin() + 20, links.begin() + 25);
        for (const char* g : {"Проза", "Фантастика", "Юмор", "Сказки", "Мистика"}) {
            genres.push_back(ToCp1251(g));
        }
    }
};

CFilterList* ListOf(int mode, const std::vector<std::string>& patterns, int field) {
    auto* list = new CFilterList(mode, int(patterns.size()), true);
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        auto* leaf = new CFilterInside(true);
        leaf->SetPattern(patterns[i].c_str(), field);
        list->SetAt(int(i), leaf);
    }
    return list;
}

void BM_ApplyFilterTree(benchmark::State& state) {
    const Conditions c;
    CFolianta store;
    store.LoadPageText(Page().bytes);
    CFilterList root(lmAll, 5, false);
    root.SetAt(0, new CFilterCMP(c.upper.c_str(), 2, true, true));
    root.SetAt(1, new CFilterCMP(c.lower.c_str(), 2, false, true));
    root.SetAt(2, ListOf(lmAny, c.wanted, 4));
    root.SetAt(3, ListOf(lmNone, c.unwanted, 4));
    root.SetAt(4, ListOf(lmAny, c.genres, 3));
    for (auto _ : state) {
        store.ApplyFilter(&root);
        benchmark::DoNotOptimize(store.ShownCount());
    }
    state.counters["shown"] = store.ShownCount();
}
BENCHMARK(BM_ApplyFilterTree)->Unit(benchmark::kMillisecond);

bool ContainsAny(const char* text, const std::vector<std::string>& patterns) {
    bool any = false;
    for (const std::string& p : patterns) {
        any = (std::strstr(text, p.c_str()) != nullptr) || any;
    }
    return any;
}

void BM_Reference_HandWrittenFilterLoop(benchmark::State& state) {
    const Conditions c;
    CFolianta store;
    store.LoadPageText(Page().bytes);
    std::vector<TZRecord> shown;
    for (auto _ : state) {
        shown.clear();
        shown.reserve(1000);
        for (const TZRecord& r : store.Records()) {
            const bool below = CompareSizeText(r.size, c.upper.c_str()) < 0;
            const bool above = CompareSizeText(r.size, c.lower.c_str()) > 0;
            const bool wanted = ContainsAny(r.autorLink, c.wanted);
            const bool unwanted = ContainsAny(r.autorLink, c.unwanted);
            const bool genre = ContainsAny(r.zanr, c.genres);
            if (below && above && wanted && !unwanted && genre) {
                shown.push_back(r);
            }
        }
        benchmark::DoNotOptimize(shown.data());
    }
    state.counters["shown"] = double(shown.size());
}
BENCHMARK(BM_Reference_HandWrittenFilterLoop)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(PageFile());
    return 0;
}
