#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// Why the history failed, in the terms the user is told.
enum class THistoryFault {
    noSpace,  // the disk is full
    noRight,  // the file or its folder may not be written
    locked,   // another running copy holds the file's lock
    damaged,  // the file is no history database, or its contents are broken
    foreign,  // a history of a later version of the program, or another program's database
    failed,   // any other failure of the disk or of the database
};

// A failure of the history file at path; what() names the file and the system's or SQLite's
// reason, for logs. The user is told the fault.
class CHistoryError : public std::runtime_error {
public:
    CHistoryError(THistoryFault fault, const std::string& path, const std::string& reason);
    THistoryFault fault;
    std::string path;
};

// The fault of a failed system call's errno.
THistoryFault FaultOfErrno(int error);

// An open SQLite connection to the history file, closed when it goes. Every failure throws
// CHistoryError.
class CDatabase {
public:
    // Opens (creating) the file at path for reading and writing, or for reading when the file
    // may not be written; a lock held by another copy is waited on for busyMs.
    CDatabase(const std::string& path, int busyMs);
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;
    ~CDatabase();

    void Execute(const char* sql);
    // Ends the transaction under way, its changes undone; never throws.
    void Rollback() noexcept;
    // The single integer a query such as a PRAGMA gives.
    std::int64_t Integer(const char* sql);
    bool ReadOnly() const;
    void SetBusyTimeout(int busyMs);
    // Throws the failure of SQLite result code, with the connection's own words for it.
    [[noreturn]] void Fail(int code) const;

    sqlite3* Handle() const { return db; }
    const std::string& Path() const { return path; }

private:
    sqlite3* db = nullptr;
    std::string path;
};

// A prepared statement, finalized when it goes.
class CStatement {
public:
    CStatement(CDatabase& db, const char* sql);
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;
    ~CStatement();

    void Bind(int column, std::string_view bytes);
    void Bind(int column, std::int64_t value);
    // True with a row to read, false when done; throws on failure.
    bool Step();
    // Runs a statement that gives no rows, then makes it ready to run again.
    void Run();
    std::string Bytes(int column) const;
    std::int64_t Int(int column) const;

private:
    CDatabase& db;
    sqlite3_stmt* statement = nullptr;
};
