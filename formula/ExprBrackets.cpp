// Brackets that grow with their row, single characters and drawn operator signs, and function
// application of the formula engine.
#include "formula/ExprCommon.h"
#include "formula/ExprNodes.h"
#include "formula/ExprOutlines.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

using namespace ExprCommon;

namespace {

// Proportions of the round bracket relative to the node height.
constexpr double kRoundWidth = 0.191192;
constexpr double kRoundInnerBulge = 0.156491;
constexpr double kRoundInnerControl = 0.294316;
constexpr double kRoundOuterControl = 0.273051;
// Horizontal parts of the other bracket kinds, in strokes.
constexpr int kSquareStrokes = 5;
constexpr int kCurlyStrokes = 7;
constexpr int kBarStrokes = 3;
// Side bearings of a drawn sign, in strokes on each side.
constexpr int kSignBearing = 2;
// The function name stands this many strokes before its argument.
constexpr int kFuncGap = 3;

} // namespace

// ===================================================================================================
// TExprBracketed and its kinds

TExprBracketed::TExprBracketed(TExprPtr row, quint8 leftKind, quint8 rightKind)
    : TExprChain(std::move(row)), m_LeftKind(leftKind), m_RightKind(rightKind) {}

void TExprBracketed::SetKinds(quint8 leftKind, quint8 rightKind) {
    m_LeftKind = leftKind;
    m_RightKind = rightKind;
    Invalidate(imWidth | imHeight | imItalic | imTopGap | imMidLineUp | imMidLineDn | imSupPosX | imSubPosX |
               imSupPosY | imSubPosY);
}

int TExprBracketed::BracketWidth(quint8 kind) {
    switch (kind) {
    case bkRound:
        return roundEven(kRoundWidth * Height()) + 2 * m_LineX;
    case bkSquare:
        return kSquareStrokes * m_LineX;
    case bkCurly:
        return kCurlyStrokes * m_LineX;
    case bkBar:
        return kBarStrokes * m_LineX;
    default:
        return 0;
    }
}

bool TExprBracketed::CurlyShown() {
    return (m_LeftKind == bkCurly || m_RightKind == bkCurly) && BracketsShown();
}

int TExprBracketed::CalcWidth() {
    int width = RowWidth();
    if (BracketsShown())
        width += BracketWidth(m_LeftKind) + BracketWidth(m_RightKind);
    return width;
}

int TExprBracketed::CalcHeight() {
    int height = RowAscent() + RowDescent() + 2 * m_LineY;
    // The curly bracket needs a middle row to put its point on.
    if (CurlyShown() && (height - m_LineY) % 2 != 0)
        ++height;
    return height;
}

int TExprBracketed::CalcMidLine(bool fromBottom) {
    const int up = RowAscent() - 1 + m_LineY;
    if (!fromBottom)
        return up;
    // Kept consistent with the height, which may have grown by one row for a curly bracket.
    return up - Height() + 1;
}

int TExprBracketed::CalcTopGap() {
    if (BracketsShown() && (m_LeftKind != bkNone || m_RightKind != bkNone))
        return 0;
    return TExprChain::CalcTopGap();
}

void TExprBracketed::CalcItalic(int& left, int& right) {
    if (BracketsShown() && (m_LeftKind != bkNone || m_RightKind != bkNone)) {
        left = right = 0;
        return;
    }
    TExprChain::CalcItalic(left, right);
}

int TExprBracketed::CalcJoinFlags() {
    if (BracketsShown() && m_LeftKind != bkNone && m_RightKind != bkNone) {
        if (m_LeftKind == bkRound && m_RightKind == bkRound)
            return TouchLeft + TouchRight + RoundRemovable + Bracketed;
        return TouchLeft + TouchRight + Bracketed;
    }
    return TExprChain::CalcJoinFlags();
}

void TExprBracketed::Paint(int X, int Y) {
    if (!BracketsShown() || (m_LeftKind == bkNone && m_RightKind == bkNone)) {
        PaintRow(X, Y, MidLineUp());
        return;
    }
    const int H = Height();
    const int left = BracketWidth(m_LeftKind);
    const int rowWidth = RowWidth();
    if (m_LeftKind != bkNone)
        PaintBracket(m_LeftKind, X, Y, H, false);
    PaintRow(X + left, Y, MidLineUp());
    if (m_RightKind != bkNone) {
        // The row's children leave their own font and colour on the canvas.
        PaintBracket(m_RightKind, X + left + rowWidth, Y, H, true);
    }
}

