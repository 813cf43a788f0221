// Suites that run on both stores: the table file and a database of its own on the test run's PostgreSQL
// cluster (started by the CTest fixture pg_cluster). Each test case gets a new, empty server database,
// dropped again when the case ends.
#pragma once

#include "TestSupport.h"

#include "data/DataMod.h"
#include "data/Dataset.h"
#include "data/FileEngine.h"
#include "data/ServerEngine.h"
#include "data/Store.h"
#include "platform/ProgramDir.h"

#include <QProcess>
#include <QtTest>

#include <libpq-fe.h>

#include <atomic>
#include <memory>

#include <unistd.h>

namespace TestSupport {

enum class TStore { File, Server };

// The rows of initTestCase_data(): every test function of the suite runs once per store.
inline void addStoreRows() {
    QTest::addColumn<TStore>("store");
    QTest::newRow("file") << TStore::File;
    QTest::newRow("server") << TStore::Server;
}

inline const QString kClusterDir = QStringLiteral(MORVEL_TEST_PG_DIR);

// Runs the cluster script (start, stop, kill, restart) on the test run's cluster, or on a cluster of a
// suite's own in `dir`.
inline bool clusterCommand(const QString& action, QString* output = nullptr,
                           const QString& dir = kClusterDir) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("bash"), {QStringLiteral(MORVEL_TEST_PG_SCRIPT), action, dir});
    const bool ok = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (output)
        *output = QString::fromLocal8Bit(p.readAll());
    return ok;
}

// Runs one statement on the maintenance database of the cluster in `dir`.
inline bool clusterAdmin(const QString& dir, const QString& sql, QString* error) {
    const QByteArray info = "host='" + dir.toUtf8() + "' dbname=postgres user=postgres";
    PGconn* conn = PQconnectdb(info.constData());
    bool ok = PQstatus(conn) == CONNECTION_OK;
    if (ok) {
        PGresult* res = PQexec(conn, sql.toUtf8().constData());
        ok = PQresultStatus(res) == PGRES_COMMAND_OK || PQresultStatus(res) == PGRES_TUPLES_OK;
        if (!ok && error)
            *error = QString::fromUtf8(PQresultErrorMessage(res));
        PQclear(res);
    } else if (error) {
        *error = QString::fromUtf8(PQerrorMessage(conn));
    }
    PQfinish(conn);
    return ok;
}

// A new database on the cluster for one test case.
class TServerDatabase {
public:
    explicit TServerDatabase(const QString& clusterDir = kClusterDir) : m_cluster(clusterDir) {
        static std::atomic<int> serial{0};
        m_name = QStringLiteral("morvel_t%1_%2").arg(::getpid()).arg(++serial);
        QString error;
        m_ok = admin(QStringLiteral("create database \"%1\"").arg(m_name), &error);
        if (!m_ok)
            m_error = QStringLiteral("The PostgreSQL cluster in %1 cannot make a database (is the "
                                     "pg_cluster fixture running?): %2")
                          .arg(m_cluster, error);
    }
    ~TServerDatabase() {
        if (m_ok)
            admin(QStringLiteral("drop database if exists \"%1\" with (force)").arg(m_name), nullptr);
    }
    TServerDatabase(const TServerDatabase&) = delete;
    TServerDatabase& operator=(const TServerDatabase&) = delete;

    bool ok() const { return m_ok; }
    const QString& error() const { return m_error; }
    const QString& name() const { return m_name; }
    Data::TStoreSettings settings() const {
        Data::TStoreSettings s;
        s.kind = Data::TStoreSettings::Kind::Server;
        s.host = m_cluster;
        s.port = 5432;
        s.database = m_name;
        s.user = QStringLiteral("postgres");
        return s;
    }

    // Runs one statement on the cluster's maintenance database.
    bool admin(const QString& sql, QString* error) const { return clusterAdmin(m_cluster, sql, error); }

private:
    QString m_cluster;
    QString m_name;
    bool m_ok = false;
    QString m_error;
};

// A program directory and a data module on the store of the current global data row.
class TStoreFixture {
public:
    explicit TStoreFixture(TStore store, const QString& clusterDir = kClusterDir) : store(store) {
        if (store == TStore::Server)
            server = std::make_unique<TServerDatabase>(clusterDir);
    }
    ~TStoreFixture() {
        dm.reset();
        server.reset();
    }
    // Creates the data module; false (with the reason in `error`) when the store cannot be had.
    bool open() {
        if (store == TStore::File) {
            dm = dir.createDataModule();
            error = QStringLiteral("data module not created");
            return dm != nullptr;
        }
        if (!server->ok()) {
            error = server->error();
            return false;
        }
        try {
            dm = TMain_DataModule::CreateServer(dir.path(), server->settings(), QString());
            // The settings file names the server, as it does for a program that works on one.
            Data::WriteStoreSettings(Platform::SettingsPath(), server->settings());
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
            return false;
        }
        return dm != nullptr;
    }

    // A connection of its own to the same store, as another workstation has; null with the reason in
    // `why` when it cannot be made.
    std::unique_ptr<Data::TEngine> connectAnother(QString* why = nullptr) const {
        try {
            if (store == TStore::File)
                return Data::TFileEngine::Open(dm->TableFilePath());
            Data::TConnectResult r;
            auto engine = Data::ConnectServer(server->settings(), QString(), r);
            if (!engine && why)
                *why = r.message;
            return engine;
        } catch (const std::exception& e) {
            if (why)
                *why = QString::fromUtf8(e.what());
            return nullptr;
        }
    }

    TStore store;
    ProgramDirFixture dir;
    std::unique_ptr<TServerDatabase> server;
    std::unique_ptr<TMain_DataModule> dm;
    QString error;
};

} // namespace TestSupport

Q_DECLARE_METATYPE(TestSupport::TStore)
