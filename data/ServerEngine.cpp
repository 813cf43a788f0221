// The server store's engine over libpq: bound statements and result reading, bounded waits,
// reconnection, the keys that make a write's outcome knowable, and the change notices.
#include "data/ServerEngine.h"

#include "data/LibPq.h"
#include "platform/TextRules.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QPointer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QUuid>

#include <poll.h>

#include <cerrno>
#include <memory>
#include <thread>
#include <vector>

namespace Data::Server {

namespace {

// Messages that schema triggers raise start with this mark; the rest is for the user.
constexpr char kRefusalMark[] = "MORVEL: ";

// Type identifiers of the server's built-in types that are read as numbers or bytes.
constexpr Oid kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700,
              kFloat8 = 701, kNumeric = 1700;

using TResult = std::unique_ptr<PGresult, void (*)(PGresult*)>;

bool isLetter(QChar c) { return c.isLetter() || c == u'_'; }
bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == u'_'; }

// Notices that come together are handed on as one change after this wait.
constexpr int kNoticeDelayMs = 100;

// Messages of a lost or stopped wait.
const QString kNoLink =
    QStringLiteral("Нет связи с сервером базы данных: он не отвечает. Проверьте сеть и работу сервера и "
                   "повторите действие.");
const QString kWriteUnknown = QStringLiteral(
    "Связь с сервером базы данных прервалась во время записи, и узнать, сохранена ли она, не удалось. "
    "Когда связь восстановится, повторите действие: сохранённое не будет записано дважды.");
const QString kTransactionLost = QStringLiteral(
    "Связь с сервером базы данных прервалась; изменения не сохранены. Повторите, когда связь восстановится.");
const QString kCancelled = QStringLiteral("Ожидание ответа сервера прервано; изменения не сохранены.");
const QString kReadCancelled = QStringLiteral("Ожидание ответа сервера прервано.");

constexpr int kSliceMs = 50;         // the step of a wait: the observer is told this often
constexpr int kCancelGraceMs = 2000; // after a cancel, the server's answer is awaited this long
constexpr int kEndSessionMs = 3000;  // ending the old session of a lost statement is awaited this long

// What the engine knows of each libpq connection, from its engine's making to its end.
struct TLinkState {
    bool keys = false; // the database has the table of write keys and the role may write it
    bool busy = false; // a statement waits on it
    TNoticeHandler listener;
};

QMutex g_linkMutex;
QHash<PGconn*, TLinkState> g_links;

template <class F> auto withLink(PGconn* conn, F&& f) {
    const QMutexLocker lock(&g_linkMutex);
    return f(g_links[conn]);
}

// Writes whose outcome could not be learnt: the statement with its values, and the key it was sent with.
QMutex g_pendingMutex;
QList<QPair<QByteArray, QString>> g_pending;
constexpr qsizetype kPendingKept = 32;

QString pendingKey(const QByteArray& signature) {
    const QMutexLocker lock(&g_pendingMutex);
    for (const auto& p : std::as_const(g_pending))
        if (p.first == signature)
            return p.second;
    return {};
}

void setPending(const QByteArray& signature, const QString& key) {
    const QMutexLocker lock(&g_pendingMutex);
    g_pending.removeIf([&](const auto& p) { return p.first == signature; });
    if (!key.isEmpty()) {
        g_pending.append({signature, key});
        if (g_pending.size() > kPendingKept)
            g_pending.removeFirst();
    }
}

TWaitObserver* g_observer = nullptr;

// One operation's wait for the server, from the first statement to the last repetition: the observer
// (on the GUI thread) is told while it lasts, and the user's request to stop is kept.
class TWait {
public:
    TWait()
        : m_gui(g_observer && QCoreApplication::instance() &&
                QThread::currentThread() == QCoreApplication::instance()->thread()) {
        m_clock.start();
    }
    ~TWait() {
        if (m_told)
            g_observer->Done();
    }
    TWait(const TWait&) = delete;
    TWait& operator=(const TWait&) = delete;

    qint64 Elapsed() const { return m_clock.elapsed(); }
    // Tells the observer; true when the user asked to stop just now.
    bool Tick() {
        if (!m_gui || cancelled)
            return false;
        m_told = true;
        if (!g_observer->Waiting(m_clock.elapsed()))
            return false;
        cancelled = true;
        cancelledAt = m_clock.elapsed();
        return true;
    }

