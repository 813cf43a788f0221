// Files with personal data are their owner's alone: every write path of the program, run under the file
// creation mask 022 that lets everyone read, leaves no file or folder in the data folder, the report
// folder or the settings that others may read, in the per-user layout and beside the program.
#include "TestSupport.h"

#include "app/DemoData.h"
#include "app/StatExport.h"
#include "data/Backup.h"
#include "platform/IniFile.h"
#include "platform/Log.h"
#include "platform/SaveFile.h"
#include "platform/Shell.h"
#include "results/ExportExcel.h"
#include "results/PrintReport.h"
#include "results/Result_Frm.h"

#include <QDirIterator>
#include <QScopeGuard>
#include <QtTest>

#include <sys/stat.h>

class TestPrivateFiles : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyWriteIsPrivate_data() {
        QTest::addColumn<bool>("perUser");
        QTest::newRow("per-user folders") << true;
        QTest::newRow("beside the program") << false;
    }
    void everyWriteIsPrivate() {
        QFETCH(bool, perUser);
        TestSupport::pinRussianLocale();
        const mode_t mask = ::umask(022);
        const QByteArray oldHome = qgetenv("HOME");
        const auto restore = qScopeGuard([&] {
            ::umask(mask);
            qputenv("HOME", oldHome);
            Platform::setShellHandler({});
        });
        QTemporaryDir tmp;
        const QString home = tmp.path() + QStringLiteral("/home");
        const QString program =
            tmp.path() + (perUser ? QStringLiteral("/share/morvel") : QStringLiteral("/bin"));
        QVERIFY(QDir().mkpath(program + QStringLiteral("/Templates")));
        QVERIFY(
            QFile::copy(QStringLiteral(MORVEL_TEMPLATE), program + QStringLiteral("/Templates/morvel.xlsx")));
        QVERIFY(QFile(program + QStringLiteral("/First_Instruct.rtf")).open(QIODevice::WriteOnly));
        if (!perUser)
            QVERIFY(Platform::MakePrivatePath(program + QStringLiteral("/DB"))); // as the build makes it
        const Platform::TLayout layout = Platform::ChooseLayout(
            {tmp.path() + QStringLiteral("/bin"), QString(), home, QString(), QString()});
        QCOMPARE(layout.perUser, perUser);
        Platform::ApplyLayout(layout);
        QString error;
        QVERIFY2(Platform::PrepareDataDir(layout, &error), qPrintable(error));

        auto dm = TMain_DataModule::Create(Platform::DataRoot(), Demo::CreateDemoDatabase);
        QVERIFY(dm);
        dm->Current_DB_ID = 1;
        Data::RestoreBackup(dm->Connection(), dm->DataDir(),
                            Data::MakeBackup(dm->Connection(), dm->DataDir(), 10), 10);
        Platform::TIniFile(Platform::SettingsPath())
            .WriteInteger(QStringLiteral("Interface"), QStringLiteral("FirstColor"), 1);
        Platform::LogError(QStringLiteral("Проверка"), QStringLiteral("запись в журнал"));
        qputenv("HOME", home.toUtf8());
        const QString reports = Results::ReportFolder();
        QVERIFY(Platform::MakePrivatePath(reports)); // as the save dialogs open it
        const auto stat = Stat::OpenStatQuery(dm->Current_DB_ID);
        QVERIFY(Stat::ExportStatistics(reports + QStringLiteral("/stat.csv"), *stat,
                                       Stat::SelectRows(*stat, {}), {}, nullptr));
        dm->ListTest_Query->SetParam(QStringLiteral("Men_ID"), 1);
        dm->ListTest_Query->Open();
        TResult_Form form;
        form.LoadResults();
        Results::SaveResultsPdf(form, reports + QStringLiteral("/report.pdf"));
        Platform::setShellHandler([](const QString&) { return true; });
        QVERIFY(!Results::ExportReport(form, reports).isEmpty());
        Data::MakeBackup(dm->Connection(), dm->DataDir(), 10); // with the write-ahead log and its index open

        QStringList found;
        for (const QString& root :
             {home, Platform::DataPath(QStringLiteral("/DB")), Platform::SettingsPath()}) {
            found << root;
            for (QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                 QDirIterator::Subdirectories);
                 it.hasNext();)
                found << it.next();
        }
        found.removeDuplicates();
        QStringList open;
        for (const QString& path : std::as_const(found)) {
            struct stat info {};
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
            if (info.st_mode & 077)
                open << QStringLiteral("%1 %2").arg(info.st_mode & 0777, 0, 8).arg(path);
        }
        QVERIFY2(open.isEmpty(), qPrintable(open.join(u'\n')));
        for (const QString& name :
             {QStringLiteral("morvel.db-wal"), QStringLiteral("morvel.log"), QStringLiteral("morvel.ini"),
              QStringLiteral("stat.csv"), QStringLiteral("report.pdf"), QStringLiteral(".xlsx")})
            QVERIFY2(found.filter(name).size() > 0, qPrintable(name));
        QCOMPARE(found.filter(QStringLiteral("Backups/morvel-")).size(), 3);
    }
};

QTEST_MAIN(TestPrivateFiles)
#include "tst_private_files.moc"
