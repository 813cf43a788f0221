// Where program files, data and settings are taken from: build folder, installed program, read-only
// program directory, --data-dir; and the first-start preparation of a data directory in the user's folders.
#include "platform/ProgramDir.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using Platform::TLayout;
using Platform::TLayoutInputs;

namespace {

void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
}

// A folder nobody may write to, root included (for whom permission bits do not count).
void setLocked(const QString& dir, bool locked) {
    if (::geteuid() == 0)
        QProcess::execute(QStringLiteral("chattr"),
                          {locked ? QStringLiteral("+i") : QStringLiteral("-i"), dir});
    else
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner |
                                       (locked ? QFile::Permissions() : QFile::WriteOwner));
}

} // namespace

class TestProgramDir : public QObject {
    Q_OBJECT
    QTemporaryDir m_root;

    QString at(const QString& relative) const { return m_root.path() + relative; }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_root.isValid());
        // A build folder: the executable beside its program files.
        touch(at("/build/bin/First_Instruct.rtf"));
        // An installed program: bin/ and share/morvel/.
        QDir().mkpath(at("/usr/bin"));
        touch(at("/usr/share/morvel/First_Instruct.rtf"));
        // Program folders the user cannot write to: one without data, one whose DB holds the lab's.
        touch(at("/locked/First_Instruct.rtf"));
        touch(at("/lab/First_Instruct.rtf"));
        touch(at("/lab/DB/morvel.db"));
        for (const char* dir : {"/locked", "/lab"}) {
            setLocked(at(dir), true);
            QVERIFY(!QFileInfo(at(dir)).isWritable());
        }
    }
    void cleanupTestCase() {
        for (const char* dir : {"/locked", "/lab"})
            setLocked(at(dir), false);
    }

    void chooseLayout_data() {
        QTest::addColumn<QString>("exeDir");
        QTest::addColumn<QString>("dataDir");
        QTest::addColumn<QString>("xdgData");
        QTest::addColumn<QString>("xdgConfig");
        QTest::addColumn<QString>("programDir");
        QTest::addColumn<QString>("dataRoot");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<bool>("perUser");
        QTest::newRow("build folder keeps everything beside the program") << "/build/bin"
                                                                          << ""
                                                                          << ""
                                                                          << ""
                                                                          << "/build/bin"
                                                                          << "/build/bin"
                                                                          << "/build/bin/morvel.ini" << false;
        QTest::newRow("trailing slash of the build folder") << "/build/bin/"
                                                            << ""
                                                            << ""
                                                            << ""
                                                            << "/build/bin"
                                                            << "/build/bin"
                                                            << "/build/bin/morvel.ini" << false;
        QTest::newRow("installed: XDG folders") << "/usr/bin"
                                                << ""
                                                << "/xdg/data"
                                                << "/xdg/config"
                                                << "/usr/share/morvel"
                                                << "!/xdg/data/morvel"
                                                << "!/xdg/config/morvel/morvel.ini" << true;
        QTest::newRow("installed: no XDG variables, home fallbacks") << "/usr/bin"
                                                                     << ""
                                                                     << ""
                                                                     << ""
                                                                     << "/usr/share/morvel"
                                                                     << "~/.local/share/morvel"
                                                                     << "~/.config/morvel/morvel.ini" << true;
        QTest::newRow("installed: relative XDG variables are ignored")
            << "/usr/bin"
            << ""
            << "rel/data"
            << "rel/config"
            << "/usr/share/morvel"
            << "~/.local/share/morvel"
            << "~/.config/morvel/morvel.ini" << true;
        QTest::newRow("installed: --data-dir wins") << "/usr/bin"
                                                    << "/stick"
                                                    << "/xdg/data"
                                                    << "/xdg/config"
                                                    << "/usr/share/morvel"
                                                    << "/stick"
                                                    << "/stick/morvel.ini" << true;
        QTest::newRow("build folder: --data-dir wins") << "/build/bin"
                                                       << "/stick/"
                                                       << ""
                                                       << ""
                                                       << "/build/bin"
                                                       << "/stick"
                                                       << "/stick/morvel.ini" << true;
        QTest::newRow("read-only program folder: XDG folders") << "/locked"
                                                               << ""
                                                               << "/xdg/data"
                                                               << ""
                                                               << "/locked"
                                                               << "!/xdg/data/morvel"
                                                               << "~/.config/morvel/morvel.ini" << true;
        QTest::newRow("read-only program folder with data: used where it is")
            << "/lab"
            << ""
            << "/xdg/data"
            << ""
            << "/lab"
            << "/lab"
            << "~/.config/morvel/morvel.ini" << false;
    }
    // Paths in the table: "/x" lies in the test's root, "!/x" is absolute, "~/x" under the home folder.
    void chooseLayout() {
        QFETCH(QString, exeDir);
        QFETCH(QString, dataDir);
        QFETCH(QString, xdgData);
        QFETCH(QString, xdgConfig);
        QFETCH(QString, programDir);
        QFETCH(QString, dataRoot);
        QFETCH(QString, settings);
        QFETCH(bool, perUser);
        const QString home = at("/home/u");
        auto resolve = [&](const QString& p) -> QString {
            if (p.startsWith(u'!'))
                return p.mid(1);
            if (p.startsWith(u'~'))
                return home + p.mid(1);
            return at(p);
        };
        const QString option = dataDir.isEmpty() ? QString() : at(dataDir);
        const TLayout layout =
            Platform::ChooseLayout(TLayoutInputs{at(exeDir), option, home, xdgData, xdgConfig});
        QCOMPARE(layout.programDir, resolve(programDir));
        QCOMPARE(layout.dataRoot, resolve(dataRoot));
        QCOMPARE(layout.settingsPath, resolve(settings));
        QCOMPARE(layout.perUser, perUser);
    }

    // A relative --data-dir is taken from the current folder, as typed in a shell.
    void relativeDataDirFromCurrentFolder() {
        const QString keep = QDir::currentPath();
        QDir::setCurrent(m_root.path());
        const TLayout layout = Platform::ChooseLayout(
            TLayoutInputs{at("/usr/bin"), QStringLiteral("mydata"), at("/home/u"), {}, {}});
        QDir::setCurrent(keep);
        QCOMPARE(layout.dataRoot, at("/mydata"));
        QCOMPARE(layout.settingsPath, at("/mydata/morvel.ini"));
    }

    // First start in the user's folders: DB and the settings folder are made, the portraits copied; a
    // portrait the examiner replaced stays his, and a later start copies only what is missing.
    void prepareSeedsPortraits() {
        QTemporaryDir dir;
        const QString program = dir.path() + QStringLiteral("/share/morvel");
        touch(program + QStringLiteral("/Images/Ser1/Photo1.jpg"));
        touch(program + QStringLiteral("/Images/Ser6/Photo8.jpg"));
        QFile::setPermissions(program + QStringLiteral("/Images/Ser6/Photo8.jpg"), QFile::ReadOwner);
        TLayout layout{program, dir.path() + QStringLiteral("/data/morvel"),
                       dir.path() + QStringLiteral("/config/morvel/morvel.ini"), true};
        QString error;
        QVERIFY2(Platform::PrepareDataDir(layout, &error), qPrintable(error));
        const QString images = layout.dataRoot + QStringLiteral("/DB/Images");
        QVERIFY(QFileInfo::exists(images + QStringLiteral("/Ser1/Photo1.jpg")));
        QVERIFY(QFileInfo(images + QStringLiteral("/Ser6/Photo8.jpg")).permissions() & QFile::WriteOwner);
        QVERIFY(QFileInfo(dir.path() + QStringLiteral("/config/morvel")).isDir());
        QVERIFY(!QFileInfo::exists(layout.settingsPath)); // written only when the settings are saved

        QFile own(images + QStringLiteral("/Ser1/Photo1.jpg"));
        QVERIFY(own.open(QIODevice::WriteOnly));
        own.write("examiner's own");
        own.close();
        QFile::remove(images + QStringLiteral("/Ser6/Photo8.jpg"));
        QVERIFY2(Platform::PrepareDataDir(layout, &error), qPrintable(error));
        QVERIFY(QFileInfo::exists(images + QStringLiteral("/Ser6/Photo8.jpg")));
        QFile check(images + QStringLiteral("/Ser1/Photo1.jpg"));
        QVERIFY(check.open(QIODevice::ReadOnly));
        QCOMPARE(check.readAll(), QByteArray("examiner's own"));
    }

    // A data folder that cannot be made is reported, not passed over.
    void prepareReportsFolderThatCannotBeMade() {
        QTemporaryDir dir;
        touch(dir.path() + QStringLiteral("/file"));
        const TLayout layout{dir.path(), dir.path() + QStringLiteral("/file/morvel"),
                             dir.path() + QStringLiteral("/cfg/morvel.ini"), true};
        QString error;
        QVERIFY(!Platform::PrepareDataDir(layout, &error));
        QVERIFY2(error.contains(QStringLiteral("/file/morvel/DB")), qPrintable(error));
    }

    // Beside the program nothing is made: the build lays DB/ out, and a missing one is the data
    // module's to report.
    void prepareLeavesProgramFolderAlone() {
        QTemporaryDir dir;
        const TLayout layout{dir.path(), dir.path(), dir.path() + QStringLiteral("/morvel.ini"), false};
        QVERIFY(Platform::PrepareDataDir(layout, nullptr));
        QVERIFY(!QFileInfo::exists(dir.path() + QStringLiteral("/DB")));
    }

    // Paths of the current layout; a program directory set alone (as tests do) carries the others.
    void applyLayout() {
        Platform::ApplyLayout(
            TLayout{QStringLiteral("/p"), QStringLiteral("/d"), QStringLiteral("/c/morvel.ini"), true});
        QCOMPARE(Platform::ProgramPath(QStringLiteral("/First_Instruct.rtf")),
                 QStringLiteral("/p/First_Instruct.rtf"));
        QCOMPARE(Platform::DataPath(QStringLiteral("/DB/Images")), QStringLiteral("/d/DB/Images"));
        QCOMPARE(Platform::SettingsPath(), QStringLiteral("/c/morvel.ini"));
        Platform::SetProgramDir(QStringLiteral("/q/"));
        QCOMPARE(Platform::DataRoot(), QStringLiteral("/q"));
        QCOMPARE(Platform::SettingsPath(), QStringLiteral("/q/morvel.ini"));
    }
};

QTEST_GUILESS_MAIN(TestProgramDir)
#include "tst_program_dir.moc"
