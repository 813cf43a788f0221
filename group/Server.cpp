// The group session's web server.
#include "group/Server.h"

#include "group/Portraits.h"
#include "group/Session.h"
#include "platform/ErrorDisplay.h"
#include "platform/Log.h"
#include "platform/ProgramDir.h"
#include "platform/SaveFile.h"

#include <QAbstractHttpServer>
#include <QDateTime>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <future>

#include <sys/socket.h>

namespace Group {

namespace {

using TStatus = QHttpServerResponder::StatusCode;

// Connections at once, and how long one may stay silent before it is closed.
constexpr int kMaxConnections = 256;
constexpr int kIdleMs = 60 * 1000;
// How long a refused request's remaining bytes are read and dropped.
constexpr int kLingerMs = 2000;
// The longest code a browser may send (a typed code with spaces and dashes).
constexpr int kMaxTypedCode = 32;

const QByteArray kCookieName = QByteArrayLiteral("run");
const QString kEndText = QStringLiteral("Спасибо, тестирование закончено");

// The session's log file: one line per connection and per request, with the address, never a code.
class TConnectionLog {
public:
    explicit TConnectionLog(const QString& path)
        : m_file(path), m_offset(QDateTime::currentDateTime().offsetFromUtc()) {
        Platform::PrivateWrite(path, [this] { return m_file.open(QIODevice::Append | QIODevice::Text); });
    }
    void Line(const QString& text) {
        if (!m_file.isOpen())
            return;
        // Local time by the offset of the session's start: asking the time zone on every line costs a
        // look at the system's zone file.
        const QDateTime now = QDateTime::currentDateTimeUtc().addSecs(m_offset);
        m_file.write((now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")) + text).toUtf8() + '\n');
        m_file.flush();
    }

private:
    QFile m_file;
    const int m_offset;
};

QString peerOf(const QHostAddress& address) {
    bool v4 = false;
    const quint32 ip = address.toIPv4Address(&v4);
    return v4 ? QHostAddress(ip).toString() : address.toString();
}

// Reads ahead of the HTTP parser on one connection: it follows where each request's head and body end,
// and refuses a head over kMaxHeaderBytes, a body over kMaxBodyBytes or of unknown length before the
// parser buffers them. It also closes a connection that stays silent.
class TRequestGuard : public QObject {
public:
    TRequestGuard(QTcpSocket* socket, TConnectionLog& log) : QObject(socket), m_socket(socket), m_log(log) {
        // Connected before the server's own handler: it runs first on every arrival.
        connect(socket, &QTcpSocket::readyRead, this, &TRequestGuard::arrived);
        m_idle.setSingleShot(true);
        m_idle.setInterval(kIdleMs);
        // A silent connection is closed in order; one whose request was refused is dropped.
        connect(&m_idle, &QTimer::timeout, socket, [this] {
            if (m_refused)
                m_socket->abort();
            else
                m_socket->disconnectFromHost();
        });
        m_idle.start();
    }

private:
    void arrived() {
        if (m_refused) {
            m_socket->readAll();
            return;
        }
        m_idle.start();
        const QByteArray chunk = m_socket->peek(m_socket->bytesAvailable());
        qsizetype pos = 0;
        while (pos < chunk.size()) {
            if (m_bodyLeft > 0) {
                const qint64 n = std::min<qint64>(m_bodyLeft, chunk.size() - pos);
                m_bodyLeft -= n;
                pos += n;
                continue;
            }
            const qsizetype before = m_head.size();
            m_head.append(chunk.constData() + pos, chunk.size() - pos);
            const qsizetype end = m_head.indexOf("\r\n\r\n", std::max<qsizetype>(0, before - 3));
            if (end < 0 || end + 4 > kMaxHeaderBytes) {
                if (m_head.size() > kMaxHeaderBytes || end >= 0)
                    return refuse(431, "Request Header Fields Too Large");
                return;
            }
            pos += end + 4 - before;
            const qint64 length = bodyLength(m_head.left(end));
            m_head.clear();
            if (length < 0)
                return refuse(411, "Length Required");
            if (length > kMaxBodyBytes)
                return refuse(413, "Payload Too Large");
            m_bodyLeft = length;
        }
    }

    // The declared body length: 0 without Content-Length, -1 for a length that is not one number or a
    // body sent in chunks.
    static qint64 bodyLength(const QByteArray& head) {
        qint64 length = 0;
        bool seen = false;
        for (const QByteArray& line : head.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon < 0)
                continue;
            const QByteArray name = line.left(colon).trimmed().toLower();
            if (name == "transfer-encoding")
                return -1;
            if (name != "content-length")
                continue;
            bool ok = false;
            const qint64 value = line.mid(colon + 1).trimmed().toLongLong(&ok);
            if (!ok || value < 0 || (seen && value != length))
                return -1;
            length = value;
            seen = true;
        }
        return length;
    }

    // Answers and closes the sending side, then reads on and drops what still comes for a while before
    // closing: a browser still sending its body would otherwise get a reset instead of the answer.
    void refuse(int status, const char* reason) {
        m_refused = true;
        m_log.Line(QStringLiteral("%1 refused: %2 %3")
                       .arg(peerOf(m_socket->peerAddress()))
                       .arg(status)
                       .arg(QLatin1String(reason)));
        m_socket->readAll();
        m_socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
                        "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
            if (m_socket->bytesToWrite() == 0)
                ::shutdown(static_cast<int>(m_socket->socketDescriptor()), SHUT_WR);
        });
        m_idle.setInterval(kLingerMs);
        m_idle.start();
    }

