// The formula lines drawn into the results window's picture: where each line starts, and that the
// picture keeps its size and margins.
#include "CellTexts.h"
#include "TestSupport.h"
#include "formula/ExprParser.h"

#include <QPainter>
#include <QTest>

using namespace Results;

namespace {

constexpr int kPictureWidth = 649;
constexpr int kPictureHeight = 257;
const QColor kBackground(255, 255, 225);

QImage blankPicture() {
    QImage picture(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
    picture.fill(kBackground);
    return picture;
}

// The height the engine gives a formula line: a blank, then the text, in a row at 14 points.
int lineHeight(const QString& text) {
    QImage picture = blankPicture();
    QPainter painter(&picture);
    TExprBuilder builder;
    auto blank = std::make_unique<TExprVar>(QStringLiteral(" "));
    blank->AddNext(builder.BuildExpr(text));
    TExprChain line(std::move(blank));
    line.SetCanvas(&painter);
    line.SetFontSize(14);
    return line.Height();
}

// Nine tests of a testee, one reaction per factor column.
const QStringList kNineTests = {"+! 0 ± - 0!! + ± -", "+ 0 ± - 0 + 0 -", "+ ± + - 0 + ± -",
                                "- 0 ± + 0 - ± -",    "+ 0 ± - 0 + ± +", "+ 0 0 - ± + ± -!!!",
                                "+ 0 ± - 0 + ± -",    "0 0 ± - 0 + ± -", "+ 0 ± -! 0 + ± -"};

bool rowIsBackground(const QImage& picture, int y) {
    for (int x = 0; x < picture.width(); ++x)
        if (picture.pixelColor(x, y) != kBackground)
            return false;
    return true;
}

bool columnIsBackground(const QImage& picture, int x) {
    for (int y = 0; y < picture.height(); ++y)
        if (picture.pixelColor(x, y) != kBackground)
            return false;
    return true;
}

} // namespace

class TestFormulaLines : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::pinRussianLocale(); }
    void lineStarts_data();
    void lineStarts();
    void crowdedPictureKeepsItsMargins_data();
    void crowdedPictureKeepsItsMargins();
};

void TestFormulaLines::lineStarts_data() {
    QTest::addColumn<QString>("zeroSums");
    // Per line drawn: the gap above it (the first line: its top row).
    QTest::addColumn<QList<int>>("gaps");
    QTest::newRow("all three drive lines") << "7 1 4 0 6 2 3 5" << QList<int>{5, 5, 3, 3, 10, 3};
    QTest::newRow("no СНТ of 6 or more: the middle line 3 below the title")
        << "5 1 4 0 3 2 3 5" << QList<int>{5, 3, 3, 10, 3};
    QTest::newRow("no middle СНТ") << "8 1 0 0 6 2 0 1" << QList<int>{5, 5, 3, 10, 3};
    QTest::newRow("all СНТ 0: one drive line 3 below the title")
        << "0 0 0 0 0 0 0 0" << QList<int>{5, 3, 10, 3};
}

void TestFormulaLines::lineStarts() {
    QFETCH(QString, zeroSums);
    QFETCH(QList<int>, gaps);
    QImage picture = blankPicture();
    const QList<TFormulaLine> lines =
        DrawFormulaLines(picture, FormulaLineTexts(FormulaCells::table(kNineTests),
                                                   FormulaCells::footer(zeroSums, "3 2 1 4")));

    QCOMPARE(lines.size(), gaps.size());
    QCOMPARE(lines.first().Text, kDriveTitle);
    QCOMPARE(lines.at(lines.size() - 2).Text, kLatencyTitle);
    QCOMPARE(lines.first().Y, gaps.first());
    for (int i = 1; i < lines.size(); ++i) {
        QVERIFY2(!lines[i].Text.isEmpty(), qPrintable(QString::number(i)));
        QCOMPARE(lines[i].Y, lines[i - 1].Y + lineHeight(lines[i - 1].Text) + gaps[i]);
    }
    QCOMPARE(picture.size(), QSize(kPictureWidth, kPictureHeight));
    // Above the first line and left of the lines' column the picture is untouched; every line left ink.
    for (int y = 0; y < lines.first().Y; ++y)
        QVERIFY(rowIsBackground(picture, y));
    for (int x = 0; x < kFormulaLeft; ++x)
        QVERIFY(columnIsBackground(picture, x));
    for (const TFormulaLine& line : lines) {
        bool ink = false;
        for (int y = line.Y; y < line.Y + lineHeight(line.Text) && !ink; ++y)
            ink = !rowIsBackground(picture, y);
        QVERIFY2(ink, qPrintable(line.Text));
    }
}

void TestFormulaLines::crowdedPictureKeepsItsMargins_data() {
    QTest::addColumn<QString>("zeroSums");
    QTest::newRow("widest: every factor on one line") << "40 38 36 34 32 30 28 26";
    QTest::newRow("tallest: three drive lines") << "40 38 5 4 2 1 30 0";
}

void TestFormulaLines::crowdedPictureKeepsItsMargins() {
    // Forty tests with three marks in every column: two-digit indices and the longest reactions still end
    // inside the picture.
    QFETCH(QString, zeroSums);
    QStringList rows;
    for (int i = 0; i < 40; ++i)
        rows << (i == 0 ? "±!!! ±!!! ±!!! ±!!! ±!!! ±!!! ±!!! ±!!!" : "± ± ± ± ± ± ± ±");
    QImage picture = blankPicture();
    const QList<TFormulaLine> lines = DrawFormulaLines(
        picture, FormulaLineTexts(FormulaCells::table(rows), FormulaCells::footer(zeroSums, "12 12 12 12")));
    const TFormulaLine& last = lines.last();
    QVERIFY(last.Y + lineHeight(last.Text) <= kPictureHeight);
    QVERIFY(columnIsBackground(picture, kPictureWidth - 1));
    QVERIFY(rowIsBackground(picture, kPictureHeight - 1));
}

QTEST_MAIN(TestFormulaLines)
#include "tst_formula_lines.moc"
