// The server store over an unlucky link: the program talks to a cluster of the suite's own through a
// proxy that can stall the link or drop the answer of a write after the server committed it. A write whose
// answer was lost is stored once and reported as saved; a read after a server restart succeeds unseen; a
// stalled link ends with a Russian message within 15 s and the dialog keeps what was typed; "Отмена" in
// the wait window stops a write the server holds; another connection's insert shows in the list within a
// second; a role that may only read opens read-only; an empty database offers what to do.
#include "LinkProxy.h"
#include "StoreSupport.h"

#include "app/AddTester_Frm.h"
#include "app/DB_Frm.h"
#include "app/MainFrm.h"
#include "app/ServerLogin.h"
#include "app/ServerWait.h"
#include "app/StoreStart.h"
#include "data/Engine.h"
#include "data/Schema.h"
#include "data/ServerEngine.h"
#include "platform/Dialogs.h"
#include "shell/ShellFixture.h"
#include "testing/Blank_Frm.h"
#include "widgets/StringGrid.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QtTest>

class TestServerLink : public QObject {
    Q_OBJECT

    QString m_cluster = QStringLiteral("/tmp/morvel-pg-link-%1").arg(::getpid());
    std::unique_ptr<TLinkProxy> m_proxy;
    std::unique_ptr<TestSupport::ProgramDirFixture> m_dir;
    std::unique_ptr<TestSupport::TServerDatabase> m_db;
    std::unique_ptr<TMain_DataModule> m_dm;

    // The settings of the test database, through the proxy.
    Data::TStoreSettings settings(const QString& user = QStringLiteral("postgres")) const {
        Data::TStoreSettings s = m_db->settings();
        s.host = QStringLiteral("127.0.0.1");
        s.port = m_proxy->port();
        s.user = user;
        return s;
    }
    qint64 insert(const QString& sql, const QVariantMap& params = {}) {
        qint64 id = 0;
        TestSupport::execBound(m_dm->Main_Database(), sql, params, &id);
        return id;
    }
    int count(const char* table) {
        // Quoted: on the server a bare USER is the name of the session's role.
        return TestSupport::selectValue(
                   m_dm->Main_Database(),
                   QStringLiteral("select count(*) from \"%1\"").arg(QString::fromLatin1(table).toLower()))
            .toInt();
    }
    int addTester(const QString& fio) {
        return int(insert(QStringLiteral("insert into \"user\" (DB_ID, FIO, Sex, Age, Group_ID, IsDel) "
                                         "values (:db, :fio, 'М', 30, 0, '')"),
                          {{QStringLiteral("db"), m_dm->Current_DB_ID}, {QStringLiteral("fio"), fio}}));
    }
    static void fillTester(TAddTester_Form& form, const QString& fio) {
        form.FillGroups();
        form.show();
        form.FIO_Edit->setText(fio);
        form.Sex_ComboBox->setCurrentIndex(0);
        form.Age_Edit->setValue(40);
    }
    static bool russianOnly(const QString& text) {
        return !text.contains(QRegularExpression(QStringLiteral("[A-Za-z]{3}")));
    }

private Q_SLOTS:
    void initTestCase() {
        // Commits survive the server's crash-stop (the restart case stops it so).
        qputenv("PG_CLUSTER_DURABLE", "1");
        QString output;
        QVERIFY2(TestSupport::clusterCommand(QStringLiteral("start"), &output, m_cluster),
                 qPrintable(output));
        m_proxy = std::make_unique<TLinkProxy>(m_cluster);
        InstallServerWait();
        TestSupport::pinRussianLocale();
    }
    void cleanupTestCase() {
        m_proxy.reset();
        TestSupport::clusterCommand(QStringLiteral("stop"), nullptr, m_cluster);
    }
    void init() {
        m_dir = std::make_unique<TestSupport::ProgramDirFixture>();
        m_db = std::make_unique<TestSupport::TServerDatabase>(m_cluster);
        QVERIFY2(m_db->ok(), qPrintable(m_db->error()));
        m_dm = TMain_DataModule::CreateServer(m_dir->path(), settings(), QString());
        m_dm->Current_DB_ID = int(insert(QStringLiteral("insert into DB (DB_Name) values ('Основная')")));
    }
    void cleanup() {
        m_proxy->stall = false;
        m_proxy->dropNextWrite = false;
        TestSupport::clusterCommand(QStringLiteral("restart"), nullptr, m_cluster); // after a failed case
        m_dm.reset();
        m_db.reset();
        m_dir.reset();
    }

