#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "history/Unithistory_statement.h"
#include "history/Unithistory_table.h"

class CDatabase;

// The history of the works met in loaded pages, kept in an SQLite database: one row per work
// link with the size text last met, when the work was first and last met, whether it was seen
// and when it was opened. Texts are the page's bytes, kept as they are. Beside the works, the
// validators of the pages fetched, by address. A work the reader hid is kept, however long it
// is not met, until it is shown again.
//
// The rows are mirrored in memory, so that a load of a page whose works are known writes little
// and costs one hash look-up per work; only what changed is written, in one transaction per
// call. Another running copy of the program may share the file: a change it made is read in
// before each call. Every call may take long (a first load of many works, another copy's lock):
// the window keeps it away from its own thread.

// What the history says of a work of the loaded page; bits of a marks byte.
enum TWorkMark : std::uint8_t {
    kUnseen = 1,   // met for the first time, or met with another size, since last seen
    kUpdated = 2,  // unseen because its size changed since it was seen
    kOpened = 4,   // opened at least once
    kHidden = 8,   // hidden by the reader until shown again
};

// A work as a loaded page gives it.
struct TMetWork {
    std::string_view link;
    std::string_view size;
};

// What a server said of the page at an address, so that the next get asks only for a change.
struct TPageValidators {
    std::string etag;          // the ETag header's value, as it came
    std::string lastModified;  // the Last-Modified header's value, as it came
    // The caller's own bytes that tell whether the file the page was saved as is still that page.
    std::string pageStamp;

    bool operator==(const TPageValidators&) const = default;
};

// What the history says of the works of one load, by their place in it.
struct TPageMarks {
    std::vector<std::uint8_t> marks;     // TWorkMark bits
    std::vector<std::int64_t> firstMet;  // when each work was first met
    // Of the updated works: the size they had when last seen.
    std::unordered_map<std::uint32_t, std::string> seenSizes;
    // Every work the reader hid, of this page or not, so that a later load can leave them out
    // before its own marks come.
    std::vector<std::string> hiddenLinks;
};

class CHistory {
public:
    // Works not met for longer than this, and the refresh lag below, are forgotten.
    static constexpr std::int64_t kForgetAfterSeconds = std::int64_t(365) * 24 * 60 * 60;
    // A work's last meeting is written anew once in this many days, each work on a day of its
    // own, so a new day rewrites about a thirtieth of a page's works rather than all of them;
    // the date kept may lag the real last meeting by up to this long.
    static constexpr std::int64_t kMetRefreshDays = 30;
    // How long a call waits for another copy's lock before it fails with the locked fault.
    static constexpr int kBusyMs = 5000;

    // Opens the history at path as OpenHistoryFile does, a lock of another copy waited on for
    // busyMs; now names a file moved aside. Throws CHistoryError.
    CHistory(const std::string& path, std::int64_t now, int busyMs = kBusyMs);
    CHistory(const CHistory&) = delete;
    CHistory& operator=(const CHistory&) = delete;
    ~CHistory();

    // Records the works of a page loaded at now (seconds since the epoch): a link not known is
    // added, unseen; a known one met with another size text is unseen again; every one is met
    // now. Then forgets the works, not of this page, not met for kForgetAfterSeconds before the
    // earlier of now and the newest meeting the history knows, so a clock far ahead forgets
    // nothing met lately. No date is ever moved back: a clock behind writes none over a later
    // one. Throws CHistoryError on a database failure, the history then as before the call.
    TPageMarks RecordLoad(std::span<const TMetWork> works, std::int64_t now);
    // The work at link was opened at now: it is opened and seen. An unknown link does nothing.
    void MarkOpened(std::string_view link, std::int64_t now);
    // Every work of links is seen. Unknown links do nothing.
    void MarkSeen(std::span<const std::string_view> links);
    // The work at link is unseen again, as a work met for the first time is. An unknown link
    // does nothing.
    void MarkUnseen(std::string_view link);
    // Every work of links is hidden (true) or shown again (false). Unknown links do nothing.
    void SetHidden(std::span<const std::string_view> links, bool hidden);

    // The validators last stored for address; none when there are none.
    std::optional<TPageValidators> Validators(std::string_view address);
    // Keeps validators for address in place of those before; without an ETag and a
    // Last-Modified, address has none.
    void StoreValidators(std::string_view address, const TPageValidators& validators);

    // Where a damaged or foreign file was moved by the constructor, and why; empty when none was.
    const std::string& MovedAside() const { return movedAside; }
    THistoryFault WhyMovedAside() const { return whyMoved; }

    // The history file of this user: "$XDG_DATA_HOME/folianta/history.sqlite", or under
    // "$HOME/.local/share" when XDG_DATA_HOME is not set or empty.
    static std::string DefaultPath();

private:
    // Runs change in one transaction, with the changes of other copies read in first, and writes
    // the works it touched; on failure the file and the works in memory are as before.
    void Transact(const std::function<void()>& change);
    // Marks a work to be written at the end of the transaction.
    void Touch(THistoryWork& work);
    void ReadAll(CDatabase& from);
    void ReadIfChanged();
    void Forget(std::int64_t before);
    void WriteDirty();

    std::unique_ptr<CDatabase> db;
    CWorkTable works;
    // Places in works of the works touched by the transaction under way.
    std::vector<std::size_t> dirty;
    // Links of the works forgotten by the transaction under way.
    std::vector<std::string> forgotten;
    std::int64_t dataVersion = -1;
    std::string movedAside;
    THistoryFault whyMoved = THistoryFault::damaged;
};
