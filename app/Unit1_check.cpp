// The main window's automatic checks of the page: their controls, their schedule, the get on a
// thread of its own, and what the window, the tray and the desktop's notifications say of them.
//
// A check and "Чтение со страници" never run at once: no check starts while a fetch by hand
// runs (the tick finds it busy and the check waits for the next tick), and the button is
// disabled while a check runs, which is short, so that a click is never lost in a queue.
#include <QDateTime>
#include <QTimer>
#include <unordered_set>

#include "app/Anchors.h"
#include "app/CheckBox.h"
#include "app/Cp1251.h"
#include "app/DesktopNotice.h"
#include "app/HistoryService.h"
#include "app/PageCheck.h"
#include "app/Unit1.h"

namespace {

// How often the window asks the schedule; a check is at most this late.
constexpr int kTickMs = 30'000;
// The minutes the spin box offers when no periodic check was set.
constexpr int kDefaultMinutes = 60;

QString FailedCheckText(const QString& reason) {
    return QStringLiteral("Проверка не удалась: %1").arg(reason);
}

}  // namespace

void TForm1::CreateCheckControls() {
    const int topRight = TAnchors::akTop | TAnchors::akRight;
    StartCheckBox = new TCheckBox(QStringLiteral("Проверять при запуске"), this);
    anchors->Place(StartCheckBox, {727, 340, 145, 17}, topRight);
    EveryCheckBox = new TCheckBox(QStringLiteral("Проверять каждые"), this);
    anchors->Place(EveryCheckBox, {727, 362, 145, 17}, topRight);
    EveryMinutesEdit = new QSpinBox(this);
    EveryMinutesEdit->setRange(CCheckSchedule::kMinMinutes, CCheckSchedule::kMaxMinutes);
    EveryMinutesEdit->setSuffix(QStringLiteral(" мин"));
    EveryMinutesEdit->setAccessibleName(QStringLiteral("Минут между проверками"));
    anchors->Place(EveryMinutesEdit, {745, 381, 81, 21}, topRight);
    CheckStateLabel = new QLabel(this);
    CheckStateLabel->setAccessibleName(QStringLiteral("Последняя проверка"));
    CheckStateLabel->setWordWrap(true);
    CheckStateLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    anchors->Place(CheckStateLabel, {727, 408, 145, 56}, topRight);
}

void TForm1::StartChecks() {
    checkSettings = ReadCheckSettings();
    StartCheckBox->setChecked(checkSettings.onStart);
    EveryCheckBox->setChecked(checkSettings.everyMinutes != 0);
    EveryMinutesEdit->setValue(checkSettings.everyMinutes != 0 ? checkSettings.everyMinutes
                                                               : kDefaultMinutes);
    for (QCheckBox* box : {StartCheckBox, EveryCheckBox}) {
        connect(box, &QCheckBox::toggled, this, [this] { CheckControlsChanged(); });
    }
    connect(EveryMinutesEdit, &QSpinBox::valueChanged, this, [this] { CheckControlsChanged(); });
    notice = new TDesktopNotice(this);
    pageCheck = new TPageCheck(this);
    schedule.SetInterval(checkSettings.everyMinutes);
    if (checkSettings.onStart) {
        schedule.CheckSoon();
    }
    // A fetch by hand finds the validators of the addresses it offers without waiting.
    if (history) {
        QStringList addresses{CheckAddress()};
        for (int i = 0; i < ComboBox1->count(); ++i) {
            addresses << ComboBox1->itemText(i);
        }
        addresses.removeDuplicates();
        for (const QString& address : addresses) {
            const std::string bytes = EncodeCp1251(address);
            history->ReadValidators(bytes, [this, bytes](std::optional<TPageValidators> found) {
                if (found && !knownValidators.contains(bytes)) {
                    KeepValidators(bytes, *found);
                }
            });
        }
    }
    checkTimer = new QTimer(this);
    connect(checkTimer, &QTimer::timeout, this, [this] { CheckTick(); });
    checkTimer->start(kTickMs);
    // The start-up check goes once the window is up.
    QTimer::singleShot(0, this, [this] { CheckTick(); });
}

