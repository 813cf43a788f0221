// Layout rules of the formula node tree, measured on a QImage offscreen; pixels are checked only where the
// geometry is fixed (bars, bracket columns).
#include "FormulaScene.h"
#include "formula/ExprNodes.h"

#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QTest>

#include <cmath>
#include <memory>
#include <vector>

using namespace FormulaScene;

class TestFormulaNodes : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    void chainAlignsMiddleLines();
    void indexRaiseAndDrop_data();
    void indexRaiseAndDrop();
    void fractionSizesAndBar();
    void bracketWidths_data();
    void bracketWidths();
    void curlyHeightParity();
    void bracketColumnsDrawn();
    void bracketsShown_data();
    void bracketsShown();
    void signWidthsAndFlags_data();
    void signWidthsAndFlags();
    void indexOfVariableStaysUnsigned();
    void numberFormatting_data();
    void numberFormatting();
    void colourInherited();
    void cacheInvalidation();
    void spaces();
    void accentUsesTopGap_data();
    void accentUsesTopGap();
    void matrixWithMissingCells();
    void caseWithOddCount();
    void nestedSumsShareHeight();
    void integralWithoutMultiplicity();
    void longChainDestroyed();
    void driveFormulaLine();
};

void TestFormulaNodes::chainAlignsMiddleLines() {
    // A fraction beside a letter: the row's middle line is that of both children, its height the larger
    // ascent plus the larger descent.
    std::vector<TExprPtr> v;
    v.push_back(var("a"));
    v.push_back(make<TExprRatio>(var("b"), make<TExprRatio>(var("c"), var("d"))));
    Scene s(chainOf(std::move(v)));
    TExprClass* a = s.first();
    TExprClass* f = a->Next();
    const int ascent = std::max(a->MidLineUp(), f->MidLineUp()) + 1;
    const int descent = std::max(a->Height() - a->MidLineUp() - 1, f->Height() - f->MidLineUp() - 1);
    QCOMPARE(s.root->Height(), ascent + descent);
    QCOMPARE(s.root->MidLineUp(), ascent - 1);
    QCOMPARE(s.root->MidLineDn(), -descent);
    QCOMPARE(s.root->Width(), a->Width() + f->Width());
    QCOMPARE(s.root->TopGap(), std::min(a->TopGap(), f->TopGap()));
    // Empty row: no ascent, no descent, top gap as large as possible.
    TExprChain empty;
    QCOMPARE(empty.Height(), 0);
    QCOMPARE(empty.TopGap(), TExprClass::MaxInt);
}

void TestFormulaNodes::indexRaiseAndDrop_data() {
    QTest::addColumn<bool>("withSub");
    QTest::addColumn<bool>("withSup");
    QTest::newRow("sub") << true << false;
    QTest::newRow("sup") << false << true;
    QTest::newRow("both") << true << true;
    QTest::newRow("neither") << false << false;
}

void TestFormulaNodes::indexRaiseAndDrop() {
    QFETCH(bool, withSub);
    QFETCH(bool, withSup);
    Scene s(make<TExprIndex>(var("h"), withSub ? num(7) : nullptr,
                             withSup ? make<TExprSimple>(QStringLiteral("+!")) : nullptr));
    auto* index = static_cast<TExprIndex*>(s.first());
    TExprClass* b = index->Son();
    const int raise = withSup ? std::max(0, index->Sup()->Height() - b->SupPosY()) : 0;
    const int drop = withSub ? std::max(0, index->Sub()->Height() + b->SubPosY() - b->Height()) : 0;
    if (withSup)
        QVERIFY(raise > 0);
    if (withSub)
        QVERIFY(drop > 0);
    QCOMPARE(index->Height(), b->Height() + raise + drop);
    QCOMPARE(index->MidLineUp(), b->MidLineUp() + raise);
    QCOMPARE(index->MidLineDn(), b->MidLineDn() - drop);
    QCOMPARE(index->TopGap(), withSup ? index->Sup()->TopGap() : b->TopGap());
    int width = b->Width();
    if (withSub)
        width = std::max(width, b->SubPosX() + index->Sub()->Width());
    if (withSup)
        width = std::max(width, b->SupPosX() + index->Sup()->Width());
    QCOMPARE(index->Width(), width);
    // Scripts get 0.7 of the font height; an italic h puts its subscript 3 units in.
    if (withSub) {
        QCOMPARE(index->Sub()->FontHeight(), 13);
        QCOMPARE(b->SubPosX(), b->Width() - qRound(3 * b->UnitX()));
    }
    QVERIFY(index->JoinFlags() & TExprClass::TouchRight);
}

