// What the dialogs' layouts share: the row of OK and cancel buttons, and the size a window opens at (a
// dialog at the size of its design, grown where its layout or its title needs more room; a window the
// user resizes at the size it last closed at).
#pragma once

#include <QDialogButtonBox>
#include <QSize>
#include <QString>

class QPushButton;
class QWidget;

namespace Widgets {

// The row of buttons at the bottom right of `dialog`: `ok` accepts and is the default button, `cancel`
// rejects; the caller connects their clicks.
QDialogButtonBox* ButtonRow(QWidget* dialog, QPushButton*& ok, QPushButton*& cancel,
                            const QString& okText = QStringLiteral("OK"),
                            const QString& cancelText = QStringLiteral("Отмена"));

// The width a title bar needs to show `title` whole, with room for the bar's icon and buttons.
int TitleWidth(const QString& title);

// Opens `window` (built on a layout) at `size`, or larger where the layout needs it, and keeps it at
// least as wide as its title, also when the title changes later.
void OpenAt(QWidget* window, QSize size);

// As OpenAt, but the window opens at the size it was last closed at when that differed from the size
// it had opened at; the size is kept under `key` in the section [Windows] of the settings file.
void RememberSize(QWidget* window, const QString& key, QSize size);

} // namespace Widgets
