// Replays the seed corpora of the file-reader fuzzers in the normal build: every RTF, JPEG and template
// input goes through its reader, and nothing but the reader's own error may come out.
#include "FileFuzz.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <functional>

class TestFileCorpus : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { FileFuzz::init(); }
    void replay_data();
    void replay();
};

void TestFileCorpus::replay_data() {
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QString>("path");
    for (const QString& reader :
         {QStringLiteral("rtf"), QStringLiteral("jpeg"), QStringLiteral("template")}) {
        const QDir corpus(QStringLiteral(MORVEL_FUZZ_DIR "/corpus_") + reader);
        const QStringList files = corpus.entryList(QDir::Files, QDir::Name);
        QVERIFY2(!files.isEmpty(), qPrintable(corpus.path()));
        for (const QString& file : files)
            QTest::newRow(qPrintable(reader + QLatin1Char('/') + file)) << reader << corpus.filePath(file);
    }
}

void TestFileCorpus::replay() {
    QFETCH(QString, reader);
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const std::function<void(const QByteArray&)> step = reader == QLatin1String("rtf")    ? FileFuzz::rtf
                                                        : reader == QLatin1String("jpeg") ? FileFuzz::jpeg
                                                                                          : FileFuzz::templ;
    try {
        step(bytes);
    } catch (const std::exception& e) {
        QFAIL(qPrintable(path + QStringLiteral(": ") + QString::fromUtf8(e.what())));
    }
}

QTEST_MAIN(TestFileCorpus)
#include "tst_file_corpus.moc"