    QTcpSocket* m_socket;
    TConnectionLog& m_log;
    QTimer m_idle;
    QByteArray m_head;
    qint64 m_bodyLeft = 0;
    bool m_refused = false;
};

class TGuardedTcpServer : public QTcpServer {
public:
    TGuardedTcpServer(TConnectionLog& log, QObject* parent) : QTcpServer(parent), m_log(log) {}

protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        const QString peer = peerOf(socket->peerAddress());
        if (m_open >= kMaxConnections) {
            m_log.Line(peer + QStringLiteral(" refused: too many connections"));
            socket->abort();
            socket->deleteLater();
            return;
        }
        ++m_open;
        connect(socket, &QObject::destroyed, this, [this] { --m_open; });
        m_log.Line(peer + QStringLiteral(" connected"));
        new TRequestGuard(socket, m_log);
        addPendingConnection(socket);
    }

private:
    TConnectionLog& m_log;
    int m_open = 0;
};

// Validated fields of a JSON call; nullopt for anything else.
struct TCall {
    QString code;
    int step = -1;
    QString pair;
};

// A whole number in [low, high], not a fraction, string or boolean.
bool wholeIn(const QJsonValue& v, int low, int high, int* out) {
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (d < low || d > high || d != static_cast<int>(d))
        return false;
    *out = static_cast<int>(d);
    return true;
}

// Parses the body of a call whose object must hold exactly `keys`.
std::optional<TCall> parseCall(const QByteArray& body, const QStringList& keys) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    QStringList present = o.keys();
    present.sort();
    if (present != keys)
        return std::nullopt;
    TCall call;
    if (o.contains(QStringLiteral("code"))) {
        const QJsonValue code = o.value(QStringLiteral("code"));
        if (!code.isString() || code.toString().size() > kMaxTypedCode)
            return std::nullopt;
        call.code = code.toString();
    }
    if (o.contains(QStringLiteral("step")) &&
        !wholeIn(o.value(QStringLiteral("step")), 0, TRunSteps::kDone, &call.step))
        return std::nullopt;
    if (o.contains(QStringLiteral("digits"))) {
        const QJsonValue digits = o.value(QStringLiteral("digits"));
        if (!digits.isArray() || digits.toArray().size() != 2)
            return std::nullopt;
        for (const QJsonValue& d : digits.toArray()) {
            int digit = 0;
            if (!wholeIn(d, 1, Calc::kPortraitsPerSeries, &digit))
                return std::nullopt;
            call.pair += QChar(u'0' + digit);
        }
    }
    return call;
}

QString methodName(QHttpServerRequest::Method method) {
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return QStringLiteral("GET");
    case QHttpServerRequest::Method::Post:
        return QStringLiteral("POST");
    default:
        return QStringLiteral("other");
    }
}

class THttp : public QAbstractHttpServer {
public:
    THttp(TSession& session, QHash<QString, TPageFile> files, const QString& logPath)
        : m_session(session), m_files(std::move(files)), m_log(logPath) {}

    TConnectionLog& Log() { return m_log; }
    void SetHost(const QHostAddress& address, quint16 port) {
        m_host = (address.toString() + u':' + QString::number(port)).toLatin1();
    }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        QHttpServerResponder responder = makeResponder(request, socket);
        const TStatus status = answer(request, responder);
        m_log.Line(QStringLiteral("%1 %2 %3 %4")
                       .arg(peerOf(request.remoteAddress()), methodName(request.method()),
                            request.url().path().left(80))
                       .arg(static_cast<int>(status)));
        return true;
    }
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override {
        makeResponder(request, socket).write(TStatus::NotFound);
    }

