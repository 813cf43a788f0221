// The engine of the PostgreSQL server store: its own libpq connection, values bound to the server
// dialect's statements (named parameters numbered for libpq), results read in one round trip, and a lost
// connection told apart.
//
// Every wait for the server is bounded: the server gives up on a statement after kStatementTimeoutMs, the
// program on a link that stays silent for kSilenceLimitMs, and a new connection must be made within
// kReconnectLimitMs. A statement that lost its connection is handled by what it was:
// - a read outside a transaction reconnects once and runs again, unseen by the user;
// - a write outside a transaction that returns its keys as row_id carries a key made here (a UUID) that
//   the server stores with the write's outcome in the same statement (table morvel_write); after a
//   reconnect the old session is ended, the key is looked up, and the write is run again only when it was
//   not stored, with the same key, so it is never stored twice; when the outcome cannot be learnt, the
//   same statement with the same values keeps its key for the next attempt;
// - a transaction is lost with its connection, except its commit, which carries a key too.
// Messages are Russian with what to do; the server's own text goes to the log (EError::detail).
#pragma once

#include "data/Engine.h"

#include <QByteArray>
#include <QStringList>

struct pg_conn;
typedef struct pg_conn PGconn;
class QSocketNotifier;
class QTimer;

namespace Data {

namespace Server {

// Bounds of a wait for the server (see the head of the file).
inline constexpr int kStatementTimeoutMs = 8000;
inline constexpr int kSilenceLimitMs = 10000;
inline constexpr int kReconnectLimitMs = 4000;

using EWaitCancelled = Data::EWaitCancelled;

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

} // namespace Server

class TServerEngine final : public TEngine {
public:
    // Takes over an established connection and prepares its session (text as UTF-8, ISO dates, quiet
    // notices, the time limits); learns whether the database keeps write keys.
    explicit TServerEngine(PGconn* conn);
    ~TServerEngine() override;

    bool IsServer() const override { return true; }
    void Select(const QString& text, const QVariantMap& params, QStringList& fields,
                TRowStore& rows) override;
    int Exec(const QString& text, const QVariantMap& params = {}, qint64* lastId = nullptr) override;
    // Outside a transaction plain statements are session settings and "begin": run again after a
    // reconnect.
    void Run(const QByteArray& script, const QString& what) override;
    using TEngine::Exec;
    using TEngine::Select;

    bool InTransaction() override;
    void Begin() override;
    // Commits with a key, so that a commit whose answer was lost is known to have been stored or not.
    void Commit() override;
    void Rollback() override;

    // The schema's triggers announce every committed change of DB, USER, GROUP and TEST (channel
    // morvel_change, the table's name as payload); the connection listens again after every reconnect,
    // and then every table counts as changed (notices of that time are lost).
    void Watch(QObject* owner, TNoticeHandler changed, std::function<void(bool)> working) override;
    bool Busy() const override;

    // Prepares the session again (after the schema got the table of write keys).
    void PrepareSession();
    // The libpq handle; a connection that broke is re-established once (same parameters, same
    // password), else EConnectionLost.
    PGconn* Handle();
    // The database's name and the server's version ("15.4").
    QString DatabaseName() const;
    QString Version() const;

private:
    void watchSocket();
    void noticed(const QStringList& tables);

    PGconn* m_conn;
    QObject* m_owner = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_noticeTimer = nullptr; // coalesces notices that come together
    QStringList m_changed;
    TNoticeHandler m_changedHandler;
    std::function<void(bool)> m_working;
};

} // namespace Data
