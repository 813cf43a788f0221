// Splash window.
#include "app/Splash_Frm.h"

#include "widgets/DialogLayout.h"
#include "widgets/Icons.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

TSplash_Form::TSplash_Form(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setAutoFillBackground(true);
    auto* outer = new QFrame(this);
    outer->setFrameStyle(QFrame::Panel | QFrame::Raised);

    auto* logoFrame = new QFrame(outer);
    logoFrame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    auto* logo = new QLabel(logoFrame);
    logo->setPixmap(Icons::logo(174, 90, logo->devicePixelRatioF()));
    (new QVBoxLayout(logoFrame))->addWidget(logo);
    logoFrame->layout()->setContentsMargins(3, 3, 3, 3);

    auto* title = new QLabel(QStringLiteral("Тест Morvel"), outer);
    QFont f = title->font();
    f.setPixelSize(16);
    f.setBold(true);
    f.setUnderline(true);
    title->setFont(f);
    // The text colour through the palette: a style sheet would bring in the style sheet machinery at start.
    QPalette navy = title->palette();
    navy.setColor(QPalette::WindowText, QColorConstants::Svg::navy);
    title->setPalette(navy);
    title->setAlignment(Qt::AlignCenter);

    auto* line = new QFrame(outer);
    line->setFrameStyle(QFrame::HLine | QFrame::Sunken);

    auto* wait = new QLabel(QStringLiteral("Подождите, идет загрузка..."), outer);
    wait->setAlignment(Qt::AlignCenter);

    Splash_ProgressBar = new QProgressBar(outer);
    Splash_ProgressBar->setRange(0, 2);
    Splash_ProgressBar->setValue(0);
    Splash_ProgressBar->setTextVisible(false);

    // From top to bottom: the logo, the title, a line, the text and the progress bar.
    auto* column = new QVBoxLayout(outer);
    for (QWidget* w : std::initializer_list<QWidget*>{logoFrame, title, line, wait, Splash_ProgressBar})
        column->addWidget(w);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(QMargins());
    layout->addWidget(outer);
    Widgets::OpenAt(this, QSize(204, 213));
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

void TSplash_Form::paintEvent(QPaintEvent* event) {
    m_painted = true;
    QWidget::paintEvent(event);
}

void TSplash_Form::StepIt() {
    if (m_stepAside)
        return;
    // The bar repaints itself when its value changes; the whole window only when it has not been
    // painted yet (a window system that exposes it later than show()).
    Splash_ProgressBar->setValue(Splash_ProgressBar->value() + 1);
    if (!m_painted)
        repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
