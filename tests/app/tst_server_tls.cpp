// The link to the server: the run's cluster takes TLS connections only on its TCP port, with a
// certificate for "localhost" signed by the run's root certificate, and plain ones on its Unix socket.
// Also the passwords of a server database of the previous schema, hashed when it is first opened.
#include "StoreSupport.h"

#include "data/Password.h"
#include "data/Schema.h"

#include <QtTest>

using TestSupport::TServerDatabase;

Q_DECLARE_METATYPE(Data::TTlsMode)
Q_DECLARE_METATYPE(Data::TConnectFailure)

class TestServerTls : public QObject {
    Q_OBJECT

    int m_port = 0;

private Q_SLOTS:
    void initTestCase() {
        QFile port(TestSupport::kClusterDir + QStringLiteral("/tcp_port"));
        QVERIFY2(port.open(QIODevice::ReadOnly), "the pg_cluster fixture has not started the cluster");
        m_port = port.readAll().trimmed().toInt();
        QVERIFY(m_port > 0);
    }

    void connectionCheck_data() {
        const QString root = TestSupport::kClusterDir + QStringLiteral("/tls/ca.crt");
        QTest::addColumn<QString>("host");
        QTest::addColumn<Data::TTlsMode>("mode");
        QTest::addColumn<QString>("rootCert");
        QTest::addColumn<Data::TConnectFailure>("failure");
        QTest::addColumn<QString>("message");
        using M = Data::TTlsMode;
        using F = Data::TConnectFailure;
        QTest::newRow("checked") << "localhost" << M::VerifyFull << root << F::None
                                 << "Соединение зашифровано (TLS";
        QTest::newRow("required") << "127.0.0.1" << M::Require << QString() << F::None
                                  << "подлинность сервера не проверялась";
        QTest::newRow("certificate for another name")
            << "127.0.0.1" << M::VerifyFull << root << F::Encryption << "выдан для другого имени";
        QTest::newRow("no root certificate") << "localhost" << M::VerifyFull << "/nonexistent/root.crt"
                                             << F::Encryption << "нужен файл корневого сертификата";
        QTest::newRow("none where the server requires it")
            << "127.0.0.1" << M::Disable << QString() << F::Encryption << "только зашифрованные соединения";
        QTest::newRow("socket of this computer")
            << "" << M::Disable << QString() << F::None << "сервер на этом компьютере";
    }
    void connectionCheck() {
        QFETCH(QString, host);
        QFETCH(Data::TTlsMode, mode);
        QFETCH(QString, rootCert);
        QFETCH(Data::TConnectFailure, failure);
        QFETCH(QString, message);
        TServerDatabase db;
        QVERIFY2(db.ok(), qPrintable(db.error()));
        Data::TStoreSettings s = db.settings();
        if (!host.isEmpty()) {
            s.host = host;
            s.port = m_port;
        }
        s.tls = mode;
        s.rootCert = rootCert;
        const Data::TConnectResult result = Data::TestServerConnection(s, QString());
        QVERIFY2(result.message.contains(message), qPrintable(result.message));
        QCOMPARE(result.failure, failure);
    }

    // The default protection follows the host: none on this computer, verify-full for any other.
    void defaultFollowsTheHost_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("local");
        for (const char* h :
             {"", "/var/run/postgresql", "localhost", "LOCALHOST", "127.0.0.1", "127.1.2.3", "::1"})
            QTest::newRow(h) << QString::fromLatin1(h) << true;
        for (const char* h :
             {"db.example.org", "127.0.0.1.example.org", "128.0.0.1", "127.0.0.256", "10.0.0.5"})
            QTest::newRow(h) << QString::fromLatin1(h) << false;
    }
    void defaultFollowsTheHost() {
        QFETCH(QString, host);
        QFETCH(bool, local);
        Data::TStoreSettings s;
        s.host = host;
        QCOMPARE(s.IsLocalHost(), local);
        QCOMPARE(s.Tls(), local ? Data::TTlsMode::Disable : Data::TTlsMode::VerifyFull);
    }

    void shiftedPasswordsAreHashedOnTheServer() {
        TServerDatabase server;
        QVERIFY2(server.ok(), qPrintable(server.error()));
        TestSupport::ProgramDirFixture dir;
        const QString password = QStringLiteral("Пароль-7");
        {
            auto dm = TMain_DataModule::CreateServer(dir.path(), server.settings(), QString());
            QVERIFY(TestSupport::execBound(
                dm->Connection(), QStringLiteral("insert into DB (DB_Name, Password) values ('Б', :p)"),
                {{QStringLiteral("p"), Data::EncipherPassword(password)}}));
            QVERIFY(TestSupport::execBound(dm->Connection(),
                                           QStringLiteral("update morvel_schema set version = 3")));
        }
        auto dm = TMain_DataModule::CreateServer(dir.path(), server.settings(), QString());
        const QByteArray stored =
            TestSupport::selectValue(dm->Connection(), QStringLiteral("select Password from DB"))
                .toByteArray();
        QVERIFY(Data::IsPasswordHash(stored));
        QVERIFY(Data::PasswordMatches(stored, password));
        QCOMPARE(
            TestSupport::selectValue(dm->Connection(), QStringLiteral("select version from morvel_schema"))
                .toInt(),
            Data::kSchemaVersion);
    }
};

QTEST_MAIN(TestServerTls)
#include "tst_server_tls.moc"
