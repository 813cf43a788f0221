// Accents, primes, the value-at bar, stacks, matrices, cases, roots and large operators of the formula
// engine.
#include "formula/ExprNodes.h"
#include "formula/ExprOutlines.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <iterator>
#include <vector>

namespace {

int roundEven(double v) { return static_cast<int>(std::nearbyint(v)); }
int widthOf(TExprClass* node) { return node ? node->Width() : 0; }
int heightOf(TExprClass* node) { return node ? node->Height() : 0; }

constexpr double kScriptScale = 0.7;

// Accent heights in strokes, by style (dots, arrow, hat, tilde, bar).
constexpr int kAccentStrokes[] = {5, 6, 11, 6, 4};
// Gap between matrix columns and the space each side, in strokes.
constexpr int kMatrixColumnGap = 6;
// Room for the case brace plus the gap between values and conditions, in strokes.
constexpr int kCaseBraceStrokes = 7;
constexpr int kCaseGapStrokes = 18;
// Large operators switch to their outline drawings from this half height on, in pixels.
constexpr int kLargeSymbolHalfHeight = 28;

// Outlines of the large sum and product: a start point, then triples (control, control, end) of cubic
// segments; straight edges repeat their end points as controls. Units are 1/10000 of the operator height,
// y upwards, relative to the symbol's centre.
constexpr int kSumOutline[][2] = {
    {3695, -2777},  {3695, -2777},  {3480, -2734},  {3480, -2734},  {3297, -3475},  {3050, -3776},
    {2642, -3904},  {2300, -4000},  {2000, -4450},  {1500, -4450},  {1500, -4450},  {-2150, -4450},
    {-2150, -4450}, {-2150, -4450}, {1250, 0},      {1250, 0},      {1250, 0},      {-1500, 4550},
    {-1500, 4550},  {-1500, 4550},  {2300, 4550},   {2300, 4550},   {2950, 4550},   {3300, 4150},
    {3480, 3000},   {3480, 3000},   {3695, 3000},   {3695, 3000},   {3695, 3000},   {3620, 5000},
    {3620, 5000},   {3620, 5000},   {-3695, 5000},  {-3695, 5000},  {-3695, 5000},  {-3695, 4600},
    {-3695, 4600},  {-3695, 4600},  {-250, 0},      {-250, 0},      {-250, 0},      {-3000, -4700},
    {-3000, -4700}, {-3000, -4700}, {-3695, -5000}, {-3695, -5000}, {-3695, -5000}, {3695, -5000},
    {3695, -5000},
};
constexpr int kProdOutline[][2] = {
    {-4280, 5000},  {-4280, 5000},  {0, 5000},      {0, 5000},      {0, 5000},      {4280, 5000},
    {4280, 5000},   {4280, 5000},   {4280, 4400},   {4280, 4400},   {4280, 4400},   {3550, 4400},
    {3550, 4400},   {3350, 4400},   {3300, 4330},   {3300, 4150},   {3300, 4150},   {3300, -4350},
    {3300, -4350},  {3300, -4550},  {3500, -4600},  {4000, -4600},  {4000, -4600},  {4000, -5000},
    {4000, -5000},  {4000, -5000},  {1700, -5000},  {1700, -5000},  {1700, -5000},  {1700, -4600},
    {1700, -4600},  {2200, -4600},  {2400, -4550},  {2400, -4350},  {2400, -4350},  {2400, 4150},
    {2400, 4150},   {2400, 4330},   {2350, 4400},   {2150, 4400},   {2150, 4400},   {0, 4400},
    {0, 4400},      {0, 4400},      {-2150, 4400},  {-2150, 4400},  {-2350, 4400},  {-2400, 4330},
    {-2400, 4150},  {-2400, 4150},  {-2400, -4350}, {-2400, -4350}, {-2400, -4550}, {-2200, -4600},
    {-1700, -4600}, {-1700, -4600}, {-1700, -5000}, {-1700, -5000}, {-1700, -5000}, {-4000, -5000},
    {-4000, -5000}, {-4000, -5000}, {-4000, -4600}, {-4000, -4600}, {-3500, -4600}, {-3300, -4550},
    {-3300, -4350}, {-3300, -4350}, {-3300, 4150},  {-3300, 4150},  {-3300, 4330},  {-3350, 4400},
    {-3550, 4400},  {-3550, 4400},  {-4280, 4400},  {-4280, 4400},
};
} // namespace

// ===================================================================================================
// TExprCap

