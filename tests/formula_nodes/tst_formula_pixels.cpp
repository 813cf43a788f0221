// The formula engine's drawing compared pixel by pixel with pictures it drew before its text output was
// made faster: the results window's lines, the gallery's formulas, several sizes, a colour, a moved
// painter and single characters must come out exactly as they did. Lone characters, which the engine
// draws as glyphs, are compared with drawText under every painter state that could tell them apart; a
// tree drawn again elsewhere must not keep what it cached for the first picture.
#include "PixelScenes.h"

#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QLocale>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

// The first pixel where two pictures differ, as a message; empty when they are the same.
QString firstDifference(const QImage& actual, const QImage& expected) {
    if (actual.size() != expected.size())
        return QStringLiteral("sizes differ");
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            if (actual.pixel(x, y) != expected.pixel(x, y))
                return QStringLiteral("pixel (%1, %2) is %3 instead of %4")
                    .arg(x)
                    .arg(y)
                    .arg(actual.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                    .arg(expected.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'));
        }
    }
    return {};
}

QImage whitePicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

// The drive line as a tree of its own, drawn at the font height onto a painter.
std::unique_ptr<TExprChain> driveLine(QPainter& painter, int pixels) {
    auto line = std::make_unique<TExprChain>(TExprBuilder().BuildExpr(PixelScenes::driveText()));
    line->SetCanvas(&painter);
    line->SetFontHeight(pixels);
    return line;
}

QImage freshDriveLine(QImage image, int pixels) {
    QPainter painter(&image);
    driveLine(painter, pixels)->Draw(4, 4, 0, 0);
    return image;
}

// Every printable character of the first 256 codes and some others (Greek and Cyrillic, which are shaped
// as before, and one that the font lacks) drawn as nodes of their own and with drawText on equally
// prepared painters; the first difference, or nothing. The node is given the font itself when givenFont
// is set, only its height otherwise.
QString loneCharactersDifference(const std::function<void(QPainter&)>& prepare, QFont font, bool italic,
                                 quint32 colour, bool givenFont) {
    QString chars;
    for (char16_t c = 33; c < 127; ++c)
        chars += QChar(c);
    for (char16_t c = 0xA1; c <= 0xFF; ++c)
        if (c != 0xAD)
            chars += QChar(c);
    chars += QStringLiteral("−…→∂∞≈≠≤≥ħαΔЖж一");
    const int pixels = font.pixelSize();
    const int step = pixels * 3 / 2;
    const int perRow = 1100 / step;
    const int height = (int(chars.size()) / perRow + 2) * step;
    QImage engine = whitePicture(1200, height);
    QImage reference = whitePicture(1200, height);
    QPainter e(&engine);
    QPainter r(&reference);
    // A grey background under some of the characters, so the composition has something to work on.
    e.fillRect(0, 0, 600, height, QColor(200, 220, 180));
    r.fillRect(0, 0, 600, height, QColor(200, 220, 180));
    prepare(e);
    prepare(r);
    const QFont given = font;
    font.setItalic(italic || font.italic());
    const QFontMetrics fm(font, &reference);
    r.setFont(font);
    r.setPen(QColor::fromRgb(QRgb(colour)));
    for (int i = 0; i < chars.size(); ++i) {
        const int x = 4 + (i % perRow) * step;
        const int y = 4 + (i / perRow) * step;
        const QString text(chars[i]);
        std::unique_ptr<TExprClass> node;
        if (italic)
            node = std::make_unique<TExprVar>(text);
        else
            node = std::make_unique<TExprSimple>(text);
        node->SetColor(colour);
        node->SetCanvas(&e);
        if (givenFont)
            node->SetFont(given);
        else
            node->SetFontHeight(pixels);
        node->Draw(x, y, 0, 0);
        // Where the engine writes the text: the top-left corner less a left overhang, at the ascent.
        r.drawText(QPoint(x - std::min(0, fm.leftBearing(chars[i])), y + fm.ascent()), text);
    }
    e.end();
    r.end();
    return firstDifference(engine, reference);
}

} // namespace