void TestFormulaNodes::fractionSizesAndBar() {
    Scene s(make<TExprRatio>(make<TExprSimple>(QStringLiteral("Sch k-")), num(3)));
    auto* ratio = static_cast<TExprRatio*>(s.first());
    const int lx = ratio->LineX();
    const int ly = ratio->LineY();
    QCOMPARE(ratio->Width(), std::max(ratio->Son()->Width(), ratio->Son2()->Width()) + 8 * lx);
    QCOMPARE(ratio->Height(), ratio->Son()->Height() + 3 * ly + ratio->Son2()->Height());
    QCOMPARE(ratio->MidLineUp(), ratio->Son()->Height() + ly + ly / 2);
    QCOMPARE(ratio->MidLineUp() - ratio->MidLineDn() + 1, ratio->Height());
    // The root row puts the fraction at its own top; the bar is LineY rows at the middle line, from
    // 3 strokes in on the left to 3 strokes in on the right.
    const int x = 10, y = 10;
    s.draw(x, y);
    const int m = y + ratio->MidLineUp();
    const int barTop = m - ly / 2;
    for (int col : {x + 3 * lx, x + ratio->Width() / 2, x + ratio->Width() - 3 * lx}) {
        QVERIFY2(s.inked(col, barTop), qPrintable(QString::number(col)));
        QVERIFY(!s.inked(col, barTop - 1));
        QVERIFY(!s.inked(col, barTop + ly));
    }
    QVERIFY(!s.inked(x + 3 * lx - 1, barTop));
    QVERIFY(!s.inked(x + ratio->Width() - 3 * lx + 1, barTop));
}

void TestFormulaNodes::bracketWidths_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("none") << 0;
    QTest::newRow("round") << 1;
    QTest::newRow("square") << 2;
    QTest::newRow("curly") << 3;
    QTest::newRow("bar") << 4;
}

void TestFormulaNodes::bracketWidths() {
    QFETCH(int, kind);
    Scene s(make<TExprBracketed>(make<TExprRatio>(var("x"), num(2)), quint8(kind), quint8(kind)));
    auto* b = static_cast<TExprBracketed*>(s.first());
    TExprClass* row = b->Son();
    const int lx = b->LineX();
    const int H = b->Height();
    int part = 0;
    switch (kind) {
    case 1:
        part = qRound(0.191192 * H) + 2 * lx;
        break;
    case 2:
        part = 5 * lx;
        break;
    case 3:
        part = 7 * lx;
        break;
    case 4:
        part = 3 * lx;
        break;
    }
    QCOMPARE(b->Width(), row->Width() + 2 * part);
    QVERIFY(H >= row->Height() + 2 * b->LineY());
    QCOMPARE(b->MidLineUp() - b->MidLineDn() + 1, H);
    // Shown brackets cover the row's top gap and italic overhangs.
    if (kind != 0) {
        QCOMPARE(b->TopGap(), 0);
        QCOMPARE(b->JoinFlags(), kind == 1 ? 27 : 19);
    } else {
        QCOMPARE(b->TopGap(), row->TopGap());
    }
}

void TestFormulaNodes::curlyHeightParity() {
    // Rows of many heights: with a curly bracket shown, height − LineY stays even; a system brace (curly
    // on the left only) reports the row's flags.
    for (int pixels = 10; pixels <= 40; ++pixels) {
        for (int depth = 0; depth < 3; ++depth) {
            TExprPtr inner = var("x");
            for (int d = 0; d < depth; ++d)
                inner = make<TExprRatio>(std::move(inner), num(d + 2));
            Scene s(make<TExprBracketed>(std::move(inner), TExprBracketed::bkCurly, TExprBracketed::bkNone),
                    pixels);
            auto* b = static_cast<TExprBracketed*>(s.first());
            QVERIFY2((b->Height() - b->LineY()) % 2 == 0, qPrintable(QStringLiteral("%1 px").arg(pixels)));
            QCOMPARE(b->JoinFlags(), b->Son()->JoinFlags());
            QCOMPARE(b->TopGap(), 0);
            QCOMPARE(b->ItalicLeft(), 0);
        }
    }
}

