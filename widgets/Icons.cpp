// Icons and logo.
#include "widgets/Icons.h"

#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>

namespace Icons {

namespace {

const QColor kNavy(0, 0, 128);
const QColor kRed(200, 30, 30);
const QColor kGreen(20, 140, 40);
const QColor kBlue(30, 80, 200);

void person(QPainter& p, QPointF at, qreal scale, const QColor& color) {
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QRectF(at.x() - 2.2 * scale, at.y() - 6 * scale, 4.4 * scale, 4.4 * scale));
    QPainterPath body;
    body.moveTo(at.x() - 4 * scale, at.y() + 5 * scale);
    body.cubicTo(at.x() - 4 * scale, at.y() - 1.5 * scale, at.x() + 4 * scale, at.y() - 1.5 * scale,
                 at.x() + 4 * scale, at.y() + 5 * scale);
    body.closeSubpath();
    p.drawPath(body);
}

void database(QPainter& p, const QColor& color) {
    p.setPen(QPen(color.darker(150), 1));
    p.setBrush(color);
    p.drawRect(QRectF(2.5, 4, 9, 9));
    p.drawEllipse(QRectF(2.5, 11, 9, 4));
    p.setBrush(color.lighter(140));
    p.drawEllipse(QRectF(2.5, 2, 9, 4));
}

void badge(QPainter& p, const QColor& color, bool plus) {
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(color);
    p.drawEllipse(QRectF(8.5, 8.5, 7, 7));
    p.setPen(QPen(Qt::white, 1.4));
    p.drawLine(QPointF(10, 12), QPointF(14, 12));
    if (plus)
        p.drawLine(QPointF(12, 10), QPointF(12, 14));
}

// The program's icon: four portraits on a navy card, one marked as sympathetic, one as unpleasant.
void drawApp(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kNavy);
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    for (int i = 0; i < 4; ++i) {
        const QRectF cell(2 + (i % 2) * 6.25, 2 + (i / 2) * 6.25, 5.75, 5.75);
        p.setPen(i == 0   ? QPen(QColor(230, 60, 60), 0.9)
                 : i == 3 ? QPen(QColor(90, 150, 255), 0.9)
                          : Qt::NoPen);
        p.setBrush(QColor(240, 238, 230));
        p.drawRect(cell);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(120, 105, 95));
        p.drawEllipse(QPointF(cell.center().x(), cell.top() + 2.2), 1.1, 1.35);
        QPainterPath body;
        body.moveTo(cell.left() + 1, cell.bottom());
        body.cubicTo(cell.left() + 1, cell.bottom() - 2.6, cell.right() - 1, cell.bottom() - 2.6,
                     cell.right() - 1, cell.bottom());
        body.closeSubpath();
        p.drawPath(body);
    }
}

void arrow(QPainter& p, bool left) {
    // A green arrow pointing left or right.
    const qreal d = left ? -1 : 1;
    QPainterPath path;
    path.moveTo(8 + 6.5 * d, 8);
    path.lineTo(8 + 0.5 * d, 2);
    path.lineTo(8 + 0.5 * d, 5.5);
    path.lineTo(8 - 6 * d, 5.5);
    path.lineTo(8 - 6 * d, 10.5);
    path.lineTo(8 + 0.5 * d, 10.5);
    path.lineTo(8 + 0.5 * d, 14);
    path.closeSubpath();
    p.setPen(QPen(kGreen.darker(140), 1));
    p.setBrush(kGreen);
    p.drawPath(path);
}

