// The web server of a group session: the testee's page, the portraits and the JSON calls of a run, on a
// thread of its own so that the examiner's window never waits for a browser. It listens on one address
// only, from Start to Stop, and writes every connection and request into the session's log file.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QString>

#include <memory>

class QThread;

namespace Group {

class TSession;

// A file of the page, as served.
struct TPageFile {
    QByteArray data;
    QByteArray type;
};

// Limits of what a browser may send.
inline constexpr int kMaxHeaderBytes = 8 * 1024;
inline constexpr int kMaxBodyBytes = 2 * 1024;

class TServer {
public:
    // Serves `session`, logging into the file `logPath`.
    TServer(TSession& session, QString logPath);
    ~TServer();
    TServer(const TServer&) = delete;
    TServer& operator=(const TServer&) = delete;

    // Reads the page files of the program directory ("group/") and opens the server on `address` and
    // `port` (0: a free port). Returns the port listened on, or 0 with the reason in `error` (Russian).
    quint16 Start(const QHostAddress& address, quint16 port, QString* error);
    // Closes the server and every connection; returns when the thread has ended.
    void Stop();
    bool Running() const { return m_thread != nullptr; }

private:
    TSession& m_session;
    QString m_logPath;
    std::unique_ptr<QThread> m_thread;
};

// The page files: name in the address ("/", "/group.js") to the file's content and type. Throws
// Platform::EError when one is missing.
QHash<QString, TPageFile> ReadPageFiles();

} // namespace Group
