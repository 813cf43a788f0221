// Date field that selects a part of the date on a click.
#include "widgets/DateEdit.h"

#include <QFocusEvent>
#include <QMouseEvent>

namespace Widgets {

TDateEdit::TDateEdit(QWidget* parent) : QDateEdit(parent) {}

void TDateEdit::focusInEvent(QFocusEvent* event) {
    QDateEdit::focusInEvent(event);
    m_focusByClick = event->reason() == Qt::MouseFocusReason;
}

void TDateEdit::mouseReleaseEvent(QMouseEvent* event) {
    QDateEdit::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !hasFocus())
        return;
    // A whole date is typed from its first part; a click into a focused field picks the part clicked.
    if (m_focusByClick)
        setCurrentSectionIndex(0);
    m_focusByClick = false;
    setSelectedSection(currentSection());
}

} // namespace Widgets
