// Keeps a list window current while other workstations change its tables: a change the store announces
// refreshes the list at once when its window is on top (no modal window over it), else as soon as the
// window is on top again; "Обновить" (F5) refreshes it at any time. The refresh itself (reading the list
// again, keeping the current row and the selection) is the window's.
#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class QAction;
class QTimer;
class QWidget;
namespace Data {
class TDataset;
}

namespace Widgets {

class TLiveList : public QObject {
    Q_OBJECT
public:
    // `tables`: the store's tables the list shows ("DB", "USER", "GROUP", "TEST").
    TLiveList(QWidget* window, const QStringList& tables, std::function<void()> refresh);

    // "Обновить" with F5, added to the window; menus may show it too.
    QAction* RefreshAction() const { return m_action; }
    // The window read its list itself: a waiting change is taken in.
    void Refreshed() { m_pending = false; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void changed(const QStringList& tables);
    void refreshWhenOnTop();

    QWidget* m_window;
    QStringList m_tables;
    std::function<void()> m_refresh;
    QAction* m_action;
    QTimer* m_retry;
    bool m_pending = false;
};

// Reads the dataset again and moves back to the row with the same value of `keyField` (else the first).
void ReopenKeepingRow(Data::TDataset& dataset, const QString& keyField);

} // namespace Widgets
