#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "history/Unithistory_statement.h"

// The history file's version, kept in PRAGMA user_version. Version 0 is the first layout, made
// before the file carried a version; version 1 the same layout with its version; version 2 adds
// the validators of fetched pages; version 3 the works' hidden flag.
constexpr std::int64_t kHistorySchemaVersion = 3;

// A history file made ready for use, and what had to be moved out of its way.
struct TOpenedHistory {
    std::unique_ptr<CDatabase> db;
    // Where a damaged or foreign file was moved; empty when none was.
    std::string movedAside;
    THistoryFault whyMoved = THistoryFault::damaged;
};

// Opens the history file at path, creating it and its folder when missing, in WAL mode with
// synchronous=FULL: a committed change survives a power cut, another copy may read while one
// writes, and a commit costs less than with a rollback journal and synchronous=EXTRA (measured:
// about 2.5 against 3.6 ms for a mark, 42 against 56 ms for a day's rewrite). At
// kHistorySchemaVersion, an older file upgraded in one transaction. read then
// reads it in. A file that is no SQLite database, is damaged (read may throw a damaged fault
// too), or holds a later or another program's schema is moved aside to "<path>.damaged-<now>"
// (with "-2", "-3"... when taken; its journal files beside it), never replacing a file, and a
// new file is made. Two copies of the program opening at once take turns through a lock on the
// folder, so each moves only the file it found unusable. Throws CHistoryError; a lock held by
// another copy gives the locked fault after busyMs.
TOpenedHistory OpenHistoryFile(const std::string& path, std::int64_t now, int busyMs,
                               const std::function<void(CDatabase&)>& read);
