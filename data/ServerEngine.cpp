// The server side of the engine: SQL translation, bound statements and result reading over libpq.
#include "data/ServerEngine.h"

#include "data/Schema.h"
#include "platform/TextRules.h"

#include <QHash>
#include <QMutex>
#include <QRegularExpression>
#include <QSqlDriver>

#include <libpq-fe.h>

#include <memory>
#include <vector>

namespace Data::Server {

namespace {

// Messages that schema triggers raise start with this mark; the rest is for the user.
constexpr char kRefusalMark[] = "MORVEL: ";

// Type identifiers of the server's built-in types that are read as numbers or bytes.
constexpr Oid kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700,
              kFloat8 = 701, kNumeric = 1700;

using TResult = std::unique_ptr<PGresult, void (*)(PGresult*)>;

TResult wrap(PGresult* res) { return TResult(res, PQclear); }

bool isLetter(QChar c) { return c.isLetter() || c == u'_'; }
bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == u'_'; }

// Server connections lost mid-operation: the operation's class 08 and the shutdown states.
bool connectionState(const char* state) {
    if (!state)
        return false;
    const QByteArray s(state);
    return s.startsWith("08") || s == "57P01" || s == "57P02" || s == "57P03";
}

[[noreturn]] void raise(PGconn* conn, const PGresult* res, const QString& what) {
    const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    const char* primary = res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const QString text = QString::fromUtf8(primary ? primary : PQerrorMessage(conn)).trimmed();
    // An error without a state of the server's comes from libpq itself: the server went away.
    if (PQstatus(conn) == CONNECTION_BAD || !state || connectionState(state)) {
        // libpq may still count the connection as open after its server closed it; a new attempt now
        // restores it or marks it broken, so that the next statement tries again.
        if (PQstatus(conn) != CONNECTION_BAD) {
            PQreset(conn);
            if (PQstatus(conn) == CONNECTION_OK) {
                try {
                    PrepareSession(conn);
                } catch (const EDatabaseError&) {
                    // Reported with the next statement.
                }
            }
        }
        throw EConnectionLost(QStringLiteral("Нет связи с сервером базы данных. Изменения не сохранены; "
                                             "повторите, когда связь восстановится.\n(%1)")
                                  .arg(text));
    }
    const QString mark = QString::fromLatin1(kRefusalMark);
    if (text.startsWith(mark))
        throw EDatabaseError(text.mid(mark.size()));
    throw EDatabaseError(what + QStringLiteral(": ") + text);
}

// Key columns of our tables, by server name.
const QHash<QByteArray, QByteArray>& keyColumns() {
    static const QHash<QByteArray, QByteArray> keys = [] {
        QHash<QByteArray, QByteArray> k;
        for (const TTableKey& t : TableKeys())
            k.insert(t.table.toLower().toLatin1(), t.key.toLower().toLatin1());
        return k;
    }();
    return keys;
}

TStatement translate(const QString& sql) {
    TStatement st;
    QString out;
    out.reserve(sql.size() + 16);
    QHash<QString, int> numbers;
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = sql[i];
        if (c == u'\'') {
            const qsizetype start = i++;
            while (i < n) {
                if (sql[i] == u'\'' && i + 1 < n && sql[i + 1] == u'\'')
                    i += 2;
                else if (sql[i++] == u'\'')
                    break;
            }
            out += QStringView(sql).sliced(start, i - start);
        } else if (c == u'"') {
            const qsizetype start = ++i;
            while (i < n && sql[i] != u'"')
                ++i;
            out += u'"' + QStringView(sql).sliced(start, i - start).toString().toLower() + u'"';
            if (i < n)
                ++i;
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            const qsizetype start = i;
            while (i < n && sql[i] != u'\n')
                ++i;
            out += QStringView(sql).sliced(start, i - start);
        } else if (c == u':' && i + 1 < n && sql[i + 1] == u':') {
            out += QStringLiteral("::");
            i += 2;
        } else if (c == u':' && i + 1 < n && isLetter(sql[i + 1])) {
            const qsizetype start = ++i;
            while (i < n && isWordChar(sql[i]))
                ++i;
            const QString name = sql.sliced(start, i - start);
            auto it = numbers.constFind(name);
            if (it == numbers.cend()) {
                st.params << name;
                it = numbers.insert(name, static_cast<int>(st.params.size()));
            }
            out += u'$' + QString::number(*it);
        } else if (isLetter(c)) {
            const qsizetype start = i;
            while (i < n && isWordChar(sql[i]))
                ++i;
            const QStringView word = QStringView(sql).sliced(start, i - start);
            if (word.compare(QLatin1String("user"), Qt::CaseInsensitive) == 0)
                out += QStringLiteral("\"user\"");
            else if (word.compare(QLatin1String("last_insert_rowid"), Qt::CaseInsensitive) == 0)
                out += QStringLiteral("lastval");
            else
                out += word;
        } else {
            out += c;
            ++i;
        }
    }

