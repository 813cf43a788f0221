// A date field that takes a typed date right after a click: the click that brings the focus selects
// the first part of the date, a later click the part under the mouse, so digits always land somewhere.
#pragma once

#include <QDateEdit>

namespace Widgets {

class TDateEdit : public QDateEdit {
    Q_OBJECT
public:
    explicit TDateEdit(QWidget* parent = nullptr);

protected:
    void focusInEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void selectClickedSection();
    bool m_focusByClick = false;
};

} // namespace Widgets
