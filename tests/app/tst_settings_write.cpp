// Writing the settings file when it cannot be written: the settings dialog reports the failure and stays
// open, the file keeps what it held, and nothing claims the colours were saved.
#include "app/MainFrm.h"
#include "app/Option_Frm.h"

#include "TestSupport.h"
#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "widgets/ColorButton.h"

#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTest>

class TestSettingsWrite : public QObject {
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<TestSupport::ProgramDirFixture>(false); }
    void cleanup() { m_dir.reset(); }

    // How the settings file is made unwritable. A symbolic link into /proc stands for a read-only file
    // that stays read-only for the superuser too (as the tests run in CI).
    void unwritableFileIsReported_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder of that name") << "folder";
        QTest::newRow("read-only file") << "read-only";
    }
    void unwritableFileIsReported() {
        QFETCH(QString, kind);
        const QString path = SettingsFilePath();
        if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(path));
        else
            QVERIFY(QFile::link(QStringLiteral("/proc/version"), path));
        const QByteArray before = readAll(path);

        Platform::TIniFile ini(path);
        QVERIFY_THROWS_EXCEPTION(Platform::EError, ini.WriteInteger(QStringLiteral("Interface"),
                                                                    QStringLiteral("FirstColor"), 255));

        TOptions_Form form;
        form.ReadSettings();
        form.show();
        form.FirstColor_Edit->PickColor(0x0000FF);
        Platform::MessageRecorder recorder;
        QTest::mouseClick(form.Ok_But, Qt::LeftButton);
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages[0].icon, Platform::MsgIcon::Error);
        QVERIFY2(recorder.messages[0].text.contains(QStringLiteral("Не удается записать файл настроек")),
                 qPrintable(recorder.messages[0].text));
        QVERIFY(form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Rejected));
        QCOMPARE(readAll(path), before);
        if (kind == QLatin1String("folder"))
            QVERIFY(QFileInfo(path).isDir() && QDir(path).isEmpty());
    }

    // The sound case stays as it was: written, no message, closed with OK.
    void writableFileIsSaved() {
        TOptions_Form form;
        form.ReadSettings();
        form.show();
        form.FirstColor_Edit->PickColor(0x0000FF);
        Platform::MessageRecorder recorder;
        QTest::mouseClick(form.Ok_But, Qt::LeftButton);
        QVERIFY(recorder.messages.isEmpty());
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QVERIFY(readAll(SettingsFilePath()).contains("FirstColor=255"));
    }

private:
    static QByteArray readAll(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    std::unique_ptr<TestSupport::ProgramDirFixture> m_dir;
};

QTEST_MAIN(TestSettingsWrite)
#include "tst_settings_write.moc"
