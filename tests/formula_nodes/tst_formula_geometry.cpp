// Geometry of the formula nodes against numbers worked out from the layout rules with the font's own
// metrics (QFontMetrics on the same picture), never through the engine's helpers: roots, limits, the
// value-at bar, stacks, drawn signs, the upside-down delta, the character tables of top gaps and italic
// overhangs, and the switch between the small and the large operator symbols.
#include "FormulaScene.h"
#include "formula/ExprNodes.h"

#include <QFontMetrics>
#include <QLocale>
#include <QTest>

#include <cmath>

using namespace FormulaScene;

namespace {

constexpr int kPixels = 19;

int roundHalfEven(double v) { return int(std::nearbyint(v)); }

QFont font(int pixels, bool italic = false) {
    QFont f(QStringLiteral("Times New Roman"));
    f.setPixelSize(pixels);
    f.setItalic(italic);
    return f;
}

// UnitX as the rules define it: the text height of "+" over 27.6 (square pixels on a QImage).
double unitOf(const QImage& image, int pixels) { return QFontMetrics(font(pixels), &image).height() / 27.6; }

// A large operator that records which symbol it drew.
class TProbeIntegral : public TExprIntegral {
public:
    using TExprIntegral::TExprIntegral;
    int large = 0;
    int small = 0;

protected:
    void PaintLargeSymbol(int, int) override { ++large; }
    void PaintSmallSymbol(int, int) override { ++small; }
};

} // namespace

class TestFormulaGeometry : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    void rootSizes_data();
    void rootSizes();
    void limSizes();
    void atValueSizesAndBar();
    void standAlignment_data();
    void standAlignment();
    void largeSymbolThreshold_data();
    void largeSymbolThreshold();
    void integralSignOrientation_data();
    void integralSignOrientation();
    void caseBraceSpansHeight();
    void drawnSigns_data();
    void drawnSigns();
    void nablaUpsideDown();
    void simpleTopGap_data();
    void simpleTopGap();
    void greekTopGapAndItalic_data();
    void greekTopGapAndItalic();
};

void TestFormulaGeometry::rootSizes_data() {
    QTest::addColumn<bool>("withIndex");
    QTest::newRow("square root") << false;
    QTest::newRow("with index") << true;
}

void TestFormulaGeometry::rootSizes() {
    QFETCH(bool, withIndex);
    Scene s(make<TExprRoot>(var("x"), withIndex ? num(3) : nullptr));
    auto* root = dynamic_cast<TExprRoot*>(s.first());
    TExprClass* r = root->Son();
    const int lx = root->LineX();
    const int ly = root->LineY();
    const QFontMetrics italic(font(kPixels, true), &s.image);
    const int rw = italic.horizontalAdvance(u'x') - std::min(0, italic.leftBearing(u'x')) -
                   std::min(0, italic.rightBearing(u'x'));
    const int rh = italic.height();
    QCOMPARE(r->Width(), rw);
    QCOMPARE(r->Height(), rh);
    // The index "3" at 0.7 of the font height: round(13.3) = 13 pixels.
    const QFontMetrics small(font(13), &s.image);
    const int iw = withIndex ? small.horizontalAdvance(u'3') : 0;
    const int lift = withIndex ? std::max(0, small.height() - 4 * ly) : 0;
    QCOMPARE(root->Width(), rw + 8 * lx + roundHalfEven((rh + ly) / 2.0) + std::max(0, iw - 5 * lx));
    QCOMPARE(root->Height(), rh + 3 * ly + lift);
    QCOMPARE(root->MidLineUp(), rh / 2 + 3 * ly + lift);
    QCOMPARE(root->MidLineDn(), -((rh - 1) / 2));
}

void TestFormulaGeometry::limSizes() {
    // lim over the limit "n" at 13 pixels: the wider of the two, the word's height plus the limit's.
    Scene s(make<TExprLim>(var("n")));
    TExprClass* lim = s.first();
    const QFontMetrics word(font(kPixels), &s.image);
    const QFontMetrics small(font(13, true), &s.image);
    const int th = word.height();
    const int ew = small.horizontalAdvance(u'n') - std::min(0, small.leftBearing(u'n')) -
                   std::min(0, small.rightBearing(u'n'));
    QCOMPARE(lim->Width(), std::max(word.horizontalAdvance(QStringLiteral("lim")), ew));
    QCOMPARE(lim->Height(), th + small.height());
    QCOMPARE(lim->MidLineUp(), th / 2);
    QCOMPARE(lim->MidLineDn(), -((th - 1) / 2) - small.height());
}

