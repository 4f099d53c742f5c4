#include "history/Unithistory.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "history/Unithistory_file.h"

namespace {

constexpr std::int64_t kSecondsPerDay = 24 * 60 * 60;
// How many works ahead of the one looked up a load fetches the table slots of.
constexpr std::size_t kLookAhead = 16;

std::uint8_t MarksOf(const THistoryWork& work) {
    return std::uint8_t((work.seen ? 0 : kUnseen) |
                        (work.seen || work.seenSize.empty() ? 0 : kUpdated) |
                        (work.opened != 0 ? kOpened : 0) | (work.hidden ? kHidden : 0));
}

// Whether a meeting at now should be written over the last one kept: once the work's own
// kMetRefreshDays-long period (its phase taken from its link's hash) has turned, never back.
bool MeetingDue(std::int64_t lastMet, std::int64_t now, std::uint64_t hash) {
    const std::int64_t phase = std::int64_t(hash % CHistory::kMetRefreshDays);
    const auto period = [phase](std::int64_t time) {
        return (time / kSecondsPerDay + phase) / CHistory::kMetRefreshDays;
    };
    return now > lastMet && period(now) != period(lastMet);
}

}  // namespace

CHistory::CHistory(const std::string& path, std::int64_t now, int busyMs) {
    TOpenedHistory opened =
        OpenHistoryFile(path, now, busyMs, [this](CDatabase& from) { ReadAll(from); });
    db = std::move(opened.db);
    movedAside = std::move(opened.movedAside);
    whyMoved = opened.whyMoved;
}

CHistory::~CHistory() = default;

void CHistory::ReadAll(CDatabase& from) {
    std::vector<THistoryWork> all;
    CStatement rows(
        from, "SELECT link, size, seen_size, first_met, last_met, opened, seen, hidden FROM works");
    while (rows.Step()) {
        all.push_back({rows.Bytes(0), rows.Bytes(1), rows.Bytes(2), rows.Int(3), rows.Int(4),
                       rows.Int(5), rows.Int(6) != 0, rows.Int(7) != 0});
    }
    works.Assign(std::move(all));
    dataVersion = from.Integer("PRAGMA data_version");
}

void CHistory::ReadIfChanged() {
    if (db->Integer("PRAGMA data_version") != dataVersion) {
        ReadAll(*db);
    }
}