class TestFormulaPixels : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void drawingUnchanged_data();
    void drawingUnchanged();
    void loneCharactersAsDrawText_data();
    void loneCharactersAsDrawText();
    void loneCharactersInGivenFonts_data();
    void loneCharactersInGivenFonts();
    void treeDrawnAgainElsewhere();
    void pdfKeepsTextAsText();
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
    const QString difference = firstDifference(actual, expected);
    if (!difference.isEmpty()) {
        // The picture drawn is kept for looking at, and for replacing the stored one after a wanted
        // change of the typography.
        QTemporaryDir keep(QDir::tempPath() + QStringLiteral("/formula-pixels-XXXXXX"));
        keep.setAutoRemove(false);
        const QString actualPath = keep.filePath(name + QStringLiteral(".png"));
        actual.save(actualPath);
        QFAIL(qPrintable(difference + QStringLiteral("; drawn: ") + actualPath));
    }
}

void TestFormulaPixels::loneCharactersAsDrawText_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<quint32>("colour");
    const QStringList states = {QStringLiteral("plain"),
                                QStringLiteral("fractional translation"),
                                QStringLiteral("clip"),
                                QStringLiteral("opacity"),
                                QStringLiteral("no antialiasing"),
                                QStringLiteral("multiply"),
                                QStringLiteral("right to left"),
                                QStringLiteral("scaled"),
                                QStringLiteral("rotated")};
    for (const QString& state : states) {
        QTest::newRow(qPrintable(state + QStringLiteral(", 19 px"))) << state << 19 << false << 0u;
        QTest::newRow(qPrintable(state + QStringLiteral(", 13 px italic in colour")))
            << state << 13 << true << 0x2050A0u;
    }
    // From this size the raster engine fills glyph outlines instead of drawing cached glyphs.
    QTest::newRow("plain, 70 px italic") << QStringLiteral("plain") << 70 << true << 0u;
    QTest::newRow("fractional translation, 64 px")
        << QStringLiteral("fractional translation") << 64 << false << 0u;
}

