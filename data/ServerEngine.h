// Statements on a PostgreSQL connection through libpq on the handle of Qt's driver: the program's SQL
// texts are translated for the server (table names, named parameters, the few SQLite-only phrases),
// values are bound, results are read in one round trip, and a lost connection is told apart.
#pragma once

#include "data/Dataset.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QStringList>
#include <QVariantMap>

struct pg_conn;
typedef struct pg_conn PGconn;

namespace Data::Server {

// Name of Qt's PostgreSQL driver.
inline const QString kDriver = QStringLiteral("QPSQL");

// True when the connection is to a PostgreSQL server.
bool IsServer(const QSqlDatabase& db);

// The libpq handle of an open server connection. A connection that broke is re-established once
// (same parameters, same password); when that fails too, EConnectionLost is thrown.
PGconn* Handle(const QSqlDatabase& db);

// Session settings every server connection needs (text as UTF-8, ISO dates, quiet notices); run again
// after a reconnect.
void PrepareSession(PGconn* conn);

// A program SQL text as the server reads it.
struct TStatement {
    QByteArray text;       // the translated text
    QStringList params;    // parameter names in the order of $1, $2, ...
    QByteArray table;      // for an insert into one of our tables: its server name
    QByteArray keyColumn;  // ... and its key column
    bool keyGiven = false; // ... the insert names the key column itself
};

// Translates a program SQL text: double-quoted identifiers in lower case ("GROUP" becomes "group"),
// the bare table name USER quoted ("user"; a keyword on the server), ":Name" parameters numbered,
// "insert or ignore" as an insert that skips conflicts, last_insert_rowid() as lastval(); an insert
// into one of our tables returns its key. String literals and comments are copied unchanged.
TStatement Translate(const QString& sql);

// The program's spelling of a column name the server returns in lower case (men_id -> Men_ID); names
// it does not know are returned as they are.
QString CanonicalName(const char* serverName);

// Runs one statement with its values bound; returns the number of rows changed. `lastId` receives the
// key of the (last) inserted row. An insert that sets the key itself moves the key's sequence past it.
int Exec(const QSqlDatabase& db, const QString& sql, const QVariantMap& params, bool requireAll,
         qint64* lastId);

// Runs a select with its values bound (missing values are NULL) and fills `fields` and `rows` with
// its result, read in one round trip.
void Select(const QSqlDatabase& db, const QString& sql, const QVariantMap& params, QStringList& fields,
            TRowStore& rows);

// Runs plain statements (no parameters, no result): schema, transactions.
void ExecPlain(PGconn* conn, const QByteArray& sql, const QString& what);

// True when no transaction is open on the connection.
bool Idle(PGconn* conn);

// The server's version as text ("15.4").
QString ServerVersion(PGconn* conn);

} // namespace Data::Server
