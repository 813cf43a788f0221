// Links to the run's cluster: TLS only on its TCP port (a certificate for "localhost" signed by the run's
// root certificate), plain on its Unix socket. And a server database of the previous schema, whose
// passwords are hashed when it is first opened.
#include "StoreSupport.h"

#include "data/Password.h"
#include "data/Schema.h"

#include <QtTest>

class TestServerTls : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Host "" is the cluster's socket; mode -1 leaves the protection to the default for the host.
    void connectionCheck_data() {
        const QString root = TestSupport::kClusterDir + QStringLiteral("/tls/ca.crt");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("rootCert");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("message");
        const int full = int(Data::TTlsMode::VerifyFull), require = int(Data::TTlsMode::Require);
        QTest::newRow("checked") << "localhost" << full << root << true << "Соединение зашифровано (TLS";
        QTest::newRow("required") << "127.0.0.1" << require << "" << true << "сервера не проверялась";
        QTest::newRow("certificate for another name")
            << "127.0.0.1" << full << root << false << "другого имени";
        QTest::newRow("no root certificate")
            << "localhost" << full << "/none/root.crt" << false << "нужен файл";
        QTest::newRow("socket: none by default") << "" << -1 << "" << true << "сервер на этом компьютере";
        QTest::newRow("this computer: none by default, TLS wanted")
            << "127.0.0.1" << -1 << "" << false << "только зашифрованные соединения";
        // "127.1" is this computer as well, but not by a name the program knows: it gets the default for
        // others.
        QTest::newRow("another computer: checked by default")
            << "127.1" << -1 << root << false << "другого имени";
    }
    void connectionCheck() {
        QFETCH(QString, host);
        QFETCH(int, mode);
        QFETCH(QString, rootCert);
        QFETCH(bool, ok);
        QFETCH(QString, message);
        TestSupport::TServerDatabase db;
        QVERIFY2(db.ok(), qPrintable(db.error()));
        Data::TStoreSettings s = db.settings();
        if (!host.isEmpty()) {
            QFile port(TestSupport::kClusterDir + QStringLiteral("/tcp_port"));
            QVERIFY2(port.open(QIODevice::ReadOnly), "the pg_cluster fixture has not started the cluster");
            s.host = host;
            s.port = port.readAll().trimmed().toInt();
        }
        if (mode >= 0)
            s.tls = Data::TTlsMode(mode);
        s.rootCert = rootCert;
        const Data::TConnectResult result = Data::TestServerConnection(s, QString());
        QVERIFY2(result.message.contains(message), qPrintable(result.message));
        QCOMPARE(result.failure, ok ? Data::TConnectFailure::None : Data::TConnectFailure::Encryption);
    }

    void shiftedPasswordsAreHashedOnTheServer() {
        TestSupport::TServerDatabase server;
        QVERIFY2(server.ok(), qPrintable(server.error()));
        TestSupport::ProgramDirFixture dir;
        auto dm = TMain_DataModule::CreateServer(dir.path(), server.settings(), QString());
        QVERIFY(TestSupport::execBound(
            dm->Main_Database(), QStringLiteral("insert into DB (DB_Name, Password) values ('Б', :p)"),
            {{QStringLiteral("p"), Data::EncipherPassword(QStringLiteral("Ёж-7"))}}));
        QVERIFY(TestSupport::execBound(dm->Main_Database(),
                                       QStringLiteral("update morvel_schema set version = 5")));
        dm.reset();
        dm = TMain_DataModule::CreateServer(dir.path(), server.settings(), QString());
        const QVariant stored =
            TestSupport::selectValue(dm->Main_Database(), QStringLiteral("select Password from DB"));
        QVERIFY(Data::PasswordMatches(stored.toByteArray(), QStringLiteral("Ёж-7")));
        QVERIFY(Data::IsPasswordHash(stored.toByteArray()));
        QCOMPARE(
            TestSupport::selectValue(dm->Main_Database(), QStringLiteral("select version from morvel_schema"))
                .toInt(),
            Data::kSchemaVersion);
    }
};

QTEST_MAIN(TestServerTls)
#include "tst_server_tls.moc"
