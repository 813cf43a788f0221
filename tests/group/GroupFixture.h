// Group sessions under test: a program directory with the portraits, the instructions and the page, the
// settings pointing a session at a free port of the loopback, testees, and plain HTTP requests sent over
// a socket of their own (also from another loopback address).
#pragma once

#include "TestSupport.h"
#include "platform/IniFile.h"
#include "tools/portraits/PortraitArt.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>

namespace GroupSupport {

inline const QString kResources = QStringLiteral(MORVEL_RESOURCES_DIR);
constexpr int kDbId = 1;

// The portraits, the two instructions and the page of `dir`.
inline void layOutProgramFiles(const QString& dir) {
    Portraits::WritePortraitSet(dir + QStringLiteral("/DB/Images"));
    QDir(dir).mkpath(QStringLiteral("group"));
    for (const char* name : {"/First_Instruct.rtf", "/Second_Instruct.rtf", "/group/index.html",
                             "/group/group.css", "/group/group.js"})
        QFile::copy(kResources + QLatin1String(name), dir + QLatin1String(name));
}

// A port nobody listens on now; the settings file sends the session there, on 127.0.0.1.
inline quint16 useFreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    Platform::TIniFile ini(Platform::SettingsPath());
    ini.WriteString(QStringLiteral("GroupTesting"), QStringLiteral("Address"), QStringLiteral("127.0.0.1"));
    ini.WriteInteger(QStringLiteral("GroupTesting"), QStringLiteral("Port"), port);
    return port;
}

// `count` testees (Men_ID 1 to count) of database kDbId.
inline QVector<Data::Testee> addTestees(Data::TEngine& db, int count) {
    QVector<Data::Testee> testees;
    for (int id = 1; id <= count; ++id) {
        const QString fio = QStringLiteral("Тестируемый %1").arg(id);
        TestSupport::ensureTestee(db, kDbId, id, fio);
        Data::Testee t;
        t.id = id;
        t.dbId = kDbId;
        t.fio = fio;
        testees << t;
    }
    return testees;
}

struct TReply {
    int status = 0; // 0: no answer (refused, closed)
    QByteArray head;
    QByteArray body;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    QByteArray cookie() const {
        const qsizetype at = head.indexOf("Set-Cookie: ");
        return at < 0 ? QByteArray() : head.mid(at + 12, head.indexOf(';', at) - at - 12);
    }
};

// Sends `raw` on a new connection (from `from` when given) and reads one answer.
inline TReply send(quint16 port, const QByteArray& raw, const QHostAddress& from = {}) {
    QTcpSocket socket;
    if (!from.isNull())
        socket.bind(from);
    socket.connectToHost(QHostAddress::LocalHost, port);
    TReply reply;
    if (!socket.waitForConnected(10000))
        return reply;
    socket.write(raw);
    QByteArray data;
    qsizetype headEnd = -1;
    qint64 length = 0;
    while (socket.waitForReadyRead(30000) || socket.bytesAvailable() > 0) {
        data += socket.readAll();
        if (headEnd < 0 && (headEnd = data.indexOf("\r\n\r\n")) >= 0) {
            const qsizetype at = data.toLower().indexOf("content-length:");
            length = at < 0 ? 0 : data.mid(at + 15, data.indexOf('\r', at) - at - 15).trimmed().toLongLong();
        }
        if (headEnd >= 0 && data.size() >= headEnd + 4 + length)
            break;
    }
    if (headEnd < 0)
        return reply;
    reply.head = data.left(headEnd);
    reply.status = data.mid(9, 3).toInt();
    reply.body = data.mid(headEnd + 4);
    return reply;
}

inline QByteArray request(quint16 port, const QByteArray& method, const QByteArray& path,
                          const QByteArray& body = {}, const QByteArray& cookie = {}) {
    QByteArray raw = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                     "\r\nConnection: close\r\n";
    if (!cookie.isEmpty())
        raw += "Cookie: " + cookie + "\r\n";
    if (method == "POST")
        raw +=
            "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    return raw + "\r\n" + body;
}

inline TReply call(quint16 port, const QByteArray& method, const QByteArray& path,
                   const QByteArray& body = {}, const QByteArray& cookie = {},
                   const QHostAddress& from = {}) {
    return send(port, request(port, method, path, body, cookie), from);
}

} // namespace GroupSupport