void TestFormulaGeometry::atValueSizesAndBar() {
    // f|_{x=0}: the value at 13 pixels is lower than f, so nothing moves down; the bar spans the height.
    Scene s(make<TExprAtValue>(var("f"), make<TExprRatio>(var("a"), var("b"))));
    TExprClass* at = s.first();
    auto* node = dynamic_cast<TExprAtValue*>(at);
    TExprClass* e = node->Son();
    TExprClass* v = node->Son2();
    const int lx = at->LineX();
    QCOMPARE(at->Width(), e->Width() + 3 * lx + v->Width());
    const int h = std::max(e->Height(), v->Height());
    QCOMPARE(at->Height(), h);
    QCOMPARE(at->MidLineUp(), e->MidLineUp() + std::max(0, v->Height() - e->Height()));
    QCOMPARE(at->MidLineDn(), e->MidLineDn());
    QCOMPARE(at->JoinFlags(), TExprClass::TouchLeft);
    s.draw(10, 10);
    // The bar: LineX columns right after f, every row of the node.
    for (int x = 10 + e->Width(); x < 10 + e->Width() + lx; ++x)
        QCOMPARE(s.inkedInColumn(x, 10, 10 + h - 1), h);
    QCOMPARE(s.inkedInColumn(10 + e->Width() + lx, 10, 10 + h - 1) < h, true);
}

void TestFormulaGeometry::standAlignment_data() {
    QTest::addColumn<int>("align");
    QTest::newRow("left") << 0;
    QTest::newRow("centre") << 1;
    QTest::newRow("right") << 2;
}

void TestFormulaGeometry::standAlignment() {
    // Two fraction bars as lines: an empty fraction is 8 strokes wide with its bar from 3 strokes in to
    // 3 strokes before its end; the wider line has 20 strokes of space over its bar.
    QFETCH(int, align);
    std::vector<TExprPtr> lines;
    lines.push_back(make<TExprRatio>(make<TExprSpace>(20), nullptr));
    lines.push_back(make<TExprRatio>(nullptr, nullptr));
    Scene s(make<TExprStand>(chainOf(std::move(lines)), quint8(align)));
    TExprClass* stand = s.first();
    TExprClass* wide = dynamic_cast<TExprStand*>(stand)->Son();
    TExprClass* narrow = wide->Next();
    const int lx = stand->LineX();
    const int ly = stand->LineY();
    QCOMPARE(stand->Width(), 28 * lx);
    QCOMPARE(narrow->Width(), 8 * lx);
    QCOMPARE(stand->Height(), wide->Height() + narrow->Height());
    s.draw(10, 10);
    // The narrow line's left column: X, X + W div 2 − w div 2, or X + W − 1 − (w − 1).
    const int W = stand->Width();
    const int w = narrow->Width();
    const int left = align == 0 ? 10 : align == 1 ? 10 + W / 2 - w / 2 : 10 + W - w;
    // Its bar: the row LineY div 2 above its middle line, which lies LineY + LineY div 2 below its top.
    const int top = 10 + wide->Height();
    const int barRow = top + narrow->MidLineUp() - ly / 2;
    QVERIFY(!s.inked(left + 3 * lx - 1, barRow));
    QVERIFY(s.inked(left + 3 * lx, barRow));
    QVERIFY(s.inked(left + w - 3 * lx, barRow));
    QVERIFY(!s.inked(left + w - 3 * lx + 1, barRow));
}

void TestFormulaGeometry::largeSymbolThreshold_data() {
    QTest::addColumn<int>("pixels");
    for (int pixels : {10, 20, 40, 48, 49, 50, 51, 52, 80})
        QTest::newRow(qPrintable(QStringLiteral("%1 px").arg(pixels))) << pixels;
}

