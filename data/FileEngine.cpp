// The table file's engine on SQLite's own interface: the connection, bound statements, results read into
// the row store, transactions, the change counter and the page copies of backups.
#include "data/FileEngine.h"

#include "data/Collation.h"
#include "platform/Locale.h"
#include "platform/SystemError.h"
#include "platform/TextRules.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace Data {

namespace {

constexpr int kLockRetries = 15;
constexpr int kLockWaitMs = 100;
// The file's change counter is read this often.
constexpr int kFilePollMs = 1000;

// Messages that schema triggers raise start with this mark; the rest is for the user.
constexpr char kRefusalMark[] = "MORVEL: ";

using TStmt = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;
struct TCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using THandle = std::unique_ptr<sqlite3, TCloser>;

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

// The message of the connection's last engine error: a refusal raised by a schema trigger is the user's
// message as it stands; anything else is what was being done, what went wrong and what to do. The
// engine's own words are kept for the log.
EEngineError engineError(sqlite3* handle, const QString& what) {
    const QString text = QString::fromUtf8(sqlite3_errmsg(handle));
    const int code = sqlite3_extended_errcode(handle);
    const int system = sqlite3_system_errno(handle);
    const QString mark = QString::fromLatin1(kRefusalMark);
    if (text.startsWith(mark))
        return EEngineError(text.mid(mark.size()), QString(), code & 0xff, ResultCodeText(code, system));
    return EEngineError(what + QStringLiteral(": ") + ResultCodeText(code, system),
                        QStringLiteral("%1 (код %2, errno %3)").arg(text).arg(code).arg(system), code & 0xff,
                        ResultCodeText(code, system));
}

void execOn(sqlite3* handle, const char* sql, const QString& what) {
    if (sqlite3_exec(handle, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw engineError(handle, what);
}

TStmt prepare(sqlite3* handle, const QString& text) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare16_v2(handle, text.utf16(), -1, &stmt, nullptr) != SQLITE_OK) {
        const EEngineError error = engineError(handle, QStringLiteral("Ошибка в запросе"));
        sqlite3_finalize(stmt);
        throw error;
    }
    return TStmt(stmt, sqlite3_finalize);
}

// Binds the named parameters (":Name") of a statement from `params` (keys without the colon). With
// `requireAll`, a parameter without a value is an error rather than a NULL.
void bindParams(sqlite3_stmt* stmt, const QVariantMap& params, bool requireAll) {
    const int count = sqlite3_bind_parameter_count(stmt);
    for (int index = 1; index <= count; ++index) {
        const char* rawName = sqlite3_bind_parameter_name(stmt, index);
        if (!rawName)
            throw EDatabaseError(QStringLiteral("Параметр запроса без имени"));
        const QString name = QString::fromUtf8(rawName + 1); // without the ':'
        const QVariant* value = BoundValue(params, name, requireAll);
        if (!value)
            continue;
        const QVariant& v = *value;
        int rc = SQLITE_OK;
        switch (KindOf(v)) {
        case TCellKind::Null:
            rc = sqlite3_bind_null(stmt, index);
            break;
        case TCellKind::Integer:
            rc = sqlite3_bind_int64(stmt, index, v.toLongLong());
            break;
        case TCellKind::Float:
            rc = sqlite3_bind_double(stmt, index, v.toDouble());
            break;
        case TCellKind::Blob: {
            // An empty array is an empty value, never NULL.
            const QByteArray bytes = v.toByteArray();
            rc = sqlite3_bind_blob(stmt, index, bytes.isEmpty() ? "" : bytes.constData(),
                                   static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        case TCellKind::Text: {
            const QString text = v.toString();
            if (Platform::HasLoneSurrogate(text))
                throw EDatabaseError(
                    QStringLiteral("Текст содержит недопустимый символ и не может быть сохранён."));
            const QByteArray utf8 = text.toUtf8();
            rc = sqlite3_bind_text(stmt, index, utf8.isEmpty() ? "" : utf8.constData(),
                                   static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
            break;
        }
        }
        if (rc != SQLITE_OK)
            throw EDatabaseError(QStringLiteral("Не удалось передать значение параметра «%1»").arg(name));
    }
}

int russianCollation(void*, int lenA, const void* a, int lenB, const void* b) {
    return CompareRussianUtf8(static_cast<const char*>(a), lenA, static_cast<const char*>(b), lenB);
}

int busyHandler(void*, int retries) {
    if (retries >= kLockRetries)
        return 0;
    sqlite3_sleep(kLockWaitMs);
    return 1;
}

// A file opened for a copy of pages (a backup's target or a restore's source), waiting a while for locks.
THandle openFile(const QString& path, int flags) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, flags, nullptr);
    THandle handle(raw);
    if (rc != SQLITE_OK)
        throw EEngineError(QStringLiteral("Не удалось открыть файл «%1»: %2")
                               .arg(shown(path), ResultCodeText(rc, raw ? sqlite3_system_errno(raw) : 0)),
                           QString::fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)), rc & 0xff);
    sqlite3_busy_timeout(handle.get(), 1500);
    return handle;
}

