// Peak memory of the main window with a 250 MB page loaded and every record shown, above the
// window's own baseline, as a multiple of the page size (the page text itself is the floor:
// the records point into it). The page is generated and written by a child process, so its
// making does not count in this process's peak.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <fstream>
#include <string>

#include "app/Unit1.h"
#include "bench/MemoryBench.h"

namespace {

// Rows of a page of about 250 MB; the window's "Чтение из файла" reads this file name.
constexpr std::size_t kRows = 960'000;
constexpr const char* kLocalPage = "H:\\long.shtml";
constexpr int kExposeTimeoutMs = 5000;

void BM_PeakMemory_250MBPageAllShown(benchmark::State& state) {
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    if (!WritePageInChild(kLocalPage, kRows)) {
        state.SkipWithError("cannot write the page");
        return;
    }
    const double pageBytes = double(QFileInfo(kLocalPage).size());
    CFolianta store;
    TForm1 form(store);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form, kExposeTimeoutMs)) {
        state.SkipWithError("the window was never exposed");
        return;
    }
    form.Table1->viewport()->repaint();
    const double baselineKb = StatusKilobytes("VmHWM");
    for (auto _ : state) {
        form.Button1Click();
        form.Table1->viewport()->repaint();
    }
    const double peakKb = StatusKilobytes("VmHWM");
    const int shown = form.Table1->RowCount() - 1;
    if (shown == 0 || std::size_t(shown) != store.Records().size()) {
        state.SkipWithError("not every record is shown");
    }
    state.counters["page_MB"] = pageBytes / 1e6;
    state.counters["peak_above_baseline_MB"] = (peakKb - baselineKb) * 1024 / 1e6;
    state.counters["peak_per_page_byte"] = (peakKb - baselineKb) * 1024 / pageBytes;
    state.counters["shown"] = shown;
}
BENCHMARK(BM_PeakMemory_250MBPageAllShown)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