TExprCap::TExprCap(TExprPtr base, quint8 capStyle, int dotCount)
    : TExprParent(std::move(base)), m_CapStyle(capStyle), m_DotCount(std::max(0, dotCount)) {}

int TExprCap::AccentHeight() { return kAccentStrokes[std::min<int>(m_CapStyle, 4)] * m_LineY; }

int TExprCap::AccentWidth() {
    switch (m_CapStyle) {
    case csDots:
        return std::max(0, 4 * m_DotCount - 2) * m_LineX;
    case csHat:
        return TextWidth(QStringLiteral("^"));
    case csTilde:
        return TextWidth(QStringLiteral("~"));
    default:
        return 0;
    }
}

int TExprCap::Extra() {
    if (!Son())
        return AccentHeight();
    const int gap = Son()->TopGap();
    return gap >= AccentHeight() ? 0 : AccentHeight() - gap;
}

int TExprCap::InkCentre() {
    TExprClass* b = Son();
    return b ? (b->Width() + b->ItalicLeft() + b->ItalicRight()) / 2 : 0;
}

int TExprCap::Shift() {
    TExprClass* b = Son();
    if (!b)
        return 0;
    if (m_CapStyle == csArrow || m_CapStyle == csBar)
        return std::max(0, -b->ItalicLeft());
    return std::max(0, AccentWidth() / 2 - InkCentre());
}

int TExprCap::CalcWidth() {
    TExprClass* b = Son();
    if (!b)
        return AccentWidth();
    if (m_CapStyle == csArrow || m_CapStyle == csBar) {
        const int rt = b->ItalicRight();
        return b->Width() + Shift() + (rt >= 1 ? rt : 0);
    }
    const int c = InkCentre();
    const int q = AccentWidth() / 2;
    return std::max(c, q) + std::max(b->Width() - c, q);
}

int TExprCap::CalcHeight() { return heightOf(Son()) + Extra(); }

int TExprCap::CalcMidLine(bool fromBottom) {
    if (!Son())
        return TExprClass::CalcMidLine(fromBottom);
    return fromBottom ? Son()->MidLineDn() : Son()->MidLineUp() + Extra();
}

int TExprCap::CalcSupPosX() {
    if (Son() && Width() == Son()->Width())
        return Son()->SupPosX();
    return Width();
}

int TExprCap::CalcSubPosX() { return Shift() + (Son() ? Son()->SubPosX() : 0); }

int TExprCap::CalcSupPosY() { return (Son() ? Son()->SupPosY() : 0) + Extra(); }

int TExprCap::CalcTopGap() {
    if (!Son())
        return 0;
    const int gap = Son()->TopGap();
    return gap <= AccentHeight() ? 0 : gap - AccentHeight();
}

int TExprCap::CalcJoinFlags() { return Son() ? Son()->JoinFlags() : TouchLeft + TouchRight; }

void TExprCap::Paint(int X, int Y) {
    TExprClass* b = Son();
    if (!b)
        return;
    const int shift = Shift();
    const int extra = Extra();
    b->Draw(X + shift, Y + extra, 0, 0);
    const int L = b->ItalicLeft();
    const int Rt = b->ItalicRight();
    // A base that reports no ink at all (a sign) puts the accent on its top row.
    const int T = std::min(b->TopGap(), b->Height());
    const int r = Y + extra + T - m_LineY;
    const int x1 = X + std::max(0, L);
    const int x2 = X + Width() + std::min(0, Rt);
    const int xc = X + shift + InkCentre() - AccentWidth() / 2;
    TCanvas* canvas = Canvas();
    ApplyFont();
    SetPenAndBrush();
    switch (m_CapStyle) {
    case csDots:
        canvas->save();
        canvas->setRenderHint(QPainter::Antialiasing, true);
        canvas->setPen(Qt::NoPen);
        for (int k = 0; k < m_DotCount; ++k)
            canvas->drawEllipse(QRectF(xc + 4 * k * m_LineX, r - 3 * m_LineY, 2 * m_LineX, 2 * m_LineY));
        canvas->restore();
        break;
    case csArrow: {
        const int bt = r - 3 * m_LineY;
        const int l = x2 - 2 * m_LineY;
        QPolygon poly;
        poly << QPoint(x1, bt) << QPoint(l, bt) << QPoint(l, bt - m_LineY);
        if (m_LineY % 2 == 0)
            poly << QPoint(x2 - 1, bt + m_LineY / 2 - 1) << QPoint(x2 - 1, bt + m_LineY / 2);
        else
            poly << QPoint(x2 - 1, bt + m_LineY / 2);
        poly << QPoint(l, bt + 2 * m_LineY - 1) << QPoint(l, bt + m_LineY - 1)
             << QPoint(x1, bt + m_LineY - 1);
        Outlines::fillAndStrokeStraight(*canvas, poly);
        break;
    }
    case csHat:
        TextOut(xc, r - roundEven(15 * m_UnitY), QStringLiteral("^"));
        break;
    case csTilde:
        TextOut(xc, r - roundEven(18.5 * m_UnitY), QStringLiteral("~"));
        break;
    case csBar:
        if (x2 > x1)
            canvas->fillRect(QRect(x1, r - 2 * m_LineY, x2 - x1, m_LineY), canvas->brush());
        break;
    default:
        break;
    }
}

