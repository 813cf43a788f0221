// Statements on a PostgreSQL connection through libpq on the handle of Qt's driver: the program's SQL
// texts are translated for the server (table names, named parameters, the few SQLite-only phrases),
// values are bound, results are read in one round trip, and a lost connection is told apart.
//
// Every wait for the server is bounded: the server gives up on a statement after kStatementTimeoutMs, the
// program on a link that stays silent for kSilenceLimitMs, and a new connection must be made within
// kReconnectLimitMs. A statement that lost its connection is handled by what it was:
// - a read outside a transaction reconnects once and runs again, unseen by the user;
// - a write outside a transaction carries a key made here (a UUID) that the server stores with the
//   write's outcome in the same statement (table morvel_write); after a reconnect the old session is
//   ended, the key is looked up, and the write is run again only when it was not stored, with the same
//   key, so it is never stored twice; when the outcome cannot be learnt, the same statement with the
//   same values keeps its key for the next attempt;
// - a transaction is lost with its connection, except its commit, which carries a key too.
// Messages are Russian with what to do; the server's own text goes to the log (EError::detail).
#pragma once

#include "data/Dataset.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QStringList>
#include <QVariantMap>

#include <functional>

struct pg_conn;
typedef struct pg_conn PGconn;

namespace Data::Server {

// Name of Qt's PostgreSQL driver.
inline const QString kDriver = QStringLiteral("QPSQL");

// Bounds of a wait for the server (see the head of the file).
inline constexpr int kStatementTimeoutMs = 8000;
inline constexpr int kSilenceLimitMs = 10000;
inline constexpr int kReconnectLimitMs = 4000;

// Options of every server connection: TCP keepalives, so that a dead link is noticed by the system too,
// and a bound on data the other side does not acknowledge.
inline const QString kLinkOptions = QStringLiteral(
    "keepalives=1;keepalives_idle=5;keepalives_interval=2;keepalives_count=3;tcp_user_timeout=10000");

// The user stopped waiting for the server; nothing of the operation was stored.
class EWaitCancelled : public EConnectionLost {
public:
    using EConnectionLost::EConnectionLost;
};

// What the program shows while a statement waits for the server (a wait cursor, then a window that can
// stop the wait). Called on the GUI thread only.
class TWaitObserver {
public:
    virtual ~TWaitObserver() = default;
    // Called about every 50 ms of a wait with the time waited so far; true once the user asked to stop.
    virtual bool Waiting(qint64 elapsedMs) = 0;
    // The wait is over.
    virtual void Done() = 0;
};
// Installs the observer of every wait (null: none, the default).
void SetWaitObserver(TWaitObserver* observer);

// Change notices: the schema's triggers announce every committed change of DB, USER, GROUP and TEST
// (channel morvel_change, the table's name as payload). `handler` gets the tables other sessions changed,
// and an empty list after a reconnect (notices of that time are lost). It is called from inside the
// engine: it must not run statements itself, only schedule work.
using TNoticeHandler = std::function<void(const QStringList& tables)>;
// Makes the connection listen; the engine listens again after every reconnect.
void Listen(PGconn* conn, TNoticeHandler handler);
void Unlisten(PGconn* conn);
// Reads what arrived on an idle listening connection and hands its notices on; false when the
// connection broke.
bool PollNotices(PGconn* conn);
// True while a statement of the engine waits on the connection.
bool Busy(PGconn* conn);

// True when the connection is to a PostgreSQL server.
bool IsServer(const QSqlDatabase& db);

// The libpq handle of an open server connection. A connection that broke is re-established once
// (same parameters, same password); when that fails too, EConnectionLost is thrown.
PGconn* Handle(const QSqlDatabase& db);

// Session settings every server connection needs (text as UTF-8, ISO dates, quiet notices, the time
// limits); run again after a reconnect. Also learns whether the database keeps write keys.
void PrepareSession(PGconn* conn);

// A program SQL text as the server reads it.
struct TStatement {
    QByteArray text;       // the translated text
    QStringList params;    // parameter names in the order of $1, $2, ...
    QByteArray table;      // for an insert into one of our tables: its server name
    QByteArray keyColumn;  // ... and its key column
    bool keyGiven = false; // ... the insert names the key column itself
    bool write = false;    // an insert, update or delete
    QByteArray keyedText;  // a write that also stores its key and outcome (one parameter more)
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

// Commits the open transaction with a key, so that a commit whose answer was lost is known to have been
// stored or not.
void Commit(PGconn* conn);

// True when no transaction is open on the connection.
bool Idle(PGconn* conn);

// The server's version as text ("15.4").
QString ServerVersion(PGconn* conn);

} // namespace Data::Server
