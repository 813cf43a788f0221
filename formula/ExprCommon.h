// Helpers shared by the node files of the formula engine, not part of its interface: rounding, the script
// scale, size arithmetic that cannot overflow, and the code page byte of a character.
#pragma once

#include "formula/ExprNodes.h"
#include "platform/Cp1251.h"

#include <algorithm>
#include <cmath>

namespace ExprCommon {

// Scripts, limits and indices are drawn at this fraction of their owner's font height.
constexpr double kScriptScale = 0.7;

// Rounding to the nearest integer with ties to even; values far outside any layout saturate.
inline int roundEven(double v) {
    constexpr double kLimit = double(1 << 30);
    return static_cast<int>(std::nearbyint(std::clamp(v, -kLimit, kLimit)));
}

// A size computed in 64 bits, brought back within the bound every cached size keeps.
inline int clampSize(qint64 v) {
    return int(std::clamp<qint64>(v, -TExprClass::MaxSize, TExprClass::MaxSize));
}

inline int widthOf(TExprClass* node) { return node ? node->Width() : 0; }
inline int heightOf(TExprClass* node) { return node ? node->Height() : 0; }

// The code page 1251 byte the character tables are written for; characters outside it count as '?'.
inline int cp1251Byte(QChar ch) { return Cp1251::toByte(ch); }

} // namespace ExprCommon
