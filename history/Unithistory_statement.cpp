#include "history/Unithistory_statement.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>

namespace {

THistoryFault FaultOfSqlite(int code, int systemError) {
    switch (code & 0xFF) {
        case SQLITE_FULL:
            return THistoryFault::noSpace;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return THistoryFault::noRight;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return THistoryFault::locked;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return THistoryFault::damaged;
        case SQLITE_CANTOPEN:
        case SQLITE_IOERR:
            // The system's own reason says more: a full disk or a read-only folder.
            return systemError != 0 ? FaultOfErrno(systemError) : THistoryFault::failed;
        default:
            return THistoryFault::failed;
    }
}

}  // namespace

CHistoryError::CHistoryError(THistoryFault fault, const std::string& path,
                             const std::string& reason)
    : std::runtime_error(path + ": " + reason), fault(fault), path(path) {}

THistoryFault FaultOfErrno(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
            return THistoryFault::noSpace;
        case EACCES:
        case EPERM:
        case EROFS:
            return THistoryFault::noRight;
        default:
            return THistoryFault::failed;
    }
}

CDatabase::CDatabase(const std::string& file, int busyMs) : path(file) {
    const int code =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (code != SQLITE_OK) {
        const int systemError = db ? sqlite3_system_errno(db) : 0;
        sqlite3_close(db);
        throw CHistoryError(FaultOfSqlite(code, systemError), path, sqlite3_errstr(code));
    }
    sqlite3_extended_result_codes(db, 1);
    SetBusyTimeout(busyMs);
}

CDatabase::~CDatabase() {
    sqlite3_close(db);
}

void CDatabase::SetBusyTimeout(int busyMs) {
    sqlite3_busy_timeout(db, busyMs);
}

void CDatabase::Fail(int code) const {
    throw CHistoryError(FaultOfSqlite(code, sqlite3_system_errno(db)), path, sqlite3_errmsg(db));
}

void CDatabase::Execute(const char* sql) {
    const int code = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) {
        Fail(code);
    }
}

void CDatabase::Rollback() noexcept {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
}

std::int64_t CDatabase::Integer(const char* sql) {
    CStatement query(*this, sql);
    if (!query.Step()) {
        Fail(SQLITE_ERROR);
    }
    return query.Int(0);
}

bool CDatabase::ReadOnly() const {
    return sqlite3_db_readonly(db, "main") == 1;
}

CStatement::CStatement(CDatabase& db, const char* sql) : db(db) {
    const int code = sqlite3_prepare_v2(db.Handle(), sql, -1, &statement, nullptr);
    if (code != SQLITE_OK) {
        db.Fail(code);
    }
}

CStatement::~CStatement() {
    sqlite3_finalize(statement);
}

void CStatement::Bind(int column, std::string_view bytes) {
    sqlite3_bind_blob(statement, column, bytes.data(), int(bytes.size()), SQLITE_STATIC);
}

void CStatement::Bind(int column, std::int64_t value) {
    sqlite3_bind_int64(statement, column, value);
}

bool CStatement::Step() {
    const int code = sqlite3_step(statement);
    if (code == SQLITE_ROW) {
        return true;
    }
    if (code != SQLITE_DONE) {
        sqlite3_reset(statement);
        db.Fail(code);
    }
    return false;
}

void CStatement::Run() {
    Step();
    sqlite3_reset(statement);
}

std::string CStatement::Bytes(int column) const {
    const void* bytes = sqlite3_column_blob(statement, column);
    return bytes ? std::string(static_cast<const char*>(bytes),
                               std::size_t(sqlite3_column_bytes(statement, column)))
                 : std::string();
}

std::int64_t CStatement::Int(int column) const {
    return sqlite3_column_int64(statement, column);
}
