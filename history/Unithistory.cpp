#include "history/Unithistory.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kSecondsPerDay = 24 * 60 * 60;
// How long a call waits for another copy of the program that holds the file's lock.
constexpr int kBusyTimeoutMs = 5000;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS works("
    "link BLOB PRIMARY KEY, size BLOB NOT NULL, seen_size BLOB NOT NULL, "
    "first_met INTEGER NOT NULL, last_met INTEGER NOT NULL, opened INTEGER NOT NULL, "
    "seen INTEGER NOT NULL) WITHOUT ROWID";

// A prepared statement, finalized when it goes.
class TStatement {
public:
    TStatement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
            statement = nullptr;
        }
    }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;
    ~TStatement() { sqlite3_finalize(statement); }

    explicit operator bool() const { return statement != nullptr; }
    void Bind(int column, std::string_view bytes) {
        sqlite3_bind_blob(statement, column, bytes.data(), int(bytes.size()), SQLITE_STATIC);
    }
    void Bind(int column, std::int64_t value) { sqlite3_bind_int64(statement, column, value); }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return sqlite3_step(statement); }
    void Reset() { sqlite3_reset(statement); }
    std::string Bytes(int column) const {
        const void* bytes = sqlite3_column_blob(statement, column);
        return bytes ? std::string(static_cast<const char*>(bytes),
                                   std::size_t(sqlite3_column_bytes(statement, column)))
                     : std::string();
    }
    std::int64_t Int(int column) const { return sqlite3_column_int64(statement, column); }

private:
    sqlite3_stmt* statement = nullptr;
};

bool IsDamage(int code) {
    return code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
}

// An error raised while the file was being read as a history: it says whether the file is
// no history database at all.
struct TOpenError {
    int code;
};

constexpr std::uint64_t kPlaceMask = 0xFFFF'FFFF;
// How many works ahead of the one looked up a load fetches the table slots of.
constexpr std::size_t kLookAhead = 16;

std::uint64_t HashOf(std::string_view link) {
    return std::hash<std::string_view>()(link);
}

}  // namespace

const CHistory::TWork* CHistory::Find(std::string_view link) const {
    return Find(link, HashOf(link));
}

const CHistory::TWork* CHistory::Find(std::string_view link, std::uint64_t hash) const {
    if (placeTable.empty()) {
        return nullptr;
    }
    const std::size_t mask = placeTable.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const std::uint64_t slot = placeTable[i];
        if (slot == 0) {
            return nullptr;
        }
        if ((slot >> 32) == (hash >> 32) && works[(slot & kPlaceMask) - 1].link == link) {
            return &works[(slot & kPlaceMask) - 1];
        }
    }
}

CHistory::TWork& CHistory::Add(TWork work) {
    works.push_back(std::move(work));
    if (works.size() * 2 > placeTable.size()) {
        Reindex();
    } else {
        Place(works.size() - 1);
    }
    return works.back();
}

void CHistory::Reindex() {
    placeTable.assign(std::bit_ceil(std::max<std::size_t>(16, works.size() * 2)), 0);
    for (std::size_t place = 0; place < works.size(); ++place) {
        Place(place);
    }
}

void CHistory::Place(std::size_t place) {
    const std::uint64_t hash = HashOf(works[place].link);
    const std::size_t mask = placeTable.size() - 1;
    std::size_t i = hash & mask;
    while (placeTable[i] != 0) {
        i = (i + 1) & mask;
    }
    placeTable[i] = (hash & ~kPlaceMask) | (place + 1);
}

CHistory::CHistory(const std::string& file, std::int64_t now) : path(file) {
    std::error_code ignored;
    fs::create_directories(fs::path(path).parent_path(), ignored);
    try {
        OpenDatabase(path);
    } catch (const TOpenError& error) {
        sqlite3_close(db);
        db = nullptr;
        if (!IsDamage(error.code)) {
            throw std::runtime_error(path + ": " + sqlite3_errstr(error.code));
        }
        movedAside = path + ".damaged-" + std::to_string(now);
        if (rename(path.c_str(), movedAside.c_str()) != 0) {
            throw std::runtime_error(path + ": " + std::strerror(errno));
        }
        try {
            OpenDatabase(path);
        } catch (const TOpenError& again) {
            sqlite3_close(db);
            db = nullptr;
            throw std::runtime_error(path + ": " + sqlite3_errstr(again.code));
        }
    }
}

CHistory::~CHistory() {
    sqlite3_close(db);
}

void CHistory::OpenDatabase(const std::string& file) {
    int code = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                               nullptr);
    if (code == SQLITE_OK) {
        sqlite3_extended_result_codes(db, 0);
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        code = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
    }
    if (code != SQLITE_OK) {
        throw TOpenError{code};
    }
    try {
        ReadAll();
    } catch (const std::runtime_error&) {
        throw TOpenError{sqlite3_errcode(db)};
    }
}

void CHistory::Fail(const char* doing) {
    throw std::runtime_error(path + ": " + doing + ": " + sqlite3_errmsg(db));
}

void CHistory::Execute(const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        Fail(sql);
    }
}

std::int64_t CHistory::DataVersion() {
    TStatement version(db, "PRAGMA data_version");
    if (!version || version.Step() != SQLITE_ROW) {
        Fail("PRAGMA data_version");
    }
    return version.Int(0);
}