// Copies every page of `from` into `to`; the destination's lock is retried for a while. The pages go
// in one step of the engine: the destination holds all of them or none.
void copyPages(sqlite3* to, sqlite3* from, const QString& what) {
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup)
        throw engineError(to, what);
    int rc;
    int waits = 0;
    do {
        // All pages in one step: the copy is one consistent state of the source.
        rc = sqlite3_backup_step(backup, -1);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            if (++waits > 50)
                break;
            QThread::msleep(100);
        }
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        throw EEngineError(what + QStringLiteral(": ") + ResultCodeText(rc, sqlite3_system_errno(to)),
                           QString::fromUtf8(sqlite3_errstr(rc)), rc & 0xff);
}

} // namespace

QString ResultCodeText(int code, int systemError) {
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_PROTOCOL:
        return QStringLiteral("база данных занята: в неё сейчас записывает другое рабочее место или другая "
                              "копия программы. Повторите действие через несколько секунд; если сообщение "
                              "повторяется, закройте программу на других рабочих местах.");
    case SQLITE_FULL:
        return QStringLiteral("на диске с папкой данных не хватает места. Освободите место на диске и "
                              "повторите действие.");
    case SQLITE_IOERR:
        if (systemError != 0 && systemError != EIO)
            return Platform::SystemErrorText(systemError);
        // The engine does not always keep the system's reason of a failed write; a full disk is the
        // usual one.
        if (code == SQLITE_IOERR_WRITE || code == SQLITE_IOERR_FSYNC || code == SQLITE_IOERR_TRUNCATE)
            return QStringLiteral("не удалось записать файл базы данных: на диске не хватает места, или диск "
                                  "неисправен или отключён. Освободите место на диске или проверьте диск и "
                                  "повторите действие.");
        return QStringLiteral("ошибка чтения или записи файла базы данных: диск неисправен, отключён или "
                              "переполнен. Проверьте диск и повторите действие.");
    case SQLITE_READONLY:
        return QStringLiteral("файл базы данных доступен только для чтения: нет прав на запись в папку "
                              "данных или в файл. Попросите администратора открыть доступ на запись и "
                              "перезапустите программу.");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("файл базы данных повреждён. Восстановите данные из резервной копии («База "
                              "данных» → «Восстановить из копии...»).");
    case SQLITE_CANTOPEN:
        if (systemError != 0)
            return Platform::SystemErrorText(systemError);
        return QStringLiteral("не удаётся открыть файл базы данных. Проверьте, что папка данных существует "
                              "и доступна для чтения и записи.");
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("нет прав доступа к файлу базы данных. Попросите администратора открыть "
                              "доступ.");
    case SQLITE_NOMEM:
        return QStringLiteral("недостаточно памяти. Закройте ненужные окна и программы и повторите "
                              "действие.");
    case SQLITE_TOOBIG:
        return QStringLiteral("значение слишком велико для базы данных. Сократите текст и повторите "
                              "действие.");
    case SQLITE_CONSTRAINT:
        return QStringLiteral("запись противоречит данным, уже сохранённым в базе. Обновите список и "
                              "повторите действие.");
    case SQLITE_INTERRUPT:
        return QStringLiteral("операция прервана.");
    default:
        return QStringLiteral("внутренняя ошибка базы данных. Подробности записаны в журнал программы "
                              "(файл morvel.log в папке данных).");
    }
}

bool IsDamage(const EEngineError& e) { return e.code() == SQLITE_CORRUPT || e.code() == SQLITE_NOTADB; }