void TestFormulaGeometry::largeSymbolThreshold() {
    // Over a letter-high placeholder the operator height is round(2.25 × (text height div 2)); the large
    // symbol is drawn from half of that on at 28 pixels.
    QFETCH(int, pixels);
    auto probe = make<TProbeIntegral>(make<TExprEmpty>(), 1, nullptr, nullptr);
    TProbeIntegral* integral = probe.get();
    Scene s(std::move(probe), pixels);
    const int th = QFontMetrics(font(pixels), &s.image).height();
    const int h = roundHalfEven(2.25 * (th / 2));
    QCOMPARE(integral->OperatorHeight(), h);
    QCOMPARE(integral->SymbolWidth(), roundHalfEven(h * 0.2687));
    s.draw();
    const bool large = h / 2 >= 28;
    QCOMPARE(integral->large, large ? 1 : 0);
    QCOMPARE(integral->small, large ? 0 : 1);
}

void TestFormulaGeometry::integralSignOrientation_data() {
    QTest::addColumn<int>("pixels");
    QTest::newRow("small, 40 px") << 40;
    QTest::newRow("large, 80 px") << 80;
}

void TestFormulaGeometry::integralSignOrientation() {
    // Both forms of ∫ curl to the right at the top and to the left at the bottom of the symbol.
    QFETCH(int, pixels);
    auto node = make<TExprIntegral>(make<TExprEmpty>(), 1, nullptr, nullptr);
    TExprIntegral* integral = node.get();
    Scene s(std::move(node), pixels);
    const int h = integral->OperatorHeight();
    const int sw = integral->SymbolWidth();
    const int lx = integral->LineX();
    const int X = 10;
    const int Y = 10;
    s.draw(X, Y);
    // The symbol's box: centred on column X + sw div 2 + 2 LineX, h rows around the middle line.
    const int cx = X + sw / 2 + 2 * lx;
    const int left = cx - sw / 2;
    const int top = Y + integral->MidLineUp() - h / 2;
    const auto inkIn = [&](int x0, int x1, int y0, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += s.inked(x, y);
        return n;
    };
    const int band = h / 8;
    const int half = sw / 2;
    QVERIFY(inkIn(left + half, left + sw, top, top + band) > inkIn(left, left + half, top, top + band));
    QVERIFY(inkIn(left, left + half, top + h - band, top + h) >
            inkIn(left + half, left + sw, top + h - band, top + h));
    // Nothing beyond the symbol's rows.
    QCOMPARE(inkIn(left, left + sw, top - 3, top - 1), 0);
    QCOMPARE(inkIn(left, left + sw, top + h + 2, top + h + 4), 0);
}

void TestFormulaGeometry::caseBraceSpansHeight() {
    // The case brace fills the 7-stroke column over the node's whole height, its point on the middle row
    // at the outer edge, its ends at the top and bottom rows turned towards the values.
    std::vector<TExprPtr> cells;
    cells.push_back(var("a"));
    cells.push_back(var("x"));
    cells.push_back(make<TExprRatio>(var("b"), var("c")));
    cells.push_back(var("y"));
    Scene s(make<TExprCase>(chainOf(std::move(cells))));
    TExprClass* node = s.first();
    const int lx = node->LineX();
    const int H = node->Height();
    QCOMPARE(H % 2, 1);
    s.draw(10, 10);
    const int middle = 10 + (H - 1) / 2;
    const auto inkedRow = [&](int y, int x0, int x1) {
        for (int x = x0; x < x1; ++x)
            if (s.inked(x, y))
                return true;
        return false;
    };
    QVERIFY(inkedRow(10, 10 + 4 * lx, 10 + 7 * lx));
    QVERIFY(inkedRow(10 + H - 1, 10 + 4 * lx, 10 + 7 * lx));
    QVERIFY(inkedRow(middle, 10, 10 + 2 * lx));
    QVERIFY(!inkedRow(10 + H / 4, 10, 10 + 2 * lx));
    // Mirror image: as much ink in the upper half as in the lower.
    int upper = 0;
    int lower = 0;
    for (int d = 1; d < H / 2; ++d)
        for (int x = 10; x < 10 + 7 * lx; ++x) {
            upper += s.inked(x, middle - d);
            lower += s.inked(x, middle + d);
        }
    QVERIFY(std::abs(upper - lower) <= H / 10 + 2);
}

void TestFormulaGeometry::drawnSigns_data() {
    QTest::addColumn<int>("code");
    for (int code : {5, 6, 7, 10, 11, 12})
        QTest::newRow(qPrintable(QStringLiteral("code %1").arg(code))) << code;
}

