// The waiting window and its animation.
#include "results/WaitingFrm.h"

#include "widgets/DialogLayout.h"

#include <QApplication>
#include <QBoxLayout>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <cmath>
#include <numbers>

namespace {

TWaiting_Form* g_waiting = nullptr;
constexpr int kFrameMs = 60;
const QSize kAnimationSize(48, 48);

} // namespace

TWaitingAnimate::TWaitingAnimate(QWidget* parent) : QWidget(parent), m_timer(new QTimer(this)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_timer->setInterval(kFrameMs);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_frame = (m_frame + 1) % kFrames;
        update();
    });
}

QSize TWaitingAnimate::sizeHint() const { return kAnimationSize; }

void TWaitingAnimate::Play() {
    m_frame = 0;
    m_timer->start();
    update();
}

void TWaitingAnimate::Stop() { m_timer->stop(); }

void TWaitingAnimate::paintEvent(QPaintEvent*) {
    // Eight dots on a ring; the lead dot moves on by half a step per frame and the others fade behind it.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QPointF centre(width() / 2.0, height() / 2.0);
    const double ring = std::min(width(), height()) / 2.0 - 7;
    constexpr int kDots = 8;
    for (int i = 0; i < kDots; ++i) {
        const double angle = 2 * std::numbers::pi * (i / double(kDots) + m_frame / double(kFrames));
        const int age = kDots - 1 - i; // 0 for the lead dot
        QColor colour(0, 70, 160);
        colour.setAlphaF(1.0 - age * 0.11);
        p.setBrush(colour);
        const double r = 4.5 - age * 0.3;
        p.drawEllipse(centre + QPointF(ring * std::cos(angle), ring * std::sin(angle)), r, r);
    }
}

TWaiting_Form::TWaiting_Form(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);
    Waiting_Animate = new TWaitingAnimate(Panel1);
    StaticText1 = new QLabel(Panel1);
    StaticText1->setAlignment(Qt::AlignCenter);
    StaticText1->setWordWrap(true);
    StaticText1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StaticText1->setLineWidth(1);
    QFont font = StaticText1->font();
    font.setPointSize(10);
    font.setBold(true);
    StaticText1->setFont(font);
    auto* row = new QHBoxLayout(Panel1);
    row->addWidget(Waiting_Animate);
    row->addWidget(StaticText1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(QMargins());
    layout->addWidget(Panel1);
    Widgets::OpenAt(this, QSize(264, 64));
    if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TWaiting_Form::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Waiting_Animate->Play();
}

TWaiting_Form* WaitingForm() { return g_waiting; }

void ShowWaiting(const QString& text) {
    if (g_waiting)
        return;
    g_waiting = new TWaiting_Form;
    g_waiting->StaticText1->setText(text);
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    g_waiting->show();
    g_waiting->repaint();
}

void HideWaiting() {
    if (!g_waiting)
        return;
    TWaiting_Form* form = std::exchange(g_waiting, nullptr);
    form->hide();
    delete form;
}
