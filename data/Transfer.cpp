// Copy of the table file into a server database: COPY streams of the file's rows, sequences moved past
// the copied keys, and a row count and MD5 of every table on both sides before the commit.
#include "data/Transfer.h"

#include "data/Engine.h"
#include "data/Schema.h"
#include "data/ServerEngine.h"

#include <QCryptographicHash>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <memory>

namespace Data {

namespace {

using TStmt = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

// Tables in the order they are copied: owners before the rows that name them.
const char* const kOrder[] = {"DB", "GROUP", "USER", "TEST", "Symbols", "DurMoll", "Soz"};

// The one column the server keeps as bytes.
bool isBytes(const QString& column) { return column == QLatin1String("Password"); }

const TTableKey& tableOf(const QString& name) {
    for (const TTableKey& t : TableKeys())
        if (t.table == name)
            return t;
    throw EDatabaseError(QStringLiteral("Неизвестная таблица ") + name);
}

QByteArray serverTable(const QString& table) {
    const QByteArray lower = table.toLower().toLatin1();
    return lower == "user" || lower == "group" ? '"' + lower + '"' : lower;
}

QByteArray serverColumns(const TTableKey& t) {
    QByteArrayList names;
    for (const QString& c : t.columns)
        names << c.toLower().toLatin1();
    return names.join(", ");
}

// Reads the file's table in key order and hands each row's values, as the checksum's text and as a
// COPY line, to `row`.
template <class F> void walkFileTable(sqlite3* handle, const TTableKey& t, F&& row) {
    QStringList quoted;
    for (const QString& c : t.columns)
        quoted << c;
    const QByteArray sql = QStringLiteral("select %1 from \"%2\" order by %3")
                               .arg(quoted.join(QStringLiteral(", ")), t.table, t.key)
                               .toUtf8();
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(handle, sql.constData(), static_cast<int>(sql.size()), &raw, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(raw);
        throw EDatabaseError(
            EngineMessage(handle, QStringLiteral("Не удалось прочитать таблицу ") + t.table));
    }
    const TStmt stmt(raw, sqlite3_finalize);
    const int n = static_cast<int>(t.columns.size());
    QByteArray sumText;
    QByteArray copyLine;
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        sumText.clear();
        copyLine.clear();
        for (int i = 0; i < n; ++i) {
            if (i > 0) {
                sumText += '\t';
                copyLine += '\t';
            }
            const int type = sqlite3_column_type(raw, i);
            if (type == SQLITE_NULL) {
                sumText += "\\N";
                copyLine += "\\N";
                continue;
            }
            const auto* data = static_cast<const char*>(sqlite3_column_blob(raw, i));
            const QByteArray value(data ? data : "", sqlite3_column_bytes(raw, i));
            if (isBytes(t.columns[i])) {
                sumText += "\\x" + value.toHex();
                copyLine += "\\\\x" + value.toHex();
                continue;
            }
            const QByteArray text =
                type == SQLITE_FLOAT ? QByteArray::number(sqlite3_column_double(raw, i), 'g', 17) : value;
            sumText += text;
            for (const char c : text) {
                switch (c) {
                case '\\':
                    copyLine += "\\\\";
                    break;
                case '\t':
                    copyLine += "\\t";
                    break;
                case '\n':
                    copyLine += "\\n";
                    break;
                case '\r':
                    copyLine += "\\r";
                    break;
                default:
                    copyLine += c;
                }
            }
        }
        copyLine += '\n';
        row(sumText, copyLine);
    }
    if (rc != SQLITE_DONE)
        throw EDatabaseError(
            EngineMessage(handle, QStringLiteral("Не удалось прочитать таблицу ") + t.table));
}

struct TFileSum {
    qint64 rows = 0;
    QByteArray sum;
};

TFileSum fileChecksum(sqlite3* handle, const TTableKey& t) {
    QCryptographicHash md5(QCryptographicHash::Md5);
    TFileSum s;
    walkFileTable(handle, t, [&](const QByteArray& text, const QByteArray&) {
        if (s.rows++ > 0)
            md5.addData("\n");
        md5.addData(text);
    });
    s.sum = md5.result().toHex();
    return s;
}

TFileSum serverChecksum(const QSqlDatabase& db, const TTableKey& t) {
    QStringList values;
    // Bytes as the file side writes them, "\x" and hex: the session's own text form of bytea is the
    // escape form that Qt's driver chooses.
    for (const QString& c : t.columns)
        values << (isBytes(c) ? QStringLiteral("coalesce('\\x' || encode(%1, 'hex'), '\\N')")
                              : QStringLiteral("coalesce(%1::text, '\\N')"))
                      .arg(c.toLower());
    TQuery q(db.connectionName(), nullptr);
    // Written for the server as it stands: no translation of names is wanted here.
    q.SetSQL(QStringLiteral(
                 "select count(*), md5(coalesce(string_agg(concat_ws(E'\\t', %1), E'\\n' order by %2), '')) "
                 "from %3")
                 .arg(values.join(QStringLiteral(", ")), t.key.toLower(),
                      QString::fromLatin1(serverTable(t.table))));
    q.Open();
    return {q.Value(0, 0).toLongLong(), q.Value(0, 1).toString().toLatin1()};
}

void copyTable(sqlite3* source, PGconn* target, const TTableKey& t) {
    const QByteArray sql = "copy " + serverTable(t.table) + " (" + serverColumns(t) + ") from stdin";
    {
        const std::unique_ptr<PGresult, void (*)(PGresult*)> res(PQexec(target, sql.constData()), PQclear);
        if (PQresultStatus(res.get()) != PGRES_COPY_IN)
            throw EDatabaseError(QStringLiteral("Сервер не принял данные таблицы %1; перенос отменён, на "
                                                "сервере ничего не изменено.")
                                     .arg(t.table),
                                 QString::fromUtf8(PQerrorMessage(target)).trimmed());
    }
    QByteArray chunk;
    constexpr qsizetype kChunk = 1 << 20;
    bool failed = false;
    const auto flush = [&] {
        if (!chunk.isEmpty() && PQputCopyData(target, chunk.constData(), static_cast<int>(chunk.size())) != 1)
            failed = true;
        chunk.clear();
    };
    try {
        walkFileTable(source, t, [&](const QByteArray&, const QByteArray& line) {
            chunk += line;
            if (chunk.size() >= kChunk)
                flush();
        });
    } catch (const EDatabaseError&) {
        PQputCopyEnd(target, "reading the table file failed");
        while (PGresult* r = PQgetResult(target))
            PQclear(r);
        throw;
    }
    flush();
    PQputCopyEnd(target, failed ? "sending failed" : nullptr);
    QString error;
    while (PGresult* r = PQgetResult(target)) {
        if (PQresultStatus(r) != PGRES_COMMAND_OK && error.isEmpty()) {
            const char* primary = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY);
            const char* context = PQresultErrorField(r, PG_DIAG_CONTEXT);
            error = QString::fromUtf8(primary ? primary : PQerrorMessage(target)).trimmed();
            if (context)
                error += QStringLiteral(" (") + QString::fromUtf8(context).trimmed() + QLatin1Char(')');
        }
        PQclear(r);
    }
    if (!error.isEmpty())
        throw EDatabaseError(QStringLiteral("Сервер не принял данные таблицы %1; перенос отменён, на сервере "
                                            "ничего не изменено.")
                                 .arg(t.table),
                             error);
}

