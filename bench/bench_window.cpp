// Window benchmarks on generated pages, run offscreen:
//   Button4Click with every record shown, table rewrite and one paint included, beside
//   ApplyFilter alone with the same (empty) tree: their ratio is what counts;
//   the time from creating the main window on a 25 MB "short.shtml" to its first paint.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <fstream>

#include "app/Unit1.h"
#include "bench/PageGenerator.h"
#include "filter/Unitfilter.h"

namespace {

constexpr std::size_t kRows = 100'000;
// Rows of a page of about 25 MB.
constexpr std::size_t kLargeRows = 104'000;

// A working folder whose "short.shtml" is a generated page of the given rows.
class PageFolder {
public:
    explicit PageFolder(std::size_t rows) {
        const GeneratedPage page = GenerateListingPage(rows, 20261208);
        bytes = page.bytes.size();
        std::ofstream(folder.filePath("short.shtml").toStdString(), std::ios::binary) << page.bytes;
        QDir::setCurrent(folder.path());
    }
    std::size_t bytes = 0;

private:
    QTemporaryDir folder;
};

void BM_Button4ClickWithPaint(benchmark::State& state) {
    PageFolder folder(kRows);
    CFolianta store;
    TForm1 form(store);
    form.show();
    for (auto _ : state) {
        form.Button4Click();
        form.Table1->viewport()->repaint();
    }
    state.counters["shown"] = store.ShownCount();
}
BENCHMARK(BM_Button4ClickWithPaint)->Unit(benchmark::kMillisecond);

void BM_Reference_ApplyFilterAlone(benchmark::State& state) {
    PageFolder folder(kRows);
    CFolianta store;
    store.LoadPage("short.shtml");
    for (auto _ : state) {
        CFilterList root(lmAll, 0, false);  // the tree of a window with no switch on
        store.ApplyFilter(&root);
    }
    state.counters["shown"] = store.ShownCount();
}
BENCHMARK(BM_Reference_ApplyFilterAlone)->Unit(benchmark::kMillisecond);

void BM_StartUpToFirstPaint25MB(benchmark::State& state) {
    PageFolder folder(kLargeRows);
    for (auto _ : state) {
        CFolianta store;
        TForm1 form(store);
        form.show();
        form.repaint();
        benchmark::DoNotOptimize(store.ShownCount());
    }
    state.counters["page_MB"] = double(folder.bytes) / 1e6;
}
BENCHMARK(BM_StartUpToFirstPaint25MB)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