void TestFormulaNodes::bracketColumnsDrawn() {
    // The vertical bar: LineX wide, LineX in from the outer edge, from row LineY to H − LineY − 1.
    Scene s(make<TExprBracketed>(var("z"), TExprBracketed::bkBar, TExprBracketed::bkBar));
    auto* b = static_cast<TExprBracketed*>(s.first());
    const int x = 10, y = 10, lx = b->LineX(), ly = b->LineY(), H = b->Height();
    s.draw(x, y);
    QCOMPARE(s.inkedInColumn(x + lx, y + ly, y + H - ly - 1), H - 2 * ly);
    QCOMPARE(s.inkedInColumn(x, y, y + H), 0);
    QCOMPARE(s.inkedInColumn(x + 2 * lx, y, y + H), 0);
    QVERIFY(!s.inked(x + lx, y + ly - 1));
    QVERIFY(!s.inked(x + lx, y + H - ly));
    const int right = x + b->Width() - 3 * lx;
    QCOMPARE(s.inkedInColumn(right + lx, y + ly, y + H - ly - 1), H - 2 * ly);
    QCOMPARE(s.inkedInColumn(right + 2 * lx, y, y + H), 0);
}

void TestFormulaNodes::bracketsShown_data() {
    QTest::addColumn<int>("name");    // 0 italic f, 1 upright sin, 2 upright log with subscript
    QTest::addColumn<int>("content"); // 0 single x, 1 x + y, 2 "2 x" (no sign), 3 x · y, 4 x, y
    QTest::addColumn<bool>("forced");
    QTest::addColumn<bool>("shown");
    QTest::newRow("f(x)") << 0 << 0 << false << true;
    QTest::newRow("sin x") << 1 << 0 << false << false;
    QTest::newRow("sin(x+y)") << 1 << 1 << false << true;
    QTest::newRow("sin 2x") << 1 << 2 << false << false;
    QTest::newRow("sin x·y") << 1 << 3 << false << false;
    QTest::newRow("sin(x,y)") << 1 << 4 << false << true;
    QTest::newRow("sin!(x)") << 1 << 0 << true << true;
    QTest::newRow("log_2 x") << 2 << 0 << false << false;
    QTest::newRow("log_2(x-y)") << 2 << 5 << false << true;
}

void TestFormulaNodes::bracketsShown() {
    QFETCH(int, name);
    QFETCH(int, content);
    QFETCH(bool, forced);
    QFETCH(bool, shown);
    std::vector<TExprPtr> items;
    switch (content) {
    case 0:
        items.push_back(var("x"));
        break;
    case 1:
        items.push_back(sumItems());
        break;
    case 2:
        items.push_back(num(2));
        items.push_back(var("x"));
        break;
    case 3:
        items.push_back(var("x"));
        items.push_back(sign(183));
        items.push_back(var("y"));
        break;
    case 4:
        items.push_back(var("x"));
        items.push_back(make<TExprComma>());
        items.push_back(var("y"));
        break;
    case 5:
        items.push_back(var("x"));
        items.push_back(sign(8722));
        items.push_back(var("y"));
        break;
    }
    auto argument = make<TExprArgument>(chainOf(std::move(items)));
    argument->SetForceBrackets(forced);
    TExprArgument* arg = argument.get();
    TExprPtr namePart;
    if (name == 0)
        namePart = var("f");
    else if (name == 1)
        namePart = make<TExprFuncName>(QStringLiteral("sin"));
    else
        namePart = make<TExprIndex>(make<TExprFuncName>(QStringLiteral("log")), num(2), nullptr);
    Scene s(make<TExprCommonFunc>(std::move(namePart), std::move(argument)));
    QCOMPARE(arg->BracketsShown(), shown);
    // Hidden brackets still add 2 × LineY to the height.
    int rowHeight = 0, ascent = 0, descent = 0;
    for (TExprClass* c = arg->Son(); c; c = c->Next()) {
        ascent = std::max(ascent, c->MidLineUp() + 1);
        descent = std::max(descent, c->Height() - c->MidLineUp() - 1);
    }
    rowHeight = ascent + descent;
    QCOMPARE(arg->Height(), rowHeight + 2 * arg->LineY());
    const int func = s.first()->JoinFlags();
    QCOMPARE(func, shown ? TExprClass::TouchLeft + TExprClass::TouchRight : int(TExprClass::TouchLeft));
}