// The highest key the file ever handed out for a table (its key counter), also that of a row deleted
// since; 0 when it keeps none.
qint64 fileKeyCounter(sqlite3* handle, const QString& table) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(handle, "select seq from sqlite_sequence where name = ?1 collate nocase", -1, &raw,
                           nullptr) != SQLITE_OK)
        return 0;
    const TStmt stmt(raw, sqlite3_finalize);
    const QByteArray name = table.toUtf8();
    sqlite3_bind_text(raw, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
    return sqlite3_step(raw) == SQLITE_ROW ? sqlite3_column_int64(raw, 0) : 0;
}

} // namespace

bool TTransferReport::ok() const {
    for (const TTransferCheck& c : tables)
        if (!c.ok())
            return false;
    return !tables.isEmpty();
}

QString TTransferReport::Text() const {
    QStringList lines;
    for (const TTransferCheck& c : tables)
        lines << QStringLiteral("%1: строк в файле %2, на сервере %3; контрольная сумма %4")
                     .arg(c.table)
                     .arg(c.sourceRows)
                     .arg(c.targetRows)
                     .arg(c.sourceSum == c.targetSum ? QStringLiteral("совпадает")
                                                     : QStringLiteral("НЕ совпадает"));
    return lines.join(u'\n');
}

QByteArray TableChecksum(const QSqlDatabase& db, const QString& table) {
    const TTableKey& t = tableOf(table);
    return IsServer(db) ? serverChecksum(db, t).sum : fileChecksum(EngineHandle(db), t).sum;
}

