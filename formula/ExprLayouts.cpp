// Accents, primes, the value-at bar, stacks, matrices, cases, roots and large operators of the formula
// engine.
#include "formula/ExprCommon.h"
#include "formula/ExprNodes.h"
#include "formula/ExprOutlines.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cmath>
#include <iterator>
#include <vector>

using namespace ExprCommon;

namespace {

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
        return clampSize(std::max<qint64>(0, 4 * qint64(m_DotCount) - 2) * m_LineX);
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

int TExprStrokes::CalcWidth() { return clampSize((4 * qint64(m_Count) + 2) * m_LineX); }

int TExprStrokes::CalcHeight() { return roundEven(0.6 * TextHeight()); }

void TExprStrokes::Paint(int X, int Y) {
    SetPenAndBrush();
    const int r = Y + roundEven(2 * m_UnitY);
    for (int k = 0; k < m_Count && (4 * k + 4) * m_LineX <= Width(); ++k) {
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
        GiveFont(Son2(), ScriptFonts(), *this);
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
    qint64 height = 0;
    for (TExprClass* c = Son(); c; c = c->Next())
        height += c->Height();
    return clampSize(height);
}

void TExprStand::Paint(int X, int Y) {
    qint64 y = Y;
    for (TExprClass* c = Son(); c && std::abs(y) <= MaxCoord; c = c->Next()) {
        if (m_Align == 1)
            c->Draw(X + Width() / 2, int(y), 1, 0);
        else if (m_Align == 2)
            c->Draw(X + Width() - 1, int(y), 2, 0);
        else
            c->Draw(X, int(y), 0, 0);
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
    return clampSize(qint64(m_Cols) * m_CellWidth + (kMatrixColumnGap * qint64(m_Cols) - 2) * m_LineX);
}

int TExprMatrix::CalcHeight() {
    CalcCellSize();
    return clampSize(qint64(m_Rows) * m_CellHeight);
}

void TExprMatrix::Paint(int X, int Y) {
    CalcCellSize();
    TExprClass* cell = Son();
    for (int i = 0; i < m_Rows && cell; ++i) {
        for (int j = 0; j < m_Cols && cell; ++j) {
            // Cells of a matrix too large to lay out are placed far off the canvas, where Draw skips them.
            const qint64 x = X + 2 * qint64(m_LineX) + m_CellWidth / 2 +
                             j * (qint64(m_CellWidth) + kMatrixColumnGap * m_LineX);
            const qint64 y = Y + qint64(m_CellHeight) / 2 + i * qint64(m_CellHeight);
            cell->Draw(int(std::clamp<qint64>(x, -MaxCoord - 1, MaxCoord + 1)),
                       int(std::clamp<qint64>(y, -MaxCoord - 1, MaxCoord + 1)), 1, 1);
            cell = cell->Next();
        }
    }
}

namespace {

// The case brace: the upper half of a closed outline of cubic segments (a start point, then triples of
// control, control, end), the lower half its mirror image about the middle row, run backwards. x in
// strokes from the outer (left) edge of the 7-stroke-wide brace; y from an anchor row, in hook radii and
// in strokes. The outline starts at the point on the middle row, runs up the outer side, over the cap of
// the upper hook and down the inner side into the notch opposite the point; the segment across the
// middle row (points 22 and 23, the second mirrored) joins the two halves.
struct TBracePoint {
    double x;
    bool fromTop;   // the anchor row: the top row, else the middle row
    double radii;   // downwards from the anchor, in hook radii
    double strokes; // downwards from the anchor, in strokes
};
constexpr TBracePoint kCaseBraceHalf[] = {
    {0.3, false, 0, 0},                                                   // the point
    {1.4, false, -0.1, 0}, {2.9, false, -0.45, 0}, {2.9, false, -1, 0},   // outer side leaves the point
    {2.9, false, -1, 0},   {2.9, true, 1, 0},      {2.9, true, 1, 0},     // outer side of the stem
    {2.9, true, 0.35, 0},  {4.3, true, 0, 0},      {6.6, true, 0, 0},     // outer side of the hook
    {6.6, true, 0, 0},     {6.6, true, 0, 0.9},    {6.6, true, 0, 0.9},   // cap of the hook
    {4.9, true, 0, 0.9},   {4.1, true, 0.45, 0},   {4.1, true, 1, 0},     // inner side of the hook
    {4.1, true, 1, 0},     {4.1, false, -1, 0},    {4.1, false, -1, 0},   // inner side of the stem
    {4.1, false, -0.4, 0}, {2.8, false, -0.1, 0},  {2.0, false, 0, -0.5}, // into the notch
    {1.7, false, 0, -0.2},                                                // across the middle row
};
constexpr int kCaseBracePoints = 2 * int(std::size(kCaseBraceHalf));
static_assert(kCaseBracePoints == 46);

// Draws the case brace from row top to row bottom (inclusive, an odd count) with its outer edge at x.
void paintCaseBrace(QPainter& painter, int x, int top, int bottom, int lineX, int lineY) {
    const double middle = (top + bottom) / 2.0;
    // The hooks curl over a few strokes, or over a quarter of the height on a low brace.
    const double r = std::min(3.0 * lineY + 0.06 * (bottom - top), (bottom - top) / 4.0);
    std::array<QPointF, kCaseBracePoints> points;
    for (size_t i = 0; i < std::size(kCaseBraceHalf); ++i) {
        const TBracePoint& p = kCaseBraceHalf[i];
        const double y = (p.fromTop ? top : middle) + p.radii * r + p.strokes * lineY;
        points[i] = QPointF(x + p.x * lineX, y);
        points[kCaseBracePoints - 1 - i] = QPointF(x + p.x * lineX, 2 * middle - y);
    }
    QPainterPath path;
    path.moveTo(points[0]);
    for (int i = 1; i + 2 < kCaseBracePoints; i += 3)
        path.cubicTo(points[i], points[i + 1], points[i + 2]);
    path.closeSubpath();
    Outlines::fillAndStroke(painter, path);
}

} // namespace

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
    qint64 height = 0;
    qint64 rows = 0;
    ForEachRow([&](const Row& row) {
        height += row.ascent + row.descent;
        ++rows;
    });
    return clampSize(height + std::max<qint64>(0, rows - 1) * 2 * m_LineY);
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
    paintCaseBrace(*Canvas(), X, Y, Y + H - 1, m_LineX, m_LineY);
    qint64 top = Y;
    ForEachRow([&](const Row& row) {
        const int y = int(std::clamp<qint64>(top + row.ascent, -MaxCoord - 1, MaxCoord + 1));
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
        GiveFont(Son2(), ScriptFonts(), *this);
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
            m_OperatorHeight = clampSize(roundEven(2.25 * half));
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

QPainterPath TExprGroupOp::OutlinePath(const int (*points)[2], int count, double ox, double oy,
                                       double h) const {
    // Points in 1/10000 of h with y upwards; the first is a vertex, then triples of control, control, end.
    const double sx = h / 10000.0 * AspectXY();
    const double sy = h / 10000.0;
    auto pt = [&](int i) { return QPointF(ox + points[i][0] * sx, oy - points[i][1] * sy); };
    QPainterPath path;
    path.moveTo(pt(0));
    for (int i = 1; i + 2 < count; i += 3)
        path.cubicTo(pt(i), pt(i + 1), pt(i + 2));
    path.closeSubpath();
    return path;
}

void TExprGroupOp::PaintOutline(const int (*points)[2], int count, double ox, double oy, double h) {
    Outlines::fillAndStroke(*Canvas(), OutlinePath(points, count, ox, oy, h));
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

// Outline of one large integral sign: 17 cubic segments and a straight closing edge, point-symmetric
// about the sign's centre. Units as for the sum; x runs from the sign's left edge (0) to its width (2687,
// that is 0.2687 of the operator height), y upwards from the centre row.
constexpr int kIntegralOutline[][2] = {
    {1744, 0},     {1900, 1000},  {1985, 2500},  {2000, 3650}, {2010, 4450}, {2110, 5000}, {2330, 5000},
    {2520, 5000},  {2687, 4880},  {2687, 4600},  {2687, 4280}, {2540, 4080}, {2380, 4080}, {2220, 4080},
    {2100, 4200},  {2100, 4380},  {2100, 4560},  {2010, 4640}, {1930, 4560}, {1810, 4430}, {1700, 3900},
    {1650, 3000},  {1600, 2300},  {1280, 1650},  {1150, 1200}, {1150, 1200}, {943, 0},     {943, 0},
    {787, -1000},  {702, -2500},  {687, -3650},  {677, -4450}, {577, -5000}, {357, -5000}, {167, -5000},
    {0, -4880},    {0, -4600},    {0, -4280},    {147, -4080}, {307, -4080}, {467, -4080}, {587, -4200},
    {587, -4380},  {587, -4560},  {677, -4640},  {757, -4560}, {877, -4430}, {987, -3900}, {1037, -3000},
    {1087, -2300}, {1407, -1650}, {1537, -1200},
};
static_assert(std::size(kIntegralOutline) == 52);

// The ring of the large contour integral: the outer and the inner ellipse around the sign's centre, four
// cubic segments each, the inner one running the other way; same units as the sign.
constexpr int kCircleOuter[][2] = {
    {2824, 0},    {2824, 594},  {2161, 1075},  {1344, 1075},  {527, 1075},  {-136, 594}, {-136, 0},
    {-136, -594}, {527, -1075}, {1344, -1075}, {2161, -1075}, {2824, -594}, {2824, 0},
};
constexpr int kCircleInner[][2] = {
    {2444, 0},  {2444, -384}, {1952, -695}, {1344, -695}, {736, -695}, {244, -384}, {244, 0},
    {244, 384}, {736, 695},   {1344, 695},  {1952, 695},  {2444, 384}, {2444, 0},
};
static_assert(std::size(kCircleOuter) == 13 && std::size(kCircleInner) == 13);

// The small ellipse of the contour integral, in widths of the sign.
constexpr double kSmallCircleRadiusX = 0.55;
constexpr double kSmallCircleRadiusY = 0.4;
// The small integral sign: the stem's centre at the top, in widths of the sign from its left edge (the
// bottom mirrors it), and where the curls meet the stem, in thin strokes from the top and the bottom.
constexpr double kSmallStemTop = 0.56;
constexpr double kSmallCurlDepth = 1.6;

// One small integral sign: a slanted stem between the thin and the thick weight, with a curl of the thin
// weight running out to the right edge at the top and to the left edge at the bottom; one filled polygon
// of six vertices, point-symmetric about the sign's centre.
void paintSmallIntegral(QPainter& painter, const SmallBox& b) {
    const double w = b.right - b.left;
    const double half = (b.thinX + b.thickX) / 4;
    const double top = b.left + kSmallStemTop * w;
    const double bottom = b.right - kSmallStemTop * w;
    const double depth = kSmallCurlDepth * b.thin;
    QPolygonF p;
    p << QPointF(top - half, b.top)                // stem, top left
      << QPointF(b.right, b.top + 0.5 * b.thin)    // upper curl, its end
      << QPointF(top + half, b.top + depth)        // upper curl meets the stem
      << QPointF(bottom + half, b.bottom)          // stem, bottom right
      << QPointF(b.left, b.bottom - 0.5 * b.thin)  // lower curl, its end
      << QPointF(bottom - half, b.bottom - depth); // lower curl meets the stem
    fillPolygon(painter, p);
}

} // namespace

TExprCirc::TExprCirc(TExprPtr operand, TExprPtr lower, TExprPtr upper)
    : TExprGroupOp(std::move(operand), std::move(lower), std::move(upper)) {}

int TExprCirc::CalcSymbolWidth() { return roundEven(OperatorHeight() * 0.2687 * AspectXY()); }

void TExprCirc::PaintSmallSymbol(int cx, int cy) {
    const SmallBox b = smallBox(cx, cy, OperatorHeight(), SymbolWidth(), AspectXY());
    paintSmallIntegral(*Canvas(), b);
    const double w = b.right - b.left;
    TCanvas* canvas = Canvas();
    canvas->save();
    canvas->setRenderHint(QPainter::Antialiasing, true);
    canvas->setBrush(Qt::NoBrush);
    QPen pen = canvas->pen();
    pen.setWidthF(b.thin);
    canvas->setPen(pen);
    canvas->drawEllipse(QPointF(cx + 0.5, cy + 0.5), w * kSmallCircleRadiusX, w * kSmallCircleRadiusY);
    canvas->restore();
}

void TExprCirc::PaintLargeSymbol(int cx, int cy) {
    const int h = OperatorHeight();
    const double left = cx - SymbolWidth() / 2;
    PaintOutline(kIntegralOutline, int(std::size(kIntegralOutline)), left, cy, h);
    QPainterPath ring = OutlinePath(kCircleOuter, int(std::size(kCircleOuter)), left, cy, h);
    ring.addPath(OutlinePath(kCircleInner, int(std::size(kCircleInner)), left, cy, h));
    ring.setFillRule(Qt::OddEvenFill);
    Outlines::fillAndStroke(*Canvas(), ring);
}

TExprIntegral::TExprIntegral(TExprPtr operand, int multiplicity, TExprPtr lower, TExprPtr upper)
    : TExprGroupOp(std::move(operand), std::move(lower), std::move(upper)), m_Multiplicity(multiplicity) {}

int TExprIntegral::SignWidth() { return roundEven(OperatorHeight() * 0.2687 * AspectXY()); }

int TExprIntegral::CalcSymbolWidth() {
    const int w1 = SignWidth();
    if (m_Multiplicity >= 1)
        return clampSize(qint64(m_Multiplicity) * w1 + (qint64(m_Multiplicity) - 1) * m_LineX);
    return 3 * w1 + 4 * m_LineX + TextWidth(QString(QChar(8230)));
}

void TExprIntegral::PaintSign(int left, int cy, bool large) {
    const int h = OperatorHeight();
    const int w1 = SignWidth();
    if (large)
        PaintOutline(kIntegralOutline, int(std::size(kIntegralOutline)), left, cy, h);
    else
        paintSmallIntegral(*Canvas(), smallBox(left + w1 / 2, cy, h, w1, AspectXY()));
}

void TExprIntegral::PaintSigns(int cx, int cy, bool large) {
    const int w1 = SignWidth();
    const int sw = SymbolWidth();
    const int start = cx - sw / 2;
    if (m_Multiplicity >= 1) {
        // Signs beyond the symbol's (bounded) width are not drawn.
        for (qint64 k = 0, x = start; k < m_Multiplicity && x - start <= sw; ++k, x += w1 + m_LineX)
            PaintSign(int(x), cy, large);
        return;
    }
    PaintSign(start, cy, large);
    PaintSign(start + w1 + m_LineX, cy, large);
    const int h = OperatorHeight();
    const int symbolTop = cy - h / 2;
    TextOut(start + 2 * w1 + 3 * m_LineX, symbolTop + h - TextHeight(), QString(QChar(8230)));
    SetPenAndBrush();
    PaintSign(start + sw - w1, cy, large);
}

void TExprIntegral::PaintSmallSymbol(int cx, int cy) { PaintSigns(cx, cy, false); }
void TExprIntegral::PaintLargeSymbol(int cx, int cy) { PaintSigns(cx, cy, true); }