void TForm1::CheckControlsChanged() {
    const int minutesBefore = checkSettings.everyMinutes;
    checkSettings.onStart = StartCheckBox->isChecked();
    checkSettings.everyMinutes = EveryCheckBox->isChecked() ? EveryMinutesEdit->value() : 0;
    if (checkSettings.everyMinutes != minutesBefore) {
        schedule.SetInterval(checkSettings.everyMinutes);
    }
    WriteCheckSettings(checkSettings);
}

QString TForm1::CheckAddress() const {
    return checkSettings.address.isEmpty() ? ComboBox1->itemText(0) : checkSettings.address;
}

void TForm1::CheckTick() {
    if (schedule.Due()) {
        CheckNow();
    }
}

void TForm1::CheckNow() {
    if (checkRunning || fetchingByHand) {
        return;
    }
    checkRunning = true;
    Button2->setEnabled(false);
    schedule.Started();
    StartCheck();
}

void TForm1::StartCheck() {
    auto job = std::make_shared<TCheckJob>();
    job->address = EncodeCp1251(CheckAddress());
    job->request = Http1.Request;
    try {
        SetUpRequest(job->request);
    } catch (const std::exception& error) {
        // A proxy port that is no number: the check fails as the get would.
        FinishCheck(job->address, {std::nullopt, error.what(), std::nullopt});
        return;
    }
    const auto run = [this, job](std::optional<TPageValidators> validators) {
        if (validators) {
            KeepValidators(job->address, *validators);
        }
        job->validators = std::move(validators);
        job->shown = job->address == shownAddress;
        pageCheck->Start(*job, [this, address = job->address](const TCheckResult& result) {
            // Nothing may unwind into the event loop, and a check never opens a box: a page
            // that cannot be loaded is told in the label.
            try {
                FinishCheck(address, result);
            } catch (const std::exception& error) {
                const QString reason = DecodeCp1251(error.what());
                TellCheckState(FailedCheckText(reason), reason);
            }
        });
    };
    if (history) {
        history->ReadValidators(job->address, run);
    } else {
        run(KnownValidators(job->address));
    }
}

void TForm1::FinishCheck(const std::string& address, const TCheckResult& result) {
    checkRunning = false;
    Button2->setEnabled(true);
    schedule.Finished(
        result.page ? CCheckSchedule::TOutcome::done : CCheckSchedule::TOutcome::failed,
        result.retryAfter);
    if (!result.page) {
        const QString reason = DecodeCp1251(result.error.c_str());
        TellCheckState(FailedCheckText(reason), reason);
        return;
    }
    if (result.page->kind != TFetchedPage::saved) {
        ShowFetchedPage(address, *result.page);
        TellCheckState(QStringLiteral("Страница не изменилась"), QString());
        return;
    }
    // The works of the page shown before, to tell the new ones among those the filters pass.
    std::unordered_set<std::string_view> before;
    const std::shared_ptr<const char[]> beforeText = store.PageBuffer();
    for (const TZRecord& record : store.Records()) {
        before.insert(record.workLink);
    }
    ShowFetchedPage(address, *result.page);
    QStringList titles;
    for (const std::uint32_t number : view.Shown()) {
        const TZRecord& record = view.Records()[number];
        if (!before.contains(record.workLink)) {
            titles << DecodeCp1251(record.title);
        }
    }
    TellCheckState(QStringLiteral("Проверено в %1: %2 новых")
                       .arg(QTime::currentTime().toString(QStringLiteral("HH:mm")))
                       .arg(titles.size()),
                   QString());
    if (!titles.isEmpty()) {
        notice->TellNewWorks(int(titles.size()), titles);
    }
}

void TForm1::TellCheckState(const QString& text, const QString& failure) {
    checkFailure = failure;
    CheckStateLabel->setText(text);
    CheckStateLabel->setToolTip(text);
    ShowMarkCounts();
}