    void droppedAnswerStoresOnce_data() {
        QTest::addColumn<bool>("testRecord");
        QTest::newRow("new testee") << false;
        QTest::newRow("test record from a sheet") << true;
    }
    void droppedAnswerStoresOnce() {
        QFETCH(bool, testRecord);
        const int men = testRecord ? addTester(QStringLiteral("Петров")) : 0;
        Platform::MessageRecorder recorder;
        m_proxy->dropNextWrite = true;
        if (testRecord) {
            const QString sheet = QStringLiteral("135724681538264713457812264815372467381567285634");
            TBlank_Form form;
            form.MenID = men;
            form.Record = Data::NewTestRecord(Main_DataModule->Current_DB_ID, men);
            form.InitGrids();
            form.LoadRecord();
            form.show();
            for (int i = 0; i < 48; ++i)
                form.Bl_Grid->SetCell(1 + i % 24, 2 + i / 24, QString(sheet[i]));
            QTest::mouseClick(form.Ok_But, Qt::LeftButton);
            QVERIFY(!form.isVisible());
        } else {
            TAddTester_Form form;
            form.Testee.dbId = Main_DataModule->Current_DB_ID;
            form.Men_ID = -1;
            fillTester(form, QStringLiteral("Иванов"));
            QTest::mouseClick(form.Ok_But, Qt::LeftButton);
            QVERIFY(!form.isVisible());
            QCOMPARE(form.Men_ID, TestSupport::selectValue(m_dm->Main_Database(),
                                                           QStringLiteral("select max(Men_ID) from \"user\""))
                                      .toInt());
        }
        QCOMPARE(m_proxy->dropped.exchange(0), 1);
        QVERIFY2(recorder.messages.isEmpty(), qPrintable(recorder.messages.value(0).text));
        QCOMPARE(count(testRecord ? "TEST" : "USER"), 1);
    }

    void readAfterRestartIsSilent() {
        const int men = addTester(QStringLiteral("Петров"));
        insert(QStringLiteral("insert into TEST (DB_ID, Men_ID, Date_Test, Time_Test) "
                              "values (:db, :men, '2026-12-01', '10:00:00')"),
               {{QStringLiteral("db"), m_dm->Current_DB_ID}, {QStringLiteral("men"), men}});
        TMain_Form form;
        form.show();
        QVERIFY(form.LocateMen(men));
        Platform::MessageRecorder recorder;
        QVERIFY(TestSupport::clusterCommand(QStringLiteral("kill"), nullptr, m_cluster));
        QVERIFY(TestSupport::clusterCommand(QStringLiteral("restart"), nullptr, m_cluster));
        // What closing the test list runs.
        form.RefreshMenList();
        QVERIFY(form.LocateMen(men));
        QVERIFY2(recorder.messages.isEmpty(), qPrintable(recorder.messages.value(0).text));
        QVERIFY(form.ResultTest->isEnabled());
    }

    void stalledLinkEndsWithAMessage() {
        Platform::MessageRecorder recorder;
        TAddTester_Form form;
        form.Testee.dbId = Main_DataModule->Current_DB_ID;
        form.Men_ID = -1;
        fillTester(form, QStringLiteral("Кузнецов"));
        m_proxy->stall = true;
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(form.Ok_But, Qt::LeftButton);
        const qint64 waited = clock.elapsed();
        m_proxy->stall = false;
        QVERIFY2(waited < 15000, qPrintable(QString::number(waited)));
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY2(russianOnly(recorder.messages[0].text), qPrintable(recorder.messages[0].text));
        QVERIFY(form.isVisible());
        QCOMPARE(form.FIO_Edit->text(), QStringLiteral("Кузнецов"));
        // Once the link is back the same save stores the testee once, whatever the stalled one did.
        QTest::mouseClick(form.Ok_But, Qt::LeftButton);
        QVERIFY2(!form.isVisible(), qPrintable(recorder.messages.last().text));
        QCOMPARE(count("USER"), 1);
    }

    void cancelledWaitKeepsTheDialog() {
        // The server holds every new testee for 6 s.
        for (const char* sql :
             {"create function morvel_test_slow() returns trigger language plpgsql as "
              "$$ begin perform pg_sleep(6); return new; end $$",
              "create trigger morvel_test_slow before insert on \"user\" for each row execute function "
              "morvel_test_slow()"})
            QVERIFY(TestSupport::execBound(m_dm->Main_Database(), QString::fromLatin1(sql)));
        Platform::MessageRecorder recorder;
        TAddTester_Form form;
        form.Testee.dbId = Main_DataModule->Current_DB_ID;
        form.Men_ID = -1;
        fillTester(form, QStringLiteral("Сидоров"));
        ShellTest::whenModal<TServerWait_Form>(
            [](TServerWait_Form* wait) { QTest::mouseClick(wait->Cancel_But, Qt::LeftButton); });
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(form.Ok_But, Qt::LeftButton);
        QVERIFY(clock.elapsed() < 6000);
        QVERIFY(form.isVisible());
        QCOMPARE(form.FIO_Edit->text(), QStringLiteral("Сидоров"));
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY2(recorder.messages[0].text.contains(QStringLiteral("прервано")),
                 qPrintable(recorder.messages[0].text));
        QCOMPARE(count("USER"), 0);
    }

