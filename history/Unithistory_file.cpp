#include "history/Unithistory_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The first 16 bytes of every SQLite database, its zero included.
constexpr std::string_view kDatabaseHeader{"SQLite format 3", 16};
// The files SQLite keeps beside a database: they belong to it, and go where it goes.
constexpr const char* kCompanions[] = {"-wal", "-shm", "-journal"};
// How many "-N" names a move aside tries before giving up.
constexpr int kAsideNames = 1000;

constexpr const char* kCreateWorks =
    "CREATE TABLE works("
    "link BLOB PRIMARY KEY, size BLOB NOT NULL, seen_size BLOB NOT NULL, "
    "first_met INTEGER NOT NULL, last_met INTEGER NOT NULL, opened INTEGER NOT NULL, "
    "seen INTEGER NOT NULL, hidden INTEGER NOT NULL DEFAULT 0) WITHOUT ROWID";
// The works' columns of the current layout; the versions before 3 lack the last.
constexpr std::array<std::string_view, 8> kWorksColumns = {
    "link", "size", "seen_size", "first_met", "last_met", "opened", "seen", "hidden"};
constexpr std::span<const std::string_view> kOlderWorksColumns = std::span(kWorksColumns).first(7);
constexpr const char* kAddHidden = "ALTER TABLE works ADD COLUMN hidden INTEGER NOT NULL DEFAULT 0";
constexpr const char* kCreateValidators =
    "CREATE TABLE validators("
    "address BLOB PRIMARY KEY, etag BLOB NOT NULL, last_modified BLOB NOT NULL, "
    "page_stamp BLOB NOT NULL) WITHOUT ROWID";
constexpr std::array<std::string_view, 4> kValidatorsColumns = {"address", "etag", "last_modified",
                                                                "page_stamp"};

[[noreturn]] void FailWithErrno(const std::string& path, int error) {
    throw CHistoryError(FaultOfErrno(error), path, std::strerror(error));
}

// An exclusive lock on a folder, held while it lives: copies of the program opening the history
// take turns, so that no copy moves aside a file another copy has just made.
class CFolderLock {
public:
    explicit CFolderLock(const std::string& folder) {
        fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            FailWithErrno(folder, errno);
        }
        while (flock(fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                const int error = errno;
                close(fd);
                FailWithErrno(folder, error);
            }
        }
    }
    CFolderLock(const CFolderLock&) = delete;
    CFolderLock& operator=(const CFolderLock&) = delete;
    ~CFolderLock() { close(fd); }

    // Makes the names made in the folder survive a power cut.
    void SyncFolder() const { fsync(fd); }

private:
    int fd = -1;
};

// Whether the file at path is missing, empty, or starts as an SQLite database does. Reads the
// header only, so that SQLite never writes into a file that is no database of its own.
bool CouldBeDatabase(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return true;
        }
        FailWithErrno(path, errno);
    }
    char header[kDatabaseHeader.size()];
    ssize_t got;
    while ((got = read(fd, header, sizeof header)) < 0 && errno == EINTR) {
    }
    const int error = errno;
    close(fd);
    if (got < 0) {
        FailWithErrno(path, error);
    }
    return got == 0 || std::string_view(header, std::size_t(got)) == kDatabaseHeader;
}

// Renames from to to unless to exists; false then.
bool RenameUnlessTaken(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EEXIST) {
        FailWithErrno(from, errno);
    }
    return false;
}

// Moves the file at path, with its journal files, to the first free name of
// "<path>.damaged-<now>", "<path>.damaged-<now>-2", ...; gives that name.
std::string MoveAside(const std::string& path, std::int64_t now) {
    const std::string base = path + ".damaged-" + std::to_string(now);
    for (int n = 1; n <= kAsideNames; ++n) {
        const std::string to = n == 1 ? base : base + "-" + std::to_string(n);
        if (!RenameUnlessTaken(path, to)) {
            continue;
        }
        for (const char* companion : kCompanions) {
            if (access((path + companion).c_str(), F_OK) == 0 &&
                !RenameUnlessTaken(path + companion, to + companion)) {
                // Left where it is, it would be played into the new file.
                FailWithErrno(path + companion, EEXIST);
            }
        }
        return to;
    }
    FailWithErrno(base, EEXIST);
}