// ===================================================================================================
// TExprStrokes, TExprAtValue

TExprStrokes::TExprStrokes(int n) : m_Count(std::max(0, n)) {}

int TExprStrokes::CalcWidth() { return (4 * m_Count + 2) * m_LineX; }

int TExprStrokes::CalcHeight() { return roundEven(0.6 * TextHeight()); }

void TExprStrokes::Paint(int X, int Y) {
    SetPenAndBrush();
    const int r = Y + roundEven(2 * m_UnitY);
    for (int k = 0; k < m_Count; ++k) {
        QPolygon tri;
        tri << QPoint(X + (4 * k + 2) * m_LineX, r) << QPoint(X + (4 * k + 4) * m_LineX - 1, r)
            << QPoint(X + (4 * k + 2) * m_LineX, r + 6 * m_LineY - 1);
        Outlines::fillAndStrokeStraight(*Canvas(), tri);
    }
}

TExprAtValue::TExprAtValue(TExprPtr expr, TExprPtr value) : TExprBigParent(std::move(expr), nullptr) {
    SetSon2(std::move(value));
}

void TExprAtValue::Son2FontChanged() {
    if (Son2())
        GiveFont(Son2(), ScaledFont(Font(), kScriptScale), *this);
}

int TExprAtValue::CalcWidth() { return widthOf(Son()) + 3 * m_LineX + widthOf(Son2()); }

int TExprAtValue::CalcHeight() { return std::max(heightOf(Son()), heightOf(Son2())); }

int TExprAtValue::CalcMidLine(bool fromBottom) {
    if (!Son())
        return TExprClass::CalcMidLine(fromBottom);
    if (fromBottom)
        return Son()->MidLineDn();
    return Son()->MidLineUp() + std::max(0, heightOf(Son2()) - Son()->Height());
}

int TExprAtValue::CalcJoinFlags() { return Son() ? Son()->JoinFlags() & TouchLeft : 0; }

void TExprAtValue::Paint(int X, int Y) {
    const int ew = widthOf(Son());
    const int h = Height();
    if (Son())
        Son()->Draw(X, Y + std::max(0, heightOf(Son2()) - Son()->Height()), 0, 0);
    SetPenAndBrush();
    Canvas()->fillRect(QRect(X + ew, Y, m_LineX, h), Canvas()->brush());
    if (Son2())
        Son2()->Draw(X + ew + 3 * m_LineX, Y + h - 1, 0, 2);
}

// ===================================================================================================
// TExprStand, TExprMatrix, TExprCase

TExprStand::TExprStand(TExprPtr lines, quint8 align) : TExprParent(std::move(lines)), m_Align(align) {}

int TExprStand::CalcWidth() {
    int width = 0;
    for (TExprClass* c = Son(); c; c = c->Next())
        width = std::max(width, c->Width());
    return width;
}

int TExprStand::CalcHeight() {
    int height = 0;
    for (TExprClass* c = Son(); c; c = c->Next())
        height += c->Height();
    return height;
}

void TExprStand::Paint(int X, int Y) {
    int y = Y;
    for (TExprClass* c = Son(); c; c = c->Next()) {
        if (m_Align == 1)
            c->Draw(X + Width() / 2, y, 1, 0);
        else if (m_Align == 2)
            c->Draw(X + Width() - 1, y, 2, 0);
        else
            c->Draw(X, y, 0, 0);
        y += c->Height();
    }
}

TExprMatrix::TExprMatrix(TExprPtr cells, int cols, int rows)
    : TExprParent(std::move(cells)), m_Cols(std::max(0, cols)), m_Rows(std::max(0, rows)) {}