TTransferReport TransferToServer(const QSqlDatabase& source, const QSqlDatabase& constTarget) {
    QSqlDatabase target = constTarget;
    sqlite3* file = EngineHandle(source);
    PGconn* server = Server::Handle(target);

    TTransaction transaction(target);
    // Copying a large file may take longer than a statement of the program may.
    Server::ExecPlain(server, "set local statement_timeout = 0",
                      QStringLiteral("Не удалось подготовить перенос"));
    PrepareServerSchema(target);
    QStringList filled;
    for (const char* name : {"DB", "GROUP", "USER", "TEST"}) {
        TQuery q(target.connectionName(), nullptr);
        q.SetSQL(QStringLiteral("select count(*) from \"%1\"").arg(QString::fromLatin1(name)));
        q.Open();
        if (q.Value(0, 0).toLongLong() > 0)
            filled << QString::fromLatin1(name);
    }
    if (!filled.isEmpty())
        throw EDatabaseError(
            QStringLiteral("База данных «%1» на сервере не пуста (таблицы %2 содержат записи). "
                           "Перенос возможен только в пустую базу данных; ничего не изменено.")
                .arg(target.databaseName(), filled.join(QStringLiteral(", "))));

    // The file's rows are copied as they are: tests of deleted testees and rows of earlier versions
    // included, which the write guards would refuse one by one.
    for (const char* table : {"\"user\"", "test"})
        Server::ExecPlain(server, QByteArray("alter table ") + table + " disable trigger user",
                          QStringLiteral("Не удалось подготовить перенос"));
    for (const char* table : {"symbols", "durmoll", "soz"})
        Server::ExecPlain(server, QByteArray("delete from ") + table,
                          QStringLiteral("Не удалось подготовить перенос"));
    for (const char* name : kOrder) {
        const TTableKey& t = tableOf(QString::fromLatin1(name));
        copyTable(file, server, t);
        const QByteArray table = serverTable(t.table);
        const QByteArray key = t.key.toLower().toLatin1();
        // Past the file's counter too: a deleted group's or database's key, still held by testees, is
        // never handed out again.
        const QByteArray highest = "greatest(coalesce(max(" + key + "), 0), " +
                                   QByteArray::number(fileKeyCounter(file, t.table)) + ")";
        Server::ExecPlain(server,
                          "select setval(pg_get_serial_sequence('" + table + "', '" + key + "'), greatest(" +
                              highest + ", 1), " + highest + " > 0) from " + table,
                          QStringLiteral("Не удалось перенести счётчик ключей"));
    }
    for (const char* table : {"\"user\"", "test"})
        Server::ExecPlain(server, QByteArray("alter table ") + table + " enable trigger user",
                          QStringLiteral("Не удалось завершить перенос"));

    TTransferReport report;
    for (const char* name : kOrder) {
        const TTableKey& t = tableOf(QString::fromLatin1(name));
        const TFileSum a = fileChecksum(file, t);
        const TFileSum b = serverChecksum(target, t);
        report.tables.append({t.table, a.rows, b.rows, a.sum, b.sum});
    }
    if (!report.ok())
        throw EDatabaseError(
            QStringLiteral("Данные на сервере не совпали с файлом; перенос отменён, на сервере "
                           "ничего не изменено.\n") +
            report.Text());
    transaction.Commit();
    return report;
}

} // namespace Data
