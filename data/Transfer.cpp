// Copy of the table file into a server database: COPY streams of the file's rows, sequences moved past
// the copied keys, and a row count and MD5 of every table on both sides before the commit.
#include "data/Transfer.h"

#include "data/FileEngine.h"
#include "data/LibPq.h"
#include "data/Schema.h"
#include "data/ServerEngine.h"

#include <QCryptographicHash>

#include <memory>

namespace Data {

namespace {

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

// A cell of the file as text: numbers written out, text and bytes as they are stored.
QByteArray cellBytes(const TRowStore& rows, int r, int c) {
    switch (rows.Kind(r, c)) {
    case TCellKind::Integer:
        return QByteArray::number(rows.Integer(r, c));
    case TCellKind::Float:
        return QByteArray::number(rows.Float(r, c), 'g', 17);
    case TCellKind::Null:
        return {};
    default:
        return rows.Bytes(r, c).toByteArray();
    }
}

// Reads the file's table in key order and hands each row's values, as the checksum's text and as a
// COPY line, to `row`.
template <class F> void walkFileTable(TEngine& source, const TTableKey& t, F&& row) {
    QStringList fields;
    TRowStore rows;
    try {
        source.Select(QStringLiteral("select %1 from \"%2\" order by %3")
                          .arg(t.columns.join(QStringLiteral(", ")), t.table, t.key),
                      {}, fields, rows);
    } catch (const EEngineError& e) {
        throw EDatabaseError(QStringLiteral("Не удалось прочитать таблицу ") + t.table +
                                 QStringLiteral(": ") + e.reason(),
                             e.detail());
    }
    const int n = static_cast<int>(t.columns.size());
    QByteArray sumText;
    QByteArray copyLine;
    for (int r = 0; r < rows.RowCount(); ++r) {
        sumText.clear();
        copyLine.clear();
        for (int i = 0; i < n; ++i) {
            if (i > 0) {
                sumText += '\t';
                copyLine += '\t';
            }
            if (rows.Kind(r, i) == TCellKind::Null) {
                sumText += "\\N";
                copyLine += "\\N";
                continue;
            }
            const QByteArray text = cellBytes(rows, r, i);
            if (isBytes(t.columns[i])) {
                sumText += "\\x" + text.toHex();
                copyLine += "\\\\x" + text.toHex();
                continue;
            }
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
}

struct TFileSum {
    qint64 rows = 0;
    QByteArray sum;
};

TFileSum fileChecksum(TEngine& source, const TTableKey& t) {
    QCryptographicHash md5(QCryptographicHash::Md5);
    TFileSum s;
    walkFileTable(source, t, [&](const QByteArray& text, const QByteArray&) {
        if (s.rows++ > 0)
            md5.addData("\n");
        md5.addData(text);
    });
    s.sum = md5.result().toHex();
    return s;
}

TFileSum serverChecksum(TEngine& db, const TTableKey& t) {
    QStringList values;
    // Bytes as the file side writes them, "\x" and hex: the session's own text form of bytea is the
    // escape form that Qt's driver chooses.
    for (const QString& c : t.columns)
        values << (isBytes(c) ? QStringLiteral("coalesce('\\x' || encode(%1, 'hex'), '\\N')")
                              : QStringLiteral("coalesce(%1::text, '\\N')"))
                      .arg(c.toLower());
    const auto rows = db.Rows(
        QStringLiteral(
            "select count(*), md5(coalesce(string_agg(concat_ws(E'\\t', %1), E'\\n' order by %2), '')) "
            "from %3")
            .arg(values.join(QStringLiteral(", ")), t.key.toLower(),
                 QString::fromLatin1(serverTable(t.table))));
    return {rows[0][0].toLongLong(), rows[0][1].toString().toLatin1()};
}

void copyTable(TEngine& source, PGconn* target, const TTableKey& t) {
    const QByteArray sql = "copy " + serverTable(t.table) + " (" + serverColumns(t) + ") from stdin";
    {
        const std::unique_ptr<PGresult, void (*)(PGresult*)> res(LibPq().PQexec(target, sql.constData()),
                                                                 LibPq().PQclear);
        if (LibPq().PQresultStatus(res.get()) != PGRES_COPY_IN)
            throw EDatabaseError(QStringLiteral("Сервер не принял данные таблицы %1; перенос отменён, на "
                                                "сервере ничего не изменено.")
                                     .arg(t.table),
                                 QString::fromUtf8(LibPq().PQerrorMessage(target)).trimmed());
    }
    QByteArray chunk;
    constexpr qsizetype kChunk = 1 << 20;
    bool failed = false;
    const auto flush = [&] {
        if (!chunk.isEmpty() &&
            LibPq().PQputCopyData(target, chunk.constData(), static_cast<int>(chunk.size())) != 1)
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
        LibPq().PQputCopyEnd(target, "reading the table file failed");
        while (PGresult* r = LibPq().PQgetResult(target))
            LibPq().PQclear(r);
        throw;
    }
    flush();
    LibPq().PQputCopyEnd(target, failed ? "sending failed" : nullptr);
    QString error;
    while (PGresult* r = LibPq().PQgetResult(target)) {
        if (LibPq().PQresultStatus(r) != PGRES_COMMAND_OK && error.isEmpty()) {
            const char* primary = LibPq().PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY);
            const char* context = LibPq().PQresultErrorField(r, PG_DIAG_CONTEXT);
            error = QString::fromUtf8(primary ? primary : LibPq().PQerrorMessage(target)).trimmed();
            if (context)
                error += QStringLiteral(" (") + QString::fromUtf8(context).trimmed() + QLatin1Char(')');
        }
        LibPq().PQclear(r);
    }
    if (!error.isEmpty())
        throw EDatabaseError(QStringLiteral("Сервер не принял данные таблицы %1; перенос отменён, на сервере "
                                            "ничего не изменено.")
                                 .arg(t.table),
                             error);
}

// The highest key the file ever handed out for a table (its key counter), also that of a row deleted
// since; 0 when it keeps none.
qint64 fileKeyCounter(TEngine& source, const QString& table) {
    try {
        return source
            .Value(TSql{"select seq from sqlite_sequence where name = :name collate nocase"},
                   {{QStringLiteral("name"), table}})
            .toLongLong();
    } catch (const EDatabaseError&) {
        return 0; // a file that never handed out a key has no counter table
    }
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

QByteArray TableChecksum(TEngine& db, const QString& table) {
    const TTableKey& t = tableOf(table);
    return db.IsServer() ? serverChecksum(db, t).sum : fileChecksum(db, t).sum;
}

TTransferReport TransferToServer(TEngine& file, TEngine& target) {
    auto* serverEngine = dynamic_cast<TServerEngine*>(&target);
    if (!serverEngine || file.IsServer())
        throw EDatabaseError(QStringLiteral("Перенос возможен только из файла базы данных на сервер."));
    PGconn* server = serverEngine->Handle();

    TTransaction transaction(target);
    // Copying a large file may take longer than a statement of the program may.
    target.Run("set local statement_timeout = 0", QStringLiteral("Не удалось подготовить перенос"));
    PrepareServerSchema(*serverEngine);
    QStringList filled;
    for (const char* name : {"DB", "GROUP", "USER", "TEST"}) {
        if (target
                .Rows(QStringLiteral("select count(*) from ") +
                      QString::fromLatin1(serverTable(QString::fromLatin1(name))))
                .value(0)
                .value(0)
                .toLongLong() > 0)
            filled << QString::fromLatin1(name);
    }
    if (!filled.isEmpty())
        throw EDatabaseError(
            QStringLiteral("База данных «%1» на сервере не пуста (таблицы %2 содержат записи). "
                           "Перенос возможен только в пустую базу данных; ничего не изменено.")
                .arg(serverEngine->DatabaseName(), filled.join(QStringLiteral(", "))));

    // The file's rows are copied as they are: tests of deleted testees and rows of earlier versions
    // included, which the write guards would refuse one by one.
    for (const char* table : {"\"user\"", "test"})
        target.Run(QByteArray("alter table ") + table + " disable trigger user",
                   QStringLiteral("Не удалось подготовить перенос"));
    for (const char* table : {"symbols", "durmoll", "soz"})
        target.Run(QByteArray("delete from ") + table, QStringLiteral("Не удалось подготовить перенос"));
    for (const char* name : kOrder) {
        const TTableKey& t = tableOf(QString::fromLatin1(name));
        copyTable(file, server, t);
        const QByteArray table = serverTable(t.table);
        const QByteArray key = t.key.toLower().toLatin1();
        // Past the file's counter too: a deleted group's or database's key, still held by testees, is
        // never handed out again.
        const QByteArray highest = "greatest(coalesce(max(" + key + "), 0), " +
                                   QByteArray::number(fileKeyCounter(file, t.table)) + ")";
        target.Run("select setval(pg_get_serial_sequence('" + table + "', '" + key + "'), greatest(" +
                       highest + ", 1), " + highest + " > 0) from " + table,
                   QStringLiteral("Не удалось перенести счётчик ключей"));
    }
    for (const char* table : {"\"user\"", "test"})
        target.Run(QByteArray("alter table ") + table + " enable trigger user",
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
