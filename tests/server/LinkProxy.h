// A TCP proxy between the program and the test cluster's Unix socket, on a thread of its own, listening
// on 127.0.0.1 on a free port. It can stall every link (nothing passes either way, new links included),
// and drop the whole answer of the next write (a statement whose result says INSERT) after the server
// committed it: the answer is held until the server is ready for the next statement, then thrown away and
// the program's side of the link closed, while the server's side stays open.
#pragma once

#include <QByteArray>
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <list>
#include <thread>
#include <vector>

class TLinkProxy {
public:
    explicit TLinkProxy(const QString& clusterDir) : m_socketPath(clusterDir.toUtf8() + "/.s.PGSQL.5432") {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_listen, 16);
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &length);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~TLinkProxy() {
        m_stop = true;
        m_thread.join();
        for (TLink& l : m_links)
            close(l);
        ::close(m_listen);
    }
    int port() const { return m_port; }

    std::atomic<bool> stall{false};
    std::atomic<bool> dropNextWrite{false};
    std::atomic<int> dropped{0};

private:
    struct TLink {
        int client = -1, server = -1;
        QByteArray held;     // the server's bytes not passed on yet
        bool startup = true; // single-byte answers (no encryption) come before the first message
        bool sawWrite = false;
    };

    static void close(TLink& l) {
        for (int* fd : {&l.client, &l.server})
            if (*fd >= 0)
                ::close(std::exchange(*fd, -1));
    }

    // Passes on the server's complete messages; while a drop is armed, holds each answer until its
    // ReadyForQuery and throws away the answer of a write.
    void fromServer(TLink& l) {
        qsizetype done = 0, answerStart = 0;
        while (done < l.held.size()) {
            const char type = l.held[done];
            if (l.startup && (type == 'N' || type == 'S')) {
                ++done;
                continue;
            }
            if (l.held.size() - done < 5)
                break;
            quint32 length;
            std::memcpy(&length, l.held.constData() + done + 1, 4);
            length = ntohl(length);
            if (l.held.size() - done < 1 + qsizetype(length))
                break;
            l.startup = false;
            if (type == 'C' && l.held.mid(done + 5, 6) == "INSERT")
                l.sawWrite = true;
            done += 1 + length;
            if (type == 'Z') {
                if (l.sawWrite && dropNextWrite.exchange(false)) {
                    ::close(std::exchange(l.client, -1));
                    ++dropped;
                }
                if (l.client >= 0)
                    send(l.client, l.held.mid(answerStart, done - answerStart));
                answerStart = done;
                l.sawWrite = false;
            }
        }
        const qsizetype pass = dropNextWrite ? answerStart : done;
        if (l.client >= 0 && pass > answerStart)
            send(l.client, l.held.mid(answerStart, pass - answerStart));
        l.held.remove(0, l.client >= 0 ? pass : done);
    }

    static void send(int fd, const QByteArray& bytes) {
        for (qsizetype sent = 0; sent < bytes.size();) {
            const ssize_t n = ::write(fd, bytes.constData() + sent, size_t(bytes.size() - sent));
            if (n <= 0)
                return;
            sent += n;
        }
    }

    void run() {
        while (!m_stop) {
            std::vector<pollfd> fds{{m_listen, POLLIN, 0}};
            for (TLink& l : m_links)
                for (int fd : {l.client, l.server})
                    fds.push_back({stall ? -1 : fd, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), 20) <= 0)
                continue;
            if (fds[0].revents & POLLIN) {
                TLink l;
                l.client = ::accept(m_listen, nullptr, nullptr);
                l.server = ::socket(AF_UNIX, SOCK_STREAM, 0);
                sockaddr_un u{};
                u.sun_family = AF_UNIX;
                std::strncpy(u.sun_path, m_socketPath.constData(), sizeof u.sun_path - 1);
                if (::connect(l.server, reinterpret_cast<sockaddr*>(&u), sizeof u) == 0)
                    m_links.push_back(l);
                else
                    close(l);
            }
            size_t i = 1;
            for (auto it = m_links.begin(); it != m_links.end(); i += 2) {
                TLink& l = *it;
                char buffer[65536];
                bool ended = false;
                if (fds[i].revents & (POLLIN | POLLHUP)) {
                    const ssize_t n = ::read(l.client, buffer, sizeof buffer);
                    n > 0 ? send(l.server, QByteArray(buffer, n)) : void(ended = true);
                }
                if (!ended && (fds[i + 1].revents & (POLLIN | POLLHUP))) {
                    const ssize_t n = ::read(l.server, buffer, sizeof buffer);
                    if (n > 0) {
                        l.held.append(buffer, n);
                        fromServer(l);
                    } else {
                        ended = true;
                    }
                }
                if (ended) {
                    close(l);
                    it = m_links.erase(it);
                } else {
                    ++it;
                }
            }
        }
    }

    QByteArray m_socketPath;
    int m_listen = -1;
    int m_port = 0;
    std::list<TLink> m_links;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