    static const QRegularExpression orIgnore(QStringLiteral(R"(^\s*insert\s+or\s+ignore\s+into\b)"),
                                             QRegularExpression::CaseInsensitiveOption);
    bool skipConflicts = false;
    if (const auto m = orIgnore.match(out); m.hasMatch()) {
        out.replace(0, m.capturedLength(), QStringLiteral("insert into"));
        skipConflicts = true;
    }
    static const QRegularExpression insert(
        QStringLiteral(R"(^\s*insert\s+into\s+("?)([A-Za-z_][A-Za-z0-9_]*)\1\s*(\(([^)]*)\))?)"),
        QRegularExpression::CaseInsensitiveOption);
    if (const auto m = insert.match(out); m.hasMatch()) {
        const QByteArray table = m.captured(2).toLower().toLatin1();
        const auto key = keyColumns().constFind(table);
        if (key != keyColumns().cend()) {
            st.table = table;
            st.keyColumn = *key;
            const QStringList columns = m.captured(4).split(u',', Qt::SkipEmptyParts);
            for (const QString& column : columns)
                if (column.trimmed().compare(QString::fromLatin1(*key), Qt::CaseInsensitive) == 0)
                    st.keyGiven = true;
        }
    }
    if (skipConflicts)
        out += QStringLiteral(" on conflict do nothing");
    if (!st.table.isEmpty())
        out += QStringLiteral(" returning ") + QString::fromLatin1(st.keyColumn);
    st.text = out.toUtf8();
    return st;
}

// Statements come from a small set of texts: each is translated once.
std::shared_ptr<const TStatement> cachedStatement(const QString& sql) {
    static QMutex mutex;
    static QHash<QString, std::shared_ptr<const TStatement>> cache;
    const QMutexLocker lock(&mutex);
    auto it = cache.constFind(sql);
    if (it == cache.cend()) {
        if (cache.size() > 512)
            cache.clear();
        it = cache.insert(sql, std::make_shared<const TStatement>(translate(sql)));
    }
    return *it;
}

// The values of a statement's parameters as libpq takes them: text, or bytes for byte arrays.
struct TBound {
    std::vector<QByteArray> storage;
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
};

TBound bind(const TStatement& st, const QVariantMap& params, bool requireAll) {
    TBound b;
    const auto count = static_cast<size_t>(st.params.size());
    b.storage.resize(count);
    b.values.assign(count, nullptr);
    b.lengths.assign(count, 0);
    b.formats.assign(count, 0);
    for (size_t i = 0; i < count; ++i) {
        const QString& name = st.params[static_cast<qsizetype>(i)];
        const auto it = params.constFind(name);
        if (it == params.cend()) {
            if (requireAll)
                throw EDatabaseError(QStringLiteral("Не задано значение параметра «%1»").arg(name));
            continue;
        }
        const QVariant& v = *it;
        if (v.isNull())
            continue;
        QByteArray& bytes = b.storage[i];
        switch (v.metaType().id()) {
        case QMetaType::Bool:
            bytes = v.toBool() ? "1" : "0";
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::Short:
            bytes = QByteArray::number(v.toLongLong());
            break;
        case QMetaType::Double:
            bytes = QByteArray::number(v.toDouble(), 'g', 17);
            break;
        case QMetaType::QByteArray:
            bytes = v.toByteArray();
            b.formats[i] = 1; // binary: bytes as they are
            break;
        default: {
            const QString text = v.toString();
            // libpq passes text up to its first NUL; such a value would be stored cut short.
            if (Platform::HasLoneSurrogate(text) || text.contains(QChar(0)))
                throw EDatabaseError(
                    QStringLiteral("Текст содержит недопустимый символ и не может быть сохранён."));
            bytes = text.toUtf8();
            break;
        }
        }
        b.values[i] = bytes.constData();
        b.lengths[i] = static_cast<int>(bytes.size());
    }
    return b;
}