// Draws the picture of a kind on a 16 × 16 square of the painter's coordinates.
void drawIcon(QPainter& p, Kind kind) {
    switch (kind) {
    case Kind::NewDB:
        database(p, QColor(230, 190, 90));
        badge(p, kGreen, true);
        break;
    case Kind::OpenDB: {
        p.setPen(QPen(QColor(150, 110, 20), 1));
        p.setBrush(QColor(240, 200, 90));
        p.drawRect(QRectF(1.5, 4.5, 13, 9));
        p.setBrush(QColor(250, 220, 120));
        QPolygonF flap{{1.5, 13.5}, {4, 7.5}, {15.5, 7.5}, {13, 13.5}};
        p.drawPolygon(flap);
        break;
    }
    case Kind::Exit:
        p.setPen(QPen(QColor(90, 60, 30), 1));
        p.setBrush(QColor(170, 120, 70));
        p.drawRect(QRectF(3.5, 1.5, 8, 13));
        p.setBrush(QColor(240, 210, 80));
        p.drawEllipse(QRectF(9, 7.5, 1.6, 1.6));
        break;
    case Kind::AddTest:
        person(p, {6.5, 8}, 1.0, kNavy);
        badge(p, kGreen, true);
        break;
    case Kind::EditTest: {
        person(p, {6, 8}, 1.0, kNavy);
        p.setPen(QPen(QColor(120, 80, 20), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9, 14), QPointF(15, 8));
        p.setPen(QPen(QColor(240, 200, 80), 1.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9.4, 13.6), QPointF(14.6, 8.4));
        break;
    }
    case Kind::DelTest:
        person(p, {6.5, 8}, 1.0, kNavy);
        p.setPen(QPen(kRed, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
        p.drawLine(QPointF(14.5, 10), QPointF(10, 14.5));
        break;
    case Kind::SeekTest:
        p.setPen(QPen(kNavy, 1.8));
        p.setBrush(QColor(200, 230, 255));
        p.drawEllipse(QRectF(2, 2, 8.5, 8.5));
        p.setPen(QPen(kNavy, 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
        break;
    case Kind::InputTest:
        p.setPen(QPen(Qt::darkGray, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(2.5, 1.5, 11, 13));
        p.setPen(QPen(kNavy, 1));
        for (int y = 4; y <= 12; y += 3)
            p.drawLine(QPointF(4.5, y + 0.5), QPointF(11.5, y + 0.5));
        break;
    case Kind::ResultTest:
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        p.drawRect(QRectF(2, 7, 3, 7));
        p.setBrush(kBlue);
        p.drawRect(QRectF(6.5, 3, 3, 11));
        p.setBrush(kGreen);
        p.drawRect(QRectF(11, 9, 3, 5));
        p.setPen(QPen(Qt::black, 1));
        p.drawLine(QPointF(1, 14.5), QPointF(15, 14.5));
        break;
    case Kind::Option: {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(100, 100, 110));
        p.translate(8, 8);
        for (int i = 0; i < 8; ++i) {
            p.drawRect(QRectF(-1.3, -7.5, 2.6, 4));
            p.rotate(45);
        }
        p.drawEllipse(QRectF(-5, -5, 10, 10));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(-2, -2, 4, 4));
        break;
    }
    case Kind::Group:
        person(p, {5, 8.5}, 0.9, kBlue);
        person(p, {11, 8.5}, 0.9, kNavy);
        break;
    case Kind::Help: {
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(1, 1, 14, 14));
        QFont f;
        f.setPixelSize(12);
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(1, 1, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case Kind::InternetHelp:
        p.setPen(QPen(kBlue, 1.1));
        p.setBrush(QColor(210, 235, 255));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(5, 1.5, 6, 13));
        p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
        p.drawLine(QPointF(8, 1.5), QPointF(8, 14.5));
        break;
    case Kind::About: {
        p.setPen(Qt::NoPen);
        p.setBrush(kNavy);
        p.drawEllipse(QRectF(1, 1, 14, 14));
        QFont f(QStringLiteral("Times New Roman"));
        f.setPixelSize(12);
        f.setBold(true);
        f.setItalic(true);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(1, 1, 14, 14), Qt::AlignCenter, QStringLiteral("i"));
        break;
    }
    case Kind::Back:
    case Kind::Forward:
        arrow(p, kind == Kind::Back);
        break;
    case Kind::Print:
        p.setPen(QPen(QColor(70, 70, 80), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(150, 150, 160));
        p.drawRoundedRect(QRectF(1.5, 6.5, 13, 6), 1.5, 1.5);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 10.5, 7, 4));
        break;
    case Kind::Spreadsheet:
        // A sheet with a green header row and grid lines.
        p.setPen(QPen(kGreen.darker(140), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 2.5, 13, 11));
        p.setBrush(kGreen);
        p.drawRect(QRectF(1.5, 2.5, 13, 3));
        p.setPen(QPen(QColor(150, 150, 160), 0.8));
        for (const qreal y : {8.5, 11.0})
            p.drawLine(QPointF(2, y), QPointF(14, y));
        for (const qreal x : {6.0, 10.0})
            p.drawLine(QPointF(x, 6), QPointF(x, 13));
        break;
    case Kind::Pdf: {
        // A page with a folded corner and a red band.
        QPainterPath page;
        page.moveTo(3.5, 1.5);
        page.lineTo(10, 1.5);
        page.lineTo(12.5, 4);
        page.lineTo(12.5, 14.5);
        page.lineTo(3.5, 14.5);
        page.closeSubpath();
        p.setPen(QPen(QColor(70, 70, 80), 1));
        p.setBrush(Qt::white);
        p.drawPath(page);
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        p.drawRect(QRectF(2, 8, 12, 4));
        p.setPen(QPen(QColor(150, 150, 160), 0.8));
        p.drawLine(QPointF(5, 5), QPointF(10, 5));
        break;
    }
    case Kind::Close:
        // A red cross.
        p.setPen(QPen(kRed, 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
        p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
        break;
    case Kind::App:
        drawApp(p);
        break;
    }
}

// An icon that draws itself at the size asked for, so it stays sharp on any screen scale.
class TDrawnIconEngine : public QIconEngine {
public:
    explicit TDrawnIconEngine(Kind kind) : m_kind(kind) {}
    QIconEngine* clone() const override { return new TDrawnIconEngine(m_kind); }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.topLeft());
        painter->scale(rect.width() / kUnits, rect.height() / kUnits);
        if (mode == QIcon::Disabled)
            painter->setOpacity(0.35);
        drawIcon(*painter, m_kind);
        painter->restore();
    }
    // Drawn once per size, mode and state: the window system asks for the program's icon in four sizes
    // for every window it opens, and buttons ask again at every repaint.
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        const quint64 key = quint64(quint32(size.width())) << 32 | quint64(quint16(size.height())) << 16 |
                            quint64(mode) << 4 | quint64(state);
        if (const auto found = m_drawn.constFind(key); found != m_drawn.cend())
            return *found;
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            paint(&p, QRect(QPoint(0, 0), size), mode, state);
        }
        m_drawn.insert(key, pm);
        return pm;
    }

