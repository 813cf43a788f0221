// The server goes away in the middle of a save (stopped at once, as in a crash): the program says so,
// the dialog keeps what was typed, and once the server is back the same dialog saves; nothing of the
// failed save was written. The suite runs a cluster of its own, so that stopping it disturbs no other
// suite.
#include "shell/ShellFixture.h"

#include "app/AddTester_Frm.h"
#include "platform/Dialogs.h"
#include "testing/Blank_Frm.h"
#include "widgets/StringGrid.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <unistd.h>

using namespace ShellTest;

class TestServerLoss : public QObject {
    Q_OBJECT

    QString m_cluster = QStringLiteral("/tmp/morvel-pg-loss-%1").arg(::getpid());
    std::unique_ptr<Fixture> f;

    void killServer() {
        QString output;
        QVERIFY2(TestSupport::clusterCommand(QStringLiteral("kill"), &output, m_cluster), qPrintable(output));
    }
    void restartServer() {
        QString output;
        QVERIFY2(TestSupport::clusterCommand(QStringLiteral("restart"), &output, m_cluster),
                 qPrintable(output));
    }
    int count(const QString& sql) { return f->scalar(sql).toInt(); }

private Q_SLOTS:
    void initTestCase() {
        // A cluster that keeps every commit through a crash (the shared one of the test run trades that
        // for speed): this suite checks what a crash keeps.
        qputenv("PG_CLUSTER_DURABLE", "1");
        QString output;
        QVERIFY2(TestSupport::clusterCommand(QStringLiteral("start"), &output, m_cluster),
                 qPrintable(output));
    }
    void cleanupTestCase() { TestSupport::clusterCommand(QStringLiteral("stop"), nullptr, m_cluster); }
    void init() {
        f = std::make_unique<Fixture>(TestSupport::TStore::Server, m_cluster);
        QVERIFY(f->dm);
    }
    void cleanup() {
        // A failed case must not leave the server down for the next one.
        TestSupport::clusterCommand(QStringLiteral("restart"), nullptr, m_cluster);
        f.reset();
    }

    void testeeEditKeptUntilTheServerIsBack() {
        const int men = f->addTester(QStringLiteral("Петров"), 30);
        f->openMenQuery();
        Platform::MessageRecorder recorder;
        TAddTester_Form form;
        form.Testee.dbId = Main_DataModule->Current_DB_ID;
        form.FillGroups();
        form.Men_ID = men;
        form.LoadCurrentTester();
        form.show();
        form.FIO_Edit->setText(QStringLiteral("Иванов"));
        killServer();
        QTest::mouseClick(form.Ok_But, Qt::LeftButton);
        QVERIFY(form.isVisible());
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY2(recorder.messages[0].text.contains(QStringLiteral("сервер")),
                 qPrintable(recorder.messages[0].text));
        QCOMPARE(recorder.messages[0].icon, Platform::MsgIcon::Error);
        QCOMPARE(form.FIO_Edit->text(), QStringLiteral("Иванов"));

        restartServer();
        QTest::mouseClick(form.Ok_But, Qt::LeftButton);
        QVERIFY2(!form.isVisible(), qPrintable(recorder.messages.last().text));
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(f->scalar(QStringLiteral("select FIO from \"user\" where Men_ID = %1").arg(men)).toString(),
                 QStringLiteral("Иванов"));
        QCOMPARE(count(QStringLiteral("select count(*) from \"user\"")), 1);
    }

    void newTestRecordKeptUntilTheServerIsBack() {
        const QString sheet = QStringLiteral("135724681538264713457812264815372467381567285634");
        const int men = f->addTester(QStringLiteral("Петров"));
        Platform::MessageRecorder recorder;
        TBlank_Form form;
        form.MenID = men;
        form.Record = Data::NewTestRecord(Main_DataModule->Current_DB_ID, men);
        form.InitGrids();
        form.LoadRecord();
        form.show();
        for (int i = 0; i < 48; ++i)
            form.Bl_Grid->SetCell(1 + i % 24, 2 + i / 24, QString(sheet[i]));
        killServer();
        QTest::mouseClick(form.Ok_But, Qt::LeftButton);
        QVERIFY(form.isVisible());
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages[0].icon, Platform::MsgIcon::Error);

        restartServer();
        QCOMPARE(count(QStringLiteral("select count(*) from TEST")), 0);
        QTest::mouseClick(form.Ok_But, Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(count(QStringLiteral("select count(*) from TEST")), 1);
        QCOMPARE(f->scalar(QStringLiteral("select Result_Test from TEST")).toString(), sheet);
    }
};

QTEST_MAIN(TestServerLoss)
#include "tst_server_loss.moc"