void TestFormulaPixels::loneCharactersAsDrawText() {
    QFETCH(QString, state);
    QFETCH(int, pixels);
    QFETCH(bool, italic);
    QFETCH(quint32, colour);
    const std::function<void(QPainter&)> prepare = [&state](QPainter& painter) {
        if (state == QLatin1String("fractional translation"))
            painter.translate(3.5, 2.25);
        else if (state == QLatin1String("clip"))
            painter.setClipRect(0, 0, 1000, 9 + 7 * 23);
        else if (state == QLatin1String("opacity"))
            painter.setOpacity(0.5);
        else if (state == QLatin1String("no antialiasing"))
            painter.setRenderHint(QPainter::TextAntialiasing, false);
        else if (state == QLatin1String("multiply"))
            painter.setCompositionMode(QPainter::CompositionMode_Multiply);
        else if (state == QLatin1String("right to left"))
            painter.setLayoutDirection(Qt::RightToLeft);
        else if (state == QLatin1String("scaled"))
            painter.scale(1.5, 1.25);
        else if (state == QLatin1String("rotated"))
            painter.rotate(3);
    };
    QFont font(QStringLiteral("Times New Roman"));
    font.setPixelSize(pixels);
    const QString difference = loneCharactersDifference(prepare, font, italic, colour, false);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestFormulaPixels::loneCharactersInGivenFonts_data() {
    QTest::addColumn<QFont>("font");
    QTest::addColumn<bool>("italic");
    QFont base(QStringLiteral("Times New Roman"));
    base.setPixelSize(17);
    const auto row = [&base](const char* name, const std::function<void(QFont&)>& change, bool italic) {
        QFont font = base;
        change(font);
        QTest::newRow(name) << font << italic;
    };
    row(
        "underlined", [](QFont& f) { f.setUnderline(true); }, false);
    row(
        "overlined, italic", [](QFont& f) { f.setOverline(true); }, true);
    row(
        "struck out", [](QFont& f) { f.setStrikeOut(true); }, false);
    row(
        "small capitals", [](QFont& f) { f.setCapitalization(QFont::SmallCaps); }, false);
    row(
        "all upper case, italic", [](QFont& f) { f.setCapitalization(QFont::AllUppercase); }, true);
    row(
        "all lower case", [](QFont& f) { f.setCapitalization(QFont::AllLowercase); }, false);
    row(
        "stretched", [](QFont& f) { f.setStretch(150); }, false);
    row(
        "bold", [](QFont& f) { f.setBold(true); }, false);
    row(
        "without antialiasing", [](QFont& f) { f.setStyleStrategy(QFont::NoAntialias); }, false);
    row(
        "full hinting", [](QFont& f) { f.setHintingPreference(QFont::PreferFullHinting); }, true);
    row(
        "letter spacing", [](QFont& f) { f.setLetterSpacing(QFont::AbsoluteSpacing, 3); }, false);
    row(
        "another family", [](QFont& f) { f.setFamily(QStringLiteral("DejaVu Sans")); }, false);
}

void TestFormulaPixels::loneCharactersInGivenFonts() {
    // A tree may be given any font; its lone characters come out as drawText writes them in that font.
    QFETCH(QFont, font);
    QFETCH(bool, italic);
    const QString difference = loneCharactersDifference([](QPainter&) {}, font, italic, 0x000000u, true);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestFormulaPixels::treeDrawnAgainElsewhere() {
    // Drawn on a second picture of another resolution, by another painter and by the same painter
    // begun again, and at another size: as a tree made for that picture draws it.
    QImage first = whitePicture(700, 120);
    QImage coarse = whitePicture(700, 120);
    coarse.setDotsPerMeterX(5906);
    coarse.setDotsPerMeterY(5906);
    QImage again = whitePicture(700, 120);
    QImage larger = whitePicture(700, 120);
    QPainter painter(&first);
    std::unique_ptr<TExprChain> line = driveLine(painter, 19);
    line->Draw(4, 4, 0, 0);
    {
        QPainter other(&coarse);
        line->SetCanvas(&other);
        line->Draw(4, 4, 0, 0);
    }
    QImage coarseFresh = whitePicture(700, 120);
    coarseFresh.setDotsPerMeterX(5906);
    coarseFresh.setDotsPerMeterY(5906);
    QCOMPARE(firstDifference(coarse, freshDriveLine(coarseFresh, 19)), QString());
    painter.end();
    painter.begin(&again);
    line->SetCanvas(&painter);
    line->Draw(4, 4, 0, 0);
    QCOMPARE(firstDifference(again, freshDriveLine(whitePicture(700, 120), 19)), QString());
    painter.end();
    painter.begin(&larger);
    line->SetFontHeight(27);
    line->Draw(4, 4, 0, 0);
    painter.end();
    QCOMPARE(firstDifference(larger, freshDriveLine(whitePicture(700, 120), 27)), QString());
}

void TestFormulaPixels::pdfKeepsTextAsText() {
    // On a PDF the characters stay text that a reader can find, not only pictures of glyphs.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString pdf = dir.filePath(QStringLiteral("line.pdf"));
    {
        QPdfWriter writer(pdf);
        QPainter painter(&writer);
        std::unique_ptr<TExprChain> line = driveLine(painter, 19);
        line->Draw(100, 100, 0, 0);
    }
    QProcess reader;
    reader.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    QVERIFY2(reader.waitForStarted(10000),
             qPrintable(QStringLiteral("pdftotext cannot be started (Debian package poppler-utils): ") +
                        reader.errorString()));
    QVERIFY(reader.waitForFinished(60000));
    const QString text = QString::fromUtf8(reader.readAllStandardOutput());
    for (const QString& part : {QStringLiteral("h"), QStringLiteral("+!"), QStringLiteral("7"),
                                QStringLiteral("k"), QStringLiteral("hy"), QStringLiteral("±!!")})
        QVERIFY2(text.contains(part), qPrintable(part + QStringLiteral(" missing from: ") + text));
}

QTEST_MAIN(TestFormulaPixels)
#include "tst_formula_pixels.moc"