void TestFormulaNodes::signWidthsAndFlags_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("measured"); // text whose width the sign takes, empty for its own character
    QTest::addColumn<double>("factor");
    QTest::addColumn<int>("flags");
    QTest::addColumn<bool>("forces");
    QTest::newRow("much less") << 1 << "<" << 1.7 << 0 << false;
    QTest::newRow("less or approx") << 3 << "<" << 1.0 << 0 << false;
    QTest::newRow("plus-minus") << 5 << "+" << 1.0 << 4 << true;
    QTest::newRow("minus-plus") << 6 << "+" << 1.0 << 4 << true;
    QTest::newRow("tilde over bar") << 7 << "~" << 1.0 << 0 << false;
    QTest::newRow("plus") << 43 << "" << 1.0 << 0 << true;
    QTest::newRow("minus") << 8722 << "" << 1.0 << 4 << true;
    QTest::newRow("equals") << 61 << "" << 1.0 << 0 << false;
    QTest::newRow("dot") << 183 << "" << 1.0 << 0 << false;
}

void TestFormulaNodes::signWidthsAndFlags() {
    QFETCH(int, code);
    QFETCH(QString, measured);
    QFETCH(double, factor);
    QFETCH(int, flags);
    QFETCH(bool, forces);
    Scene s(sign(code));
    TExprClass* sg = s.first();
    const QFontMetrics fm(sg->Font(), &s.image);
    const QString text = measured.isEmpty() ? QString(QChar(code)) : measured;
    int inner = int(std::nearbyint(factor * fm.horizontalAdvance(text)));
    if (measured.isEmpty())
        inner -= std::min(0, fm.leftBearing(QChar(code))) + std::min(0, fm.rightBearing(QChar(code)));
    QCOMPARE(sg->Width(), inner + 4 * sg->LineX());
    // Signs never touch their neighbours and never lower a row's top gap.
    QCOMPARE(sg->JoinFlags(), flags);
    QCOMPARE(sg->ForcesBrackets(), forces);
    QCOMPARE(sg->TopGap(), TExprClass::MaxInt);
    Scene parallel(sign(10));
    QCOMPARE(parallel.first()->Width(), 8 * parallel.first()->LineX());
}

void TestFormulaNodes::indexOfVariableStaysUnsigned() {
    // The base already touches on the right; adding TouchRight must not turn into the SignFirst bit.
    Scene s(make<TExprIndex>(var("x"), num(1), nullptr));
    QCOMPARE(s.first()->JoinFlags(), TExprClass::TouchLeft + TExprClass::TouchRight);
    Scene n(make<TExprIndex>(num(-2), nullptr, num(2)));
    QCOMPARE(n.first()->JoinFlags(), TExprClass::TouchRight + TExprClass::SignFirst);
}

void TestFormulaNodes::numberFormatting_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("expForm");
    QTest::addColumn<QString>("mantissa");
    QTest::addColumn<QString>("exponent");
    QTest::addColumn<int>("flags");
    QTest::newRow("0") << 0.0 << false << "0"
                       << "" << 2;
    QTest::newRow("1.5") << 1.5 << false << "1,5"
                         << "" << 2;
    QTest::newRow("-3") << -3.0 << false << "-3"
                        << "" << 6;
    QTest::newRow("1.5E-20 exp") << 1.5e-20 << true << "1,5"
                                 << "-20" << 2;
    QTest::newRow("1E+5 exp") << 1e5 << true << "1"
                              << "5" << 2;
    QTest::newRow("-2.5E3 exp") << -2500.0 << true << "-2,5"
                                << "3" << 6;
    QTest::newRow("1E-5 general") << 1e-5 << false << "1"
                                  << "-5" << 2;
    QTest::newRow("0.0001 general") << 0.0001 << false << "0,0001"
                                    << "" << 2;
}

