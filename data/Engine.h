// Statements on the store's connection (the table file, or a PostgreSQL server): every value is bound,
// never spliced into the text, and transactions are held by a guard that rolls back on every exit path
// that did not commit.
#pragma once

#include "data/Dataset.h"

#include <QSqlDatabase>
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

// The message of an engine error: a refusal raised by a schema trigger is the user's message as it
// stands; a damaged file is named as such with the way out; anything else is prefixed with what was
// being done.
QString EngineMessage(sqlite3* handle, const QString& what);

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