void TExprMatrix::CalcCellSize() {
    if (!(InvalidMask() & imOwn1))
        return;
    int width = 0;
    int ascent = 0;
    int descent = 0;
    for (TExprClass* c = Son(); c; c = c->Next()) {
        width = std::max(width, c->Width());
        ascent = std::max(ascent, c->MidLineUp() + 1);
        descent = std::max(descent, c->Height() - c->MidLineUp() - 1);
    }
    m_CellWidth = width;
    m_CellHeight = ascent + descent;
    ClearInvalid(imOwn1);
}

int TExprMatrix::CalcWidth() {
    CalcCellSize();
    return m_Cols * m_CellWidth + (kMatrixColumnGap * m_Cols - 2) * m_LineX;
}

int TExprMatrix::CalcHeight() {
    CalcCellSize();
    return m_Rows * m_CellHeight;
}

void TExprMatrix::Paint(int X, int Y) {
    CalcCellSize();
    TExprClass* cell = Son();
    for (int i = 0; i < m_Rows && cell; ++i) {
        for (int j = 0; j < m_Cols && cell; ++j) {
            cell->Draw(X + 2 * m_LineX + m_CellWidth / 2 + j * (m_CellWidth + kMatrixColumnGap * m_LineX),
                       Y + m_CellHeight / 2 + i * m_CellHeight, 1, 1);
            cell = cell->Next();
        }
    }
}

TExprCase::TExprCase(TExprPtr chain) : TExprParent(std::move(chain)) {}

template <typename F> void TExprCase::ForEachRow(F f) {
    for (TExprClass* value = Son(); value && value->Next(); value = value->Next()->Next()) {
        TExprClass* condition = value->Next();
        Row row{value, condition, std::max(value->MidLineUp(), condition->MidLineUp()),
                std::max(-value->MidLineDn(), -condition->MidLineDn())};
        f(row);
    }
}

int TExprCase::RowsHeight() {
    int height = 0;
    int rows = 0;
    ForEachRow([&](const Row& row) {
        height += row.ascent + row.descent;
        ++rows;
    });
    return height + std::max(0, rows - 1) * 2 * m_LineY;
}

int TExprCase::CalcWidth() {
    int vw = 0;
    int cw = 0;
    bool isValue = true;
    for (TExprClass* c = Son(); c; c = c->Next(), isValue = !isValue)
        (isValue ? vw : cw) = std::max(isValue ? vw : cw, c->Width());
    return vw + kCaseGapStrokes * m_LineX + cw;
}

int TExprCase::CalcHeight() {
    const int height = RowsHeight();
    // Odd, so the brace has a middle row for its point.
    return height % 2 == 0 ? height + 1 : height;
}

void TExprCase::Paint(int X, int Y) {
    const int H = Height();
    SetPenAndBrush();
    Outlines::paintCurly(*Canvas(), X, Y, Y + H - 1, kCaseBraceStrokes * m_LineX, m_LineX, m_LineY, false);
    int top = Y;
    ForEachRow([&](const Row& row) {
        const int y = top + row.ascent;
        row.value->Draw(X + kCaseBraceStrokes * m_LineX, y, 0, 1);
        row.condition->Draw(X + Width() - 1, y, 2, 1);
        top += row.ascent + row.descent + 2 * m_LineY;
    });
}

// ===================================================================================================
// TExprRoot

TExprRoot::TExprRoot(TExprPtr radicand, TExprPtr index) : TExprBigParent(std::move(radicand), nullptr) {
    SetSon2(std::move(index));
}

void TExprRoot::Son2FontChanged() {
    if (Son2())
        GiveFont(Son2(), ScaledFont(Font(), kScriptScale), *this);
}

int TExprRoot::IndexLift() { return Son2() ? std::max(0, Son2()->Height() - 4 * m_LineY) : 0; }

int TExprRoot::CalcWidth() {
    const int rh = heightOf(Son());
    return widthOf(Son()) + 8 * m_LineX + roundEven((rh + m_LineY) / 2.0) +
           (Son2() ? std::max(0, Son2()->Width() - 5 * m_LineX) : 0);
}

int TExprRoot::CalcHeight() { return heightOf(Son()) + 3 * m_LineY + IndexLift(); }

int TExprRoot::CalcMidLine(bool fromBottom) {
    if (!Son())
        return TExprClass::CalcMidLine(fromBottom);
    return fromBottom ? Son()->MidLineDn() : Son()->MidLineUp() + 3 * m_LineY + IndexLift();
}