    void otherWorkstationsInsertShowsWithinASecond() {
        const int first = addTester(QStringLiteral("Абрамов"));
        TMain_Form form;
        form.show();
        QVERIFY(form.LocateMen(first));
        {
            Data::TConnectResult r;
            const auto other = Data::ConnectServer(settings(), QString(), r);
            QVERIFY2(other, qPrintable(r.message));
            TestSupport::execBound(
                *other,
                QStringLiteral("insert into \"user\" (DB_ID, FIO, Sex, Age, Group_ID, IsDel) "
                               "values (:db, 'Яковлев', 'М', 50, 0, '')"),
                {{QStringLiteral("db"), m_dm->Current_DB_ID}});
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_dm->Men_Query->RecordCount(), 2, 1000);
        QCOMPARE(form.CurrentMenID(), first);
    }

    void readOnlyRoleOpensReadOnly() {
        m_db->admin(QStringLiteral("create role morvel_reader login"), nullptr);
        QVERIFY(TestSupport::execBound(
            m_dm->Main_Database(),
            QStringLiteral("grant select on all tables in schema public to morvel_reader")));
        auto reader =
            TMain_DataModule::CreateServer(m_dir->path(), settings(QStringLiteral("morvel_reader")), {});
        const auto back = qScopeGuard([this] { Main_DataModule = m_dm.get(); });
        QVERIFY(reader->ReadOnly());
        Platform::MessageRecorder recorder;
        ShowStoreNotices(*reader);
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY(recorder.messages[0].text.startsWith(QStringLiteral("Только чтение")));
        TMain_Form form;
        for (QAction* a : {form.AddTest, form.NewDB, form.EditTest, form.DelTest})
            QVERIFY(!a->isEnabled());
        QVERIFY(form.statusBar()
                    ->findChild<QLabel*>(QStringLiteral("ReadOnly_Label"))
                    ->text()
                    .startsWith(QStringLiteral("Только чтение")));
    }

    // The password the server accepted is asked once per run, whatever part of the program connects.
    void passwordAskedOncePerRun() {
        // Answers every prompt as it shows: one can show only within the calls below.
        struct TAnswer : QObject {
            int prompts = 0;
            bool eventFilter(QObject* watched, QEvent* event) override {
                auto* form = qobject_cast<TServerPassword_Form*>(watched);
                if (form && event->type() == QEvent::Show) {
                    ++prompts;
                    form->Password_Edit->setText(QStringLiteral("тайна"));
                    QMetaObject::invokeMethod(form, &QDialog::accept, Qt::QueuedConnection);
                }
                return false;
            }
        } answer;
        qApp->installEventFilter(&answer);
        const auto attempt = [](const QString& password) {
            return password == QStringLiteral("тайна")
                       ? Data::TConnectResult{}
                       : Data::TConnectResult{Data::TConnectFailure::PasswordNeeded,
                                              QStringLiteral("Сервер требует пароль.")};
        };
        for (int run = 0; run < 2; ++run)
            QCOMPARE(WithServerPassword(nullptr, settings(), attempt).failure, Data::TConnectFailure::None);
        QCOMPARE(answer.prompts, 1);
    }

    // A database of the previous version gets the write keys and the notices when the program opens it.
    void olderDatabaseGetsKeysAndNotices() {
        m_dm->Main_Database().Run("drop table morvel_write; drop function morvel_notify() cascade; "
                                  "update morvel_schema set version = 3",
                                  QString());
        m_dm.reset();
        m_dm = TMain_DataModule::CreateServer(m_dir->path(), settings(), QString());
        m_dm->Current_DB_ID = 1;
        addTester(QStringLiteral("Петров"));
        QCOMPARE(count("morvel_write"), 1);
        QCOMPARE(TestSupport::selectValue(m_dm->Main_Database(),
                                          QStringLiteral("select version from morvel_schema"))
                     .toInt(),
                 Data::kSchemaVersion);
        QCOMPARE(TestSupport::selectValue(
                     m_dm->Main_Database(),
                     QStringLiteral("select count(*) from pg_trigger where tgname like '%_notify'")),
                 QVariant(4));
    }

    void emptyDatabaseOffersWhatToDo() {
        TestSupport::execBound(m_dm->Main_Database(), QStringLiteral("delete from DB"));
        TDB_Form form;
        form.show();
        QVERIFY(form.Empty_Label->isVisible() && form.CreateDB_But->isVisible() &&
                form.TransferDB_But->isVisible());
        QVERIFY(!form.Ok_But->isEnabled());
    }
};

QTEST_MAIN(TestServerLink)
#include "tst_server_link.moc"