void TestFormulaNodes::numberFormatting() {
    QFETCH(double, value);
    QFETCH(bool, expForm);
    QFETCH(QString, mantissa);
    QFETCH(QString, exponent);
    QFETCH(int, flags);
    Scene s(make<TExprNumber>(value, expForm));
    auto* n = static_cast<TExprNumber*>(s.first());
    QCOMPARE(n->Value(), value);
    QCOMPARE(n->Mantissa(), mantissa);
    QCOMPARE(n->Exponent(), exponent);
    QCOMPARE(n->JoinFlags(), flags);
    QVERIFY(!(n->JoinFlags() & TExprClass::TouchLeft));
    if (!exponent.isEmpty()) {
        // "10" alone when the mantissa is 1, else mantissa·10; the exponent in the smaller font.
        QFont small = n->Font();
        small.setPixelSize(13);
        const QFontMetrics big(n->Font(), &s.image);
        const QFontMetrics script(small, &s.image);
        const QString first =
            mantissa == QLatin1String("1") ? QStringLiteral("10") : mantissa + QChar(0xB7) + "10";
        QCOMPARE(n->Width(), big.horizontalAdvance(first) + script.horizontalAdvance(exponent));
        QCOMPARE(n->Height(), qRound(big.height() * 1.2));
    }
    // SetNumber with the same value changes nothing; with another value forms the texts again.
    n->SetNumber(42);
    QCOMPARE(n->Mantissa(), expForm ? QStringLiteral("4,2") : QStringLiteral("42"));
    QCOMPARE(n->Exponent(), expForm ? QStringLiteral("1") : QString());
}

void TestFormulaNodes::colourInherited() {
    auto ratio = make<TExprRatio>(var("a"), var("b"));
    TExprRatio* r = ratio.get();
    Scene s(std::move(ratio));
    QCOMPARE(r->Son()->EffectiveColor(), 0u); // inherits up to the root: black
    r->SetColor(0xFF0000);
    QCOMPARE(r->Son()->EffectiveColor(), 0xFF0000u);
    r->Son2()->SetColor(0x0000FF);
    QCOMPARE(r->Son2()->EffectiveColor(), 0x0000FFu);
    s.draw(10, 10);
    // The bar is drawn in the fraction's own colour.
    const QRgb bar = s.image.pixel(10 + r->Width() / 2, 10 + r->MidLineUp() - r->LineY() / 2);
    QCOMPARE(qRed(bar), 255);
    QCOMPARE(qBlue(bar), 0);
}

void TestFormulaNodes::cacheInvalidation() {
    Scene s(make<TExprIndex>(var("x"), num(1), nullptr));
    TExprClass* index = s.first();
    const int small = index->Width();
    QCOMPARE(index->InvalidMask() & TExprClass::imWidth, 0u);
    // A larger font at the root reaches every node and its scripts.
    s.root->SetFontHeight(38);
    QVERIFY(index->InvalidMask() & TExprClass::imWidth);
    QVERIFY(index->Width() > small * 3 / 2);
    QCOMPARE(static_cast<TExprIndex*>(index)->Sub()->FontHeight(), 27);
    // The same canvas again changes nothing; no canvas marks everything valid and keeps the values.
    index->Height();
    const quint32 mask = index->InvalidMask();
    s.root->SetCanvas(&s.painter);
    QCOMPARE(index->InvalidMask(), mask);
    const int width = index->Width();
    s.root->SetCanvas(nullptr);
    QCOMPARE(index->InvalidMask(), 0u);
    QCOMPARE(index->Width(), width);
    // A new canvas invalidates everything again.
    QImage other(100, 100, QImage::Format_RGB32);
    QPainter p2(&other);
    s.root->SetCanvas(&p2);
    QCOMPARE(index->InvalidMask(), TExprClass::imAll);
    // Replacing a script invalidates its owner.
    index->Width();
    static_cast<TExprIndex*>(index)->SetScript(TExprTwinParent::SlotSup, num(2));
    QVERIFY(index->InvalidMask() & TExprClass::imHeight);
    QCOMPARE(static_cast<TExprIndex*>(index)->Sup()->FontHeight(), 27);
}

void TestFormulaNodes::spaces() {
    std::vector<TExprPtr> v;
    v.push_back(make<TExprSpace>(0));
    v.push_back(make<TExprSpace>(-3));
    v.push_back(make<TExprSpace>(7));
    Scene s(chainOf(std::move(v)));
    TExprClass* zero = s.first();
    QCOMPARE(zero->Width(), 0);
    QCOMPARE(zero->Next()->Width(), -3 * zero->LineX());
    QCOMPARE(s.root->Width(), 4 * zero->LineX());
    QCOMPARE(zero->Height(), 0);
    // The bare node (NIL) has no size.
    TExprClass nil;
    QCOMPARE(nil.Width(), 0);
}

void TestFormulaNodes::accentUsesTopGap_data() {
    QTest::addColumn<QString>("letter");
    QTest::addColumn<int>("style");
    for (const char* letter : {"a", "x", "A", "f"})
        for (int style = 0; style <= 4; ++style)
            QTest::addRow("%s style %d", letter, style) << QString::fromLatin1(letter) << style;
}