void TExprRoot::Paint(int X, int Y) {
    const int lx = m_LineX;
    const int ly = m_LineY;
    const int lift = IndexLift();
    const int sx = X + (Son2() ? std::max(0, Son2()->Width() - 5 * lx) : 0);
    const int rise = roundEven((heightOf(Son()) + ly) / 2.0);
    const int top = Y + lift;
    const int bottom = Y + Height() - 1;
    const int right = X + Width() - 1;
    // The short heavy stroke falls at 60 degrees: 3 strokes across, 3√3 strokes down to the foot.
    const int knee = bottom - roundEven(3 * std::sqrt(3.0) * ly);
    const int footX = sx + 5 * lx;
    const int riseX = footX + rise; // left column of the rising stroke's top
    // Vertices on pixel boundaries (a column's right edge is column + 1), filled without a pen so the
    // strokes keep their designed weights: a hairline rise, a heavy short stroke, a thin tick.
    const double l = lx;
    const double t = ly;
    const double foot = bottom + 1;
    QPolygonF poly;
    poly << QPointF(sx, knee + 1.0 * t)              // tick, upper left
         << QPointF(sx + 2 * l, knee - 0.6 * t)      // tick meets the heavy stroke
         << QPointF(sx + 3.6 * l, knee - 0.6 * t)    // top of the heavy stroke
         << QPointF(footX + 0.7 * l, foot - 2.6 * t) // inner corner at the foot
         << QPointF(riseX, top)                      // rising stroke up to the bar
         << QPointF(right + 1, top)                  // bar
         << QPointF(right + 1, top + t)              //
         << QPointF(riseX + l + 0.4, top + t)        // under the bar, right of the rising stroke
         << QPointF(footX + l + 0.4, foot)           // foot, right
         << QPointF(footX - 0.2 * l, foot)           // foot, left
         << QPointF(sx + 1.2 * l, knee + 1.2 * t)    // heavy stroke back up to the tick
         << QPointF(sx + 0.2 * l, knee + 1.8 * t);   // underside of the tick
    SetPenAndBrush();
    TCanvas* canvas = Canvas();
    canvas->save();
    canvas->setRenderHint(QPainter::Antialiasing, true);
    canvas->setPen(Qt::NoPen);
    canvas->drawPolygon(poly);
    canvas->restore();
    if (Son())
        Son()->Draw(riseX + 2 * lx, top + 3 * ly, 0, 0);
    if (Son2())
        Son2()->Draw(sx + 5 * lx - 1, top + 4 * ly - 1, 2, 2);
}

// ===================================================================================================
// Large operators

TExprGroupOp::TExprGroupOp(TExprPtr operand, TExprPtr lower, TExprPtr upper)
    : TExprTwinParent(std::move(operand), std::move(lower), std::move(upper)) {}

double TExprGroupOp::AspectXY() const {
    const QPaintDevice* device = Canvas() ? Canvas()->device() : nullptr;
    return device ? double(device->logicalDpiX()) / device->logicalDpiY() : 1.0;
}

namespace {
// The large operator that sets the size of this one: the operand itself, or the first operator of an
// operand row without brackets.
TExprGroupOp* innerOperator(TExprClass* operand) {
    if (auto* op = dynamic_cast<TExprGroupOp*>(operand))
        return op;
    auto* chain = dynamic_cast<TExprChain*>(operand);
    if (!chain || (chain->JoinFlags() & (TExprClass::RoundRemovable | TExprClass::Bracketed)))
        return nullptr;
    for (TExprClass* c = chain->Son(); c; c = c->Next())
        if (auto* op = dynamic_cast<TExprGroupOp*>(c))
            return op;
    return nullptr;
}
} // namespace

int TExprGroupOp::OperatorHeight() {
    if (InvalidMask() & imOwn2) {
        if (TExprGroupOp* inner = innerOperator(Son())) {
            m_OperatorHeight = inner->OperatorHeight();
        } else {
            TExprClass* o = Son();
            const int half = std::max({o ? o->MidLineUp() : 0, o ? -o->MidLineDn() : 0, TextHeight() / 2});
            m_OperatorHeight = roundEven(2.25 * half);
        }
        ClearInvalid(imOwn2);
    }
    return m_OperatorHeight;
}

int TExprGroupOp::SymbolWidth() {
    if (InvalidMask() & imOwn1) {
        m_SymbolWidth = CalcSymbolWidth();
        ClearInvalid(imOwn1);
    }
    return m_SymbolWidth;
}