private:
    static QByteArray header(const QHttpServerRequest& request, const QByteArray& name) {
        for (const auto& [key, value] : request.headers())
            if (key.compare(name, Qt::CaseInsensitive) == 0)
                return value;
        return {};
    }

    static QByteArray tokenOf(const QHttpServerRequest& request) {
        for (const QByteArray& part : header(request, "Cookie").split(';')) {
            const QByteArray p = part.trimmed();
            if (p.startsWith(QByteArray(kCookieName + '=')))
                return p.mid(kCookieName.size() + 1);
        }
        return {};
    }

    QJsonObject stateOf(const TRunSteps& steps) const {
        switch (steps.View()) {
        case TRunSteps::TView::Instruction:
            return {{QStringLiteral("view"), QStringLiteral("instruction")},
                    {QStringLiteral("step"), steps.Step()},
                    {QStringLiteral("html"), m_session.Instruction(steps.Step())},
                    {QStringLiteral("back"), steps.CanGoBack()}};
        case TRunSteps::TView::Screen: {
            QJsonArray visible;
            for (const QChar d : steps.Visible())
                visible.append(d.digitValue());
            return {{QStringLiteral("view"), QStringLiteral("screen")},
                    {QStringLiteral("step"), steps.Step()},
                    {QStringLiteral("pass"), steps.Pass()},
                    {QStringLiteral("series"), steps.Series()},
                    {QStringLiteral("sign"), steps.Sign()},
                    {QStringLiteral("prompt"), PromptFor(steps.Sign())},
                    {QStringLiteral("progress"),
                     QStringLiteral("Серия %1 из %2").arg(steps.Series()).arg(Calc::kSeriesCount)},
                    {QStringLiteral("visible"), visible},
                    {QStringLiteral("back"), steps.CanGoBack()}};
        }
        case TRunSteps::TView::Done:
            break;
        }
        return {{QStringLiteral("view"), QStringLiteral("done")}, {QStringLiteral("text"), kEndText}};
    }

    static TStatus json(QHttpServerResponder& responder, TStatus status, const QJsonObject& body) {
        responder.write(QJsonDocument(body).toJson(QJsonDocument::Compact),
                        {{"Content-Type", "application/json; charset=utf-8"},
                         {"Cache-Control", "no-store"},
                         {"X-Content-Type-Options", "nosniff"}},
                        status);
        return status;
    }

    static TStatus error(QHttpServerResponder& responder, TStatus status, const QString& what) {
        return json(responder, status, {{QStringLiteral("error"), what}});
    }

    TStatus answer(const QHttpServerRequest& request, QHttpServerResponder& responder) {
        // A name that resolves to this address elsewhere must not reach the pages (DNS rebinding).
        if (header(request, "Host") != m_host)
            return error(responder, TStatus::MisdirectedRequest, QStringLiteral("host"));
        if (request.body().size() > kMaxBodyBytes)
            return error(responder, TStatus::PayloadTooLarge, QStringLiteral("size"));
        const QString path = request.url().path();
        const bool get = request.method() == QHttpServerRequest::Method::Get;
        const bool post = request.method() == QHttpServerRequest::Method::Post;
        if (path.startsWith(QStringLiteral("/api/"))) {
            if (path == QStringLiteral("/api/state"))
                return get ? act(request, responder, TSession::TAction::View, {})
                           : error(responder, TStatus::MethodNotAllowed, QStringLiteral("method"));
            if (!post)
                return error(responder, TStatus::MethodNotAllowed, QStringLiteral("method"));
            if (!header(request, "Content-Type").startsWith("application/json"))
                return error(responder, TStatus::UnsupportedMediaType, QStringLiteral("type"));
            if (path == QStringLiteral("/api/login"))
                return login(request, responder);
            static const QHash<QString, QPair<TSession::TAction, QStringList>> calls = {
                {QStringLiteral("/api/begin"), {TSession::TAction::Begin, {QStringLiteral("step")}}},
                {QStringLiteral("/api/back"), {TSession::TAction::Back, {QStringLiteral("step")}}},
                {QStringLiteral("/api/choose"),
                 {TSession::TAction::Choose, {QStringLiteral("digits"), QStringLiteral("step")}}}};
            const auto it = calls.constFind(path);
            if (it == calls.constEnd())
                return error(responder, TStatus::NotFound, QStringLiteral("path"));
            const std::optional<TCall> call = parseCall(request.body(), it->second);
            if (!call)
                return error(responder, TStatus::BadRequest, QStringLiteral("fields"));
            return act(request, responder, it->first, *call);
        }
        if (!get)
            return error(responder, TStatus::MethodNotAllowed, QStringLiteral("method"));
        static const QRegularExpression portrait(
            QStringLiteral("^/portrait/([1-6])/([1-8])/([1-9][0-9]{1,3})$"));
        if (const QRegularExpressionMatch m = portrait.match(path); m.hasMatch())
            return picture(request, responder, m.captured(1).toInt(), m.captured(2).toInt(),
                           m.captured(3).toInt());
        // Only the page's own files, by their exact names: no path of the request reaches the disk.
        const auto file = m_files.constFind(path);
        if (file == m_files.constEnd())
            return error(responder, TStatus::NotFound, QStringLiteral("path"));
        responder.write(file->data,
                        {{"Content-Type", file->type},
                         {"Cache-Control", "no-cache"},
                         {"X-Content-Type-Options", "nosniff"},
                         {"Referrer-Policy", "no-referrer"},
                         {"Content-Security-Policy",
                          "default-src 'self'; style-src 'self' 'unsafe-inline'; frame-ancestors 'none'; "
                          "form-action 'none'; base-uri 'none'"}},
                        TStatus::Ok);
        return TStatus::Ok;
    }

    TStatus login(const QHttpServerRequest& request, QHttpServerResponder& responder) {
        const std::optional<TCall> call = parseCall(request.body(), {QStringLiteral("code")});
        if (!call)
            return error(responder, TStatus::BadRequest, QStringLiteral("fields"));
        QByteArray token;
        int retryAfter = 0;
        switch (m_session.Login(call->code, request.remoteAddress(), &token, &retryAfter)) {
        case TSession::TLogin::Locked:
            responder.write(QJsonDocument(QJsonObject{{QStringLiteral("error"), QStringLiteral("locked")},
                                                      {QStringLiteral("retry"), retryAfter}})
                                .toJson(QJsonDocument::Compact),
                            {{"Content-Type", "application/json; charset=utf-8"},
                             {"Cache-Control", "no-store"},
                             {"Retry-After", QByteArray::number(retryAfter)}},
                            TStatus::TooManyRequests);
            return TStatus::TooManyRequests;
        case TSession::TLogin::Wrong:
            return error(responder, TStatus::Unauthorized, QStringLiteral("code"));
        case TSession::TLogin::Ok:
            break;
        }
        TRunSteps steps;
        m_session.Act(token, TSession::TAction::View, 0, {}, &steps);
        responder.write(QJsonDocument(stateOf(steps)).toJson(QJsonDocument::Compact),
                        {{"Content-Type", "application/json; charset=utf-8"},
                         {"Cache-Control", "no-store"},
                         {"Set-Cookie", kCookieName + '=' + token + "; Path=/; HttpOnly; SameSite=Strict"}},
                        TStatus::Ok);
        return TStatus::Ok;
    }

    TStatus act(const QHttpServerRequest& request, QHttpServerResponder& responder, TSession::TAction action,
                const TCall& call) {
        TRunSteps steps;
        switch (m_session.Act(tokenOf(request), action, call.step, call.pair, &steps)) {
        case TSession::TOutcome::NoRun:
            return error(responder, TStatus::Unauthorized, QStringLiteral("run"));
        case TSession::TOutcome::OutOfOrder:
            // The run moved on elsewhere (an answer lost on the way, another tab): the page takes the
            // state it is given.
            return json(responder, TStatus::Conflict,
                        {{QStringLiteral("error"), QStringLiteral("step")},
                         {QStringLiteral("state"), stateOf(steps)}});
        case TSession::TOutcome::Refused:
            return json(responder, TStatus::UnprocessableEntity,
                        {{QStringLiteral("error"), QStringLiteral("choice")},
                         {QStringLiteral("state"), stateOf(steps)}});
        case TSession::TOutcome::Ok:
            break;
        }
        return json(responder, TStatus::Ok, stateOf(steps));
    }

    TStatus picture(const QHttpServerRequest& request, QHttpServerResponder& responder, int series, int digit,
                    int width) {
        TRunSteps steps;
        // Only the portraits of the screen the run is on.
        if (m_session.Act(tokenOf(request), TSession::TAction::View, 0, {}, &steps) != TSession::TOutcome::Ok)
            return error(responder, TStatus::Unauthorized, QStringLiteral("run"));
        if (steps.View() != TRunSteps::TView::Screen || steps.Series() != series)
            return error(responder, TStatus::NotFound, QStringLiteral("series"));
        const QByteArray data = m_portraits.Picture(series, digit, width);
        if (data.isEmpty())
            return error(responder, TStatus::NotFound, QStringLiteral("picture"));
        responder.write(data,
                        {{"Content-Type", "image/jpeg"},
                         {"Cache-Control", "private, max-age=3600"},
                         {"X-Content-Type-Options", "nosniff"}},
                        TStatus::Ok);
        return TStatus::Ok;
    }

    TSession& m_session;
    const QHash<QString, TPageFile> m_files;
    TConnectionLog m_log;
    TPortraits m_portraits;
    QByteArray m_host;
};

