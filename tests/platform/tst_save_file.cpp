// Files the user saves are complete or not there: a disk that fills up while the last buffered bytes are
// written must not leave a cut file under the chosen name, nor report success.
#include "platform/SaveFile.h"

#include "TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>

class TestSaveFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fullDiskLeavesTheOldFile_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("room");
        QTest::addColumn<bool>("complete");
        // Sizes around the file buffer (16 KiB): a small file goes out only when it is named; a large
        // one is written at once, and what a short write leaves over goes to the buffer.
        QTest::newRow("small file, disk full in the last write") << 6000 << 4096 << false;
        QTest::newRow("large file, rest fits the buffer") << 20000 << 16384 << false;
        QTest::newRow("large file, disk full early") << 50000 << 4096 << false;
        QTest::newRow("file exactly fills the disk") << 8192 << 8192 << true;
        QTest::newRow("room to spare") << 6000 << 65536 << true;
    }
    void fullDiskLeavesTheOldFile() {
        QFETCH(int, size);
        QFETCH(int, room);
        QFETCH(bool, complete);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("отчёт.csv"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();

        const QByteArray data(size, 'x');
        bool written = false;
        bool committed = false;
        QString reason;
        QString writeReason;
        {
            const TestSupport::TFileSizeLimit limit{rlim_t(room)};
            QSaveFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            written = Platform::WriteAll(file, data.constData(), data.size());
            if (!written)
                writeReason = file.errorString();
            else
                committed = Platform::CommitAll(file, reason);
        }
        QCOMPARE(written && committed, complete);
        QFile result(path);
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(result.readAll(), complete ? data : QByteArray("old"));
        // Nothing half-written is left beside it, and the user reads why.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
        if (!complete)
            QCOMPARE(written ? reason : writeReason, qt_error_string(EFBIG));
    }
};

QTEST_GUILESS_MAIN(TestSaveFile)
#include "tst_save_file.moc"