private:
    static constexpr qreal kUnits = 16.0;
    Kind m_kind;
    QHash<quint64, QPixmap> m_drawn;
};

} // namespace

QIcon icon(Kind kind) { return QIcon(new TDrawnIconEngine(kind)); }

QPixmap logo(int width, int height, qreal devicePixelRatio) {
    QPixmap pm(QSize(width, height) * devicePixelRatio);
    pm.setDevicePixelRatio(devicePixelRatio);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal cellW = (width - 10) / 4.0;
    const qreal cellH = (height - 10) / 2.0;
    for (int i = 0; i < 8; ++i) {
        const QRectF cell(5 + (i % 4) * cellW + 2, 5 + (i / 4) * cellH + 2, cellW - 4, cellH - 4);
        QColor frame = QColor(200, 200, 200);
        if (i == 1 || i == 6)
            frame = QColor(220, 40, 40);
        else if (i == 3 || i == 4)
            frame = QColor(40, 80, 220);
        p.setPen(QPen(frame, 2));
        p.setBrush(QColor(240, 240, 236));
        p.drawRect(cell);
        const qreal cx = cell.center().x();
        const qreal r = std::min(cell.width(), cell.height()) * 0.22;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(110 + 12 * i, 100 + 8 * i, 95 + 5 * i));
        p.drawEllipse(QPointF(cx, cell.top() + cell.height() * 0.38), r, r * 1.25);
        QPainterPath shoulders;
        shoulders.moveTo(cell.left() + 3, cell.bottom() - 1);
        shoulders.cubicTo(cell.left() + 3, cell.bottom() - cell.height() * 0.32, cell.right() - 3,
                          cell.bottom() - cell.height() * 0.32, cell.right() - 3, cell.bottom() - 1);
        shoulders.closeSubpath();
        p.drawPath(shoulders);
    }
    return pm;
}

} // namespace Icons
