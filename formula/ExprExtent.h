// An upper bound of the size a formula tree takes when laid out, worked out from its structure alone (no
// canvas, no font): the builder refuses trees whose bound is over kMaxFormulaExtent.
#pragma once

#include "formula/ExprNodes.h"

namespace ExprExtent {

// Width and height in units of the font height.
struct TExtent {
    double width = 0;
    double height = 0;
};

// The largest formula the builder accepts, in font heights each way: far beyond any formula a person
// reads, and small enough that its pixel sizes stay within TExprClass::MaxSize up to a font of 300 pixels.
constexpr double kMaxFormulaExtent = 200000;

// The bound of the chain starting at node (the node and its followers, side by side).
TExtent ofChain(TExprClass* node);

} // namespace ExprExtent
