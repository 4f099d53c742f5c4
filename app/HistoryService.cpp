#include "app/HistoryService.h"

#include <sys/resource.h>
#include <unistd.h>
#include <QEvent>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <ctime>
#include <deque>
#include <set>

namespace {

// The history thread's nice value: when the cores are busy, the window's thread goes first.
constexpr int kNiceness = 10;

// How long opening and each call wait for another copy's lock before they are tried again
// later; short, so that the thread can stop soon when the window closes.
constexpr int kBusyMs = 250;

QString FileName(const std::string& path) {
    return QString::fromStdString(path);
}

// Brings found its answer on the thread of context: the validators the call read, or none when
// the call failed or was dropped unrun, so that the one who asked always hears back.
class TValidatorsAnswer {
public:
    TValidatorsAnswer(QObject* context, std::function<void(std::optional<TPageValidators>)> found)
        : context(context), found(std::move(found)) {}
    TValidatorsAnswer(const TValidatorsAnswer&) = delete;
    TValidatorsAnswer& operator=(const TValidatorsAnswer&) = delete;
    ~TValidatorsAnswer() { Give(std::nullopt); }

    void Give(std::optional<TPageValidators> validators) {
        if (found) {
            QMetaObject::invokeMethod(
                context,
                [found = std::move(found), validators = std::move(validators)] {
                    found(validators);
                },
                Qt::QueuedConnection);
            found = nullptr;
        }
    }

private:
    QObject* context;
    std::function<void(std::optional<TPageValidators>)> found;
};

// The sentence that tells the user of failure of the history; off: the history is closed.
QString HistoryFailureMessage(const CHistoryError& failure, bool off) {
    QString reason;
    switch (failure.fault) {
        case THistoryFault::noSpace:
            reason = QStringLiteral("на диске нет места");
            break;
        case THistoryFault::noRight:
            reason = QStringLiteral("нет права на запись");
            break;
        case THistoryFault::locked:
            reason = QStringLiteral("файл занят другой запущенной копией программы");
            break;
        case THistoryFault::damaged:
            reason = QStringLiteral("файл повреждён");
            break;
        case THistoryFault::foreign:
            reason = QStringLiteral("файл записан другой программой");
            break;
        case THistoryFault::failed:
            reason = QStringLiteral("ошибка чтения или записи файла");
            break;
    }
    return (off ? QStringLiteral("История произведений «%1» недоступна, пометки не "
                                 "показываются: %2")
                : QStringLiteral("Не удалось записать историю произведений «%1»: %2"))
        .arg(FileName(failure.path), reason);
}

// The work links of the records numbered records of page.
std::vector<std::string_view> LinksOf(const THistoryPage& page,
                                      const std::vector<std::uint32_t>& records) {
    std::vector<std::string_view> links;
    links.reserve(records.size());
    for (const std::uint32_t record : records) {
        links.push_back((*page.records)[record].workLink);
    }
    return links;
}

}  // namespace

// Lives on the history's thread: opens the history there and runs the queued calls on it.
class THistoryWorker : public QObject {
public:
    THistoryWorker(std::string path, THistoryService* service)
        : path(std::move(path)), service(service) {}

    void Add(std::function<void(CHistory&)> job) {
        jobs.push_back(std::move(job));
        Pump();
    }

    // Runs what is queued, trying a locked file again later; finally, once more and no later.
    void Pump(bool finally = false) {
        if (retrying && !finally) {
            return;  // the timer comes back
        }
        retrying = false;
        try {
            if (!off && !history) {
                history = std::make_unique<CHistory>(path, std::time(nullptr), kBusyMs);
                if (!history->MovedAside().empty()) {
                    TellMovedAside();
                }
            }
            while (!off && !jobs.empty()) {
                jobs.front()(*history);
                jobs.pop_front();
                lockedSince = 0;
            }
        } catch (const CHistoryError& failure) {
            Failed(failure, finally);
        } catch (const std::exception& failure) {
            Failed(CHistoryError(THistoryFault::failed, path, failure.what()), finally);
        }
    }

private:
    void Failed(const CHistoryError& failure, bool finally) {
        if (failure.fault == THistoryFault::locked && !finally) {
            WaitForLock(failure);
            return;
        }
        // Opening failed: there is no history this run. A call failed: it is dropped, as the
        // file and the history in memory are as before it.
        const bool closed = !history;
        off = off || closed;
        Tell(failure, closed);
        if (off) {
            jobs.clear();
        } else if (!jobs.empty()) {
            jobs.pop_front();
            Pump(finally);
        }
    }

    void WaitForLock(const CHistoryError& failure) {
        const std::time_t now = std::time(nullptr);
        if (lockedSince == 0) {
            lockedSince = now;
        } else if ((now - lockedSince) * 1000 >= THistoryService::kTellLockedMs) {
            Tell(failure, false);
        }
        retrying = true;
        QTimer::singleShot(THistoryService::kRetryMs, this, [this] {
            retrying = false;
            Pump();
        });
    }