std::unique_ptr<TFileEngine> TFileEngine::Open(const QString& path, TAccess access) {
    QByteArray name = QFile::encodeName(path);
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    if (access == TAccess::Read || access == TAccess::Frozen) {
        flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
        name = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded).toUtf8() +
               (access == TAccess::Read ? "?mode=ro" : "?immutable=1");
    }
    // A connection is used by one thread at a time, so SQLite need not lock it at every call (a row read
    // makes several).
    flags |= SQLITE_OPEN_NOMUTEX;
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(name.constData(), &raw, flags, nullptr);
    std::unique_ptr<TFileEngine> engine(new TFileEngine(raw, path));
    if (rc != SQLITE_OK)
        throw EDatabaseError(
            access == TAccess::Write
                ? QStringLiteral("Не могу открыть базу данных «%1».").arg(shown(path))
                : QStringLiteral("Не могу открыть базу данных «%1»: не удаётся прочитать файл.")
                      .arg(shown(path)),
            QString::fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
    sqlite3_busy_handler(raw, busyHandler, nullptr);
    sqlite3_create_collation_v2(raw, "RUSSIAN", SQLITE_UTF8, nullptr, russianCollation, nullptr);
    // The first read finds a file that is not a database; nothing has been written to it by then.
    if (sqlite3_exec(raw, "select count(*) from sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const int code = sqlite3_errcode(raw);
        if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT)
            throw EDamagedFile(
                QStringLiteral("Файл «%1» не является базой данных программы или повреждён. Файл оставлен "
                               "без изменений; восстановите его из резервной копии или переместите, чтобы "
                               "программа создала новый.")
                    .arg(path),
                QString::fromUtf8(sqlite3_errmsg(raw)));
        throw engineError(raw, QStringLiteral("Не могу открыть базу данных"));
    }
    if (access == TAccess::Copy)
        engine->Run("pragma query_only = 1", QStringLiteral("Не могу открыть базу данных"));
    return engine;
}

TFileEngine::~TFileEngine() {
    for (const auto& [text, stmt] : m_kept)
        sqlite3_finalize(stmt);
    sqlite3_close_v2(m_handle);
}

namespace {

// Reads every row of a prepared statement into the row store: the hot path of every list refresh, the
// engine's values go straight into the store.
void readRows(sqlite3* handle, sqlite3_stmt* stmt, const QVariantMap& params, QStringList& fields,
              TRowStore& rows) {
    bindParams(stmt, params, false);
    const int n = sqlite3_column_count(stmt);
    for (int i = 0; i < n; ++i)
        fields.append(QString::fromUtf8(sqlite3_column_name(stmt, i)));
    rows.Reset(n);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        for (int i = 0; i < n; ++i) {
            // One look-up of the column's value serves its type and its contents.
            sqlite3_value* value = sqlite3_column_value(stmt, i);
            switch (sqlite3_value_type(value)) {
            case SQLITE_INTEGER:
                rows.AppendInteger(sqlite3_value_int64(value));
                break;
            case SQLITE_FLOAT:
                rows.AppendFloat(sqlite3_value_double(value));
                break;
            case SQLITE_TEXT: {
                const auto* chars = reinterpret_cast<const char*>(sqlite3_value_text(value));
                rows.AppendText(QByteArrayView(chars, sqlite3_value_bytes(value)));
                break;
            }
            case SQLITE_BLOB: {
                // A zero-length value comes back without data; it stays an empty value, not NULL.
                const auto* data = static_cast<const char*>(sqlite3_value_blob(value));
                rows.AppendBlob(QByteArrayView(data ? data : "", sqlite3_value_bytes(value)));
                break;
            }
            default:
                rows.AppendNull();
                break;
            }
        }
    }
    if (rc != SQLITE_DONE)
        throw engineError(handle, QStringLiteral("Ошибка выполнения запроса"));
}

} // namespace

void TFileEngine::Select(const QString& text, const QVariantMap& params, QStringList& fields,
                         TRowStore& rows) {
    const TStmt stmt = prepare(m_handle, text);
    readRows(m_handle, stmt.get(), params, fields, rows);
}

