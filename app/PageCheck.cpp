#include "app/PageCheck.h"

#include <QThread>
#include <ctime>
#include <exception>

#include "app/CheckSchedule.h"

namespace {

constexpr int kTooManyRequests = 429;
constexpr int kServiceUnavailable = 503;

// Ends the get once the window goes.
class TStopMonitor final : public TFetchMonitor {
public:
    explicit TStopMonitor(const std::atomic<bool>& stopping) : stopping(stopping) {}
    bool Progress(std::int64_t, std::int64_t) override { return stopping.load(); }

private:
    const std::atomic<bool>& stopping;
};

TCheckResult Run(THttpClient& http, const TCheckJob& job, const std::atomic<bool>& stopping) {
    http.Request = job.request;
    TStopMonitor monitor(stopping);
    TCheckResult result;
    try {
        result.page = FetchPage(http, job.address, job.validators, job.shown, &monitor);
    } catch (const EProtocolReplyError& error) {
        result.error = error.what();
        if (error.ReplyErrorCode() == kTooManyRequests ||
            error.ReplyErrorCode() == kServiceUnavailable) {
            result.retryAfter = RetryAfterSeconds(http.Response().RetryAfter, std::time(nullptr),
                                                  CCheckSchedule::kLongestRetryAfterSeconds);
        }
    } catch (const std::exception& error) {
        result.error = error.what();
    }
    return result;
}

}  // namespace

// Lives on the check's thread with the client of its gets, which keeps its connection between
// them as the window's own client does.
class TCheckWorker : public QObject {
public:
    THttpClient http;
};

TPageCheck::TPageCheck(QObject* parent)
    : QObject(parent), thread(new QThread), worker(new TCheckWorker) {
    worker->moveToThread(thread);
    thread->start();
}

TPageCheck::~TPageCheck() {
    stopping = true;
    QMetaObject::invokeMethod(
        worker, [thread = thread] { thread->quit(); }, Qt::QueuedConnection);
    thread->wait();
    delete worker;
    delete thread;
}

void TPageCheck::Start(TCheckJob job, std::function<void(TCheckResult)> done) {
    QMetaObject::invokeMethod(
        worker,
        [this, worker = worker, job = std::move(job), done = std::move(done)] {
            TCheckResult result = Run(worker->http, job, stopping);
            QMetaObject::invokeMethod(
                this, [done, result = std::move(result)] { done(result); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}
