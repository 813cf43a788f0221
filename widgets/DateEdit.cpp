// Date field that selects a part of the date on a click.
#include "widgets/DateEdit.h"

#include <QFocusEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>

namespace Widgets {

TDateEdit::TDateEdit(QWidget* parent) : QDateEdit(parent) { lineEdit()->installEventFilter(this); }

void TDateEdit::focusInEvent(QFocusEvent* event) {
    QDateEdit::focusInEvent(event);
    m_focusByClick = event->reason() == Qt::MouseFocusReason;
}

bool TDateEdit::eventFilter(QObject* watched, QEvent* event) {
    // The text part is the line edit's: its click has placed the cursor once the release is handled.
    if (watched == lineEdit() && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        QTimer::singleShot(0, this, &TDateEdit::selectClickedSection);
    return QDateEdit::eventFilter(watched, event);
}

void TDateEdit::selectClickedSection() {
    if (!hasFocus())
        return;
    // A whole date is typed from its first part; a click into a focused field picks the part clicked.
    if (m_focusByClick)
        setCurrentSectionIndex(0);
    m_focusByClick = false;
    setSelectedSection(currentSection());
}

} // namespace Widgets
