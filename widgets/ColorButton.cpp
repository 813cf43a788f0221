// Colour button with its drop-down palette.
#include "widgets/ColorButton.h"

#include "platform/Dialogs.h"
#include "platform/SysColors.h"

#include <QGridLayout>
#include <QMenu>
#include <QPainter>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QWidgetAction>

namespace Widgets {

namespace {

constexpr int kSwatchSize = 18;
constexpr int kPaletteColumns = 8;

struct NamedColor {
    int value;
    const char16_t* name;
};

// The sixteen basic colours, then the system colours a row background is likely to take.
const NamedColor kPalette[] = {
    {0x000000, u"Черный"},
    {0x000080, u"Темно-бордовый"},
    {0x008000, u"Зеленый"},
    {0x008080, u"Оливковый"},
    {0x800000, u"Темно-синий"},
    {0x800080, u"Фиолетовый"},
    {0x808000, u"Сине-зеленый"},
    {0x808080, u"Серый"},
    {0xC0C0C0, u"Серебристый"},
    {0x0000FF, u"Красный"},
    {0x00FF00, u"Ярко-зеленый"},
    {0x00FFFF, u"Желтый"},
    {0xFF0000, u"Синий"},
    {0xFF00FF, u"Розовый"},
    {0xFFFF00, u"Голубой"},
    {0xFFFFFF, u"Белый"},
    {Platform::clInfoBk, u"Фон подсказки"},
    {Platform::clWindow, u"Фон окна"},
    {Platform::clBtnFace, u"Фон кнопки"},
    {static_cast<int>(0xFF000016u), u"Светлый край"},
};

QString colorName(int value) {
    for (const NamedColor& c : kPalette)
        if (c.value == value)
            return QString::fromUtf16(c.name);
    if (Platform::IsSystemColor(value))
        return QStringLiteral("Системный цвет %1").arg(value & 0xFF);
    const QColor c = Platform::ColorToQColor(value);
    return QStringLiteral("RGB(%1, %2, %3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

QIcon swatchIcon(int value) {
    QPixmap pixmap(kSwatchSize - 4, kSwatchSize - 4);
    pixmap.fill(Platform::ColorToQColor(value));
    QPainter p(&pixmap);
    p.setPen(Qt::gray);
    p.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    return QIcon(pixmap);
}

} // namespace

TColorButton::TColorButton(QWidget* parent) : QToolButton(parent), m_menu(new QMenu(this)) {
    setPopupMode(QToolButton::InstantPopup);
    setMenu(m_menu);
    setMinimumHeight(22);
    // As wide as the field it stands in: the colour is what it shows.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    rebuildPalette();
    SetColorValue(Platform::clWhite);
}

void TColorButton::SetColorValue(int value) {
    const bool changed = value != m_value;
    m_value = value;
    setToolTip(colorName(value));
    // The palette marks the current colour.
    for (QToolButton* swatch : m_menu->findChildren<QToolButton*>())
        swatch->setChecked(swatch->objectName() == QStringLiteral("Swatch_%1").arg(value));
    update();
    if (changed)
        Q_EMIT ColorChanged(value);
}

void TColorButton::AddCustomColor(int value) {
    if (m_custom.contains(value))
        return;
    m_custom.append(value);
    rebuildPalette();
}

QList<int> TColorButton::PaletteColors() const {
    QList<int> colors;
    for (const NamedColor& c : kPalette)
        colors.append(c.value);
    for (int v : m_custom)
        if (!colors.contains(v))
            colors.append(v);
    return colors;
}

void TColorButton::PickColor(int value) {
    m_menu->hide();
    SetColorValue(value);
}

bool TColorButton::OtherColor() {
    m_menu->hide();
    QColor color = Platform::ColorToQColor(m_value);
    QList<QColor> custom;
    for (int v : m_custom)
        custom.append(Platform::ColorToQColor(v));
    if (!Platform::chooseColor(window(), color, custom))
        return false;
    SetColorValue(Platform::QColorToColor(color));
    return true;
}

void TColorButton::rebuildPalette() {
    m_menu->clear();
    auto* grid = new QWidget(m_menu);
    auto* layout = new QGridLayout(grid);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    const QList<int> colors = PaletteColors();
    for (int i = 0; i < colors.size(); ++i) {
        const int value = colors[i];
        auto* swatch = new QToolButton(grid);
        swatch->setObjectName(QStringLiteral("Swatch_%1").arg(value));
        swatch->setAutoRaise(true);
        swatch->setCheckable(true);
        swatch->setChecked(value == m_value);
        swatch->setFixedSize(kSwatchSize + 4, kSwatchSize + 4);
        swatch->setIconSize(QSize(kSwatchSize - 4, kSwatchSize - 4));
        swatch->setIcon(swatchIcon(value));
        swatch->setToolTip(colorName(value));
        connect(swatch, &QToolButton::clicked, this, [this, value] { PickColor(value); });
        layout->addWidget(swatch, i / kPaletteColumns, i % kPaletteColumns);
    }
    auto* action = new QWidgetAction(m_menu);
    action->setDefaultWidget(grid);
    m_menu->addAction(action);
    m_menu->addSeparator();
    QAction* other = m_menu->addAction(QStringLiteral("&Другой..."));
    other->setObjectName(QStringLiteral("Other_Item"));
    connect(other, &QAction::triggered, this, [this] { OtherColor(); });
}

void TColorButton::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    p.drawComplexControl(QStyle::CC_ToolButton, option);
    // The colour fills the face left of the drop-down arrow.
    const int arrow = style()->pixelMetric(QStyle::PM_MenuButtonIndicator, &option, this);
    const QRect face = rect().adjusted(4, 4, -(arrow + 6), -4);
    p.fillRect(face, Platform::ColorToQColor(m_value));
    p.setPen(palette().color(QPalette::Shadow));
    p.drawRect(face.adjusted(0, 0, -1, -1));
}

} // namespace Widgets