TResult run(PGconn* conn, const TStatement& st, const QVariantMap& params, bool requireAll,
            const QString& what) {
    const TBound b = bind(st, params, requireAll);
    TResult res = wrap(PQexecParams(conn, st.text.constData(), static_cast<int>(b.values.size()), nullptr,
                                    b.values.data(), b.lengths.data(), b.formats.data(), 0));
    const ExecStatusType status = res ? PQresultStatus(res.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        raise(conn, res.get(), what);
    return res;
}

// How a column of the server's result goes into the row store.
enum class TColumnRead : quint8 { Integer, Float, Bool, Bytea, Text };

TColumnRead readOf(Oid type) {
    switch (type) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
        return TColumnRead::Integer;
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return TColumnRead::Float;
    case kBool:
        return TColumnRead::Bool;
    case kBytea:
        return TColumnRead::Bytea;
    default:
        return TColumnRead::Text;
    }
}

// Parses a decimal integer of the server's text form ("-42"); no locale, no allocation.
qint64 parseInteger(const char* text) {
    bool negative = false;
    if (*text == '-') {
        negative = true;
        ++text;
    }
    quint64 n = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        n = n * 10 + static_cast<quint64>(*text - '0');
    return negative ? static_cast<qint64>(0 - n) : static_cast<qint64>(n);
}

void appendCell(TRowStore& rows, const PGresult* res, int row, int column, TColumnRead read) {
    if (PQgetisnull(res, row, column)) {
        rows.AppendNull();
        return;
    }
    const char* text = PQgetvalue(res, row, column);
    const int length = PQgetlength(res, row, column);
    switch (read) {
    case TColumnRead::Integer:
        rows.AppendInteger(parseInteger(text));
        break;
    case TColumnRead::Float:
        rows.AppendFloat(QByteArray::fromRawData(text, length).toDouble());
        break;
    case TColumnRead::Bool:
        rows.AppendInteger(text[0] == 't' ? 1 : 0);
        break;
    case TColumnRead::Bytea: {
        size_t size = 0;
        unsigned char* raw = PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &size);
        if (!raw)
            throw EDatabaseError(QStringLiteral("Ошибка чтения двоичного значения с сервера"));
        rows.AppendBlob(QByteArrayView(reinterpret_cast<const char*>(raw), static_cast<qsizetype>(size)));
        PQfreemem(raw);
        break;
    }
    case TColumnRead::Text:
        rows.AppendText(QByteArrayView(text, length));
        break;
    }
}

} // namespace

bool IsServer(const QSqlDatabase& db) { return db.isValid() && db.driverName() == kDriver; }

void PrepareSession(PGconn* conn) {
    PQsetClientEncoding(conn, "UTF8");
    // A row or table another workstation holds is waited for as long as the table file's lock retries
    // wait (15 times 100 ms), then reported.
    ExecPlain(conn, "set datestyle to ISO, YMD; set client_min_messages to warning; set lock_timeout = 1500",
              QStringLiteral("Не удалось подготовить соединение с сервером"));
}

