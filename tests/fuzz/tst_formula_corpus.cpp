// Replays the seed corpus of the formula fuzzer in the normal build: every text is built and laid out,
// and nothing but EIncorrectExpr may come out of the builder.
#include "FormulaFuzz.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TestFormulaCorpus : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { FormulaFuzz::init(); }
    void replay_data();
    void replay();
};

void TestFormulaCorpus::replay_data() {
    QTest::addColumn<QString>("path");
    const QDir corpus(QStringLiteral(MORVEL_FUZZ_CORPUS));
    const QStringList files = corpus.entryList(QDir::Files, QDir::Name);
    QVERIFY(!files.isEmpty());
    for (const QString& file : files)
        QTest::newRow(qPrintable(file)) << corpus.filePath(file);
}

void TestFormulaCorpus::replay() {
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = FormulaFuzz::textOf(file.readAll());
    try {
        FormulaFuzz::layOut(text);
    } catch (const std::exception& e) {
        QFAIL(qPrintable(QStringLiteral("%1: %2").arg(text, QString::fromUtf8(e.what()))));
    }
}

QTEST_APPLESS_MAIN(TestFormulaCorpus)
#include "tst_formula_corpus.moc"
