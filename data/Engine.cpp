// Bound statements and transactions: on the SQLite handle of a table-file connection, or handed to the
// server engine.
#include "data/Engine.h"

#include "data/ServerEngine.h"

#include "platform/SystemError.h"
#include "platform/TextRules.h"

#include <QSqlDriver>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cerrno>
#include <memory>

namespace Data {

namespace {

// Messages that schema triggers raise start with this mark; the rest is for the user.
constexpr char kRefusalMark[] = "MORVEL: ";

void execPlain(sqlite3* handle, const char* sql, const QString& what) {
    if (sqlite3_exec(handle, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw EngineError(handle, what);
}

// Nested savepoints may share a name: release and rollback act on the innermost one.
constexpr char kSavepoint[] = "morvel_nested";

} // namespace

bool IsServer(const QSqlDatabase& db) { return Server::IsServer(db); }

sqlite3* EngineHandle(const QSqlDatabase& db) {
    const QVariant v = db.isValid() && db.isOpen() ? db.driver()->handle() : QVariant();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        throw EDatabaseError(QStringLiteral("Нет соединения с базой данных"));
    sqlite3* handle = *static_cast<sqlite3* const*>(v.data());
    if (!handle)
        throw EDatabaseError(QStringLiteral("Нет соединения с базой данных"));
    return handle;
}

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

QString EngineMessage(sqlite3* handle, const QString& what) {
    const QString text = QString::fromUtf8(sqlite3_errmsg(handle));
    const QString mark = QString::fromLatin1(kRefusalMark);
    if (text.startsWith(mark))
        return text.mid(mark.size());
    return what + QStringLiteral(": ") +
           ResultCodeText(sqlite3_extended_errcode(handle), sqlite3_system_errno(handle));
}

EEngineError EngineError(sqlite3* handle, const QString& what) {
    const QString text = QString::fromUtf8(sqlite3_errmsg(handle));
    const int code = sqlite3_extended_errcode(handle);
    // A trigger's refusal is the whole story; the engine's own words are kept for everything else.
    const QString detail =
        text.startsWith(QString::fromLatin1(kRefusalMark))
            ? QString()
            : QStringLiteral("%1 (код %2, errno %3)").arg(text).arg(code).arg(sqlite3_system_errno(handle));
    return EEngineError(EngineMessage(handle, what), detail, code & 0xff,
                        ResultCodeText(code, sqlite3_system_errno(handle)));
}

void BindParams(sqlite3_stmt* stmt, const QVariantMap& params, bool requireAll) {
    const int count = sqlite3_bind_parameter_count(stmt);
    for (int index = 1; index <= count; ++index) {
        const char* rawName = sqlite3_bind_parameter_name(stmt, index);
        if (!rawName)
            throw EDatabaseError(QStringLiteral("Параметр запроса без имени"));
        const QString name = QString::fromUtf8(rawName + 1); // without the ':'
        const auto it = params.constFind(name);
        if (it == params.cend()) {
            if (requireAll)
                throw EDatabaseError(QStringLiteral("Не задано значение параметра «%1»").arg(name));
            continue;
        }
        const QVariant& v = *it;
        int rc = SQLITE_OK;
        switch (v.isNull() ? QMetaType::UnknownType : v.metaType().id()) {
        case QMetaType::UnknownType:
            rc = sqlite3_bind_null(stmt, index);
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::Bool:
            rc = sqlite3_bind_int64(stmt, index, v.toLongLong());
            break;
        case QMetaType::Double:
            rc = sqlite3_bind_double(stmt, index, v.toDouble());
            break;
        case QMetaType::QByteArray: {
            // An empty array is an empty value, never NULL.
            const QByteArray bytes = v.toByteArray();
            rc = sqlite3_bind_blob(stmt, index, bytes.isEmpty() ? "" : bytes.constData(),
                                   static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        default: {
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

int ExecBound(const QSqlDatabase& db, const QString& sql, const QVariantMap& params, qint64* lastId) {
    if (Server::IsServer(db))
        return Server::Exec(db, sql, params, true, lastId);
    sqlite3* handle = EngineHandle(db);
    sqlite3_stmt* stmt = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(handle, text.constData(), static_cast<int>(text.size()), &stmt, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(stmt);
        throw EngineError(handle, QStringLiteral("Ошибка в запросе"));
    }
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> guard(stmt, sqlite3_finalize);
    BindParams(stmt, params, true);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        throw EngineError(handle, QStringLiteral("Ошибка выполнения запроса"));
    if (lastId)
        *lastId = sqlite3_last_insert_rowid(handle);
    return sqlite3_changes(handle);
}

TTransaction::TTransaction(const QSqlDatabase& db) {
    bool open;
    if (Server::IsServer(db)) {
        m_server = Server::Handle(db);
        open = !Server::Idle(m_server);
    } else {
        m_handle = EngineHandle(db);
        open = !sqlite3_get_autocommit(m_handle);
    }
    if (!open) {
        plain(m_server ? "begin" : "begin immediate", QStringLiteral("Не удалось начать запись"));
    } else {
        m_savepoint = QString::fromLatin1(kSavepoint);
        plain(QByteArray("savepoint " + m_savepoint.toLatin1()).constData(),
              QStringLiteral("Не удалось начать запись"));
    }
}

void TTransaction::plain(const char* sql, const QString& what) {
    if (m_server)
        Server::ExecPlain(m_server, sql, what);
    else
        execPlain(m_handle, sql, what);
}

TTransaction::~TTransaction() {
    if (m_done)
        return;
    // Rolling back cannot fail in a way the caller could act on; on a lost server connection the
    // server has rolled back already.
    try {
        if (m_savepoint.isEmpty()) {
            plain("rollback", QString());
        } else {
            const QByteArray name = m_savepoint.toLatin1();
            plain(QByteArray("rollback to " + name).constData(), QString());
            plain(QByteArray("release " + name).constData(), QString());
        }
    } catch (const EDatabaseError&) {
    }
}

void TTransaction::Commit() {
    if (m_done)
        return;
    // The server answers a commit of a failed transaction with a rollback, not an error.
    if (m_server && PQtransactionStatus(m_server) == PQTRANS_INERROR)
        throw EDatabaseError(QStringLiteral("Не удалось завершить запись: операция прервана ошибкой. "
                                            "Изменения не сохранены."));
    if (m_savepoint.isEmpty() && m_server)
        Server::Commit(m_server);
    else if (m_savepoint.isEmpty())
        plain("commit", QStringLiteral("Не удалось завершить запись"));
    else
        plain(QByteArray("release " + m_savepoint.toLatin1()).constData(),
              QStringLiteral("Не удалось завершить запись"));
    m_done = true;
}

} // namespace Data
