// "Чтение со страници" in the offscreen window, on a generated page of about 250 MB:
//   the peak memory of Button2Click fetching the page from loopback, beside Button1Click
//   ("Чтение из файла") loading the same bytes from disk, in the same run: the ratio of their
//   peak_MB counters is what counts. Each starts from an empty store and counts the resident
//   memory it adds at its peak, so the window's own memory is left out of both.
//   The time from pressing the progress dialog's cancel button to the error box.
//   A check of an unchanged page of about 25 MB whose validators are known: the bytes sent and
//   received, and the processor time the window's thread spent on it (the get itself runs on
//   the check's thread; the window's thread asks the history, starts it and takes its end).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <time.h>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <stdexcept>

#include "app/ErrorBox.h"
#include "app/Unit1.h"
#include "bench/MemoryBench.h"
#include "bench/PageServer.h"

namespace {

using Clock = std::chrono::steady_clock;

// Rows of a page of about 250 MB.
constexpr std::size_t kLargeRows = 1'040'000;
constexpr int kMemoryRuns = 2;
constexpr int kCancelRuns = 5;
// Rows of a page of about 25 MB, and the checks of it measured.
constexpr std::size_t kCheckedRows = 104'000;
constexpr int kCheckRuns = 5;
constexpr int kCheckWaitMs = 60'000;
// The file "Чтение из файла" reads; in the working folder on this platform.
constexpr char kLocalPage[] = "H:\\long.shtml";

// A working folder whose fixed local page holds a generated page, and a window on it whose
// address box points at a server of that page.
class DownloadBench {
public:
    explicit DownloadBench(TPageServer::Mode mode, std::size_t rows = kLargeRows,
                           const std::string& historyPath = {}) {
        QDir::setCurrent(folder.path());
        if (!WritePageInChild(kLocalPage, rows)) {
            throw std::runtime_error("cannot write the page");
        }
        pageBytes = std::size_t(QFileInfo(kLocalPage).size());
        server = std::make_unique<TPageServer>(folder.filePath(kLocalPage).toStdString(), mode);
        form = std::make_unique<TForm1>(store, historyPath);
        form->ComboBox1->setEditText(QString::fromStdString(server->Address("/long.shtml")));
        form->show();
        previousPresenter =
            SetErrorPresenter([this](QWidget*, const QString&, const QString& text) {
                errors << text;
                errorShownAt = Clock::now();
            });
    }
    ~DownloadBench() { SetErrorPresenter(previousPresenter); }

    // Runs command once per iteration from an empty store and reports the largest resident
    // memory it added.
    template <typename Command>
    void MeasurePeak(benchmark::State& state, Command command) {
        double worstKb = 0;
        for (auto _ : state) {
            state.PauseTiming();
            store.LoadPageText({});
            form->Button4Click();
            malloc_trim(0);  // freed memory handed back, so the baseline is what is in use
            const double before = StatusKilobytes("VmRSS");
            ResetPeakMemory();
            state.ResumeTiming();
            command();
            state.PauseTiming();
            worstKb = std::max(worstKb, StatusKilobytes("VmHWM") - before);
            state.ResumeTiming();
        }
        if (!errors.isEmpty()) {
            state.SkipWithError(errors.join(' ').toStdString().c_str());
        }
        state.counters["peak_MB"] = worstKb / 1024;
        state.counters["page_MB"] = double(pageBytes) / (1 << 20);
        state.counters["records"] = double(store.Records().size());
    }

    QTemporaryDir folder;
    std::size_t pageBytes = 0;
    std::unique_ptr<TPageServer> server;
    CFolianta store;
    std::unique_ptr<TForm1> form;
    ErrorPresenter previousPresenter;
    QStringList errors;
    Clock::time_point errorShownAt;
};

void BM_DownloadPeakMemory(benchmark::State& state) {
    DownloadBench bench(TPageServer::Mode::kWholePage);
    bench.MeasurePeak(state, [&] { bench.form->Button2->click(); });
}
BENCHMARK(BM_DownloadPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(kMemoryRuns);

void BM_Reference_LoadFromDiskPeakMemory(benchmark::State& state) {
    DownloadBench bench(TPageServer::Mode::kWholePage);
    bench.MeasurePeak(state, [&] { bench.form->Button1->click(); });
}
BENCHMARK(BM_Reference_LoadFromDiskPeakMemory)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kMemoryRuns);

// Presses the cancel button of every progress dialog as soon as it shows, and notes when.
class CancelOnShow : public QObject {
public:
    CancelOnShow() { qApp->installEventFilter(this); }
    ~CancelOnShow() override { qApp->removeEventFilter(this); }
    Clock::time_point pressedAt;

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* dialog = qobject_cast<QProgressDialog*>(object);
        if (dialog && event->type() == QEvent::Show) {
            QTimer::singleShot(0, dialog, [this, dialog] {
                pressedAt = Clock::now();
                dialog->findChild<QPushButton*>()->click();
            });
        }
        return false;
    }
};

void BM_CancelToErrorBox(benchmark::State& state) {
    DownloadBench bench(TPageServer::Mode::kStallAfterHead);
    CancelOnShow canceller;
    for (auto _ : state) {
        bench.errors.clear();
        bench.form->Button2->click();
        if (bench.errors.size() != 1) {
            state.SkipWithError("no error box after cancel");
            break;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(bench.errorShownAt - canceller.pressedAt).count());
    }
}
BENCHMARK(BM_CancelToErrorBox)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(kCancelRuns);

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

void BM_UnchangedPageCheck(benchmark::State& state) {
    // The settings and the history of this run's own, never the user's.
    QTemporaryDir data;
    qputenv("XDG_CONFIG_HOME", data.filePath("config").toUtf8());
    DownloadBench bench(TPageServer::Mode::kWholePage, kCheckedRows,
                        data.filePath("history.sqlite").toStdString());
    const auto check = [&] {
        bench.form->CheckNow();
        QElapsedTimer waited;
        waited.start();
        // Sleeps until events come, so that the wait adds nothing to the thread's time.
        while (bench.form->CheckRunning() && waited.elapsed() < kCheckWaitMs) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return !bench.form->CheckRunning();
    };
    // A fetch by hand brings the page and its validators, and makes its address the checked one.
    bench.form->Button2->click();
    if (!bench.errors.isEmpty()) {
        state.SkipWithError(bench.errors.join(' ').toStdString().c_str());
        return;
    }
    // The history's marks of the page come first, so that only the checks are measured.
    while (!bench.form->MarksShown()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    double windowMs = 0;
    bench.server->received = 0;
    bench.server->sent = 0;
    for (auto _ : state) {
        const double before = ThreadCpuMs();
        if (!check() ||
            bench.form->CheckStateLabel->text() != QStringLiteral("Страница не изменилась")) {
            state.SkipWithError(bench.form->CheckStateLabel->text().toStdString().c_str());
            break;
        }
        windowMs += ThreadCpuMs() - before;
    }
    state.counters["page_MB"] = double(bench.pageBytes) / (1 << 20);
    state.counters["sent_B"] = double(bench.server->received) / kCheckRuns;
    state.counters["received_B"] = double(bench.server->sent) / kCheckRuns;
    state.counters["window_cpu_ms"] = windowMs / kCheckRuns;
}
BENCHMARK(BM_UnchangedPageCheck)->Unit(benchmark::kMillisecond)->Iterations(kCheckRuns);

}  // namespace