void TExprBracketed::PaintBracket(quint8 kind, int X, int Y, int H, bool right) {
    SetPenAndBrush();
    TCanvas* canvas = Canvas();
    const int lx = m_LineX;
    const int ly = m_LineY;
    const int top = Y + ly;
    const int bottom = Y + H - ly - 1;
    switch (kind) {
    case bkRound: {
        const int K = roundEven(kRoundWidth * H);
        const int D = roundEven(kRoundInnerBulge * H);
        const int M = roundEven(kRoundInnerControl * H);
        const int N = roundEven(kRoundOuterControl * H);
        // Left: tips at J, inner controls D left of them, outer controls at the outer edge X.
        // Right: X is the first column after the row; tips 2 strokes further, outer edge K beyond.
        const int tip = right ? X + 2 * lx - 1 : X + K;
        const int dir = right ? 1 : -1;
        QPainterPath path;
        path.moveTo(tip, top);
        path.cubicTo(tip + dir * D, top + M, tip + dir * D, bottom - M, tip, bottom);
        path.cubicTo(tip + dir * K, bottom - N, tip + dir * K, top + N, tip, top);
        path.closeSubpath();
        Outlines::fillAndStroke(*canvas, path);
        break;
    }
    case bkSquare: {
        // Stem one stroke in from the outer edge, serifs reaching two strokes towards the row.
        const int w = kSquareStrokes * lx;
        const int outer = right ? X + w - 1 - lx : X + lx;       // outer column of the stem
        const int dir = right ? -1 : 1;                          // towards the row
        const int stemIn = outer + dir * (lx - 1);               // inner column of the stem
        const int serifEnd = outer + dir * (w - 2 * lx - 1 + 1); // last column of the serifs
        QPolygon poly;
        poly << QPoint(outer, top) << QPoint(serifEnd, top) << QPoint(serifEnd, top + ly - 1)
             << QPoint(stemIn, top + ly - 1) << QPoint(stemIn, bottom - ly + 1)
             << QPoint(serifEnd, bottom - ly + 1) << QPoint(serifEnd, bottom) << QPoint(outer, bottom);
        Outlines::fillAndStrokeStraight(*canvas, poly);
        break;
    }
    case bkCurly:
        Outlines::paintCurly(*canvas, X, top, bottom, kCurlyStrokes * lx, lx, ly, right);
        break;
    case bkBar: {
        const int x = X + lx;
        canvas->fillRect(QRect(x, top, lx, bottom - top + 1), canvas->brush());
        break;
    }
    default:
        break;
    }
}

TExprRound::TExprRound(TExprPtr row) : TExprBracketed(std::move(row), bkRound, bkRound) {}

int TExprRound::CalcJoinFlags() { return TouchLeft + TouchRight + Bracketed; }

TExprArgument::TExprArgument(TExprPtr row) : TExprBracketed(std::move(row), bkRound, bkRound) {}

void TExprArgument::SetForceBrackets(bool force) {
    m_ForceBrackets = force;
    Invalidate();
}

bool TExprArgument::BracketsShown() {
    if (m_ForceBrackets)
        return true;
    if (auto* func = dynamic_cast<TExprCommonFunc*>(Parent());
        func && func->Son() && func->Son() != this && func->Son()->ArgBracketsAlways())
        return true;
    for (TExprClass* c = Son(); c; c = c->Next())
        if (c->ForcesBrackets())
            return true;
    return false;
}

TExprBase::TExprBase(TExprPtr row) : TExprBracketed(std::move(row), bkRound, bkRound) {}

bool TExprBase::BracketsShown() { return Son() && Son()->Next(); }

// ===================================================================================================
// TExprExtSymbol and its characters

TExprExtSymbol::TExprExtSymbol(quint16 code) : m_Code(code) {}

int TExprExtSymbol::LeftOverhang() { return std::min(0, Metrics().leftBearing(QChar(m_Code))); }

int TExprExtSymbol::CalcWidth() {
    const QFontMetrics fm = Metrics();
    const QChar ch(m_Code);
    return fm.horizontalAdvance(ch) - std::min(0, fm.leftBearing(ch)) - std::min(0, fm.rightBearing(ch));
}

int TExprExtSymbol::CalcHeight() { return TextHeight(); }

void TExprExtSymbol::Paint(int X, int Y) { TextOut(X - LeftOverhang(), Y, CodeText()); }

int TExprExtSymbol::CalcTopGap() {
    const int c = m_Code;
    if ((c >= 913 && c <= 929) || (c >= 931 && c <= 937) || c == 946 || c == 948 || c == 950 || c == 952 ||
        c == 955 || c == 958)
        return roundEven(4 * m_UnitY);
    if (c == 945 || c == 947 || c == 949 || c == 951 || c == 953 || c == 954 || c == 956 || c == 957 ||
        (c >= 959 && c <= 961) || (c >= 963 && c <= 969))
        return roundEven(8.8 * m_UnitY);
    if (c == 8230)
        return MaxInt;
    return 0;
}

