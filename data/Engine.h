// The one way to the database: an engine per store, chosen once when the store is opened (the table file
// through SQLite, FileEngine.h; a PostgreSQL server through libpq, ServerEngine.h). Statements come from
// Statements.h in the store's dialect; every value is bound, never spliced into the text; transactions
// are held by a guard that rolls back on every exit path that did not commit.
#pragma once

#include "data/Errors.h"
#include "data/RowStore.h"

#include <QDate>
#include <QStringList>
#include <QTime>
#include <QVariantMap>

#include <functional>

class QObject;

namespace Data {

// A statement written out for each store, side by side: the table file's text and the server's (null
// where the server reads the same text).
struct TSql {
    const char* file;
    const char* server = nullptr;
};

// Change notices: the tables other connections changed ("DB", "USER", "GROUP", "TEST"; all of them when
// the store cannot tell which).
using TNoticeHandler = std::function<void(const QStringList& tables)>;
// The tables that change notices name.
const QStringList& ChangeTables();

// The current row of a read, valid during the call that hands it over. A value reads as a QVariant of
// it would convert: NULL as empty or 0.
class TRowView {
public:
    virtual ~TRowView() = default;
    virtual QString Text(int column) const = 0;
    virtual qint64 Integer(int column) const = 0;
    // A date or a time stored as ISO text, read as Platform::IsoToDate and IsoToTime read it.
    virtual QDate Date(int column) const;
    virtual QTime Time(int column) const;
};

class TEngine {
public:
    virtual ~TEngine() = default;
    TEngine() = default;
    TEngine(const TEngine&) = delete;
    TEngine& operator=(const TEngine&) = delete;

    virtual bool IsServer() const = 0;
    // The statement's text for this store.
    QString Text(const TSql& sql) const {
        return QString::fromUtf8(IsServer() && sql.server ? sql.server : sql.file);
    }

    // Reads the whole result of a select into `rows` (reset to its columns) and the column names into
    // `fields`; a parameter without a value is NULL.
    virtual void Select(const QString& text, const QVariantMap& params, QStringList& fields,
                        TRowStore& rows) = 0;
    // Runs one statement that returns no rows with every parameter bound (a missing value is an error);
    // returns the number of rows changed. `lastId` receives the key of an inserted row.
    virtual int Exec(const QString& text, const QVariantMap& params = {}, qint64* lastId = nullptr) = 0;
    // Runs statements without values (schema, session settings), several separated by ";". `what` begins
    // the message of a failure.
    virtual void Run(const QByteArray& script, const QString& what) = 0;

    // Reads one of the program's own statements as Select does. The same few statements run again and
    // again, so an engine may keep them prepared between calls.
    virtual void SelectStatement(const TSql& sql, const QVariantMap& params, QStringList& fields,
                                 TRowStore& rows) {
        Select(Text(sql), params, fields, rows);
    }
    void Select(const TSql& sql, const QVariantMap& params, QStringList& fields, TRowStore& rows) {
        SelectStatement(sql, params, fields, rows);
    }
    // Hands each row of one of the program's own statements over in turn, keeping none: for reads turned
    // at once into records. `each` must not use the engine: the statement is still being read.
    virtual void ReadEach(const TSql& sql, const QVariantMap& params,
                          const std::function<void(const TRowView&)>& each);
    int Exec(const TSql& sql, const QVariantMap& params = {}, qint64* lastId = nullptr) {
        return Exec(Text(sql), params, lastId);
    }
    // The rows of a select as values, for the small reads of the repository and the schema.
    QVector<QVector<QVariant>> Rows(const TSql& sql, const QVariantMap& params = {});
    QVector<QVector<QVariant>> Rows(const QString& text, const QVariantMap& params = {});
    // The first value of a select; invalid when there is no row.
    QVariant Value(const TSql& sql, const QVariantMap& params = {});

    // Transactions, held by TTransaction: on the table file BEGIN IMMEDIATE, so that a lock conflict shows
    // at the start and not half-way.
    virtual bool InTransaction() = 0;
    virtual void Begin() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;

    // Starts handing over changes of other connections: `changed` gets the tables, `working` false while
    // they cannot be noticed (the server's link broke) and true again. Needs an event loop; the timers
    // are children of `owner`.
    virtual void Watch(QObject* owner, TNoticeHandler changed, std::function<void(bool)> working) = 0;
    // True while a statement waits for the store: a list refreshes after it.
    virtual bool Busy() const { return false; }

    // Backup hooks of the table file: every page written into a new file `path`, the pages of the file
    // `path` written into this one (each in one step of the engine), and the page size. The server keeps
    // its own copies: these throw EDatabaseError there.
    virtual void BackupInto(const QString& path);
    virtual void RestoreFrom(const QString& path);
    virtual int PageSize();
};

// A write transaction, or a savepoint inside one that is already open. Destruction without Commit()
// rolls back.
// The value of the statement parameter `name` in `params`; null when there is none, which `requireAll`
// makes an error (a statement that writes binds every parameter).
const QVariant* BoundValue(const QVariantMap& params, const QString& name, bool requireAll);

class TTransaction {
public:
    explicit TTransaction(TEngine& engine);
    ~TTransaction();
    void Commit();
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;

private:
    TEngine& m_engine;
    bool m_savepoint = false; // false for a transaction of its own
    bool m_done = false;
};

} // namespace Data