void CHistory::WriteDirty() {
    if (!forgotten.empty()) {
        CStatement forget(*db, "DELETE FROM works WHERE link = ?");
        for (const std::string& link : forgotten) {
            forget.Bind(1, link);
            forget.Run();
        }
        forgotten.clear();
    }
    if (dirty.empty()) {
        return;
    }
    CStatement write(*db, "INSERT OR REPLACE INTO works VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
    for (const std::size_t place : dirty) {
        THistoryWork& work = works.Works()[place];
        write.Bind(1, work.link);
        write.Bind(2, work.size);
        write.Bind(3, work.seenSize);
        write.Bind(4, work.firstMet);
        write.Bind(5, work.lastMet);
        write.Bind(6, work.opened);
        write.Bind(7, std::int64_t(work.seen));
        write.Bind(8, std::int64_t(work.hidden));
        write.Run();
        work.dirty = false;
    }
    dirty.clear();
}

void CHistory::Forget(std::int64_t before) {
    const auto stale = [before](const THistoryWork& work) {
        return work.lastMet < before && !work.hidden;
    };
    if (std::none_of(works.Works().begin(), works.Works().end(), stale)) {
        return;
    }
    // The places of the works change: those touched so far are written first.
    WriteDirty();
    for (const THistoryWork& work : works.Works()) {
        if (stale(work)) {
            forgotten.push_back(work.link);
        }
    }
    works.EraseIf(stale);
}

void CHistory::Transact(const std::function<void()>& change) {
    // A file that may not be written still answers a call that changes nothing.
    db->Execute(db->ReadOnly() ? "BEGIN" : "BEGIN IMMEDIATE");
    try {
        ReadIfChanged();
        change();
        WriteDirty();
        db->Execute("COMMIT");
    } catch (...) {
        // The file rolls back; the works in memory are read from it again.
        db->Rollback();
        dirty.clear();
        forgotten.clear();
        try {
            ReadAll(*db);
        } catch (const CHistoryError&) {
            works.Clear();
            dataVersion = -1;
        }
        throw;
    }
}

void CHistory::Touch(THistoryWork& work) {
    if (!work.dirty) {
        work.dirty = true;
        dirty.push_back(std::size_t(&work - works.Works().data()));
    }
}

TPageMarks CHistory::RecordLoad(std::span<const TMetWork> met, std::int64_t now) {
    TPageMarks page;
    Transact([&] {
        std::int64_t newest = 0;
        for (const THistoryWork& work : works.Works()) {
            newest = std::max(newest, work.lastMet);
            if (work.hidden) {
                page.hiddenLinks.push_back(work.link);
            }
        }
        page.marks.resize(met.size());
        page.firstMet.resize(met.size());
        // The links kLookAhead works on are hashed and their table slots fetched into the
        // cache meanwhile, so that the misses of the look-ups overlap instead of queueing.
        std::uint64_t ahead[kLookAhead];
        const auto lookAhead = [&](std::size_t j) {
            if (j < met.size()) {
                ahead[j % kLookAhead] = CWorkTable::HashOf(met[j].link);
                works.Prefetch(ahead[j % kLookAhead]);
            }
        };
        for (std::size_t j = 0; j < kLookAhead; ++j) {
            lookAhead(j);
        }
        for (std::size_t i = 0; i < met.size(); ++i) {
            const std::uint64_t hash = ahead[i % kLookAhead];
            lookAhead(i + kLookAhead);
            THistoryWork* work = works.Find(met[i].link, hash);
            if (!work) {
                work = &works.Add(
                    {std::string(met[i].link), std::string(met[i].size), {}, now, now, 0, false});
                Touch(*work);
            }
            if (work->size != met[i].size) {
                // An updated work tells the size the user saw, however often it changed since.
                if (work->seen) {
                    work->seenSize = std::move(work->size);
                }
                work->size = met[i].size;
                work->seen = false;
                Touch(*work);
            }
            if (MeetingDue(work->lastMet, now, hash)) {
                work->lastMet = now;
                Touch(*work);
            }
            page.marks[i] = MarksOf(*work);
            page.firstMet[i] = work->firstMet;
            if (page.marks[i] & kUpdated) {
                page.seenSizes.emplace(std::uint32_t(i), work->seenSize);
            }
        }
        // The works of this page were all met within kMetRefreshDays of now, or later than now:
        // none is before judgedAt by more than that.
        const std::int64_t judgedAt = newest == 0 ? now : std::min(now, newest);
        Forget(judgedAt - kForgetAfterSeconds - kMetRefreshDays * kSecondsPerDay);
    });
    return page;
}

void CHistory::MarkOpened(std::string_view link, std::int64_t now) {
    Transact([&] {
        if (THistoryWork* work = works.Find(link)) {
            work->opened = std::max(work->opened, now);
            work->seen = true;
            work->seenSize.clear();
            Touch(*work);
        }
    });
}

void CHistory::MarkSeen(std::span<const std::string_view> links) {
    Transact([&] {
        for (const std::string_view link : links) {
            THistoryWork* work = works.Find(link);
            if (work && !work->seen) {
                work->seen = true;
                work->seenSize.clear();
                Touch(*work);
            }
        }
    });
}

void CHistory::MarkUnseen(std::string_view link) {
    Transact([&] {
        THistoryWork* work = works.Find(link);
        if (work && work->seen) {
            work->seen = false;
            Touch(*work);
        }
    });
}

void CHistory::SetHidden(std::span<const std::string_view> links, bool hidden) {
    Transact([&] {
        for (const std::string_view link : links) {
            THistoryWork* work = works.Find(link);
            if (work && work->hidden != hidden) {
                work->hidden = hidden;
                Touch(*work);
            }
        }
    });
}

std::optional<TPageValidators> CHistory::Validators(std::string_view address) {
    CStatement query(*db,
                     "SELECT etag, last_modified, page_stamp FROM validators WHERE address = ?");
    query.Bind(1, address);
    if (!query.Step()) {
        return std::nullopt;
    }
    return TPageValidators{query.Bytes(0), query.Bytes(1), query.Bytes(2)};
}

void CHistory::StoreValidators(std::string_view address, const TPageValidators& validators) {
    Transact([&] {
        if (validators.etag.empty() && validators.lastModified.empty()) {
            CStatement forget(*db, "DELETE FROM validators WHERE address = ?");
            forget.Bind(1, address);
            forget.Run();
            return;
        }
        CStatement store(*db, "INSERT OR REPLACE INTO validators VALUES(?, ?, ?, ?)");
        store.Bind(1, address);
        store.Bind(2, validators.etag);
        store.Bind(3, validators.lastModified);
        store.Bind(4, validators.pageStamp);
        store.Run();
    });
}

std::string CHistory::DefaultPath() {
    namespace fs = std::filesystem;
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    const fs::path folder =
        data && *data ? fs::path(data) : fs::path(home ? home : ".") / ".local" / "share";
    return (folder / "folianta" / "history.sqlite").string();
}
