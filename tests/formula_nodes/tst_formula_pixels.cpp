// The formula engine's drawing compared pixel by pixel with pictures it drew before its text output was
// made faster: the results window's lines, the gallery's formulas, several sizes, a colour, a moved
// painter and single characters must come out exactly as they did.
#include "PixelScenes.h"

#include <QDir>
#include <QImage>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

class TestFormulaPixels : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void drawingUnchanged_data();
    void drawingUnchanged();
};

void TestFormulaPixels::initTestCase() {
    // Numbers of the gallery are written with the Russian decimal comma.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

void TestFormulaPixels::drawingUnchanged_data() {
    QTest::addColumn<QImage>("actual");
    for (PixelScenes::TScene& scene : PixelScenes::allScenes())
        QTest::newRow(qPrintable(scene.name)) << scene.image;
}

void TestFormulaPixels::drawingUnchanged() {
    QFETCH(QImage, actual);
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    const QString expectedPath = QStringLiteral(MORVEL_EXPECTED_DIR "/") + name + QStringLiteral(".png");
    const QImage expected = QImage(expectedPath).convertToFormat(QImage::Format_RGB32);
    QVERIFY2(!expected.isNull(), qPrintable(QStringLiteral("cannot read ") + expectedPath));
    QCOMPARE(actual.size(), expected.size());
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            if (actual.pixel(x, y) != expected.pixel(x, y)) {
                // The picture drawn is kept for looking at, and for replacing the stored one after a
                // wanted change of the typography.
                QTemporaryDir keep(QDir::tempPath() + QStringLiteral("/formula-pixels-XXXXXX"));
                keep.setAutoRemove(false);
                const QString actualPath = keep.filePath(name + QStringLiteral(".png"));
                actual.save(actualPath);
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) is %3 instead of %4; drawn: %5")
                                     .arg(x)
                                     .arg(y)
                                     .arg(actual.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                                     .arg(expected.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                                     .arg(actualPath)));
            }
        }
    }
}

QTEST_MAIN(TestFormulaPixels)
#include "tst_formula_pixels.moc"
