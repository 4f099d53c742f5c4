#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/Unitfolianta_records.h"
#include "history/Unithistory.h"

class QThread;
class QWidget;
class THistoryWorker;

// A loaded page as the history needs it: its records and the text they point into, shared, so
// that they stay readable while the history works on them whatever is loaded since.
struct THistoryPage {
    std::shared_ptr<const char[]> text;
    std::shared_ptr<const std::vector<TZRecord>> records;
};

// The history of works on a thread of its own, so that opening it, a first load of many works
// or another copy's lock never holds the window. Calls queue up and run in order; answers come
// back on the window's thread through the event loop. A history locked by another running copy
// is tried again in the background until the lock ends; only a wait longer than kTellLockedMs
// is told.
class THistoryService : public QObject {
public:
    static constexpr int kRetryMs = 500;
    static constexpr int kTellLockedMs = 30'000;

    // At the latest, the history starts this long after it was made.
    static constexpr int kStartLatestMs = 1000;

    // Makes the history at path, to be opened once the window has painted: see StartAfterPaintOf.
    THistoryService(const std::string& path, QObject* parent);
    // Runs the calls queued so far (one more try when the file is locked), then stops.
    ~THistoryService() override;

    // Records the works of page, met now; marked then gets their marks, on the window's thread.
    // A history that cannot be used gives no marks.
    void RecordPage(THistoryPage page,
                    std::function<void(std::shared_ptr<const TPageMarks>)> marked);
    // The work at link was opened now.
    void MarkOpened(std::string link);
    // The work at link is unseen again.
    void MarkUnseen(std::string link);
    // The works numbered records of page are seen.
    void MarkSeen(THistoryPage page, std::vector<std::uint32_t> records);
    // The works numbered records of page are hidden (true) or shown again (false).
    void SetHidden(THistoryPage page, std::vector<std::uint32_t> records, bool hidden);
    // The validators kept for address go to found, on the window's thread; none when there are
    // none or the history cannot be used. found is called exactly once, the service closed
    // meanwhile or not, unless its parent goes first.
    void ReadValidators(std::string address,
                        std::function<void(std::optional<TPageValidators>)> found);
    // Keeps validators for address (see CHistory::StoreValidators).
    void StoreValidators(std::string address, TPageValidators validators);

    // Starts opening the history, and the calls queued meanwhile, once widget was first painted
    // (or kStartLatestMs after this call), so that reading the history does not compete with the
    // window's own start-up for the cores and the memory.
    void StartAfterPaintOf(QWidget* widget);

    // Told, on the window's thread, one sentence for the user: a failure (at most once per kind
    // in a run) or a file moved aside. off: the history is closed for the rest of the run.
    std::function<void(const QString& message, bool off)> onTell;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Post(std::function<void(CHistory&)> job);
    void Start();

    QThread* thread;
    THistoryWorker* worker;
};