void TestFormulaGeometry::drawnSigns() {
    QFETCH(int, code);
    Scene s(sign(code));
    TExprClass* sg = s.first();
    s.draw(10, 10);
    const QFontMetrics fm(font(kPixels), &s.image);
    const int lx = sg->LineX();
    const int ly = sg->LineY();
    const double unit = unitOf(s.image, kPixels);
    const int ascent = fm.ascent();
    const int descent = fm.descent();
    const int X = 10;
    const int Y = 10;
    const int W = sg->Width();
    const int x0 = X + 2 * lx;
    const auto rowInkedFrom = [&](int row, int from, int to) {
        for (int x = from; x < to; ++x)
            if (!s.inked(x, row))
                return false;
        return true;
    };
    switch (code) {
    case 5:
    case 6: {
        // A bar as wide as the ink of "+", just below (±) or above (∓) where an unmoved "+" has its ink.
        QCOMPARE(W, fm.horizontalAdvance(u'+') + 4 * lx);
        const QRect ink = fm.boundingRect(u'+').translated(x0, Y + ascent);
        const int row = code == 5 ? ink.bottom() + 1 : ink.top() - ly;
        QVERIFY(rowInkedFrom(row, ink.left(), ink.left() + ink.width()));
        QVERIFY(!s.inked(ink.left() - 1, row));
        QVERIFY(!s.inked(ink.left() + ink.width(), row));
        break;
    }
    case 7: {
        QCOMPARE(W, fm.horizontalAdvance(u'~') + 4 * lx);
        const int row = Y + roundHalfEven(15.5 * unit);
        const int from = x0 + roundHalfEven(0.5 * unit);
        const int to = X + W - 2 * lx - roundHalfEven(0.6 * unit);
        QVERIFY(rowInkedFrom(row, from, to));
        QVERIFY(!s.inked(to, row));
        break;
    }
    case 10:
        QCOMPARE(W, 8 * lx);
        for (int x : {X + 2 * lx, X + 5 * lx})
            QCOMPARE(s.inkedInColumn(x, Y, Y + 40), ascent - descent + 1);
        QCOMPARE(s.inkedInColumn(X + 3 * lx, Y, Y + 40), 0);
        break;
    case 11:
    case 12: {
        int w = fm.horizontalAdvance(u'_');
        if ((w - lx) % 2 != 0)
            ++w;
        QCOMPARE(W, w + 4 * lx);
        // The base bar has its last row on the ascent.
        QVERIFY(rowInkedFrom(Y + ascent, x0, X + W - 2 * lx));
        QVERIFY(!s.inked(x0, Y + ascent + 1));
        const int stemTop = Y + roundHalfEven(4 * unit) + descent;
        const int stem = X + (W - lx) / 2;
        // Halfway between the bar's left end and the middle: only the angle's slanted stroke has ink there.
        const int between = (x0 + stem) / 2;
        if (code == 11) {
            QCOMPARE(s.inkedInColumn(stem, Y, Y + 40), Y + ascent - stemTop + 1);
            QCOMPARE(s.inkedInColumn(between, Y, Y + ascent - ly), 0);
        } else {
            // The slanted stroke reaches the middle column at its top and leaves it below.
            QVERIFY(s.inked(stem, stemTop + 1));
            QVERIFY(!s.inked(stem, Y + ascent - 2 * ly - 1));
            QVERIFY(s.inkedInColumn(between, Y, Y + ascent - ly) > 0);
        }
        break;
    }
    default:
        break;
    }
}

void TestFormulaGeometry::nablaUpsideDown() {
    // Δ is widest near its foot; the nabla, the same glyph turned by 180 degrees in its box, near its top.
    const auto widestRow = [](TExprPtr node) {
        Scene s(std::move(node));
        TExprClass* n = s.first();
        const int w = n->Width();
        const int h = n->Height();
        s.draw(10, 10);
        int best = -1;
        int bestCount = 0;
        for (int y = 10; y < 10 + h; ++y) {
            int count = 0;
            for (int x = 10; x < 10 + w; ++x)
                count += s.inked(x, y);
            if (count > bestCount) {
                bestCount = count;
                best = y - 10;
            }
        }
        return std::make_pair(best, h);
    };
    const auto [deltaRow, deltaHeight] = widestRow(make<TExprExtSymbol>(916));
    const auto [nablaRow, nablaHeight] = widestRow(make<TExprNabla>());
    QCOMPARE(nablaHeight, deltaHeight);
    QVERIFY(deltaRow > deltaHeight / 2);
    QVERIFY(nablaRow < nablaHeight / 2);
    // Turned about the box: the widest row of one is the mirror row of the other's, within a pixel.
    QVERIFY(std::abs(nablaRow - (deltaHeight - 1 - deltaRow)) <= 1);
}