int TExprGroupOp::LowerHeight() {
    int lo = Sub() ? Sub()->Height() : 2 * m_LineY;
    if (auto* inner = dynamic_cast<TExprGroupOp*>(Son()))
        lo = std::max(lo, inner->LowerHeight());
    return lo;
}

int TExprGroupOp::UpperHeight() {
    int up = Sup() ? Sup()->Height() : 2 * m_LineY;
    if (auto* inner = dynamic_cast<TExprGroupOp*>(Son()))
        up = std::max(up, inner->UpperHeight());
    return up;
}

int TExprGroupOp::CalcWidth() {
    return std::max({widthOf(Sub()), widthOf(Sup()), SymbolWidth()}) + widthOf(Son()) + 5 * m_LineX;
}

int TExprGroupOp::CalcHeight() { return UpperHeight() + OperatorHeight() + LowerHeight(); }

int TExprGroupOp::CalcMidLine(bool fromBottom) {
    const int h = OperatorHeight();
    return fromBottom ? -(LowerHeight() + (h - 1) / 2) : UpperHeight() + h / 2;
}

void TExprGroupOp::Paint(int X, int Y) {
    const int h = OperatorHeight();
    const int m = Y + MidLineUp();
    const int c = std::max({widthOf(Sub()), widthOf(Sup()), SymbolWidth()});
    const int cx = X + c / 2 + 2 * m_LineX;
    SetPenAndBrush();
    if (h / 2 >= kLargeSymbolHalfHeight)
        PaintLargeSymbol(cx, m);
    else
        PaintSmallSymbol(cx, m);
    if (Sup())
        Sup()->Draw(cx, m - h / 2, 1, 2);
    if (Sub())
        Sub()->Draw(cx, m + h / 2, 1, 0);
    if (Son())
        Son()->Draw(X + c + 5 * m_LineX, m, 0, 1);
}

void TExprGroupOp::PaintOutline(const int (*points)[2], int count, double ox, double oy, double h) {
    // Points in 1/10000 of h with y upwards; the first is a vertex, then triples of control, control, end.
    const double sx = h / 10000.0 * AspectXY();
    const double sy = h / 10000.0;
    auto pt = [&](int i) { return QPointF(ox + points[i][0] * sx, oy - points[i][1] * sy); };
    QPainterPath path;
    path.moveTo(pt(0));
    for (int i = 1; i + 2 < count; i += 3)
        path.cubicTo(pt(i), pt(i + 1), pt(i + 2));
    path.closeSubpath();
    Outlines::fillAndStroke(*Canvas(), path);
}

namespace {

// Filled polygon in floating-point pixels, antialiased, in the current pen and brush.
void fillPolygon(QPainter& painter, const QPolygonF& polygon) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.drawPolygon(polygon);
    painter.restore();
}

struct SmallBox {
    double left, right, top, bottom, thick, thin, thickX, thinX;
};

SmallBox smallBox(int cx, int cy, int h, int sw, double aspect) {
    SmallBox b;
    b.left = cx - sw / 2;
    b.right = b.left + sw;
    b.top = cy - h / 2;
    b.bottom = b.top + h;
    b.thick = std::max(1, roundEven(0.1 * h));
    b.thin = std::max(1, roundEven(0.05 * h));
    b.thickX = b.thick * aspect;
    b.thinX = b.thin * aspect;
    return b;
}

} // namespace

TExprSumma::TExprSumma(TExprPtr operand, TExprPtr lower, TExprPtr upper)
    : TExprGroupOp(std::move(operand), std::move(lower), std::move(upper)) {}

int TExprSumma::CalcSymbolWidth() { return roundEven(OperatorHeight() * 0.739 * AspectXY()); }

