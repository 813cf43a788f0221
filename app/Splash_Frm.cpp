// Splash window.
#include "app/Splash_Frm.h"

#include "widgets/Icons.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

TSplash_Form::TSplash_Form(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setFixedSize(204, 213);
    setAutoFillBackground(true);
    auto* outer = new QFrame(this);
    outer->setFrameStyle(QFrame::Panel | QFrame::Raised);
    outer->setGeometry(0, 0, 204, 213);

    auto* logoFrame = new QFrame(this);
    logoFrame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    logoFrame->setGeometry(12, 10, 180, 96);
    auto* logo = new QLabel(logoFrame);
    logo->setPixmap(Icons::logo(174, 90, logo->devicePixelRatioF()));
    logo->setGeometry(3, 3, 174, 90);

    auto* title = new QLabel(QStringLiteral("Тест Morvel"), this);
    QFont f = title->font();
    f.setPixelSize(16);
    f.setBold(true);
    f.setUnderline(true);
    title->setFont(f);
    title->setStyleSheet(QStringLiteral("color: navy"));
    title->setAlignment(Qt::AlignCenter);
    title->setGeometry(8, 114, 188, 24);

    auto* line = new QFrame(this);
    line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    line->setGeometry(12, 144, 180, 2);

    auto* wait = new QLabel(QStringLiteral("Подождите, идет загрузка..."), this);
    wait->setAlignment(Qt::AlignCenter);
    wait->setGeometry(8, 152, 188, 20);

    Splash_ProgressBar = new QProgressBar(this);
    Splash_ProgressBar->setRange(0, 2);
    Splash_ProgressBar->setValue(0);
    Splash_ProgressBar->setTextVisible(false);
    Splash_ProgressBar->setGeometry(16, 180, 172, 16);

    if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    qApp->installEventFilter(this);
}

bool TSplash_Form::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched != this && watched->isWidgetType()) {
        const auto* widget = static_cast<const QWidget*>(watched);
        // Tool tips and menus belong to a window already shown; any other window is one to read.
        if (widget->isWindow() && widget->windowType() != Qt::ToolTip && widget->windowType() != Qt::Popup) {
            m_stepAside = true;
            qApp->removeEventFilter(this);
            hide();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TSplash_Form::StepIt() {
    if (m_stepAside)
        return;
    Splash_ProgressBar->setValue(Splash_ProgressBar->value() + 1);
    repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
