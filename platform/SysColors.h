// Colour values as the settings file stores them: a signed 32-bit number, 0x00BBGGRR for an explicit
// colour, 0xFF0000nn for system colour number nn, resolved through the desktop's palette.
#pragma once

#include <QColor>

namespace Platform {

constexpr int kSystemColorFlag = static_cast<int>(0xFF000000u);
constexpr int clInfoBk = static_cast<int>(0xFF000018u); // tooltip background, system colour 24
constexpr int clWindow = static_cast<int>(0xFF000005u);
constexpr int clBtnFace = static_cast<int>(0xFF00000Fu);
constexpr int clWhite = 0x00FFFFFF;

bool IsSystemColor(int value);
// The colour a value stands for.
QColor ColorToQColor(int value);
// The value of an explicit colour (0x00BBGGRR).
int QColorToColor(const QColor& color);
// The desktop's colour for a system colour number (0 to 30).
QColor SystemColor(int index);

} // namespace Platform