void TExprSumma::PaintSmallSymbol(int cx, int cy) {
    const SmallBox b = smallBox(cx, cy, OperatorHeight(), SymbolWidth(), AspectXY());
    const double w = b.right - b.left;
    const double h = b.bottom - b.top;
    const double apexX = b.left + 0.52 * w;
    const double apexY = b.top + 0.5 * h;
    const double serif = 0.2 * h;
    QPolygonF p;
    p << QPointF(b.left, b.top) << QPointF(b.right, b.top)                            // top bar
      << QPointF(b.right, b.top + serif) << QPointF(b.right - b.thinX, b.top + serif) // upper serif
      << QPointF(b.right - 2.5 * b.thinX, b.top + b.thin)                             //
      << QPointF(b.left + 1.3 * b.thickX, b.top + b.thin)                             // upper diagonal, inner
      << QPointF(apexX, apexY)                                                        // apex
      << QPointF(b.left + 1.2 * b.thinX, b.bottom - b.thin)                           // lower diagonal, inner
      << QPointF(b.right - 2.5 * b.thinX, b.bottom - b.thin)                          // bottom bar, top edge
      << QPointF(b.right - b.thinX, b.bottom - serif) << QPointF(b.right, b.bottom - serif) // lower serif
      << QPointF(b.right, b.bottom) << QPointF(b.left, b.bottom)                            // bottom bar
      << QPointF(b.left, b.bottom - 0.6 * b.thin)                                           //
      << QPointF(apexX - b.thickX, apexY)                                                   // apex, outer
      << QPointF(b.left, b.top + b.thin); // upper diagonal, outer
    fillPolygon(*Canvas(), p);
}

void TExprSumma::PaintLargeSymbol(int cx, int cy) {
    PaintOutline(kSumOutline, int(std::size(kSumOutline)), cx, cy, OperatorHeight());
}

TExprProd::TExprProd(TExprPtr operand, TExprPtr lower, TExprPtr upper)
    : TExprGroupOp(std::move(operand), std::move(lower), std::move(upper)) {}

int TExprProd::CalcSymbolWidth() { return roundEven(OperatorHeight() * 0.8561 * AspectXY()); }

void TExprProd::PaintSmallSymbol(int cx, int cy) {
    const SmallBox b = smallBox(cx, cy, OperatorHeight(), SymbolWidth(), AspectXY());
    const double w = b.right - b.left;
    const double a = 0.12 * w; // serif overhang beyond a leg
    const double leg = b.thickX;
    const double L = b.left, R = b.right, T = b.top, B = b.bottom, tn = b.thin;
    QPolygonF p;
    p << QPointF(L, T) << QPointF(R, T) << QPointF(R, T + tn) << QPointF(R - a, T + tn)
      << QPointF(R - a, B - tn) << QPointF(R, B - tn) << QPointF(R, B) << QPointF(R - 2 * a - leg, B)
      << QPointF(R - 2 * a - leg, B - tn) << QPointF(R - a - leg, B - tn) << QPointF(R - a - leg, T + tn)
      << QPointF(L + a + leg, T + tn) << QPointF(L + a + leg, B - tn) << QPointF(L + 2 * a + leg, B - tn)
      << QPointF(L + 2 * a + leg, B) << QPointF(L, B) << QPointF(L, B - tn) << QPointF(L + a, B - tn)
      << QPointF(L + a, T + tn) << QPointF(L, T + tn);
    fillPolygon(*Canvas(), p);
}

void TExprProd::PaintLargeSymbol(int cx, int cy) {
    PaintOutline(kProdOutline, int(std::size(kProdOutline)), cx, cy, OperatorHeight());
}

namespace {

// One integral sign in the box: a centre line of three cubic arcs (top hook, long slanted stem, bottom
// hook) drawn as a stroke that is thick in the middle and thin at the hooks, with a ball at each end.
// Coordinates are fractions of the box: x from its left edge, y upwards from its middle row.
void paintIntegralSign(QPainter& painter, const SmallBox& b) {
    static const double arcs[3][4][2] = {
        {{0.96, 0.405}, {0.93, 0.50}, {0.74, 0.53}, {0.63, 0.43}},
        {{0.63, 0.43}, {0.52, 0.30}, {0.48, -0.30}, {0.37, -0.43}},
        {{0.37, -0.43}, {0.26, -0.53}, {0.07, -0.50}, {0.04, -0.405}},
    };
    const double w = b.right - b.left;
    const double h = b.bottom - b.top;
    const double my = (b.top + b.bottom) / 2;
    auto at = [&](const double(*p)[2], double t) {
        const double u = 1 - t;
        const double x =
            u * u * u * p[0][0] + 3 * u * u * t * p[1][0] + 3 * u * t * t * p[2][0] + t * t * t * p[3][0];
        const double y =
            u * u * u * p[0][1] + 3 * u * u * t * p[1][1] + 3 * u * t * t * p[2][1] + t * t * t * p[3][1];
        return QPointF(b.left + x * w, my - y * h);
    };
    constexpr int kSteps = 16;
    std::vector<QPointF> centre;
    std::vector<double> thickness;
    const double thick = std::max(1.2, 0.085 * h);
    const double thin = std::max(0.8, 0.025 * h);
    for (int a = 0; a < 3; ++a)
        for (int i = (a == 0 ? 0 : 1); i <= kSteps; ++i) {
            const double t = double(i) / kSteps;
            centre.push_back(at(arcs[a], t));
            // Full weight in the middle of the stem, tapering over the hooks.
            const double s = (a + t) / 3.0;
            const double k = std::sin(s * M_PI);
            thickness.push_back(thin + (thick - thin) * k * k);
        }
    QPolygonF left;
    QPolygonF right;
    for (size_t i = 0; i < centre.size(); ++i) {
        const QPointF d = centre[std::min(i + 1, centre.size() - 1)] - centre[i > 0 ? i - 1 : 0];
        const double len = std::hypot(d.x(), d.y());
        const QPointF n = len > 0 ? QPointF(-d.y() / len, d.x() / len) : QPointF(1, 0);
        left << centre[i] + n * (thickness[i] / 2);
        right.prepend(centre[i] - n * (thickness[i] / 2));
    }
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.addPolygon(left + right);
    path.closeSubpath();
    const double ball = std::max(1.0, 0.045 * h);
    path.addEllipse(centre.front() + QPointF(-0.3 * ball, 0.5 * ball), ball, ball);
    path.addEllipse(centre.back() + QPointF(0.3 * ball, -0.5 * ball), ball, ball);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.drawPath(path);
    painter.restore();
}

} // namespace