void TestFormulaGeometry::simpleTopGap_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("units");
    // Cyrillic capitals 0xC0–0xC8 and 0xCA–0xDF: 4; Й and Ё: 2.5; й and ё: 7; other small letters: 9.5.
    const QList<std::pair<const char*, double>> rows = {
        {"А", 4},   {"И", 4}, {"Й", 2.5}, {"К", 4},   {"Я", 4}, {"Ё", 2.5}, {"а", 9.5},
        {"й", 7},   {"ё", 7}, {"я", 9.5}, {"ж", 9.5}, {"b", 4}, {"Z", 4},   {"i", 7},
        {"x", 9.5}, {"7", 0}, {"«", 0},   {"№", 0},   {"±", 0}, {"·", 0},   {"—", 0},
    };
    for (const auto& [text, units] : rows)
        QTest::newRow(text) << QString::fromUtf8(text) << units;
}

void TestFormulaGeometry::simpleTopGap() {
    QFETCH(QString, text);
    QFETCH(double, units);
    Scene s(make<TExprSimple>(text));
    QCOMPARE(s.first()->TopGap(), roundHalfEven(units * unitOf(s.image, kPixels)));
}

void TestFormulaGeometry::greekTopGapAndItalic_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<double>("gap");
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("right");
    QTest::newRow("Alpha") << 913 << 4.0 << 1.0 << -1.0;
    QTest::newRow("Beta") << 914 << 4.0 << 0.0 << -1.0;
    QTest::newRow("Gamma") << 915 << 4.0 << 1.0 << -1.0;
    QTest::newRow("Rho") << 929 << 4.0 << 1.0 << -1.0;
    QTest::newRow("930") << 930 << 0.0 << 0.0 << 0.0;
    QTest::newRow("Sigma") << 931 << 4.0 << 1.0 << -1.0;
    QTest::newRow("Omega") << 937 << 4.0 << 1.0 << -1.0;
    QTest::newRow("alpha") << 945 << 8.8 << 0.0 << 0.0;
    QTest::newRow("beta") << 946 << 4.0 << 0.0 << 0.0;
    QTest::newRow("epsilon") << 949 << 8.8 << 0.0 << 1.0;
    QTest::newRow("theta") << 952 << 4.0 << 1.0 << -0.5;
    QTest::newRow("lambda") << 955 << 4.0 << 0.0 << 0.0;
    QTest::newRow("xi") << 958 << 4.0 << 0.0 << 0.0;
    QTest::newRow("omicron") << 959 << 8.8 << 0.0 << 0.0;
    QTest::newRow("final sigma") << 962 << 0.0 << 0.0 << 0.0;
    QTest::newRow("omega") << 969 << 8.8 << 0.0 << 0.0;
    QTest::newRow("partial") << 8706 << 0.0 << 0.0 << 0.0;
}

void TestFormulaGeometry::greekTopGapAndItalic() {
    QFETCH(int, code);
    QFETCH(double, gap);
    QFETCH(double, left);
    QFETCH(double, right);
    Scene s(make<TExprExtSymbol>(quint16(code)));
    TExprClass* symbol = s.first();
    const double unit = unitOf(s.image, kPixels);
    QCOMPARE(symbol->TopGap(), roundHalfEven(gap * unit));
    QCOMPARE(symbol->ItalicLeft(), roundHalfEven(left * unit));
    QCOMPARE(symbol->ItalicRight(), roundHalfEven(right * unit));
    // ∂ takes its superscript 2 units further out.
    QCOMPARE(symbol->SupPosX(), symbol->Width() + (code == 8706 ? roundHalfEven(2 * unit) : 0));
}

QTEST_MAIN(TestFormulaGeometry)
#include "tst_formula_geometry.moc"