class TServerThread : public QThread {
public:
    TServerThread(TSession& session, QHash<QString, TPageFile> files, QString logPath, QHostAddress address,
                  quint16 port)
        : m_session(session), m_files(std::move(files)), m_logPath(std::move(logPath)), m_address(address),
          m_port(port) {}

    // The port listened on, or 0 with the failure.
    struct TOpened {
        quint16 port = 0;
        QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;
        QString reason;
    };
    std::future<TOpened> Opened() { return m_opened.get_future(); }

protected:
    void run() override {
        THttp http(m_session, m_files, m_logPath);
        auto* tcp = new TGuardedTcpServer(http.Log(), &http);
        if (!tcp->listen(m_address, m_port)) {
            http.Log().Line(QStringLiteral("listen on %1:%2 failed: %3")
                                .arg(m_address.toString())
                                .arg(m_port)
                                .arg(tcp->errorString()));
            m_opened.set_value({0, tcp->serverError(), tcp->errorString()});
            return;
        }
        http.bind(tcp);
        http.SetHost(m_address, tcp->serverPort());
        http.Log().Line(
            QStringLiteral("session opened on %1:%2").arg(m_address.toString()).arg(tcp->serverPort()));
        m_opened.set_value({tcp->serverPort(), QAbstractSocket::UnknownSocketError, QString()});
        exec();
        tcp->close();
        http.Log().Line(QStringLiteral("session closed"));
    }

private:
    TSession& m_session;
    QHash<QString, TPageFile> m_files;
    QString m_logPath;
    QHostAddress m_address;
    quint16 m_port;
    std::promise<TOpened> m_opened;
};

} // namespace