TExprCirc::TExprCirc(TExprPtr operand, TExprPtr lower, TExprPtr upper)
    : TExprGroupOp(std::move(operand), std::move(lower), std::move(upper)) {}

int TExprCirc::CalcSymbolWidth() { return roundEven(OperatorHeight() * 0.2687 * AspectXY()); }

void TExprCirc::PaintSmallSymbol(int cx, int cy) {
    const SmallBox b = smallBox(cx, cy, OperatorHeight(), SymbolWidth(), AspectXY());
    paintIntegralSign(*Canvas(), b);
    const double w = b.right - b.left;
    TCanvas* canvas = Canvas();
    canvas->save();
    canvas->setRenderHint(QPainter::Antialiasing, true);
    canvas->setBrush(Qt::NoBrush);
    QPen pen = canvas->pen();
    pen.setWidthF(std::max(1.0, b.thin * 0.8));
    canvas->setPen(pen);
    canvas->drawEllipse(QPointF(cx, cy), w * 0.55, w * 0.4);
    canvas->restore();
}

void TExprCirc::PaintLargeSymbol(int cx, int cy) { PaintSmallSymbol(cx, cy); }

TExprIntegral::TExprIntegral(TExprPtr operand, int multiplicity, TExprPtr lower, TExprPtr upper)
    : TExprGroupOp(std::move(operand), std::move(lower), std::move(upper)), m_Multiplicity(multiplicity) {}

int TExprIntegral::SignWidth() { return roundEven(OperatorHeight() * 0.2687 * AspectXY()); }

int TExprIntegral::CalcSymbolWidth() {
    const int w1 = SignWidth();
    if (m_Multiplicity >= 1)
        return m_Multiplicity * w1 + (m_Multiplicity - 1) * m_LineX;
    return 3 * w1 + 4 * m_LineX + TextWidth(QString(QChar(8230)));
}

void TExprIntegral::PaintSign(int left, int cy, bool) {
    const int w1 = SignWidth();
    paintIntegralSign(*Canvas(), smallBox(left + w1 / 2, cy, OperatorHeight(), w1, AspectXY()));
}

void TExprIntegral::PaintSigns(int cx, int cy, bool large) {
    const int w1 = SignWidth();
    const int sw = SymbolWidth();
    const int start = cx - sw / 2;
    if (m_Multiplicity >= 1) {
        for (int k = 0; k < m_Multiplicity; ++k)
            PaintSign(start + k * (w1 + m_LineX), cy, large);
        return;
    }
    PaintSign(start, cy, large);
    PaintSign(start + w1 + m_LineX, cy, large);
    const int h = OperatorHeight();
    const int symbolTop = cy - h / 2;
    ApplyFont();
    TextOut(start + 2 * w1 + 3 * m_LineX, symbolTop + h - TextHeight(), QString(QChar(8230)));
    SetPenAndBrush();
    PaintSign(start + sw - w1, cy, large);
}

void TExprIntegral::PaintSmallSymbol(int cx, int cy) { PaintSigns(cx, cy, false); }
void TExprIntegral::PaintLargeSymbol(int cx, int cy) { PaintSigns(cx, cy, true); }