void TestFormulaNodes::accentUsesTopGap() {
    QFETCH(QString, letter);
    QFETCH(int, style);
    Scene s(make<TExprCap>(make<TExprVar>(letter), quint8(style), 3));
    auto* cap = static_cast<TExprCap*>(s.first());
    TExprClass* b = cap->Son();
    const int ly = cap->LineY();
    const int A = QList<int>{5, 6, 11, 6, 4}[style] * ly;
    const int T = b->TopGap();
    QCOMPARE(cap->Height(), b->Height() + std::max(0, A - T));
    QCOMPARE(cap->TopGap(), std::max(0, T - A));
    QCOMPARE(cap->MidLineUp() - cap->MidLineDn() + 1, cap->Height());
    if (letter == QLatin1String("a") && style == 4)
        QCOMPARE(cap->Height(), b->Height()); // a bar fits into the space above a small letter
    if (letter == QLatin1String("A"))
        QVERIFY(cap->Height() > b->Height());
    if (style == 0) {
        // Three dots: (4 × 3 − 2) strokes, centred over the ink.
        const int c = (b->Width() + b->ItalicLeft() + b->ItalicRight()) / 2;
        const int q = (4 * 3 - 2) * cap->LineX() / 2;
        QCOMPARE(cap->Width(), std::max(c, q) + std::max(b->Width() - c, q));
    }
    if (style == 1 && letter == QLatin1String("f"))
        QCOMPARE(cap->Width(), b->Width() + std::max(0, -b->ItalicLeft()) + std::max(0, b->ItalicRight()));
}

void TestFormulaNodes::matrixWithMissingCells() {
    std::vector<TExprPtr> cells;
    for (int i = 0; i < 4; ++i)
        cells.push_back(num(i + 1));
    Scene s(make<TExprMatrix>(chainOf(std::move(cells)), 3, 2));
    auto* m = static_cast<TExprMatrix*>(s.first());
    const int cw = m->Son()->Width();
    QCOMPARE(m->Width(), 3 * cw + (6 * 3 - 2) * m->LineX());
    QCOMPARE(m->Height(), 2 * m->Son()->Height());
    s.draw(10, 10);
    // The last two positions of the second row stay empty.
    const int rowTop = 10 + m->Son()->Height();
    for (int j = 1; j < 3; ++j) {
        const int left = 10 + 2 * m->LineX() + j * (cw + 6 * m->LineX());
        int ink = 0;
        for (int x = left; x < left + cw; ++x)
            ink += s.inkedInColumn(x, rowTop, rowTop + m->Son()->Height() - 1);
        QCOMPARE(ink, 0);
    }
}

void TestFormulaNodes::caseWithOddCount() {
    auto build = [](bool withLast) {
        std::vector<TExprPtr> v;
        v.push_back(num(1));
        v.push_back(var("x"));
        v.push_back(num(2));
        v.push_back(var("y"));
        if (withLast)
            v.push_back(make<TExprSimple>(QStringLiteral("a very wide last value")));
        return chainOf(std::move(v));
    };
    Scene even(make<TExprCase>(build(false)));
    Scene odd(make<TExprCase>(build(true)));
    auto* e = static_cast<TExprCase*>(even.first());
    auto* o = static_cast<TExprCase*>(odd.first());
    QCOMPARE(o->Height(), e->Height()); // the last value adds no row
    QVERIFY(o->Width() > e->Width());   // but its width counts
    QCOMPARE(e->Height() % 2, 1);
    TExprClass* v1 = e->Son();
    TExprClass* c1 = v1->Next();
    TExprClass* v2 = c1->Next();
    TExprClass* c2 = v2->Next();
    QCOMPARE(e->Width(),
             std::max(v1->Width(), v2->Width()) + 18 * e->LineX() + std::max(c1->Width(), c2->Width()));
}

