// The installed program: `cmake --install` into a temporary DESTDIR lays out bin/ and share/, and the
// installed executable, started offscreen with its share/ read-only, makes its data directory (seeded
// with the portraits) and settings folder in the user's XDG folders, or in the folder of --data-dir.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kPrefix = QStringLiteral("/usr");
const QString kTableFile = QStringLiteral("morvel.db");

// Makes a folder tree read-only (files and folders), or writable again.
void setTreeWritable(const QString& root, bool writable) {
    const QFile::Permissions dirBits = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                       QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QList<QString> all{root};
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        all << it.next();
    for (const QString& path : all) {
        QFile::Permissions p =
            QFileInfo(path).isDir() ? dirBits : (QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        if (writable)
            p |= QFile::WriteOwner;
        QFile::setPermissions(path, p);
    }
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT
    QTemporaryDir m_dest;

    QString installed(const QString& relative) const { return m_dest.path() + kPrefix + relative; }

    // Starts the installed program and waits until its data directory holds the table file (the program
    // then waits in the database choice), then ends it. Returns the program's error output.
    QString runUntilDataDir(const QStringList& arguments, const QProcessEnvironment& env,
                            const QString& dataDir) {
        QProcess program;
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::SeparateChannels);
        program.start(installed(QStringLiteral("/bin/morvel")), arguments);
        if (!program.waitForStarted(10000))
            return QStringLiteral("did not start: ") + program.errorString();
        QElapsedTimer waited;
        waited.start();
        while (!QFileInfo::exists(dataDir + QLatin1Char('/') + kTableFile) && waited.elapsed() < 30000 &&
               program.state() == QProcess::Running)
            program.waitForFinished(100);
        const bool wasRunning = program.state() == QProcess::Running;
        program.terminate();
        if (!program.waitForFinished(5000)) {
            program.kill();
            program.waitForFinished(5000);
        }
        const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
        return wasRunning ? QString() : QStringLiteral("ended early: ") + errors;
    }

    QProcessEnvironment environment(const QString& home) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        return env;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dest.isValid());
        QProcess install;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), m_dest.path());
        install.setProcessEnvironment(env);
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(MORVEL_CMAKE),
                      {QStringLiteral("--install"), QStringLiteral(MORVEL_BUILD_DIR),
                       QStringLiteral("--prefix"), kPrefix});
        QVERIFY2(install.waitForFinished(120000), "cmake --install did not finish");
        QVERIFY2(install.exitCode() == 0, install.readAll().constData());
        setTreeWritable(installed(QStringLiteral("/share/morvel")), false);
    }
    void cleanupTestCase() { setTreeWritable(installed(QStringLiteral("/share/morvel")), true); }

    void layout_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("executable") << "/bin/morvel";
        QTest::newRow("module of the windows opened on demand") << "/lib/morvel/morvel_ondemand.so";
        QTest::newRow("first instruction") << "/share/morvel/First_Instruct.rtf";
        QTest::newRow("second instruction") << "/share/morvel/Second_Instruct.rtf";
        QTest::newRow("report template") << "/share/morvel/Templates/morvel.xlsx";
        QTest::newRow("manual") << "/share/morvel/morvel.html";
        QTest::newRow("group testing page") << "/share/morvel/group/group.js";
        QTest::newRow("manual picture") << "/share/morvel/help/main.png";
        QTest::newRow("first portrait") << "/share/morvel/Images/Ser1/Photo1.jpg";
        QTest::newRow("last portrait") << "/share/morvel/Images/Ser6/Photo8.jpg";
        QTest::newRow("menu entry") << "/share/applications/org.example.morvel.desktop";
        QTest::newRow("icon") << "/share/icons/hicolor/scalable/apps/morvel.svg";
        QTest::newRow("AppStream") << "/share/metainfo/org.example.morvel.metainfo.xml";
        QTest::newRow("manual page") << "/share/man/man1/morvel.1.gz";
        QTest::newRow("copyright") << "/share/doc/morvel/copyright";
    }
    void layout() {
        QFETCH(QString, path);
        QVERIFY2(QFileInfo::exists(installed(path)), qPrintable(installed(path)));
    }

    // The start loads nothing that only a server store or a window opened on demand needs.
    void startLoadsNoLaterLibrary_data() {
        QTest::addColumn<QString>("library");
        for (const char* library : {"libpq.so", "libQt6Charts.so", "libQt6PrintSupport.so",
                                    "libQt6Network.so", "libqrencode.so", "libquazip1-qt6.so"})
            QTest::newRow(library) << QString::fromLatin1(library);
    }
    void startLoadsNoLaterLibrary() {
        QFETCH(QString, library);
        QProcess ldd;
        ldd.start(QStringLiteral("ldd"), {installed(QStringLiteral("/bin/morvel"))});
        QVERIFY(ldd.waitForFinished(20000) && ldd.exitCode() == 0);
        const QString loaded = QString::fromUtf8(ldd.readAllStandardOutput());
        QVERIFY2(loaded.contains(QStringLiteral("libQt6Widgets.so")), qPrintable(loaded));
        QVERIFY2(!loaded.contains(library), qPrintable(loaded));
    }

    // Per-user folders: the data directory with the table file and the portraits, the settings folder;
    // nothing is written into the program's share/ folder.
    void perUserData() {
        QTemporaryDir home;
        const QString dataDir = home.path() + QStringLiteral("/data/morvel/DB");
        const QString error = runUntilDataDir({}, environment(home.path()), dataDir);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(QFileInfo::exists(dataDir + QLatin1Char('/') + kTableFile));
        QVERIFY(QFileInfo::exists(dataDir + QStringLiteral("/Images/Ser1/Photo1.jpg")));
        QVERIFY(QFileInfo::exists(dataDir + QStringLiteral("/Images/Ser6/Photo8.jpg")));
        QVERIFY(QFileInfo(home.path() + QStringLiteral("/config/morvel")).isDir());
        QVERIFY(!QFileInfo::exists(installed(QStringLiteral("/share/morvel/DB"))));
        QVERIFY(!QFileInfo::exists(installed(QStringLiteral("/bin/DB"))));
    }

    // --data-dir: data and settings in the given folder, the XDG folders untouched.
    void dataDirOption() {
        QTemporaryDir home;
        const QString chosen = home.path() + QStringLiteral("/stick");
        const QString error = runUntilDataDir({QStringLiteral("--data-dir"), chosen},
                                              environment(home.path()), chosen + QStringLiteral("/DB"));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(QFileInfo::exists(chosen + QStringLiteral("/DB/") + kTableFile));
        QVERIFY(QFileInfo::exists(chosen + QStringLiteral("/DB/Images/Ser3/Photo5.jpg")));
        QVERIFY(!QFileInfo::exists(home.path() + QStringLiteral("/data/morvel")));
        QVERIFY(!QFileInfo::exists(home.path() + QStringLiteral("/config/morvel")));
    }

    // Help and version work where there is no display (ssh, a text console); a plain start there says
    // why it cannot show its windows instead of aborting.
    void optionsWithoutDisplay_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::newRow("version") << "--version" << 0 << "morvel ";
        QTest::newRow("help") << "--help" << 0 << "--data-dir";
        QTest::newRow("plain start") << "" << 1 << "графический экран";
    }
    void optionsWithoutDisplay() {
        QFETCH(QString, option);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QTemporaryDir home;
        QProcessEnvironment env = environment(home.path());
        for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(variable));
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(installed(QStringLiteral("/bin/morvel")),
                      option.isEmpty() ? QStringList() : QStringList{option});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), exitCode);
        const QString printed =
            QString::fromUtf8(program.readAllStandardOutput() + program.readAllStandardError());
        QVERIFY2(printed.contains(output), qPrintable(printed));
    }

    // The package pulls in the driver of the shared server store, not only that of the local file.
    void packageNamesTheServerDriver() {
        QTemporaryDir out;
        QProcess cpack;
        cpack.setProcessChannelMode(QProcess::MergedChannels);
        cpack.start(QStringLiteral(MORVEL_CPACK),
                    {QStringLiteral("--config"), QStringLiteral(MORVEL_BUILD_DIR "/CPackConfig.cmake"),
                     QStringLiteral("-B"), out.path()});
        QVERIFY2(cpack.waitForFinished(300000) && cpack.exitCode() == 0, cpack.readAll().constData());
        const QString deb = QDir(out.path()).entryInfoList({QStringLiteral("*.deb")}).value(0).filePath();
        QProcess fields;
        fields.start(QStringLiteral("dpkg-deb"),
                     {QStringLiteral("-f"), deb, QStringLiteral("Depends"), QStringLiteral("Recommends")});
        QVERIFY(fields.waitForFinished(60000) && fields.exitCode() == 0);
        const QString control = QString::fromUtf8(fields.readAllStandardOutput());
        // The server store's client library is loaded on first use, so no library names it.
        QVERIFY2(control.contains(QStringLiteral("libpq5")), qPrintable(control));
    }

    // A wrong option ends the program with a message, before any folder is made.
    void wrongOption() {
        QTemporaryDir home;
        QProcess program;
        program.setProcessEnvironment(environment(home.path()));
        program.start(installed(QStringLiteral("/bin/morvel")), {QStringLiteral("--no-such-option")});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitCode(), 2);
        QVERIFY(QString::fromUtf8(program.readAllStandardError()).contains(QStringLiteral("--data-dir")));
        QVERIFY(!QFileInfo::exists(home.path() + QStringLiteral("/data/morvel")));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