enum class TLayout { empty, works, validators, current };

// Whether table has exactly the columns given, in their order.
bool HasColumns(CDatabase& db, std::string_view table, std::span<const std::string_view> names) {
    CStatement columns(db, "SELECT name FROM pragma_table_info(?)");
    columns.Bind(1, table);
    std::size_t i = 0;
    bool same = true;
    while (columns.Step()) {
        same = same && i < names.size() && columns.Bytes(0) == names[i];
        ++i;
    }
    return same && i == names.size();
}

// What the file holds: nothing yet, the works alone (versions 0 and 1), the works with the
// validators (version 2), or the current layout. A later version or a layout not the program's
// is a foreign fault.
TLayout LayoutOf(CDatabase& db) {
    const std::int64_t version = db.Integer("PRAGMA user_version");
    std::vector<std::string> tables;
    CStatement names(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
    while (names.Step()) {
        tables.push_back(names.Bytes(0));
    }
    if (version == 0 && tables.empty()) {
        return TLayout::empty;
    }
    const bool withValidators = tables == std::vector<std::string>{"validators", "works"} &&
                                HasColumns(db, "validators", kValidatorsColumns);
    const bool olderWorks = HasColumns(db, "works", kOlderWorksColumns);
    if (version >= 0 && version <= 1 && tables == std::vector<std::string>{"works"} && olderWorks) {
        return TLayout::works;
    }
    if (version == 2 && withValidators && olderWorks) {
        return TLayout::validators;
    }
    if (version == kHistorySchemaVersion && withValidators &&
        HasColumns(db, "works", kWorksColumns)) {
        return TLayout::current;
    }
    throw CHistoryError(THistoryFault::foreign, db.Path(),
                        "schema version " + std::to_string(version) + " not known");
}

// Brings an open file to the current schema and the journal settings of the history.
void Prepare(CDatabase& db) {
    const TLayout layout = LayoutOf(db);
    if (db.ReadOnly()) {
        return;  // read as it is; nothing will be written
    }
    db.Execute("PRAGMA journal_mode=WAL");
    db.Execute("PRAGMA synchronous=FULL");
    if (layout == TLayout::current) {
        return;
    }
    db.Execute("BEGIN IMMEDIATE");
    try {
        if (layout == TLayout::empty) {
            db.Execute(kCreateWorks);
        } else {
            db.Execute(kAddHidden);
        }
        if (layout != TLayout::validators) {
            db.Execute(kCreateValidators);
        }
        db.Execute(("PRAGMA user_version=" + std::to_string(kHistorySchemaVersion)).c_str());
        db.Execute("COMMIT");
    } catch (...) {
        db.Rollback();
        throw;
    }
}

}  // namespace

TOpenedHistory OpenHistoryFile(const std::string& path, std::int64_t now, int busyMs,
                               const std::function<void(CDatabase&)>& read) {
    const std::string folder = fs::path(path).parent_path().string();
    std::error_code made;
    fs::create_directories(folder, made);
    if (made) {
        FailWithErrno(folder, made.value());
    }
    const CFolderLock lock(folder);
    TOpenedHistory opened;
    // A second round only follows a move aside, on a new file.
    for (int round = 0;; ++round) {
        try {
            if (!CouldBeDatabase(path)) {
                throw CHistoryError(THistoryFault::damaged, path, "not an SQLite database");
            }
            auto db = std::make_unique<CDatabase>(path, busyMs);
            Prepare(*db);
            read(*db);
            lock.SyncFolder();
            opened.db = std::move(db);
            return opened;
        } catch (const CHistoryError& error) {
            const bool unusable =
                error.fault == THistoryFault::damaged || error.fault == THistoryFault::foreign;
            if (!unusable || round > 0) {
                throw;
            }
            opened.movedAside = MoveAside(path, now);
            opened.whyMoved = error.fault;
        }
    }
}
