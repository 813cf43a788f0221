// About box.
#include "app/About_Frm.h"

#include "app/Help_Frm.h"
#include "widgets/DialogLayout.h"
#include "widgets/Icons.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVariantAnimation>

const QString kContactEMail = QStringLiteral("morvel@example.org");

namespace {

const QString kPlaceAndYear = QStringLiteral("Новосибирск, 2026");
constexpr int kPortraits = 8;
constexpr int kLoopMs = 4000; // one walk over all portraits
const QColor kMaroon(128, 0, 0);
const QSize kAnimationSize(151, 108);

} // namespace

// ---- TLogoAnimation ----

TLogoAnimation::TLogoAnimation(QWidget* parent) : QWidget(parent), m_animation(new QVariantAnimation(this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_animation->setStartValue(0);
    m_animation->setEndValue(kPortraits);
    m_animation->setDuration(kLoopMs);
    m_animation->setLoopCount(-1);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        const int portrait = std::min(v.toInt(), kPortraits - 1);
        if (portrait != m_portrait) {
            m_portrait = portrait;
            update();
        }
    });
}

QSize TLogoAnimation::sizeHint() const { return kAnimationSize; }

void TLogoAnimation::Play() { m_animation->start(); }

bool TLogoAnimation::Playing() const { return m_animation->state() == QAbstractAnimation::Running; }

void TLogoAnimation::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, Icons::logo(width(), height(), devicePixelRatioF()));
    if (m_portrait < 0)
        return;
    // The same cell geometry as the logo's.
    const qreal cellW = (width() - 10) / 4.0;
    const qreal cellH = (height() - 10) / 2.0;
    const QRectF cell(5 + (m_portrait % 4) * cellW, 5 + (m_portrait / 4) * cellH, cellW, cellH);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kMaroon, 2));
    p.setBrush(QColor(255, 255, 255, 70));
    p.drawRoundedRect(cell.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
}

// ---- TLinkLabel ----

TLinkLabel::TLinkLabel(const QString& text, QString url, QWidget* parent)
    : QLabel(text, parent), m_url(std::move(url)) {
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    setTextColor(Qt::black);
}

void TLinkLabel::setTextColor(const QColor& color) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, color);
    setPalette(pal);
}

void TLinkLabel::enterEvent(QEnterEvent* event) {
    setTextColor(Qt::blue);
    QLabel::enterEvent(event);
}

void TLinkLabel::leaveEvent(QEvent* event) {
    setTextColor(Qt::black);
    QLabel::leaveEvent(event);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        OpenAddress(window(), m_url);
}

// ---- TAbout_Form ----

TAbout_Form::TAbout_Form(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("О программе"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setAutoFillBackground(true);
    QPalette white = panel->palette();
    white.setColor(QPalette::Window, Qt::white);
    panel->setPalette(white);

    auto* title = new QLabel(QStringLiteral("Тест Morvel"), panel);
    QFont titleFont(QStringLiteral("Verdana"));
    titleFont.setPixelSize(19);
    titleFont.setBold(true);
    title->setFont(titleFont);
    QPalette maroon = title->palette();
    maroon.setColor(QPalette::WindowText, kMaroon);
    title->setPalette(maroon);
    title->setAlignment(Qt::AlignCenter);

    Flash = new TLogoAnimation(panel);
    Flash->setObjectName(QStringLiteral("Flash"));

    auto* mailCaption = new QLabel(QStringLiteral("E-mail:"), panel);
    EMailLabel = new TLinkLabel(kContactEMail, QStringLiteral("mailto:") + kContactEMail, panel);
    EMailLabel->setObjectName(QStringLiteral("EMailLabel"));
    auto* mail = new QHBoxLayout;
    mail->setAlignment(Qt::AlignHCenter);
    mail->addWidget(mailCaption);
    mail->addWidget(EMailLabel);

    auto* place = new QLabel(kPlaceAndYear, panel);
    QFont bold = place->font();
    bold.setBold(true);
    place->setFont(bold);
    place->setAlignment(Qt::AlignCenter);
    auto* column = new QVBoxLayout(panel);
    column->addWidget(title);
    column->addWidget(Flash, 1, Qt::AlignCenter);
    column->addLayout(mail);
    column->addWidget(place);

    auto* buttons = new QDialogButtonBox(this);
    buttons->setCenterButtons(true);
    Ok_But = buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
    Ok_But->setDefault(true);
    Ok_But->setFocus();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel, 1);
    layout->addWidget(buttons);
    Widgets::OpenAt(this, QSize(298, 272));
    connect(Ok_But, &QPushButton::clicked, this, &QDialog::accept);

    Flash->Play();
}

void ShowAbout(QWidget* parent) {
    TAbout_Form form(parent);
    form.exec();
}
