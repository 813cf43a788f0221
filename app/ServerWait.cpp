// Wait cursor and window of a statement that waits for the server.
#include "app/ServerWait.h"

#include "widgets/DialogLayout.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

TServerWait_Form::TServerWait_Form(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Сервер базы данных"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    auto* label = new QLabel(QStringLiteral("Ожидание ответа сервера…"), this);
    auto* bar = new QProgressBar(this);
    bar->setRange(0, 0); // moving: no end is known
    bar->setTextVisible(false);
    auto* buttons = new QDialogButtonBox(this);
    Cancel_But = buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    Cancel_But->setObjectName(QStringLiteral("Cancel_But"));
    Cancel_But->setToolTip(QStringLiteral("Не ждать ответа; несохранённое останется в окне"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(bar);
    layout->addWidget(buttons);
    Widgets::OpenAt(this, QSize(300, 110));
    connect(Cancel_But, &QPushButton::clicked, this, &QDialog::reject);
}

bool TServerWaitObserver::Waiting(qint64 elapsedMs) {
    if (elapsedMs < kCursorAfterMs)
        return false;
    if (!m_cursor) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_cursor = true;
    }
    if (elapsedMs >= kWindowAfterMs && !m_form) {
        // Over every window of the program: nothing else can be clicked while the wait lasts.
        m_form = new TServerWait_Form(QApplication::activeWindow());
        m_form->setWindowModality(Qt::ApplicationModal);
        QObject::connect(m_form, &QDialog::rejected, m_form, [this] { m_cancel = true; });
        m_form->show();
        // The window's own cursor: it can be clicked.
        m_form->setCursor(Qt::ArrowCursor);
        QApplication::changeOverrideCursor(Qt::BusyCursor);
    }
    // Until the window shows, the program only repaints; then the window takes clicks and keys.
    QApplication::processEvents(m_form ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    return m_cancel;
}

void TServerWaitObserver::Done() {
    if (m_cursor)
        QApplication::restoreOverrideCursor();
    m_cursor = false;
    m_cancel = false;
    delete m_form;
    m_form = nullptr;
}

void InstallServerWait() {
    static TServerWaitObserver observer;
    Data::Server::SetWaitObserver(&observer);
}