void TestFormulaNodes::nestedSumsShareHeight() {
    auto inner = make<TExprSumma>(make<TExprRatio>(num(1), var("j")), var("j"), var("m"));
    TExprSumma* in = inner.get();
    Scene s(make<TExprSumma>(std::move(inner), var("i"), nullptr));
    auto* out = static_cast<TExprSumma*>(s.first());
    QCOMPARE(out->OperatorHeight(), in->OperatorHeight());
    QCOMPARE(out->SymbolWidth(), in->SymbolWidth());
    // The inner sum's upper limit reserves space in the outer one, which has none of its own.
    QCOMPARE(out->Height(), in->Height());
    QCOMPARE(out->MidLineUp(), in->MidLineUp());
    // A lone operand sets h from its own half height.
    Scene plain(make<TExprSumma>(var("x"), nullptr, nullptr));
    auto* p = static_cast<TExprSumma*>(plain.first());
    const int half = std::max({p->Son()->MidLineUp(), -p->Son()->MidLineDn(), p->Son()->Height() / 2});
    QCOMPARE(p->OperatorHeight(), int(std::nearbyint(2.25 * half)));
    QCOMPARE(p->Height(), p->OperatorHeight() + 4 * p->LineY());
}

void TestFormulaNodes::integralWithoutMultiplicity() {
    Scene zero(make<TExprIntegral>(var("f"), 0, nullptr, nullptr));
    auto* z = static_cast<TExprIntegral*>(zero.first());
    const int h = z->OperatorHeight();
    const int w1 = qRound(h * 0.2687);
    const int ellipsis = QFontMetrics(z->Font(), &zero.image).horizontalAdvance(QChar(8230));
    QCOMPARE(z->SymbolWidth(), 3 * w1 + 4 * z->LineX() + ellipsis);
    Scene two(make<TExprIntegral>(var("f"), 2, nullptr, nullptr));
    auto* t = static_cast<TExprIntegral*>(two.first());
    QCOMPARE(t->SymbolWidth(), 2 * w1 + t->LineX());
    zero.draw(10, 10);
    // Ink in the ellipsis area between the second and the last sign.
    const int start = 10 + 2 * z->LineX() + z->SymbolWidth() / 2 - z->SymbolWidth() / 2;
    int ink = 0;
    for (int x = start + 2 * w1 + 3 * z->LineX(); x < start + 2 * w1 + 3 * z->LineX() + ellipsis; ++x)
        ink += zero.inkedInColumn(x, 10, 10 + z->Height());
    QVERIFY(ink > 0);
}

void TestFormulaNodes::longChainDestroyed() {
    // Freeing a very long row must not recurse once per node.
    auto first = make<TExprVar>(QStringLiteral("x"));
    TExprClass* last = first.get();
    for (int i = 0; i < 300000; ++i) {
        last->SetNext(make<TExprSpace>(1));
        last = last->Next();
    }
    // Font and canvas pass along the row in a loop as well.
    QImage image(10, 10, QImage::Format_RGB32);
    QPainter painter(&image);
    first->SetCanvas(&painter);
    first->SetFontHeight(20);
    QCOMPARE(last->FontHeight(), 20);
    QCOMPARE(last->Canvas(), &painter);
    QCOMPARE(last->LineX(), first->LineX());
    first.reset();
    QVERIFY(!first);
}

void TestFormulaNodes::driveFormulaLine() {
    // The results window's line: a blank italic name, then h with index 7 and superscript «+!».
    std::vector<TExprPtr> v;
    v.push_back(var(" "));
    v.push_back(make<TExprIndex>(var("h"), num(7), make<TExprSimple>(QStringLiteral("+!"))));
    v.push_back(make<TExprSpace>(7));
    Scene s(chainOf(std::move(v)));
    s.root->SetFontSize(14);
    QCOMPARE(s.root->FontHeight(), qRound(14 * s.image.logicalDpiY() / 72.0));
    auto* index = static_cast<TExprIndex*>(s.first()->Next());
    TExprClass* h = index->Son();
    // Superscript at the width of h, subscript 3 units in, both in the 0.7 font.
    QCOMPARE(h->SupPosX(), h->Width());
    QCOMPARE(index->Sup()->FontHeight(), qRound(0.7 * s.root->FontHeight()));
    QCOMPARE(index->Next()->Width(), 7 * index->LineX());
    QCOMPARE(s.root->Width(), s.first()->Width() + index->Width() + 7 * index->LineX());
    s.draw(5, 5);
    int ink = 0;
    for (int x = 5; x < 5 + s.root->Width(); ++x)
        ink += s.inkedInColumn(x, 5, 5 + s.root->Height() - 1);
    QVERIFY(ink > 50);
}

QTEST_MAIN(TestFormulaNodes)
#include "tst_formula_nodes.moc"