    bool cancelled = false;
    qint64 cancelledAt = 0;

private:
    QElapsedTimer m_clock;
    bool m_gui;
    bool m_told = false;
};

// Asks the server to stop the statement running on the connection, from a thread of its own (the
// request needs a connection of its own, which a dead link would keep waiting).
void sendCancel(PGconn* conn) {
    PGcancel* cancel = LibPq().PQgetCancel(conn);
    if (!cancel)
        return;
    std::thread([cancel] {
        char error[256];
        LibPq().PQcancel(cancel, error, sizeof error);
        LibPq().PQfreeCancel(cancel);
    }).detach();
}

enum class TEnd { Answer, Lost, Cancelled };

// Waits until the connection hands over its next result without blocking.
TEnd waitForResult(PGconn* conn, TWait& wait) {
    qint64 lastInput = wait.Elapsed();
    while (LibPq().PQisBusy(conn)) {
        pollfd p{LibPq().PQsocket(conn), POLLIN, 0};
        if (p.fd < 0)
            return TEnd::Lost;
        const int rc = ::poll(&p, 1, kSliceMs);
        if (rc < 0 && errno != EINTR)
            return TEnd::Lost;
        if (rc > 0) {
            if (!LibPq().PQconsumeInput(conn))
                return TEnd::Lost;
            lastInput = wait.Elapsed();
        }
        if (wait.Tick())
            sendCancel(conn);
        const qint64 now = wait.Elapsed();
        if (wait.cancelled && now - wait.cancelledAt > kCancelGraceMs)
            return TEnd::Cancelled;
        if (now - lastInput > kSilenceLimitMs)
            return TEnd::Lost;
    }
    return TEnd::Answer;
}

// The values of a statement's parameters as libpq takes them: text, or bytes for byte arrays.
struct TBound {
    std::vector<QByteArray> storage;
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;