void TExprExtSymbol::CalcItalic(int& left, int& right) {
    const int c = m_Code;
    const bool capital = (c >= 913 && c <= 929) || (c >= 931 && c <= 937);
    left =
        (c == 913 || (c >= 915 && c <= 929) || (c >= 931 && c <= 937) || c == 952) ? roundEven(m_UnitX) : 0;
    double r = 0;
    if (capital)
        r = -1;
    else if (c == 949)
        r = 1;
    else if (c == 952)
        r = -0.5;
    right = roundEven(r * m_UnitX);
}

int TExprExtSymbol::CalcSupPosX() { return Width() + (m_Code == 8706 ? roundEven(2 * m_UnitX) : 0); }

TExprSign::TExprSign(quint16 code) : TExprExtSymbol(code) {}

bool TExprSign::ForcesBrackets() { return m_Code == 5 || m_Code == 6 || m_Code == 43 || m_Code == 8722; }

int TExprSign::CalcJoinFlags() { return (m_Code == 5 || m_Code == 6 || m_Code == 8722) ? SignFirst : 0; }

int TExprSign::CalcWidth() {
    const QFontMetrics fm = Metrics();
    int width = 0;
    switch (m_Code) {
    case 1:
    case 2:
        width = roundEven(1.7 * fm.horizontalAdvance(u'<'));
        break;
    case 3:
    case 4:
        width = fm.horizontalAdvance(u'<');
        break;
    case 5:
    case 6:
        width = fm.horizontalAdvance(u'+');
        break;
    case 7:
        width = fm.horizontalAdvance(u'~');
        break;
    case 10:
        return 8 * m_LineX;
    case 11:
    case 12:
        width = fm.horizontalAdvance(u'_');
        // Odd/even like the stroke, so the perpendicular's stem stands exactly in the middle.
        if ((width - m_LineX) % 2 != 0)
            ++width;
        break;
    default:
        width = TExprExtSymbol::CalcWidth();
        break;
    }
    return width + 2 * kSignBearing * m_LineX;
}

void TExprSign::Paint(int X, int Y) {
    TCanvas* canvas = Canvas();
    const QFontMetrics fm = Metrics();
    const int x0 = X + kSignBearing * m_LineX;
    const int ascent = fm.ascent();
    const int descent = fm.descent();
    const QColor color = DrawColor();
    auto bar = [&](int x, int y, int w, int h) {
        if (w > 0 && h > 0)
            canvas->fillRect(QRect(x, y, w, h), color);
    };
    const QString less = (m_Code % 2 != 0) ? QStringLiteral("<") : QStringLiteral(">");
    switch (m_Code) {
    case 1:
    case 2:
        TextOut(x0, Y, less);
        TextOut(x0 + roundEven(0.7 * fm.horizontalAdvance(less)), Y, less);
        break;
    case 3:
    case 4:
        TextOut(x0, Y, less);
        TextOut(x0, Y + roundEven(7 * m_UnitY), QStringLiteral("~"));
        break;
    case 5:
    case 6: {
        const QRect ink = fm.boundingRect(QChar(u'+')).translated(x0, Y + ascent);
        if (m_Code == 5) {
            TextOut(x0, Y - m_LineY, QStringLiteral("+"));
            bar(ink.left(), ink.bottom() + 1, ink.width(), m_LineY);
        } else {
            TextOut(x0, Y + m_LineY, QStringLiteral("+"));
            bar(ink.left(), ink.top() - m_LineY, ink.width(), m_LineY);
        }
        break;
    }
    case 7: {
        TextOut(x0, Y - roundEven(4.5 * m_UnitY), QStringLiteral("~"));
        const int left = x0 + roundEven(0.5 * m_UnitX);
        const int right = X + Width() - kSignBearing * m_LineX - roundEven(0.6 * m_UnitX);
        bar(left, Y + roundEven(15.5 * m_UnitY), right - left, m_LineY);
        break;
    }
    case 10:
        bar(X + 2 * m_LineX, Y + descent, m_LineX, ascent - descent + 1);
        bar(X + 5 * m_LineX, Y + descent, m_LineX, ascent - descent + 1);
        break;
    case 11:
    case 12: {
        const int right = X + Width() - kSignBearing * m_LineX;
        const int barTop = Y + ascent - m_LineY + 1;
        bar(x0, barTop, right - x0, m_LineY);
        const int stemTop = Y + roundEven(4 * m_UnitY) + descent;
        if (m_Code == 11) {
            bar(X + (Width() - m_LineX) / 2, stemTop, m_LineX, Y + ascent - stemTop + 1);
        } else {
            // A slanted stroke from the left end of the bar up to the middle column.
            const double mid = X + (Width() - m_LineX) / 2.0;
            QPolygonF stroke;
            stroke << QPointF(x0, Y + ascent + 1) << QPointF(x0 + m_LineY * 1.2, Y + ascent + 1)
                   << QPointF(mid + m_LineY * 1.2, stemTop) << QPointF(mid, stemTop);
            canvas->save();
            canvas->setRenderHint(QPainter::Antialiasing, true);
            canvas->setPen(Qt::NoPen);
            canvas->setBrush(color);
            canvas->drawPolygon(stroke);
            canvas->restore();
        }
        break;
    }
    default:
        TExprExtSymbol::Paint(x0, Y);
        break;
    }
}