sqlite3_stmt* TFileEngine::kept(const TSql& sql) {
    sqlite3_stmt*& stmt = m_kept[sql.file];
    // A statement made at run time may reuse the address of one that is gone.
    if (stmt && std::strcmp(sqlite3_sql(stmt), sql.file) != 0) {
        sqlite3_finalize(stmt);
        stmt = nullptr;
    }
    if (!stmt &&
        sqlite3_prepare_v3(m_handle, sql.file, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
        const EEngineError error = engineError(m_handle, QStringLiteral("Ошибка в запросе"));
        sqlite3_finalize(stmt);
        stmt = nullptr;
        throw error;
    }
    return stmt;
}

namespace {
// Resets a kept statement on every way out: it holds no lock and no value between calls.
using TResetOnExit = std::unique_ptr<sqlite3_stmt, decltype([](sqlite3_stmt* stmt) {
                                         sqlite3_reset(stmt);
                                         sqlite3_clear_bindings(stmt);
                                     })>;
} // namespace

void TFileEngine::SelectStatement(const TSql& sql, const QVariantMap& params, QStringList& fields,
                                  TRowStore& rows) {
    const TResetOnExit stmt(kept(sql));
    readRows(m_handle, stmt.get(), params, fields, rows);
}

void TFileEngine::ReadEach(const TSql& sql, const QVariantMap& params,
                           const std::function<void(const TRowView&)>& each) {
    class TStatementRow final : public TRowView {
    public:
        explicit TStatementRow(sqlite3_stmt* stmt) : m_stmt(stmt) {}
        QString Text(int column) const override {
            const auto* chars = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
            return chars ? QString::fromUtf8(chars, sqlite3_column_bytes(m_stmt, column)) : QString();
        }
        qint64 Integer(int column) const override { return sqlite3_column_int64(m_stmt, column); }
        // Read from the stored bytes: no string is made for a value that ends as a date or a time.
        QDate Date(int column) const override { return Platform::IsoToDate(utf8(column)); }
        QTime Time(int column) const override { return Platform::IsoToTime(utf8(column)); }

    private:
        QUtf8StringView utf8(int column) const {
            const auto* chars = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
            return chars ? QUtf8StringView(chars, sqlite3_column_bytes(m_stmt, column)) : QUtf8StringView();
        }
        sqlite3_stmt* m_stmt;
    };
    const TResetOnExit stmt(kept(sql));
    bindParams(stmt.get(), params, false);
    const TStatementRow row(stmt.get());
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW)
        each(row);
    if (rc != SQLITE_DONE)
        throw engineError(m_handle, QStringLiteral("Ошибка выполнения запроса"));
}

int TFileEngine::Exec(const QString& text, const QVariantMap& params, qint64* lastId) {
    const TStmt stmt = prepare(m_handle, text);
    bindParams(stmt.get(), params, true);
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        throw engineError(m_handle, QStringLiteral("Ошибка выполнения запроса"));
    if (lastId)
        *lastId = sqlite3_last_insert_rowid(m_handle);
    return sqlite3_changes(m_handle);
}

void TFileEngine::Run(const QByteArray& script, const QString& what) {
    execOn(m_handle, script.constData(), what);
}

bool TFileEngine::InTransaction() { return !sqlite3_get_autocommit(m_handle); }
void TFileEngine::Begin() { execOn(m_handle, "begin immediate", QStringLiteral("Не удалось начать запись")); }
void TFileEngine::Commit() { execOn(m_handle, "commit", QStringLiteral("Не удалось завершить запись")); }
void TFileEngine::Rollback() { execOn(m_handle, "rollback", QString()); }

qint64 TFileEngine::dataVersion() {
    sqlite3_stmt* stmt = nullptr;
    qint64 version = -1;
    if (sqlite3_prepare_v2(m_handle, "pragma data_version", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        version = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return version;
}

void TFileEngine::Watch(QObject* owner, TNoticeHandler changed, std::function<void(bool)>) {
    // Another connection's commit changes the file's counter; this connection's own do not.
    auto* timer = new QTimer(owner);
    timer->setInterval(kFilePollMs);
    auto last = std::make_shared<qint64>(dataVersion());
    QObject::connect(timer, &QTimer::timeout, owner, [this, last, changed] {
        const qint64 version = dataVersion();
        if (version < 0)
            return;
        if (*last >= 0 && version != *last)
            changed(ChangeTables());
        *last = version;
    });
    timer->start();
}

void TFileEngine::BackupInto(const QString& path) {
    const QString what = QStringLiteral("Не удалось сделать резервную копию");
    const THandle target = openFile(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    copyPages(target.get(), m_handle, what);
    // The copy is a file of its own: no journal of the source's kind is needed beside it.
    execOn(target.get(), "pragma journal_mode = delete", what);
}

void TFileEngine::RestoreFrom(const QString& path) {
    const THandle source = openFile(path, SQLITE_OPEN_READONLY);
    copyPages(m_handle, source.get(), QStringLiteral("Не удалось восстановить данные из копии"));
}

int TFileEngine::PageSize() { return Value(TSql{"pragma page_size"}).toInt(); }

void TFileEngine::SetJournalMode(bool networkFolder) {
    sqlite3_exec(m_handle, networkFolder ? "pragma journal_mode = delete" : "pragma journal_mode = wal",
                 nullptr, nullptr, nullptr);
    sqlite3_exec(m_handle, "pragma synchronous = normal", nullptr, nullptr, nullptr);
}

void TFileEngine::Checkpoint() {
    sqlite3_wal_checkpoint_v2(m_handle, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
}

} // namespace Data