    // Adds one more text value (the heap data of a QByteArray stays where it is when the vector grows).
    void Append(const QByteArray& text) {
        storage.push_back(text);
        values.push_back(storage.back().constData());
        lengths.push_back(static_cast<int>(text.size()));
        formats.push_back(0);
    }
};

struct TAnswer {
    TEnd end = TEnd::Lost;
    TResult res{nullptr, LibPq().PQclear};
};

void deliverNotices(PGconn* conn);

// Sends a statement (bound, or plain text that may hold several) and collects its result: the first
// error, else the last result.
TAnswer roundTrip(PGconn* conn, const QByteArray& text, const TBound* bound, TWait& wait) {
    TAnswer a;
    withLink(conn, [](TLinkState& s) { s.busy = true; });
    // Notices read with the answer would wait for the next one: they are handed on at once.
    const auto idle = qScopeGuard([conn] {
        withLink(conn, [](TLinkState& s) { s.busy = false; });
        deliverNotices(conn);
    });
    const int sent = bound ? LibPq().PQsendQueryParams(
                                 conn, text.constData(), static_cast<int>(bound->values.size()), nullptr,
                                 bound->values.data(), bound->lengths.data(), bound->formats.data(), 0)
                           : LibPq().PQsendQuery(conn, text.constData());
    if (!sent)
        return a;
    for (;;) {
        const TEnd end = waitForResult(conn, wait);
        if (end != TEnd::Answer) {
            a.end = end;
            a.res.reset();
            return a;
        }
        PGresult* r = LibPq().PQgetResult(conn);
        if (!r)
            break;
        if (a.res && LibPq().PQresultStatus(a.res.get()) == PGRES_FATAL_ERROR)
            LibPq().PQclear(r);
        else
            a.res.reset(r);
    }
    a.end = a.res ? TEnd::Answer : TEnd::Lost;
    return a;
}

bool succeeded(const PGresult* res) {
    const ExecStatusType status = LibPq().PQresultStatus(res);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

QByteArray stateOf(const PGresult* res) {
    const char* state = res ? LibPq().PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    return state ? QByteArray(state) : QByteArray();
}

// An answer that says the connection is gone: the server's shutdown states and class 08, or an error
// libpq made itself (no state of the server's).
bool answeredLost(PGconn* conn, const TAnswer& a) {
    if (a.end != TEnd::Answer)
        return true;
    if (succeeded(a.res.get()))
        return false;
    const QByteArray state = stateOf(a.res.get());
    return LibPq().PQstatus(conn) == CONNECTION_BAD || state.isEmpty() || state.startsWith("08") ||
           state == "57P01" || state == "57P02" || state == "57P03";
}

// The raw text of a server error, for the log.
QString rawText(PGconn* conn, const PGresult* res) {
    const char* primary = res ? LibPq().PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const char* detail = res ? LibPq().PQresultErrorField(res, PG_DIAG_MESSAGE_DETAIL) : nullptr;
    QString text = QString::fromUtf8(primary ? primary : LibPq().PQerrorMessage(conn)).trimmed();
    if (detail)
        text += QStringLiteral(" (") + QString::fromUtf8(detail).trimmed() + QLatin1Char(')');
    const QByteArray state = stateOf(res);
    return state.isEmpty() ? text : QString::fromLatin1(state) + QLatin1Char(' ') + text;
}

// What a server error means for the user, by its SQLSTATE (class or full code), with what to do.
QString stateMessage(const QByteArray& state) {
    static const struct {
        const char* state;
        const char* text;
    } kStates[] = {
        {"23505", "такая запись уже есть."},
        {"23503", "запись связана с данными, которых нет или которые ещё используются."},
        {"23", "значение не подходит для поля базы данных."},
        {"22", "значение не может быть сохранено в базе данных."},
        {"42501", "у пользователя сервера нет прав на это действие. Обратитесь к администратору сервера."},
        {"57014", "сервер не выполнил запрос за отведённое время и прервал его. Повторите позже."},
        {"55P03", "данные заняты другим рабочим местом. Повторите через несколько секунд."},
        {"40", "запись столкнулась с записью другого рабочего места. Повторите."},
        {"53",
         "серверу не хватает места на диске, памяти или соединений. Обратитесь к администратору сервера."},
        {"54", "запрос превышает ограничения сервера."},
        {"28", "сервер не принял имя пользователя или пароль."},
        {"3D", "на сервере нет такой базы данных."},
        {"42", "таблицы базы данных на сервере не такие, какие нужны программе. Обратитесь к администратору "
               "сервера."},
        {"25", "операция прервана ошибкой. Повторите."},
        {"XX", "внутренняя ошибка сервера. Обратитесь к администратору сервера."},
    };
    for (const auto& s : kStates)
        if (state.startsWith(s.state))
            return QString::fromUtf8(s.text);
    return QStringLiteral("сервер сообщил об ошибке. Повторите; если ошибка повторится, обратитесь к "
                          "администратору сервера.");
}

// Messages that schema triggers raise start with this mark; the rest is for the user.
[[noreturn]] void raiseAnswer(PGconn* conn, const PGresult* res, const QString& what) {
    const char* primary = res ? LibPq().PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const QString text = QString::fromUtf8(primary ? primary : "");
    const QString mark = QString::fromLatin1(kRefusalMark);
    if (text.startsWith(mark))
        throw EDatabaseError(text.mid(mark.size()));
    throw EDatabaseError(what + QStringLiteral(": ") + stateMessage(stateOf(res)), rawText(conn, res));
}

void quietNotices(void*, const char*) {}

// Runs plain text on a connection without any repetition (session set-up).
void plainOnce(PGconn* conn, const QByteArray& sql, TWait& wait, const QString& what,
               TResult* last = nullptr) {
    TAnswer a = roundTrip(conn, sql, nullptr, wait);
    if (a.end != TEnd::Answer)
        throw EConnectionLost(kNoLink, QString::fromUtf8(LibPq().PQerrorMessage(conn)).trimmed());
    if (!succeeded(a.res.get())) {
        if (answeredLost(conn, a))
            throw EConnectionLost(kNoLink, rawText(conn, a.res.get()));
        raiseAnswer(conn, a.res.get(), what);
    }
    if (last)
        *last = std::move(a.res);
}

void prepareSession(PGconn* conn, TWait& wait) {
    LibPq().PQsetClientEncoding(conn, "UTF8");
    // Warnings (a session ended that was already gone) are not printed on the terminal.
    LibPq().PQsetNoticeProcessor(conn, quietNotices, nullptr);
    // A row or table another workstation holds is waited for as long as the table file's lock retries
    // wait (15 times 100 ms), then reported; a statement is given up after kStatementTimeoutMs, a
    // session that left a transaction open after a minute; the server probes an idle link too.
    const bool listening = withLink(conn, [](TLinkState& s) { return bool(s.listener); });
    QByteArray sql =
        "set datestyle to ISO, YMD; set client_min_messages to warning; set lock_timeout = 1500; "
        "set statement_timeout = " +
        QByteArray::number(kStatementTimeoutMs) +
        "; set idle_in_transaction_session_timeout = 60000; set tcp_keepalives_idle = 5; "
        "set tcp_keepalives_interval = 2; set tcp_keepalives_count = 3; ";
    if (listening)
        sql += "listen morvel_change; ";
    // Keys are written where the table is and the role may write it (one that may only read writes nothing).
    sql += "select coalesce(has_table_privilege(to_regclass('morvel_write'), 'INSERT'), false)";
    TResult result(nullptr, LibPq().PQclear);
    plainOnce(conn, sql, wait, QStringLiteral("Не удалось подготовить соединение с сервером"), &result);
    const bool keys =
        LibPq().PQntuples(result.get()) == 1 && LibPq().PQgetvalue(result.get(), 0, 0)[0] == 't';
    withLink(conn, [keys](TLinkState& s) { s.keys = keys; });
}

// Makes the connection anew with its parameters, within kReconnectLimitMs; false when that failed (or
// the user stopped waiting). Listeners learn that notices may have been missed.
bool reconnect(PGconn* conn, TWait& wait) {
    // Busy: nothing else may use the connection while the wait lets the program repaint.
    withLink(conn, [](TLinkState& s) { s.busy = true; });
    auto idle = qScopeGuard([conn] { withLink(conn, [](TLinkState& s) { s.busy = false; }); });
    if (!LibPq().PQresetStart(conn))
        return false;
    const qint64 start = wait.Elapsed();
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (state != PGRES_POLLING_OK) {
        if (state == PGRES_POLLING_FAILED)
            return false;
        pollfd p{LibPq().PQsocket(conn),
                 static_cast<short>(state == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        if (p.fd < 0)
            return false;
        ::poll(&p, 1, kSliceMs);
        wait.Tick();
        if (wait.cancelled || wait.Elapsed() - start > kReconnectLimitMs)
            return false;
        state = LibPq().PQresetPoll(conn);
    }
    idle.dismiss();
    withLink(conn, [](TLinkState& s) { s.busy = false; });
    try {
        prepareSession(conn, wait);
    } catch (const EDatabaseError&) {
        return false;
    }
    if (const TNoticeHandler handler = withLink(conn, [](TLinkState& s) { return s.listener; }))
        handler({});
    return true;
}

// Ends the session that ran a lost statement, when the server still has it, so that whatever it wrote is
// stored or not by the time the write's key is looked up.
void endOldSession(PGconn* conn, int pid, TWait& wait) {
    if (pid <= 0 || pid == LibPq().PQbackendPID(conn))
        return;
    TBound b;
    b.Append(QByteArray::number(pid));
    roundTrip(conn,
              "select pg_terminate_backend(pid, " + QByteArray::number(kEndSessionMs) +
                  ") from pg_stat_activity where pid = $1::integer",
              &b, wait);
}

// The stored outcome of a keyed write.
struct TOutcome {
    bool known = false; // the look-up got an answer
    bool found = false; // the write was stored
    int changed = 0;
    qint64 rowId = 0;
};

TOutcome readOutcome(const PGresult* res) {
    TOutcome o;
    o.known = true;
    o.found = LibPq().PQntuples(res) > 0;
    if (o.found) {
        o.changed = std::atoi(LibPq().PQgetvalue(res, 0, 0));
        o.rowId =
            LibPq().PQgetisnull(res, 0, 1) ? 0 : std::strtoll(LibPq().PQgetvalue(res, 0, 1), nullptr, 10);
    }
    return o;
}

TOutcome lookUp(PGconn* conn, const QString& key, TWait& wait) {
    TBound b;
    b.Append(key.toLatin1());
    const TAnswer a =
        roundTrip(conn, "select changed, row_id from morvel_write where write_key = $1::uuid", &b, wait);
    if (answeredLost(conn, a) || !succeeded(a.res.get()))
        return {};
    return readOutcome(a.res.get());
}

// Hands the notices other sessions sent, that libpq has read by now, to the connection's listener.
void deliverNotices(PGconn* conn) {
    const TNoticeHandler handler = withLink(conn, [](TLinkState& s) { return s.listener; });
    QStringList tables;
    const int own = LibPq().PQbackendPID(conn);
    while (PGnotify* n = LibPq().PQnotifies(conn)) {
        if (n->be_pid != own)
            tables << QString::fromUtf8(n->extra);
        LibPq().PQfreemem(n);
    }
    tables.removeDuplicates();
    if (handler && !tables.isEmpty())
        handler(tables);
}

// A statement of the server dialect as libpq takes it: ":Name" parameters numbered ($1, $2, ...; the
// names in that order); string literals, quoted names, comments and "::" casts are copied as they are.
// A write outside a transaction that returns its keys as row_id also stores its key and outcome (the
// number of rows it changed and the highest key it returned) in the same statement: both are committed
// together or not at all.
struct TStatement {
    QByteArray text;
    QStringList params;
    QByteArray keyedText; // empty when the statement is not keyed
    bool write = false;   // an insert, update or delete
};

TStatement numbered(const QString& sql) {
    TStatement st;
    QString out;
    out.reserve(sql.size() + 16);
    QHash<QString, int> numbers;
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"') {
            const qsizetype start = i++;
            while (i < n && sql[i] != c)
                ++i;
            i = std::min(i + 1, n);
            out += QStringView(sql).sliced(start, i - start);
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
        } else {
            out += c;
            ++i;
        }
    }
    st.text = out.toUtf8();
    static const QRegularExpression write(QStringLiteral(R"(^\s*(insert|update|delete)\b)"),
                                          QRegularExpression::CaseInsensitiveOption);
    st.write = write.match(out).hasMatch();
    static const QRegularExpression keyed(
        QStringLiteral(R"(^\s*(insert|update|delete)\b.*\breturning\b.*\brow_id\s*$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    if (keyed.match(out).hasMatch())
        st.keyedText = "with morvel_row as (" + st.text +
                       ") insert into morvel_write (write_key, changed, row_id) select $" +
                       QByteArray::number(st.params.size() + 1) +
                       "::uuid, count(*), max(row_id) from morvel_row returning changed, row_id";
    return st;
}

// Statements come from a small set of texts: each is numbered once.
std::shared_ptr<const TStatement> cachedStatement(const QString& sql) {
    static QMutex mutex;
    static QHash<QString, std::shared_ptr<const TStatement>> cache;
    const QMutexLocker lock(&mutex);
    auto it = cache.constFind(sql);
    if (it == cache.cend()) {
        if (cache.size() > 512)
            cache.clear();
        it = cache.insert(sql, std::make_shared<const TStatement>(numbered(sql)));
    }
    return *it;
}

TBound bind(const TStatement& st, const QVariantMap& params, bool requireAll) {
    TBound b;
    const auto count = static_cast<size_t>(st.params.size());
    b.storage.reserve(count + 1);
    b.storage.resize(count);
    b.values.assign(count, nullptr);
    b.lengths.assign(count, 0);
    b.formats.assign(count, 0);
    for (size_t i = 0; i < count; ++i) {
        const QString& name = st.params[static_cast<qsizetype>(i)];
        const QVariant* value = BoundValue(params, name, requireAll);
        if (!value)
            continue;
        const QVariant& v = *value;
        if (v.isNull())
            continue;
        QByteArray& bytes = b.storage[i];
        switch (KindOf(v)) {
        case TCellKind::Null:
        case TCellKind::Integer:
            bytes = QByteArray::number(v.toLongLong());
            break;
        case TCellKind::Float:
            bytes = QByteArray::number(v.toDouble(), 'g', 17);
            break;
        case TCellKind::Blob:
            bytes = v.toByteArray();
            b.formats[i] = 1; // binary: bytes as they are
            break;
        case TCellKind::Text: {
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
    if (LibPq().PQgetisnull(res, row, column)) {
        rows.AppendNull();
        return;
    }
    const char* text = LibPq().PQgetvalue(res, row, column);
    const int length = LibPq().PQgetlength(res, row, column);
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
        unsigned char* raw = LibPq().PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &size);
        if (!raw)
            throw EDatabaseError(QStringLiteral("Ошибка чтения двоичного значения с сервера"));
        rows.AppendBlob(QByteArrayView(reinterpret_cast<const char*>(raw), static_cast<qsizetype>(size)));
        LibPq().PQfreemem(raw);
        break;
    }
    case TColumnRead::Text:
        rows.AppendText(QByteArrayView(text, length));
        break;
    }
}

// A statement and its values as one text: the same write tried again after an unknown outcome.
QByteArray signatureOf(const QString& sql, const TBound& b) {
    QByteArray sig = sql.toUtf8();
    for (size_t i = 0; i < b.values.size(); ++i) {
        sig += '\0';
        sig += b.values[i] ? QByteArray::number(b.lengths[i]) + ':' + QByteArray(b.values[i], b.lengths[i])
                           : QByteArray("NULL");
    }
    return sig;
}

// A write outside a transaction, with its key (see the head of ServerEngine.h).
TOutcome keyedWrite(PGconn* conn, const QString& sql, const TStatement& st, TBound b, TWait& wait) {
    const QByteArray signature = signatureOf(sql, b);
    QString key = pendingKey(signature);
    if (key.isEmpty())
        key = QUuid::createUuid().toString(QUuid::WithoutBraces);
    b.Append(key.toLatin1());
    for (int attempt = 0;; ++attempt) {
        const int pid = LibPq().PQbackendPID(conn);
        const TAnswer a = roundTrip(conn, st.keyedText, &b, wait);
        if (!answeredLost(conn, a)) {
            setPending(signature, QString());
            if (succeeded(a.res.get()))
                return readOutcome(a.res.get());
            const QByteArray state = stateOf(a.res.get());
            const char* constraint = LibPq().PQresultErrorField(a.res.get(), PG_DIAG_CONSTRAINT_NAME);
            if (state == "23505" && qstrcmp(constraint, "morvel_write_pkey") == 0) {
                // An earlier attempt with this key was stored after all.
                const TOutcome o = lookUp(conn, key, wait);
                if (o.found)
                    return o;
            }
            if (wait.cancelled && state == "57014")
                throw EWaitCancelled(kCancelled);
            raiseAnswer(conn, a.res.get(), QStringLiteral("Ошибка выполнения запроса"));
        }
        if (!reconnect(conn, wait)) {
            setPending(signature, key);
            throw EConnectionLost(kWriteUnknown, QString::fromUtf8(LibPq().PQerrorMessage(conn)).trimmed());
        }
        endOldSession(conn, pid, wait);
        const TOutcome o = lookUp(conn, key, wait);
        if (o.found) {
            setPending(signature, QString());
            return o;
        }
        if (o.known && wait.cancelled) {
            setPending(signature, QString());
            throw EWaitCancelled(kCancelled);
        }
        if (!o.known || attempt > 0) {
            setPending(signature, key);
            throw EConnectionLost(kWriteUnknown);
        }
    }
}

// Handles an answer that says the connection is gone: a transaction is lost with it; anything else
// reconnects (and is run again by the caller where that is safe).
void onLost(PGconn* conn, TWait& wait, bool inTransaction) {
    if (inTransaction) {
        // The transaction is gone with its connection; the next statement makes the connection anew.
        LibPq().PQresetStart(conn);
        throw EConnectionLost(kTransactionLost);
    }
    if (!reconnect(conn, wait))
        throw EConnectionLost(wait.cancelled ? kReadCancelled : kNoLink,
                              QString::fromUtf8(LibPq().PQerrorMessage(conn)).trimmed());
    if (wait.cancelled)
        throw EWaitCancelled(kReadCancelled);
}

} // namespace

void SetWaitObserver(TWaitObserver* observer) { g_observer = observer; }

} // namespace Data::Server

namespace Data {

using namespace Server;

TServerEngine::TServerEngine(PGconn* conn) : m_conn(conn) { PrepareSession(); }

TServerEngine::~TServerEngine() {
    delete m_notifier;
    LibPq().PQfinish(m_conn);
    const QMutexLocker lock(&g_linkMutex);
    g_links.remove(m_conn);
}

void TServerEngine::PrepareSession() {
    withLink(m_conn, [](TLinkState& s) { s.keys = false; });
    TWait wait;
    prepareSession(m_conn, wait);
}

PGconn* TServerEngine::Handle() {
    if (LibPq().PQstatus(m_conn) != CONNECTION_OK) {
        // The server went away (restart, network): one new attempt with the same parameters.
        TWait wait;
        if (!reconnect(m_conn, wait))
            throw EConnectionLost(wait.cancelled ? kReadCancelled : kNoLink,
                                  QString::fromUtf8(LibPq().PQerrorMessage(m_conn)).trimmed());
    }
    return m_conn;
}

int TServerEngine::Exec(const QString& text, const QVariantMap& params, qint64* lastId) {
    PGconn* conn = Handle();
    const auto statement = cachedStatement(text);
    const TStatement& st = *statement;
    TBound b = bind(st, params, true);
    TWait wait;
    const bool inTransaction = InTransaction();
    if (!st.keyedText.isEmpty() && !inTransaction && withLink(conn, [](TLinkState& s) { return s.keys; })) {
        const TOutcome o = keyedWrite(conn, text, st, std::move(b), wait);
        if (lastId && o.rowId != 0)
            *lastId = o.rowId;
        return o.changed;
    }
    const TAnswer a = roundTrip(conn, st.text, &b, wait);
    if (answeredLost(conn, a)) {
        if (inTransaction) {
            LibPq().PQresetStart(conn);
            throw EConnectionLost(kTransactionLost);
        }
        // Without keys the outcome of a write cannot be learnt; the connection is made anew for the
        // next statement.
        reconnect(conn, wait);
        throw EConnectionLost(st.write ? kWriteUnknown : kNoLink);
    }
    if (!succeeded(a.res.get())) {
        if (wait.cancelled && stateOf(a.res.get()) == "57014")
            throw EWaitCancelled(kCancelled);
        raiseAnswer(conn, a.res.get(), QStringLiteral("Ошибка выполнения запроса"));
    }
    PGresult* res = a.res.get();
    const int key = LibPq().PQfnumber(res, "row_id");
    if (lastId && key >= 0 && LibPq().PQntuples(res) > 0)
        *lastId = std::strtoll(LibPq().PQgetvalue(res, LibPq().PQntuples(res) - 1, key), nullptr, 10);
    return QByteArray(LibPq().PQcmdTuples(res)).toInt();
}

void TServerEngine::Select(const QString& text, const QVariantMap& params, QStringList& fields,
                           TRowStore& rows) {
    PGconn* conn = Handle();
    const auto statement = cachedStatement(text);
    const TBound b = bind(*statement, params, false);
    TWait wait;
    const bool inTransaction = InTransaction();
    TAnswer a = roundTrip(conn, statement->text, &b, wait);
    // A read outside a transaction is run again once on a new connection, unseen by the user.
    if (answeredLost(conn, a)) {
        onLost(conn, wait, inTransaction);
        a = roundTrip(conn, statement->text, &b, wait);
        if (answeredLost(conn, a))
            throw EConnectionLost(kNoLink, QString::fromUtf8(LibPq().PQerrorMessage(conn)).trimmed());
    }
    if (!succeeded(a.res.get())) {
        if (wait.cancelled && stateOf(a.res.get()) == "57014")
            throw EWaitCancelled(kReadCancelled);
        raiseAnswer(conn, a.res.get(), QStringLiteral("Ошибка выполнения запроса"));
    }
    const PGresult* r = a.res.get();
    const int columns = LibPq().PQnfields(r);
    const int count = LibPq().PQntuples(r);
    std::vector<TColumnRead> reads(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) {
        fields << QString::fromUtf8(LibPq().PQfname(r, c));
        reads[static_cast<size_t>(c)] = readOf(LibPq().PQftype(r, c));
    }
    rows.Reset(columns);
    for (int row = 0; row < count; ++row)
        for (int c = 0; c < columns; ++c)
            appendCell(rows, r, row, c, reads[static_cast<size_t>(c)]);
}

void TServerEngine::Run(const QByteArray& script, const QString& what) {
    PGconn* conn = Handle();
    TWait wait;
    const bool inTransaction = InTransaction();
    TAnswer a = roundTrip(conn, script, nullptr, wait);
    if (answeredLost(conn, a)) {
        onLost(conn, wait, inTransaction);
        a = roundTrip(conn, script, nullptr, wait);
        if (answeredLost(conn, a))
            throw EConnectionLost(kNoLink, QString::fromUtf8(LibPq().PQerrorMessage(conn)).trimmed());
    }
    if (!succeeded(a.res.get())) {
        if (wait.cancelled && stateOf(a.res.get()) == "57014")
            throw EWaitCancelled(kCancelled);
        raiseAnswer(conn, a.res.get(), what);
    }
}

bool TServerEngine::InTransaction() { return LibPq().PQtransactionStatus(m_conn) != PQTRANS_IDLE; }

void TServerEngine::Begin() { Run("begin", QStringLiteral("Не удалось начать запись")); }

void TServerEngine::Rollback() { Run("rollback", QString()); }

void TServerEngine::Commit() {
    // The server answers a commit of a failed transaction with a rollback, not an error.
    if (LibPq().PQtransactionStatus(m_conn) == PQTRANS_INERROR)
        throw EDatabaseError(QStringLiteral("Не удалось завершить запись: операция прервана ошибкой. "
                                            "Изменения не сохранены."));
    PGconn* conn = m_conn;
    TWait wait;
    const bool keys = withLink(conn, [](TLinkState& s) { return s.keys; });
    const QString key = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QByteArray sql =
        keys ? QByteArray("insert into morvel_write (write_key) values ('" + key.toLatin1() + "'); commit")
             : QByteArray("commit");
    const int pid = LibPq().PQbackendPID(conn);
    const TAnswer a = roundTrip(conn, sql, nullptr, wait);
    if (!answeredLost(conn, a)) {
        if (!succeeded(a.res.get()))
            raiseAnswer(conn, a.res.get(), QStringLiteral("Не удалось завершить запись"));
        return;
    }
    if (!reconnect(conn, wait))
        throw EConnectionLost(kWriteUnknown, QString::fromUtf8(LibPq().PQerrorMessage(conn)).trimmed());
    endOldSession(conn, pid, wait);
    const TOutcome o = keys ? lookUp(conn, key, wait) : TOutcome();
    if (!o.found)
        throw EConnectionLost(o.known ? kTransactionLost : kWriteUnknown);
}

bool TServerEngine::Busy() const {
    return withLink(m_conn, [](TLinkState& s) { return s.busy; });
}

void TServerEngine::Watch(QObject* owner, TNoticeHandler changed, std::function<void(bool)> working) {
    m_owner = owner;
    m_changedHandler = std::move(changed);
    m_working = std::move(working);
    m_noticeTimer = new QTimer(owner);
    m_noticeTimer->setSingleShot(true);
    m_noticeTimer->setInterval(kNoticeDelayMs);
    QObject::connect(m_noticeTimer, &QTimer::timeout, owner, [this] {
        const QStringList tables = std::exchange(m_changed, {});
        if (!tables.isEmpty())
            m_changedHandler(tables);
    });
    // The engine calls the listener in the middle of its work: the notice is handed over from the event
    // loop.
    const QPointer<QObject> guard(owner);
    withLink(m_conn, [&](TLinkState& s) {
        s.listener = [this, guard](const QStringList& tables) {
            if (guard)
                QMetaObject::invokeMethod(
                    guard.data(),
                    [this, guard, tables] {
                        if (guard)
                            noticed(tables);
                    },
                    Qt::QueuedConnection);
        };
    });
    Run("listen morvel_change", QStringLiteral("Не удалось подготовить соединение с сервером"));
    watchSocket();
}

void TServerEngine::watchSocket() {
    delete m_notifier;
    m_notifier = nullptr;
    const int socket = LibPq().PQsocket(m_conn);
    if (socket < 0)
        return;
    m_notifier = new QSocketNotifier(socket, QSocketNotifier::Read);
    QObject::connect(m_notifier, &QSocketNotifier::activated, m_owner, [this] {
        // A statement under way reads the socket itself and hands its notices over.
        if (Busy())
            return;
        if (LibPq().PQstatus(m_conn) != CONNECTION_OK || !LibPq().PQconsumeInput(m_conn) ||
            (deliverNotices(m_conn), LibPq().PQstatus(m_conn) != CONNECTION_OK)) {
            m_notifier->setEnabled(false);
            m_working(false);
        }
    });
}

void TServerEngine::noticed(const QStringList& tables) {
    if (tables.isEmpty()) {
        // A new connection: notices of the time without one are lost, so everything may have changed.
        watchSocket();
        m_working(true);
        m_changed = ChangeTables();
    } else {
        m_changed += tables;
        m_changed.removeDuplicates();
    }
    if (!m_noticeTimer->isActive())
        m_noticeTimer->start();
}

QString TServerEngine::DatabaseName() const { return QString::fromUtf8(LibPq().PQdb(m_conn)); }

QString TServerEngine::Version() const {
    const int v = LibPq().PQserverVersion(m_conn);
    return QStringLiteral("%1.%2").arg(v / 10000).arg(v % 10000);
}

} // namespace Data