TExprComma::TExprComma() : TExprExtSymbol(44) {}

TExprPlank::TExprPlank() : TExprExtSymbol(295) {}

int TExprPlank::CalcTopGap() { return roundEven(4 * m_UnitY); }

void TExprPlank::CalcItalic(int& left, int& right) { left = right = roundEven(m_UnitX); }

TExprLambda::TExprLambda() : TExprExtSymbol(955) {}

void TExprLambda::Paint(int X, int Y) {
    TExprExtSymbol::Paint(X, Y);
    const int left = X + roundEven(1.5 * m_UnitX);
    const int right = X + Width() - roundEven(2 * m_UnitX);
    if (right > left)
        Canvas()->fillRect(QRect(left, Y + roundEven(9 * m_UnitY), right - left, m_LineY), DrawColor());
}

TExprNabla::TExprNabla() : TExprExtSymbol(916) {}

void TExprNabla::Paint(int X, int Y) {
    // Δ turned by 180 degrees about its box: written from the bottom-right corner.
    TCanvas* canvas = Canvas();
    canvas->save();
    canvas->translate(X + Width(), Y + Height());
    canvas->rotate(180);
    TExprExtSymbol::Paint(0, 0);
    canvas->restore();
}

// ===================================================================================================
// Function application

TExprCommonFunc::TExprCommonFunc(TExprPtr name, TExprPtr argument)
    : TExprBigParent(std::move(name), std::move(argument)) {}

int TExprCommonFunc::CalcMidLine(bool fromBottom) {
    TExprClass* f = Son();
    TExprClass* a = Son2();
    if (fromBottom)
        return std::min(f ? f->MidLineDn() : 0, a ? a->MidLineDn() : 0);
    return std::max(f ? f->MidLineUp() : 0, a ? a->MidLineUp() : 0);
}

int TExprCommonFunc::CalcHeight() { return MidLineUp() - MidLineDn() + 1; }

int TExprCommonFunc::CalcWidth() {
    return (Son() ? Son()->Width() : 0) + kFuncGap * m_LineX + (Son2() ? Son2()->Width() : 0);
}

void TExprCommonFunc::Paint(int X, int Y) {
    const int up = MidLineUp();
    const int fw = Son() ? Son()->Width() : 0;
    if (Son())
        Son()->Draw(X, Y + up - Son()->MidLineUp(), 0, 0);
    if (Son2())
        Son2()->Draw(X + fw + kFuncGap * m_LineX, Y + up - Son2()->MidLineUp(), 0, 0);
}

int TExprCommonFunc::CalcJoinFlags() {
    if (Son2() && (Son2()->JoinFlags() & Bracketed))
        return TouchLeft + TouchRight;
    return TouchLeft;
}

namespace {
TExprPtr funcNamePart(const QString& name) {
    if (name.size() == 1)
        return std::make_unique<TExprVar>(name);
    return std::make_unique<TExprFuncName>(name);
}
} // namespace

TExprFunc::TExprFunc(const QString& name, TExprPtr argument)
    : TExprCommonFunc(funcNamePart(name), std::move(argument)) {}

TExprLim::TExprLim(TExprPtr limit) : TExprParent(nullptr) { SetSon(std::move(limit)); }

void TExprLim::SonFontChanged() {
    if (Son())
        GiveFont(Son(), ScriptFonts(), *this);
}

int TExprLim::CalcWidth() { return std::max(TextWidth(QStringLiteral("lim")), Son() ? Son()->Width() : 0); }

int TExprLim::CalcHeight() { return TextHeight() + (Son() ? Son()->Height() : 0); }

int TExprLim::CalcMidLine(bool fromBottom) {
    const int h = TextHeight();
    if (fromBottom)
        return -((h - 1) / 2) - (Son() ? Son()->Height() : 0);
    return h / 2;
}

void TExprLim::Paint(int X, int Y) {
    const int word = TextWidth(QStringLiteral("lim"));
    const int ew = Son() ? Son()->Width() : 0;
    TextOut(X + std::max(0, (ew - word) / 2), Y, QStringLiteral("lim"));
    if (Son())
        Son()->Draw(X + std::max(0, (word - ew) / 2), Y + TextHeight(), 0, 0);
}
