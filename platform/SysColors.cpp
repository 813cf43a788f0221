// System colour numbers mapped to the application palette.
#include "platform/SysColors.h"

#include <QApplication>
#include <QPalette>
#include <QToolTip>

namespace Platform {

bool IsSystemColor(int value) { return (static_cast<unsigned>(value) & 0xFF000000u) == 0xFF000000u; }

QColor SystemColor(int index) {
    const QPalette pal = QApplication::palette();
    switch (index) {
    case 0: // scroll bar
        return pal.color(QPalette::Button);
    case 1: // desktop
        return pal.color(QPalette::Dark);
    case 2:  // active caption
    case 13: // highlight
    case 26: // hot light
    case 27: // gradient active caption
        return pal.color(QPalette::Highlight);
    case 3: // inactive caption
    case 28:
        return pal.color(QPalette::Inactive, QPalette::Highlight);
    case 4:  // menu
    case 15: // button face
    case 25:
    case 30: // menu bar
        return pal.color(QPalette::Button);
    case 5: // window
        return pal.color(QPalette::Base);
    case 6:  // window frame
    case 21: // 3D dark shadow
        return pal.color(QPalette::Shadow);
    case 7: // menu text
    case 8: // window text
        return pal.color(QPalette::WindowText);
    case 9:  // caption text
    case 14: // highlight text
        return pal.color(QPalette::HighlightedText);
    case 10: // active border
    case 11: // inactive border
    case 12: // application workspace
        return pal.color(QPalette::Window);
    case 16: // button shadow
        return pal.color(QPalette::Mid);
    case 17: // grey text
        return pal.color(QPalette::Disabled, QPalette::Text);
    case 18: // button text
        return pal.color(QPalette::ButtonText);
    case 19: // inactive caption text
        return pal.color(QPalette::Inactive, QPalette::HighlightedText);
    case 20: // button highlight
        return pal.color(QPalette::Light);
    case 22: // 3D light
        return pal.color(QPalette::Midlight);
    case 23: // tooltip text
        return QToolTip::palette().color(QPalette::ToolTipText);
    case 24: { // tooltip background: the desktop's, or the classic pale yellow when it has none
        const QColor c = QToolTip::palette().color(QPalette::ToolTipBase);
        return c.isValid() ? c : QColor(255, 255, 225);
    }
    case 29: // menu highlight
        return pal.color(QPalette::Highlight);
    default:
        return pal.color(QPalette::Base);
    }
}

QColor ColorToQColor(int value) {
    if (IsSystemColor(value))
        return SystemColor(value & 0xFF);
    const unsigned v = static_cast<unsigned>(value);
    return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

int QColorToColor(const QColor& color) { return color.red() | (color.green() << 8) | (color.blue() << 16); }

} // namespace Platform