QHash<QString, TPageFile> ReadPageFiles() {
    static const struct {
        const char* url;
        const char* file;
        const char* type;
    } kFiles[] = {{"/", "index.html", "text/html; charset=utf-8"},
                  {"/group.css", "group.css", "text/css; charset=utf-8"},
                  {"/group.js", "group.js", "text/javascript; charset=utf-8"}};
    QHash<QString, TPageFile> files;
    for (const auto& f : kFiles) {
        QFile file(Platform::ProgramPath(QStringLiteral("/group/") + QLatin1String(f.file)));
        if (!file.open(QIODevice::ReadOnly))
            throw Platform::EError(QStringLiteral("Не найден файл страницы тестирования %1. Переустановите "
                                                  "программу.")
                                       .arg(file.fileName()),
                                   file.errorString());
        files.insert(QLatin1String(f.url), TPageFile{file.readAll(), QByteArray(f.type)});
    }
    return files;
}

TServer::TServer(TSession& session, QString logPath) : m_session(session), m_logPath(std::move(logPath)) {}

TServer::~TServer() { Stop(); }

quint16 TServer::Start(const QHostAddress& address, quint16 port, QString* error) {
    Stop();
    auto thread = std::make_unique<TServerThread>(m_session, ReadPageFiles(), m_logPath, address, port);
    auto opened = thread->Opened();
    thread->start();
    const TServerThread::TOpened result = opened.get();
    if (result.port == 0) {
        thread->wait();
        Platform::LogError(QStringLiteral("Групповое тестирование"), result.reason);
        *error =
            QStringLiteral("Не удается открыть адрес %1, порт %2: %3")
                .arg(address.toString())
                .arg(port)
                .arg(result.error == QAbstractSocket::AddressInUseError
                         ? QStringLiteral("порт занят другой программой. Выберите другой порт в настройках.")
                         : QStringLiteral("адрес недоступен. Выберите в настройках адрес этого компьютера."));
        return 0;
    }
    m_thread = std::move(thread);
    return result.port;
}

void TServer::Stop() {
    if (!m_thread)
        return;
    m_thread->quit();
    m_thread->wait();
    m_thread.reset();
}

} // namespace Group
