#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <optional>
#include <string>

#include "app/PageFetch.h"

class QThread;
class TCheckWorker;

// One get of the page, as the window asks for it.
struct TCheckJob {
    std::string address;  // Windows-1251, as the address box gives it
    THeaderInfo request;  // the designed fields and the proxy set-up
    std::optional<TPageValidators> validators;
    bool shown = false;  // the page shown is address's page
};

// What a get of the page came to.
struct TCheckResult {
    std::optional<TFetchedPage> page;  // none when it failed
    std::string error;                 // why it failed, Windows-1251
    // What a 429 or 503 asked to wait, in seconds.
    std::optional<std::int64_t> retryAfter;
};

// Gets the page on a thread of its own with a client of its own, so that the window's thread
// neither waits nor runs a nested event loop for it. One get at a time; its end comes back on
// the window's thread.
class TPageCheck : public QObject {
public:
    explicit TPageCheck(QObject* parent);
    // Cancels a get under way and waits for its end, whose answer is dropped.
    ~TPageCheck() override;

    // Starts job; done gets its end on this object's thread.
    void Start(TCheckJob job, std::function<void(TCheckResult)> done);

private:
    QThread* thread;
    TCheckWorker* worker;
    std::atomic<bool> stopping{false};
};
