// Window benchmarks, run offscreen in a window that is shown and exposed for real; every case
// counts the paint events of the result table, so a paint that never happened cannot pass for
// a fast one.
//   Button4Click with the heavy filter over 1,000,000 records (tree, refilter, table rewrite
//   and one paint)  against FilterRecords alone with the same tree, apart and turn about on one
//   store; the same with "Только непросмотренные" ticked, in a window with a history;
//   the time from creating the main window on a 25 MB "short.shtml" to its first paint; the same
//   with a history that met every work of the page yesterday, against the same start without
//   a history, turn about, and the time until the history's marks were shown.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fstream>

#include "app/Cp1251.h"
#include "app/Unit1.h"
#include "bench/FilterSetups.h"
#include "history/Unithistory.h"
#include "tests/support/PageGenerator.h"

namespace {

constexpr std::size_t kFilterRows = 1'000'000;
// Rows of a page of about 25 MB.
constexpr std::size_t kLargeRows = 104'000;
constexpr std::uint32_t kSeed = 20261208;
constexpr int kExposeTimeoutMs = 5000;

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) : QObject(widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

// Handles events until the counted widget was painted; false when it never was.
bool PumpUntilPainted(const PaintCounter& counter) {
    QElapsedTimer waited;
    waited.start();
    while (counter.paints == 0 && !waited.hasExpired(kExposeTimeoutMs)) {
        QCoreApplication::processEvents();
    }
    return counter.paints > 0;
}

// Makes the working folder a fresh empty one for as long as it lives.
class EmptyFolder {
public:
    EmptyFolder() { QDir::setCurrent(folder.path()); }

protected:
    QTemporaryDir folder;
};

const GeneratedPage& FilterPageBytes() {
    static const GeneratedPage page = GenerateListingPage(kFilterRows, kSeed);
    return page;
}

// Sets the window's filter controls to setup; the author lists go into store.
void SetControls(TForm1& form, CFolianta& store, const FilterSetup& setup) {
    for (const std::string& link : setup.wanted) {
        store.GetAutorList1().push_back(TAutorInf::Make(link.c_str(), "", ""));
    }
    for (const std::string& link : setup.unwanted) {
        store.GetAutorList2().push_back(TAutorInf::Make(link.c_str(), "", ""));
    }
    for (int i = 0; i < form.ZanrList->Count(); ++i) {
        const std::string genre = ToCp1251(form.ZanrList->ItemText(i).toStdString());
        form.ZanrList->SetChecked(
            i, std::find(setup.genres.begin(), setup.genres.end(), genre) != setup.genres.end());
    }
    form.SizeMaxEdit->setText(DecodeCp1251(setup.upper.c_str()));
    form.SizeMinEdit->setText(DecodeCp1251(setup.lower.c_str()));
    form.SizeMaxCheck->setChecked(setup.sizeMax);
    form.SizeMinCheck->setChecked(setup.sizeMin);
    form.AutorCheck->setChecked(!setup.wanted.empty());
    form.NotAutorCheck->setChecked(!setup.unwanted.empty());
    form.ZanrCheck->setChecked(setup.zanr);
}

// Shows the window until it is exposed, loads the 1,000,000-record page and sets the controls
// to the heavy filter; false, with the benchmark skipped, when the window was never exposed.
bool ShowWithHeavySetup(benchmark::State& state, TForm1& form, CFolianta& store) {
    form.show();
    if (!QTest::qWaitForWindowExposed(&form, kExposeTimeoutMs)) {
        state.SkipWithError("the window was never exposed");
        return false;
    }
    store.LoadPageText(FilterPageBytes().bytes);
    SetControls(form, store, HeavySetup(FilterPageBytes()));
    return true;
}

// Runs Button4Click and a paint of the table in every iteration; skips the benchmark unless the
// table was painted every time and shows the filtered records.
void ClickWithPaint(benchmark::State& state, TForm1& form, const CFolianta& store) {
    const PaintCounter* counter = new PaintCounter(form.Table1->viewport());
    for (auto _ : state) {
        form.Button4Click();
        form.Table1->viewport()->repaint();
    }
    if (counter->paints < int(state.iterations())) {
        state.SkipWithError("the table was not painted on every run");
    }
    const std::unique_ptr<CFilterList> root = BuildTree(HeavySetup(FilterPageBytes()));
    const std::size_t shown = FilterRecords(store.Records(), root.get()).size();
    if (shown == 0 || std::size_t(form.Table1->RowCount()) != shown + 1) {
        state.SkipWithError("the table does not show the filtered records");
    }
    state.counters["shown"] = double(shown);
    state.counters["paints"] = counter->paints;
}

void BM_Button4ClickWithPaint_HeavyTree(benchmark::State& state) {
    EmptyFolder folder;
    CFolianta store;
    TForm1 form(store);
    if (!ShowWithHeavySetup(state, form, store)) {
        return;
    }
    ClickWithPaint(state, form, store);
}
BENCHMARK(BM_Button4ClickWithPaint_HeavyTree)->Unit(benchmark::kMillisecond);

void BM_Reference_ApplyFilterAlone_HeavyTree(benchmark::State& state) {
    CFolianta store;
    store.LoadPageText(FilterPageBytes().bytes);
    const std::unique_ptr<CFilterList> root = BuildTree(HeavySetup(FilterPageBytes()));
    std::vector<std::uint32_t> kept;
    for (auto _ : state) {
        kept = FilterRecords(store.Records(), root.get(), std::move(kept));
        benchmark::DoNotOptimize(kept.data());
    }
    state.counters["shown"] = double(kept.size());
}
BENCHMARK(BM_Reference_ApplyFilterAlone_HeavyTree)->Unit(benchmark::kMillisecond);

// Both of the above on one store, turn about in every iteration, so that the page's place in
// memory and the machine's drift weigh on both alike; the counter "ratio" is the first's total
// time over the second's.
// Button4Click with a paint and FilterRecords of the heavy tree alone, turn about in every
// iteration on the window's own store; the counter "ratio" is the first's total time over the
// second's.
void ClickOverFilter(benchmark::State& state, TForm1& form, CFolianta& store) {
    const std::unique_ptr<CFilterList> root = BuildTree(HeavySetup(FilterPageBytes()));
    const PaintCounter* counter = new PaintCounter(form.Table1->viewport());
    QElapsedTimer timer;
    std::int64_t clickNs = 0;
    std::int64_t filterNs = 0;
    std::vector<std::uint32_t> kept;
    for (auto _ : state) {
        timer.start();
        form.Button4Click();
        form.Table1->viewport()->repaint();
        clickNs += timer.nsecsElapsed();
        timer.start();
        kept = FilterRecords(store.Records(), root.get(), std::move(kept));
        benchmark::DoNotOptimize(kept.data());
        filterNs += timer.nsecsElapsed();
    }
    if (counter->paints < int(state.iterations())) {
        state.SkipWithError("the table was not painted on every run");
    }
    state.counters["shown"] = double(kept.size());
    state.counters["ratio"] = filterNs > 0 ? double(clickNs) / double(filterNs) : 0.0;
}

void BM_Button4ClickOverApplyFilter_SameStore(benchmark::State& state) {
    EmptyFolder folder;
    CFolianta store;
    TForm1 form(store);
    if (ShowWithHeavySetup(state, form, store)) {
        ClickOverFilter(state, form, store);
    }
}
BENCHMARK(BM_Button4ClickOverApplyFilter_SameStore)->Unit(benchmark::kMillisecond);

// The same with "Только непросмотренные" ticked, on the 1,000,000-record page loaded through
// "Чтение из файла" into a window with a history.
void BM_Button4ClickOverApplyFilter_UnseenOnly(benchmark::State& state) {
    EmptyFolder folder;
    std::ofstream("H:\\long.shtml", std::ios::binary) << FilterPageBytes().bytes << std::flush;
    CFolianta store;
    TForm1 form(store, QDir::current().filePath("history.sqlite").toStdString());
    form.show();
    if (!QTest::qWaitForWindowExposed(&form, kExposeTimeoutMs)) {
        state.SkipWithError("the window was never exposed");
        return;
    }
    form.Button1Click();
    // The page's marks come from the history's thread.
    while (!form.MarksShown()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    SetControls(form, store, HeavySetup(FilterPageBytes()));
    form.UnseenCheck->setChecked(true);
    ClickOverFilter(state, form, store);
}
BENCHMARK(BM_Button4ClickOverApplyFilter_UnseenOnly)->Unit(benchmark::kMillisecond);

void BM_StartUpToFirstPaint25MB(benchmark::State& state) {
    EmptyFolder folder;
    const GeneratedPage page = GenerateListingPage(kLargeRows, kSeed);
    std::ofstream("short.shtml", std::ios::binary) << page.bytes << std::flush;
    int painted = 0;
    for (auto _ : state) {
        CFolianta store;
        TForm1 form(store);
        const PaintCounter* counter = new PaintCounter(form.Table1->viewport());
        form.show();
        painted += PumpUntilPainted(*counter);
        benchmark::DoNotOptimize(store.Records().size());
    }
    if (painted != int(state.iterations())) {
        state.SkipWithError("the table was not painted after every start-up");
    }
    state.counters["page_MB"] = double(page.bytes.size()) / 1e6;
}
BENCHMARK(BM_StartUpToFirstPaint25MB)->Unit(benchmark::kMillisecond)->Iterations(5);

// Creates the main window on "short.shtml" with the history at historyPath (none when empty)
// and handles events until its table was painted; the nanoseconds that took, or -1 when it was
// never painted. marksNs, when given, gets the time until the history's marks were shown.
std::int64_t StartUp(const std::string& historyPath, std::int64_t* marksNs = nullptr) {
    QElapsedTimer timer;
    timer.start();
    CFolianta store;
    TForm1 form(store, historyPath);
    const PaintCounter* counter = new PaintCounter(form.Table1->viewport());
    form.show();
    if (!PumpUntilPainted(*counter)) {
        return -1;
    }
    const std::int64_t paintedNs = timer.nsecsElapsed();
    if (marksNs) {
        while (!form.MarksShown() && !timer.hasExpired(60'000)) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        }
        *marksNs = form.MarksShown() ? timer.nsecsElapsed() : -1;
    }
    return paintedNs;
}

void BM_StartUpWithHistoryMetYesterdayOverWithout(benchmark::State& state) {
    EmptyFolder folder;
    const GeneratedPage page = GenerateListingPage(kLargeRows, kSeed);
    std::ofstream("short.shtml", std::ios::binary) << page.bytes << std::flush;
    const std::string known = QDir::current().filePath("known.sqlite").toStdString();
    const std::string history = QDir::current().filePath("history.sqlite").toStdString();
    const std::int64_t yesterday = QDateTime::currentSecsSinceEpoch() - 24 * 60 * 60;
    {
        CFolianta store;
        store.LoadPageText(page.bytes);
        std::vector<TMetWork> works;
        for (const TZRecord& record : store.Records()) {
            works.push_back({record.workLink, record.size});
        }
        CHistory(known, yesterday).RecordLoad(works, yesterday);
    }
    // A start of each kind first, unmeasured: the first start of a process reads the page, the
    // fonts and Qt's own files anew.
    StartUp({});
    StartUp(known);
    std::int64_t withNs = 0, withoutNs = 0, marksNs = 0;
    bool painted = true;
    bool withFirst = true;
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(QString::fromStdString(history));
        QFile::copy(QString::fromStdString(known), QString::fromStdString(history));
        sync();  // the copy's writing is not the start-up's
        state.ResumeTiming();
        // Which goes first alternates, so that neither always follows the other's clean-up.
        std::int64_t marks = 0, with = 0, without = 0;
        withFirst = !withFirst;
        if (withFirst) {
            with = StartUp(history, &marks);
            without = StartUp({});
        } else {
            without = StartUp({});
            with = StartUp(history, &marks);
        }
        painted = painted && with > 0 && without > 0 && marks > 0;
        withNs += with;
        withoutNs += without;
        marksNs += marks;
    }
    if (!painted) {
        state.SkipWithError("a start-up was not painted, or its marks never came");
        return;
    }
    const double runs = double(state.iterations());
    state.counters["with_ms"] = double(withNs) / runs / 1e6;
    state.counters["without_ms"] = double(withoutNs) / runs / 1e6;
    state.counters["marks_ms"] = double(marksNs) / runs / 1e6;
    state.counters["ratio"] = double(withNs) / double(withoutNs);
}
BENCHMARK(BM_StartUpWithHistoryMetYesterdayOverWithout)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(6);

}  // namespace
