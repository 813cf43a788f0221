// Every write path of the program, run under the file creation mask 022 that lets everyone read, leaves
// no file or folder that others may read in the data folder, the report folder or the settings, in the
// per-user layout and beside the program.
#include "ResultsSupport.h"
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
        QTest::addColumn<QString>("program");
        QTest::newRow("per-user folders") << "/share/morvel";
        QTest::newRow("beside the program") << "/bin";
    }
    void everyWriteIsPrivate() {
        QFETCH(QString, program);
        const mode_t mask = ::umask(022);
        const QByteArray home = qgetenv("HOME");
        const auto restore = qScopeGuard([&] {
            ::umask(mask);
            qputenv("HOME", home);
            Platform::setShellHandler({});
        });
        QTemporaryDir tmp;
        program.prepend(tmp.path());
        QVERIFY(QDir().mkpath(program + QStringLiteral("/Templates")));
        QVERIFY(
            QFile::copy(QStringLiteral(MORVEL_TEMPLATE), program + QStringLiteral("/Templates/morvel.xlsx")));
        QVERIFY(QFile(program + QStringLiteral("/First_Instruct.rtf")).open(QIODevice::WriteOnly));
        QVERIFY(Platform::MakePrivatePath(tmp.path() + QStringLiteral("/bin/DB"))); // as the build makes it
        const QString user = tmp.path() + QStringLiteral("/home");
        const Platform::TLayout layout =
            Platform::ChooseLayout({tmp.path() + QStringLiteral("/bin"), {}, user, {}, {}});
        Platform::ApplyLayout(layout);
        QVERIFY(Platform::PrepareDataDir(layout, nullptr));

        auto dm = TMain_DataModule::Create(Platform::DataRoot(), Demo::CreateDemoDatabase);
        QVERIFY(dm);
        Data::RestoreBackup(dm->Main_Database(), dm->DataDir(),
                            Data::MakeBackup(dm->Main_Database(), dm->DataDir(), 9), 9);
        Platform::TIniFile(Platform::SettingsPath())
            .WriteInteger(QStringLiteral("Interface"), QStringLiteral("A"), 1);
        Platform::LogError(QStringLiteral("Проверка"), QStringLiteral("запись в журнал"));
        qputenv("HOME", user.toUtf8());
        const QString reports = Results::ReportFolder();
        QVERIFY(Platform::MakePrivatePath(reports)); // as the save dialogs open it
        const auto stat = Stat::OpenStatQuery(1);
        QVERIFY(Stat::ExportStatistics(reports + QStringLiteral("/s.csv"), *stat, Stat::SelectRows(*stat, {}),
                                       {}, nullptr));
        TResult_Form form;
        form.LoadResults(TestSupport::resultsOf(1));
        Results::SaveResultsPdf(form.Model(), reports + QStringLiteral("/r.pdf"));
        Platform::setShellHandler([](const QString&) { return true; });
        QVERIFY(!Results::ExportReport(form, reports).isEmpty());
        Data::MakeBackup(dm->Main_Database(), dm->DataDir(),
                         9); // with the write-ahead log and its index open

        QStringList found, open;
        for (const QString& root :
             {user, Platform::DataPath(QStringLiteral("/DB")), Platform::SettingsPath()}) {
            found << root;
            for (QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                 QDirIterator::Subdirectories);
                 it.hasNext();)
                found << it.next();
        }
        found.removeDuplicates();
        for (const QString& path : std::as_const(found)) {
            struct stat info {};
            if (::stat(QFile::encodeName(path).constData(), &info) != 0 || (info.st_mode & 077))
                open << QStringLiteral("%1 %2").arg(info.st_mode & 0777, 0, 8).arg(path);
        }
        QVERIFY2(open.isEmpty(), qPrintable(open.join(u'\n')));
        for (const char* name :
             {"morvel.db-wal", "morvel.log", "morvel.ini", "s.csv", "r.pdf", ".xlsx", "Backups/"})
            QVERIFY2(!found.filter(QLatin1String(name)).isEmpty(), name);
        QCOMPARE(found.filter(QStringLiteral("Backups/morvel-")).size(), 3);
    }
};

QTEST_MAIN(TestPrivateFiles)
#include "tst_private_files.moc"