void CHistory::ReadAll() {
    TStatement rows(db, "SELECT link, size, seen_size, first_met, last_met, opened, seen FROM works");
    if (!rows) {
        Fail("SELECT");
    }
    works.clear();
    int step;
    while ((step = rows.Step()) == SQLITE_ROW) {
        works.push_back({rows.Bytes(0), rows.Bytes(1), rows.Bytes(2), rows.Int(3), rows.Int(4),
                         rows.Int(5), rows.Int(6) != 0, false});
    }
    if (step != SQLITE_DONE) {
        works.clear();
        Fail("SELECT");
    }
    Reindex();
    dataVersion = DataVersion();
}

void CHistory::ReadIfChanged() {
    if (DataVersion() != dataVersion) {
        ReadAll();
    }
}

void CHistory::WriteDirty() {
    if (dirty.empty()) {
        return;
    }
    TStatement write(db, "INSERT OR REPLACE INTO works VALUES(?, ?, ?, ?, ?, ?, ?)");
    if (!write) {
        Fail("INSERT");
    }
    for (const std::size_t place : dirty) {
        TWork& work = works[place];
        write.Bind(1, work.link);
        write.Bind(2, work.size);
        write.Bind(3, work.seenSize);
        write.Bind(4, work.firstMet);
        write.Bind(5, work.lastMet);
        write.Bind(6, work.opened);
        write.Bind(7, std::int64_t(work.seen));
        if (write.Step() != SQLITE_DONE) {
            Fail("INSERT");
        }
        write.Reset();
        work.dirty = false;
    }
    dirty.clear();
}

void CHistory::Forget(std::int64_t now) {
    // Once a day is enough: a work's last meeting is kept to the day.
    const std::int64_t day = now / kSecondsPerDay;
    if (day == forgottenDay) {
        return;
    }
    const std::int64_t before = now - kForgetAfterSeconds;
    TStatement forget(db, "DELETE FROM works WHERE last_met < ?");
    forget.Bind(1, before);
    if (!forget || forget.Step() != SQLITE_DONE) {
        Fail("DELETE");
    }
    if (std::erase_if(works, [before](const TWork& work) { return work.lastMet < before; }) > 0) {
        Reindex();
    }
    forgottenDay = day;
}

void CHistory::Transact(const std::function<void()>& change) {
    Execute("BEGIN IMMEDIATE");
    try {
        ReadIfChanged();
        change();
        WriteDirty();
        Execute("COMMIT");
    } catch (...) {
        // The file rolls back; the works in memory are read from it again.
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        dirty.clear();
        try {
            ReadAll();
        } catch (const std::runtime_error&) {
            works.clear();
            Reindex();
        }
        throw;
    }
}

void CHistory::Touch(TWork& work) {
    if (!work.dirty) {
        work.dirty = true;
        dirty.push_back(std::size_t(&work - works.data()));
    }
}

std::uint8_t CHistory::Marks(const TWork& work) {
    return std::uint8_t((work.seen ? 0 : kUnseen) | (work.seen || work.seenSize.empty() ? 0 : kUpdated) |
                        (work.opened != 0 ? kOpened : 0));
}

void CHistory::RecordLoad(std::span<const TMetWork> met, std::int64_t now,
                          std::vector<std::uint8_t>& marks) {
    Transact([&] {
        Forget(now);
        const std::int64_t today = now / kSecondsPerDay;
        marks.resize(met.size());
        // The links kLookAhead works on are hashed and their table slots fetched into the
        // cache meanwhile, so that the misses of the look-ups overlap instead of queueing.
        std::uint64_t ahead[kLookAhead];
        const auto lookAhead = [&](std::size_t j) {
            if (j < met.size()) {
                ahead[j % kLookAhead] = HashOf(met[j].link);
                if (!placeTable.empty()) {
                    __builtin_prefetch(
                        &placeTable[ahead[j % kLookAhead] & (placeTable.size() - 1)]);
                }
            }
        };
        for (std::size_t j = 0; j < kLookAhead; ++j) {
            lookAhead(j);
        }
        for (std::size_t i = 0; i < met.size(); ++i) {
            const std::uint64_t hash = ahead[i % kLookAhead];
            lookAhead(i + kLookAhead);
            TWork* work = Find(met[i].link, hash);
            if (!work) {
                work = &Add({std::string(met[i].link), std::string(met[i].size), {}, now, now, 0,
                             false, false});
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
            if (work->lastMet / kSecondsPerDay != today) {
                work->lastMet = now;
                Touch(*work);
            }
            marks[i] = Marks(*work);
        }
    });
}

void CHistory::MarkOpened(std::string_view link, std::int64_t now) {
    Transact([&] {
        if (TWork* work = Find(link)) {
            work->opened = now;
            work->seen = true;
            work->seenSize.clear();
            Touch(*work);
        }
    });
}

void CHistory::MarkSeen(std::span<const std::string_view> links) {
    Transact([&] {
        for (const std::string_view link : links) {
            TWork* work = Find(link);
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
        TWork* work = Find(link);
        if (work && work->seen) {
            work->seen = false;
            Touch(*work);
        }
    });
}

std::optional<TWorkDetails> CHistory::Details(std::string_view link) const {
    const TWork* work = Find(link);
    if (!work) {
        return std::nullopt;
    }
    return TWorkDetails{work->firstMet, work->seenSize};
}

std::string CHistory::DefaultPath() {
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    const fs::path folder = data && *data ? fs::path(data)
                                          : fs::path(home ? home : ".") / ".local" / "share";
    return (folder / "folianta" / "history.sqlite").string();
}
