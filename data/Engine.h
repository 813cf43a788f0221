// Statements on the store's connection (the table file, or a PostgreSQL server): every value is bound,
// never spliced into the text, and transactions are held by a guard that rolls back on every exit path
// that did not commit.
#pragma once

#include "data/Dataset.h"

#include <QSqlDatabase>
#include <QStringList>
#include <QVariantMap>

struct sqlite3;
struct sqlite3_stmt;
struct pg_conn;

namespace Data {

// True when the connection is to the PostgreSQL server rather than the table file.
bool IsServer(const QSqlDatabase& db);

// The SQLite handle of an open table-file connection; throws EDatabaseError when there is none.
sqlite3* EngineHandle(const QSqlDatabase& db);

// Binds the named parameters (":Name") of a prepared statement from `params` (keys without the colon).
// With `requireAll`, a parameter of the statement without a value is an error rather than a NULL.
// Text that cannot be stored (a lone surrogate has no UTF-8 form) is refused.
void BindParams(sqlite3_stmt* stmt, const QVariantMap& params, bool requireAll);

// Runs one statement that returns no rows with its values bound; returns the number of rows changed.
// `lastId` receives the key the engine assigned to an inserted row.
int ExecBound(const QSqlDatabase& db, const QString& sql, const QVariantMap& params = {},
              qint64* lastId = nullptr);

// An engine failure with the engine's result code, for callers that decide by it (start-up opens a
// file that cannot be written read-only instead).
class EEngineError : public EDatabaseError {
public:
    EEngineError(const QString& message, const QString& detail, int code, QString reason = {})
        : EDatabaseError(message, detail), m_code(code), m_reason(std::move(reason)) {}
    // The primary result code (SQLITE_FULL, SQLITE_IOERR...).
    int code() const { return m_code; }
    // What went wrong and what to do, without what was being done (ResultCodeText).
    const QString& reason() const { return m_reason; }

private:
    int m_code;
    QString m_reason;
};

// A table file that cannot be used as it is: not a database, damaged, or without the tables and columns
// the program needs. Nothing was written to it; a copy from the backups is the way out.
class EDamagedFile : public EDatabaseError {
public:
    explicit EDamagedFile(const QString& message, const QString& detail = {}, QStringList missing = {})
        : EDatabaseError(message, detail), m_missing(std::move(missing)) {}
    // The tables and columns ("USER.FIO") the file lacks; empty when it is damaged or not ours at all.
    const QStringList& missing() const { return m_missing; }

private:
    QStringList m_missing;
};

// What went wrong in Russian, with what to do, for an engine result code (primary or extended) and the
// system error behind it (errno, 0 when none).
QString ResultCodeText(int code, int systemError = 0);

// The message of the connection's last engine error: a refusal raised by a schema trigger is the user's
// message as it stands; anything else is what was being done, what went wrong and what to do.
QString EngineMessage(sqlite3* handle, const QString& what);
// The same as an error to throw, carrying the engine's own text for the log.
EEngineError EngineError(sqlite3* handle, const QString& what);

// A write transaction (on the table file BEGIN IMMEDIATE, so a lock conflict shows at the start and not
// half-way), or a savepoint inside one that is already open. Destruction without Commit() rolls back.
class TTransaction {
public:
    explicit TTransaction(const QSqlDatabase& db);
    ~TTransaction();
    void Commit();
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;

private:
    void plain(const char* sql, const QString& what);
    sqlite3* m_handle = nullptr;
    pg_conn* m_server = nullptr;
    QString m_savepoint; // empty for a transaction of its own
    bool m_done = false;
};

} // namespace Data