    void Tell(const CHistoryError& failure, bool closed) {
        if (!told.insert(failure.fault).second) {
            return;
        }
        Send(HistoryFailureMessage(failure, closed), closed);
    }

    void TellMovedAside() {
        const QString message =
            (history->WhyMovedAside() == THistoryFault::foreign
                 ? QStringLiteral("История произведений «%1» записана другой версией программы "
                                  "и сохранена как «%2»; начата новая история")
                 : QStringLiteral("История произведений «%1» была повреждена и сохранена как "
                                  "«%2»; начата новая история"))
                .arg(FileName(path), FileName(history->MovedAside()));
        Send(message, false);
    }

    void Send(const QString& message, bool closed) {
        QMetaObject::invokeMethod(
            service,
            [service = service, message, closed] {
                if (service->onTell) {
                    service->onTell(message, closed);
                }
            },
            Qt::QueuedConnection);
    }

    const std::string path;
    THistoryService* const service;
    std::unique_ptr<CHistory> history;
    std::deque<std::function<void(CHistory&)>> jobs;
    std::set<THistoryFault> told;
    std::time_t lockedSince = 0;
    bool retrying = false;
    bool off = false;
};

THistoryService::THistoryService(const std::string& path, QObject* parent)
    : QObject(parent), thread(new QThread), worker(new THistoryWorker(path, this)) {
    worker->moveToThread(thread);
    connect(thread, &QThread::started, worker,
            [] { setpriority(PRIO_PROCESS, gettid(), kNiceness); });
    Post(nullptr);  // opens the history once started
}

void THistoryService::StartAfterPaintOf(QWidget* widget) {
    widget->installEventFilter(this);
    QTimer::singleShot(kStartLatestMs, this, [this] { Start(); });
}

bool THistoryService::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint) {
        watched->removeEventFilter(this);
        // After the paint that is under way.
        QTimer::singleShot(0, this, [this] { Start(); });
    }
    return false;
}

void THistoryService::Start() {
    if (!thread->isRunning() && !thread->isFinished()) {
        thread->start();
    }
}

THistoryService::~THistoryService() {
    Start();
    QMetaObject::invokeMethod(
        worker,
        [worker = worker, thread = thread] {
            worker->Pump(true);
            thread->quit();
        },
        Qt::QueuedConnection);
    thread->wait();
    delete worker;
    delete thread;
}

void THistoryService::Post(std::function<void(CHistory&)> job) {
    QMetaObject::invokeMethod(
        worker,
        [worker = worker, job = std::move(job)]() mutable {
            if (job) {
                worker->Add(std::move(job));
            } else {
                worker->Pump();
            }
        },
        Qt::QueuedConnection);
}

void THistoryService::RecordPage(THistoryPage page,
                                 std::function<void(std::shared_ptr<const TPageMarks>)> marked) {
    Post([this, page = std::move(page), marked = std::move(marked)](CHistory& history) {
        std::vector<TMetWork> works;
        works.reserve(page.records->size());
        for (const TZRecord& record : *page.records) {
            works.push_back({record.workLink, record.size});
        }
        auto marks =
            std::make_shared<const TPageMarks>(history.RecordLoad(works, std::time(nullptr)));
        QMetaObject::invokeMethod(
            this, [marked, marks] { marked(marks); }, Qt::QueuedConnection);
    });
}

void THistoryService::MarkOpened(std::string link) {
    Post([link = std::move(link)](CHistory& history) {
        history.MarkOpened(link, std::time(nullptr));
    });
}

void THistoryService::MarkUnseen(std::string link) {
    Post([link = std::move(link)](CHistory& history) { history.MarkUnseen(link); });
}

void THistoryService::MarkSeen(THistoryPage page, std::vector<std::uint32_t> records) {
    Post([page = std::move(page), records = std::move(records)](CHistory& history) {
        history.MarkSeen(LinksOf(page, records));
    });
}

void THistoryService::SetHidden(THistoryPage page, std::vector<std::uint32_t> records,
                                bool hidden) {
    Post([page = std::move(page), records = std::move(records), hidden](CHistory& history) {
        history.SetHidden(LinksOf(page, records), hidden);
    });
}

void THistoryService::ReadValidators(std::string address,
                                     std::function<void(std::optional<TPageValidators>)> found) {
    // Through the parent, so that the answer comes even when the service is closed meanwhile.
    auto answer = std::make_shared<TValidatorsAnswer>(parent() ? parent() : this, std::move(found));
    Post([address = std::move(address), answer](CHistory& history) {
        answer->Give(history.Validators(address));
    });
}

void THistoryService::StoreValidators(std::string address, TPageValidators validators) {
    Post([address = std::move(address), validators = std::move(validators)](CHistory& history) {
        history.StoreValidators(address, validators);
    });
}
