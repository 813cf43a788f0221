// Refreshing a list window on the store's change notices and on F5.
#include "widgets/LiveList.h"

#include "data/DataMod.h"
#include "platform/ErrorDisplay.h"
#include "platform/Log.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace Widgets {

namespace {

// A statement under way on the store's connection: the refresh waits this long and looks again.
constexpr int kRetryMs = 200;

} // namespace

TLiveList::TLiveList(QWidget* window, const QStringList& tables, std::function<void()> refresh)
    : QObject(window), m_window(window), m_tables(tables), m_refresh(std::move(refresh)) {
    m_action = new QAction(QStringLiteral("&Обновить"), window);
    m_action->setObjectName(QStringLiteral("Refresh_Action"));
    m_action->setShortcut(QKeySequence(Qt::Key_F5));
    m_action->setShortcutContext(Qt::WindowShortcut);
    m_action->setStatusTip(QStringLiteral("Прочитать список заново"));
    window->addAction(m_action);
    connect(m_action, &QAction::triggered, this, [this] {
        m_pending = false;
        Platform::guarded(m_refresh);
    });
    m_retry = new QTimer(this);
    m_retry->setSingleShot(true);
    m_retry->setInterval(kRetryMs);
    connect(m_retry, &QTimer::timeout, this, &TLiveList::refreshWhenOnTop);
    if (Main_DataModule)
        connect(Main_DataModule, &TMain_DataModule::StoreChanged, this, &TLiveList::changed);
    window->installEventFilter(this);
}

void TLiveList::changed(const QStringList& tables) {
    for (const QString& t : tables)
        if (m_tables.contains(t)) {
            m_pending = true;
            refreshWhenOnTop();
            return;
        }
}

void TLiveList::refreshWhenOnTop() {
    if (!m_pending || !m_window->isVisible())
        return;
    // A window under a modal one waits for it to close: the modal window may be walking the same list.
    const QWidget* modal = QApplication::activeModalWidget();
    if (modal != (m_window->isModal() ? m_window : nullptr))
        return;
    if (Main_DataModule && Main_DataModule->Busy()) {
        m_retry->start();
        return;
    }
    // Without a link the list would come back empty: it waits for F5 or the link's return.
    if (Main_DataModule && !Main_DataModule->ChangeWatchWorking())
        return;
    m_pending = false;
    try {
        m_refresh();
    } catch (const std::exception& e) {
        // Nobody asked for this refresh: no message; the list stays as it was, to be read again later.
        m_pending = true;
        const auto* error = dynamic_cast<const Platform::EError*>(&e);
        Platform::LogError(QStringLiteral("Обновление списка"), error && !error->detail().isEmpty()
                                                                    ? error->detail()
                                                                    : QString::fromUtf8(e.what()));
    }
}

bool TLiveList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window && m_pending &&
        (event->type() == QEvent::WindowUnblocked || event->type() == QEvent::WindowActivate))
        QTimer::singleShot(0, this, &TLiveList::refreshWhenOnTop);
    return QObject::eventFilter(watched, event);
}

void ReopenKeepingRow(Data::TDataset& dataset, const QString& keyField) {
    const QVariant key =
        dataset.Active() && !dataset.IsEmpty() ? dataset.FieldByName(keyField).Value() : QVariant();
    dataset.Close();
    dataset.Open();
    if (!key.isValid() || !dataset.Locate(keyField, key))
        dataset.First();
}

} // namespace Widgets
