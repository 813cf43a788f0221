// Upper bound of a tree's laid-out size from its structure: every node class is bounded by its layout rule
// with generous sizes for a character (two font heights wide with its overhangs, 1.5 above and below its
// middle line) and a stroke (a tenth of the font height, which LineX and LineY stay under from 10 pixels
// on). Rows keep the part above and below the middle line apart, as the layout does, so that nesting
// adds to the bound instead of multiplying it.
#include "formula/ExprExtent.h"

#include <algorithm>
#include <cmath>

namespace ExprExtent {

namespace {

constexpr double kCharWidth = 2;
constexpr double kCharHalf = 1.5;
constexpr double kStroke = 0.1;
// A drawn sign: the widest (1.7 times "<") with its bearings, or a character with its bearings.
constexpr double kSignWidth = 2 * kCharWidth + 4 * kStroke;
// Italic overhangs and script offsets, a few design units.
constexpr double kSlack = 0.5;

// Width, and the parts above (up) and below (down) the middle line.
struct TBox {
    double width = 0;
    double up = 0;
    double down = 0;
    double height() const { return up + down; }
};

TBox of(TExprClass* node);

// A row: widths add up, the parts above and below the middle line are the largest of the children.
TBox row(TExprClass* first) {
    TBox r;
    for (TExprClass* c = first; c; c = c->Next()) {
        const TBox e = of(c);
        r.width += e.width;
        r.up = std::max(r.up, e.up);
        r.down = std::max(r.down, e.down);
    }
    return r;
}

// A box whose middle line may lie anywhere in its height.
TBox anyMiddle(double width, double height) { return {width, height, height}; }

TBox ofGroupOp(TExprGroupOp* op) {
    const TBox operand = row(op->Son());
    const TBox lower = row(op->Sub());
    const TBox upper = row(op->Sup());
    const double h = 2.25 * std::max({operand.up, operand.down, kCharHalf});
    double symbol = 0.9 * h;
    if (auto* integral = dynamic_cast<TExprIntegral*>(op)) {
        const double sign = 0.27 * h + kStroke;
        const int n = integral->Multiplicity();
        symbol = n >= 1 ? n * sign : 3 * sign + 4 * kStroke + kCharWidth;
    }
    // An inner operator's limits, which this one makes room for, lie within the operand.
    const double up = std::max({upper.height(), 2 * kStroke, operand.up});
    const double lo = std::max({lower.height(), 2 * kStroke, operand.down});
    return {std::max({lower.width, upper.width, symbol}) + operand.width + 5 * kStroke, up + h, lo + h};
}

TBox ofBigParent(TExprBigParent* big) {
    const TBox a = row(big->Son());
    const TBox b = row(big->Son2());
    if (dynamic_cast<TExprRatio*>(big))
        return {std::max(a.width, b.width) + 8 * kStroke, a.height() + 2 * kStroke, b.height() + 2 * kStroke};
    if (dynamic_cast<TExprRoot*>(big))
        return {a.width + 8 * kStroke + (a.height() + kStroke) / 2 + b.width, a.up + 3 * kStroke + b.height(),
                a.down};
    if (dynamic_cast<TExprAtValue*>(big))
        return {a.width + 3 * kStroke + b.width, a.up + b.height(), a.down};
    // Function application: name and argument side by side on a common middle line.
    return {a.width + 3 * kStroke + b.width, std::max(a.up, b.up), std::max(a.down, b.down)};
}

TBox ofParent(TExprParent* parent) {
    TExprClass* son = parent->Son();
    if (auto* twin = dynamic_cast<TExprTwinParent*>(parent)) {
        if (auto* op = dynamic_cast<TExprGroupOp*>(twin))
            return ofGroupOp(op);
        const TBox base = row(son);
        const TBox sub = row(twin->Sub());
        const TBox sup = row(twin->Sup());
        return {base.width + std::max(sub.width, sup.width) + kSlack, base.up + sup.height(),
                base.down + sub.height()};
    }
    if (dynamic_cast<TExprBracketed*>(parent)) {
        const TBox r = row(son);
        const double up = r.up + 2 * kStroke;
        const double down = r.down + 2 * kStroke;
        return {r.width + 2 * (0.2 * (up + down) + 7 * kStroke), up, down};
    }
    if (dynamic_cast<TExprChain*>(parent))
        return row(son);
    if (auto* big = dynamic_cast<TExprBigParent*>(parent))
        return ofBigParent(big);
    if (dynamic_cast<TExprLim*>(parent)) {
        const TBox e = row(son);
        return {std::max(3 * kCharWidth, e.width), kCharHalf, kCharHalf + e.height()};
    }
    if (auto* cap = dynamic_cast<TExprCap*>(parent)) {
        const TBox b = row(son);
        const double accent = std::max(4.0 * std::max(0, cap->DotCount()) * kStroke, kCharWidth);
        return {b.width + accent + kSlack, b.up + 11 * kStroke, b.down};
    }
    if (dynamic_cast<TExprStand*>(parent)) {
        double width = 0;
        double height = 0;
        for (TExprClass* c = son; c; c = c->Next()) {
            const TBox line = of(c);
            width = std::max(width, line.width);
            height += line.height();
        }
        return anyMiddle(width, height);
    }
    if (auto* matrix = dynamic_cast<TExprMatrix*>(parent)) {
        const TBox cells = row(son);
        double cellWidth = 0;
        for (TExprClass* c = son; c; c = c->Next())
            cellWidth = std::max(cellWidth, of(c).width);
        return anyMiddle(matrix->Cols() * (cellWidth + 6 * kStroke), matrix->Rows() * cells.height());
    }
    if (dynamic_cast<TExprCase*>(parent)) {
        double values = 0;
        double conditions = 0;
        double height = 1;
        bool isValue = true;
        TBox value;
        for (TExprClass* c = son; c; c = c->Next(), isValue = !isValue) {
            const TBox e = of(c);
            if (isValue) {
                values = std::max(values, e.width);
                value = e;
            } else {
                conditions = std::max(conditions, e.width);
                height += std::max(value.up, e.up) + std::max(value.down, e.down) + 2 * kStroke;
            }
        }
        return anyMiddle(values + conditions + 18 * kStroke + kSlack, height);
    }
    return row(son);
}

TBox of(TExprClass* node) {
    if (auto* parent = dynamic_cast<TExprParent*>(node))
        return ofParent(parent);
    if (auto* text = dynamic_cast<TExprSimple*>(node))
        return {kCharWidth * double(text->Text().size() + 1), kCharHalf, kCharHalf};
    if (auto* number = dynamic_cast<TExprNumber*>(node)) {
        const double width = kCharWidth * double(number->Mantissa().size() + number->Exponent().size() + 4);
        return {width, 1.2 * kCharHalf, 1.2 * kCharHalf};
    }
    if (dynamic_cast<TExprSign*>(node))
        return {kSignWidth, kCharHalf, kCharHalf};
    if (dynamic_cast<TExprExtSymbol*>(node))
        return {2 * kCharWidth, kCharHalf, kCharHalf};
    if (auto* space = dynamic_cast<TExprSpace*>(node))
        return {std::abs(double(space->Count())) * kStroke, 0, 0};
    if (auto* strokes = dynamic_cast<TExprStrokes*>(node))
        return {(4.0 * strokes->Count() + 2) * kStroke, kCharHalf, kCharHalf};
    if (dynamic_cast<TExprEmpty*>(node))
        return {0, kCharHalf, kCharHalf};
    return {};
}

} // namespace

TExtent ofChain(TExprClass* node) {
    const TBox box = row(node);
    return {box.width, box.height()};
}

} // namespace ExprExtent