PGconn* Handle(const QSqlDatabase& db) {
    // Qt's driver counts a connection whose server went away as closed; its handle stays (null only
    // after close()), so that it can be re-established below.
    const QVariant v = db.isValid() ? db.driver()->handle() : QVariant();
    if (!v.isValid() || qstrcmp(v.typeName(), "pg_conn*") != 0)
        throw EDatabaseError(QStringLiteral("Нет соединения с базой данных"));
    PGconn* conn = *static_cast<PGconn* const*>(v.data());
    if (!conn)
        throw EDatabaseError(QStringLiteral("Нет соединения с базой данных"));
    if (PQstatus(conn) == CONNECTION_BAD) {
        // The server went away (restart, network): one new attempt with the same parameters.
        PQreset(conn);
        if (PQstatus(conn) != CONNECTION_OK)
            throw EConnectionLost(QStringLiteral("Нет связи с сервером базы данных. Изменения не сохранены; "
                                                 "повторите, когда связь восстановится.\n(%1)")
                                      .arg(QString::fromUtf8(PQerrorMessage(conn)).trimmed()));
        PrepareSession(conn);
    }
    return conn;
}

TStatement Translate(const QString& sql) { return translate(sql); }

QString CanonicalName(const char* serverName) {
    static const QHash<QByteArray, QString> names = [] {
        QHash<QByteArray, QString> map;
        for (const QString& name : SchemaColumnNames())
            map.insert(name.toLower().toLatin1(), name);
        map.insert("numb", QStringLiteral("Numb"));
        return map;
    }();
    const QByteArray key(serverName);
    const auto it = names.constFind(key);
    return it != names.cend() ? *it : QString::fromUtf8(key);
}

int Exec(const QSqlDatabase& db, const QString& sql, const QVariantMap& params, bool requireAll,
         qint64* lastId) {
    PGconn* conn = Handle(db);
    const auto statement = cachedStatement(sql);
    const TStatement& st = *statement;
    const TResult res = run(conn, st, params, requireAll, QStringLiteral("Ошибка выполнения запроса"));
    const int changed = QByteArray(PQcmdTuples(res.get())).toInt();
    if (lastId && !st.table.isEmpty() && PQntuples(res.get()) > 0)
        *lastId = std::strtoll(PQgetvalue(res.get(), PQntuples(res.get()) - 1, 0), nullptr, 10);
    if (st.keyGiven && changed > 0) {
        // Keys written by hand (a copy, a repair) would otherwise be handed out again by the sequence.
        const QByteArray table = st.table == "user" || st.table == "group" ? '"' + st.table + '"' : st.table;
        const QByteArray seq = st.table + '_' + st.keyColumn + "_seq";
        ExecPlain(conn,
                  "select setval('" + seq + "', greatest((select max(" + st.keyColumn + ") from " + table +
                      "), (select last_value from " + seq + ")))",
                  QStringLiteral("Ошибка выполнения запроса"));
    }
    return changed;
}

void Select(const QSqlDatabase& db, const QString& sql, const QVariantMap& params, QStringList& fields,
            TRowStore& rows) {
    PGconn* conn = Handle(db);
    const TResult res =
        run(conn, *cachedStatement(sql), params, false, QStringLiteral("Ошибка выполнения запроса"));
    const PGresult* r = res.get();
    const int columns = PQnfields(r);
    const int count = PQntuples(r);
    std::vector<TColumnRead> reads(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) {
        fields << CanonicalName(PQfname(r, c));
        reads[static_cast<size_t>(c)] = readOf(PQftype(r, c));
    }
    rows.Reset(columns);
    for (int row = 0; row < count; ++row)
        for (int c = 0; c < columns; ++c)
            appendCell(rows, r, row, c, reads[static_cast<size_t>(c)]);
}

void ExecPlain(PGconn* conn, const QByteArray& sql, const QString& what) {
    const TResult res = wrap(PQexec(conn, sql.constData()));
    const ExecStatusType status = res ? PQresultStatus(res.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        raise(conn, res.get(), what);
}

bool Idle(PGconn* conn) { return PQtransactionStatus(conn) == PQTRANS_IDLE; }

QString ServerVersion(PGconn* conn) {
    const int v = PQserverVersion(conn);
    return QStringLiteral("%1.%2").arg(v / 10000).arg(v % 10000);
}

} // namespace Data::Server
