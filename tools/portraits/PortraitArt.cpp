// Demo portraits: a face built from features picked by a small random generator seeded with the
// portrait's number, drawn with QPainter, then encoded with libjpeg.
#include "tools/portraits/PortraitArt.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

namespace Portraits {

namespace {

// A small deterministic generator (the same faces on every machine and build).
class TSeed {
public:
    explicit TSeed(quint32 seed) : m_state(seed * 2654435761u + 0x9E3779B9u) { next(); }
    quint32 next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    int pick(int n) { return static_cast<int>(next() % static_cast<quint32>(n)); }
    // A value in [lo, hi].
    double range(double lo, double hi) { return lo + (hi - lo) * (next() % 10001u) / 10000.0; }

private:
    quint32 m_state;
};

QColor grey(int v) { return QColor(v, v, v); }

struct TFace {
    int shape;     // 0 oval, 1 round, 2 long, 3 square jaw, 4 pointed chin
    double width;  // face half-width
    double height; // face half-height
    int skin;      // grey of the skin
    int hair;      // 0 bald, 1 short, 2 long, 3 curly, 4 side part, 5 bun, 6 crew cut
    int hairTone;
    int eyes; // 0 round, 1 narrow, 2 wide open, 3 sleepy
    double eyeGap;
    int brows; // 0 straight, 1 raised, 2 frowning, 3 sad
    int browWeight;
    int nose;  // 0 line, 1 wide, 2 long, 3 button
    int mouth; // 0 smile, 1 straight, 2 frown, 3 open, 4 grin
    double mouthWidth;
    int glasses; // 0 none, 1 round, 2 square
    int beard;   // 0 none, 1 full, 2 goatee, 3 moustache, 4 stubble
    int background;
    int clothes;
};

TFace pickFace(int series, int portrait) {
    TSeed r(static_cast<quint32>(series * 97 + portrait * 13));
    TFace f{};
    f.shape = r.pick(5);
    f.width = r.range(36, 48);
    f.height = r.range(52, 64);
    f.skin = 150 + r.pick(80);
    f.hair = r.pick(7);
    f.hairTone = 20 + r.pick(150);
    f.eyes = r.pick(4);
    f.eyeGap = r.range(15, 21);
    f.brows = r.pick(4);
    f.browWeight = 2 + r.pick(4);
    f.nose = r.pick(4);
    f.mouth = r.pick(5);
    f.mouthWidth = r.range(12, 22);
    f.glasses = r.pick(5) < 3 ? 0 : 1 + r.pick(2);
    f.beard = r.pick(8) < 4 ? 0 : 1 + r.pick(4);
    f.background = 60 + r.pick(170);
    f.clothes = 20 + r.pick(200);
    // Within one series the eight faces differ at least in hair and face shape.
    f.hair = (f.hair + portrait * 3) % 7;
    f.shape = (f.shape + portrait) % 5;
    return f;
}

QPainterPath faceOutline(const TFace& f, QPointF c) {
    QPainterPath path;
    const double w = f.width;
    const double h = f.height;
    switch (f.shape) {
    case 1:
        path.addEllipse(c, w + 4, h - 6);
        break;
    case 2:
        path.addEllipse(c, w - 4, h + 4);
        break;
    case 3:
        path.moveTo(c.x() - w, c.y() - h * 0.3);
        path.cubicTo(c.x() - w, c.y() - h * 1.35, c.x() + w, c.y() - h * 1.35, c.x() + w, c.y() - h * 0.3);
        path.lineTo(c.x() + w * 0.95, c.y() + h * 0.6);
        path.quadTo(c.x() + w * 0.9, c.y() + h, c.x(), c.y() + h);
        path.quadTo(c.x() - w * 0.9, c.y() + h, c.x() - w * 0.95, c.y() + h * 0.6);
        path.closeSubpath();
        break;
    case 4:
        path.moveTo(c.x() - w, c.y() - h * 0.2);
        path.cubicTo(c.x() - w, c.y() - h * 1.35, c.x() + w, c.y() - h * 1.35, c.x() + w, c.y() - h * 0.2);
        path.cubicTo(c.x() + w, c.y() + h * 0.5, c.x() + w * 0.3, c.y() + h, c.x(), c.y() + h * 1.02);
        path.cubicTo(c.x() - w * 0.3, c.y() + h, c.x() - w, c.y() + h * 0.5, c.x() - w, c.y() - h * 0.2);
        path.closeSubpath();
        break;
    default:
        path.addEllipse(c, w, h);
    }
    return path;
}

void drawHairBack(QPainter& p, const TFace& f, QPointF c) {
    p.setPen(Qt::NoPen);
    p.setBrush(grey(f.hairTone));
    if (f.hair == 2) // long hair falls behind the shoulders
        p.drawRoundedRect(
            QRectF(c.x() - f.width - 12, c.y() - f.height - 10, 2 * f.width + 24, 2 * f.height + 50), 30, 30);
    if (f.hair == 5) // bun on top
        p.drawEllipse(QPointF(c.x(), c.y() - f.height - 14), 20, 17);
}

void drawHairFront(QPainter& p, const TFace& f, QPointF c) {
    const double w = f.width;
    const double h = f.height;
    const double top = c.y() - h;
    p.setPen(Qt::NoPen);
    p.setBrush(grey(f.hairTone));
    QPainterPath cap;
    switch (f.hair) {
    case 0: // bald: a fringe above the ears only
        p.drawEllipse(QPointF(c.x() - w + 3, c.y() - h * 0.3), 5, 11);
        p.drawEllipse(QPointF(c.x() + w - 3, c.y() - h * 0.3), 5, 11);
        return;
    case 1:
    case 2:
    case 5:
        cap.moveTo(c.x() - w - 3, c.y() - h * 0.15);
        cap.cubicTo(c.x() - w - 6, top - 22, c.x() + w + 6, top - 22, c.x() + w + 3, c.y() - h * 0.15);
        cap.cubicTo(c.x() + w * 0.6, top + 8, c.x() - w * 0.2, top + 22, c.x() - w - 3, c.y() - h * 0.15);
        p.drawPath(cap);
        return;
    case 3: // curls
        for (int i = 0; i < 11; ++i) {
            const double a = 3.1416 * (0.05 + 0.9 * i / 10.0);
            p.drawEllipse(QPointF(c.x() - std::cos(a) * (w + 2), top + 18 - std::sin(a) * 20), 13, 13);
        }
        return;
    case 4: // side part
        cap.moveTo(c.x() - w - 3, c.y() - h * 0.1);
        cap.cubicTo(c.x() - w - 4, top - 20, c.x() + w + 6, top - 20, c.x() + w + 3, c.y() - h * 0.25);
        cap.lineTo(c.x() + w - 4, top + 20);
        cap.cubicTo(c.x(), top + 4, c.x() - w * 0.6, top + 14, c.x() - w + 2, c.y() - h * 0.1);
        p.drawPath(cap);
        return;
    default: // crew cut: a thin flat cap
        cap.moveTo(c.x() - w + 1, c.y() - h * 0.35);
        cap.cubicTo(c.x() - w, top - 10, c.x() + w, top - 10, c.x() + w - 1, c.y() - h * 0.35);
        cap.lineTo(c.x() + w - 6, top + 10);
        cap.lineTo(c.x() - w + 6, top + 10);
        cap.closeSubpath();
        p.drawPath(cap);
    }
}

void drawEye(QPainter& p, const TFace& f, QPointF e) {
    const QColor dark = grey(30);
    switch (f.eyes) {
    case 1:
        p.setPen(QPen(dark, 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(e.x() - 7, e.y()), QPointF(e.x() + 7, e.y()));
        break;
    case 3:
        p.setPen(QPen(dark, 1.5));
        p.setBrush(grey(245));
        p.drawChord(QRectF(e.x() - 8, e.y() - 6, 16, 12), 0, -180 * 16);
        p.setBrush(dark);
        p.drawEllipse(QPointF(e.x(), e.y() + 2.5), 3, 3);
        break;
    default: {
        const double rx = f.eyes == 2 ? 8.5 : 7;
        const double ry = f.eyes == 2 ? 7 : 5;
        p.setPen(QPen(dark, 1.5));
        p.setBrush(grey(245));
        p.drawEllipse(e, rx, ry);
        p.setPen(Qt::NoPen);
        p.setBrush(dark);
        p.drawEllipse(e, 3.5, 3.5);
        p.setBrush(grey(250));
        p.drawEllipse(QPointF(e.x() + 1.2, e.y() - 1.2), 1, 1);
    }
    }
}

void drawBrow(QPainter& p, const TFace& f, QPointF e, int side) {
    p.setPen(QPen(grey(std::max(0, f.hairTone - 20)), f.browWeight, Qt::SolidLine, Qt::RoundCap));
    const double y = e.y() - 12;
    double inner = 0;
    double outer = 0;
    switch (f.brows) {
    case 1:
        inner = -4;
        outer = -3;
        break;
    case 2:
        inner = 4;
        outer = -4;
        break;
    case 3:
        inner = -4;
        outer = 4;
        break;
    }
    // side -1 = the left eye of the picture: its inner end is on the right.
    p.drawLine(QPointF(e.x() - side * 9, y + outer), QPointF(e.x() + side * 8, y + inner));
}

void drawNose(QPainter& p, const TFace& f, QPointF c) {
    p.setPen(QPen(grey(std::max(0, f.skin - 80)), 2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const double y = c.y() + 4;
    switch (f.nose) {
    case 0:
        p.drawLine(QPointF(c.x(), y - 14), QPointF(c.x() + 3, y + 6));
        p.drawLine(QPointF(c.x() + 3, y + 6), QPointF(c.x() - 4, y + 7));
        break;
    case 1:
        p.drawArc(QRectF(c.x() - 10, y - 2, 20, 12), 200 * 16, 140 * 16);
        p.drawPoint(QPointF(c.x() - 5, y + 6));
        p.drawPoint(QPointF(c.x() + 5, y + 6));
        break;
    case 2:
        p.drawLine(QPointF(c.x() - 2, y - 18), QPointF(c.x() - 5, y + 9));
        p.drawArc(QRectF(c.x() - 6, y + 4, 10, 7), 180 * 16, 180 * 16);
        break;
    default:
        p.setPen(Qt::NoPen);
        p.setBrush(grey(std::max(0, f.skin - 35)));
        p.drawEllipse(QPointF(c.x(), y + 4), 6, 5);
    }
}

void drawMouth(QPainter& p, const TFace& f, QPointF m) {
    const double w = f.mouthWidth;
    p.setPen(QPen(grey(std::max(0, f.skin - 110)), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath path;
    switch (f.mouth) {
    case 0:
        path.moveTo(m.x() - w, m.y() - 3);
        path.quadTo(m.x(), m.y() + 10, m.x() + w, m.y() - 3);
        break;
    case 1:
        path.moveTo(m.x() - w, m.y());
        path.lineTo(m.x() + w, m.y());
        break;
    case 2:
        path.moveTo(m.x() - w, m.y() + 5);
        path.quadTo(m.x(), m.y() - 6, m.x() + w, m.y() + 5);
        break;
    case 3:
        p.setBrush(grey(50));
        p.drawEllipse(m, w * 0.55, 6);
        return;
    default:
        p.setBrush(grey(240));
        path.moveTo(m.x() - w, m.y() - 2);
        path.quadTo(m.x(), m.y() + 14, m.x() + w, m.y() - 2);
        path.closeSubpath();
    }
    p.drawPath(path);
}

void drawBeard(QPainter& p, const TFace& f, QPointF c, QPointF mouth) {
    const QColor tone = grey(f.hairTone);
    p.setPen(Qt::NoPen);
    p.setBrush(tone);
    switch (f.beard) {
    case 1: {
        QPainterPath beard;
        beard.moveTo(c.x() - f.width + 2, c.y() + 2);
        beard.cubicTo(c.x() - f.width, c.y() + f.height + 26, c.x() + f.width, c.y() + f.height + 26,
                      c.x() + f.width - 2, c.y() + 2);
        beard.cubicTo(c.x() + f.width * 0.5, mouth.y() - 4, c.x() - f.width * 0.5, mouth.y() - 4,
                      c.x() - f.width + 2, c.y() + 2);
        p.drawPath(beard);
        break;
    }
    case 2:
        p.drawEllipse(QPointF(mouth.x(), mouth.y() + 20), 11, 14);
        break;
    case 3:
        p.drawEllipse(QPointF(mouth.x() - 9, mouth.y() - 7), 11, 4.5);
        p.drawEllipse(QPointF(mouth.x() + 9, mouth.y() - 7), 11, 4.5);
        break;
    case 4: {
        p.setPen(QPen(tone, 1));
        TSeed r(static_cast<quint32>(f.skin * 31 + f.hairTone));
        for (int i = 0; i < 160; ++i) {
            const double x = r.range(-f.width * 0.8, f.width * 0.8);
            const double y = r.range(f.height * 0.25, f.height * 0.95);
            if ((x * x) / (f.width * f.width) + (y * y) / (f.height * f.height) < 0.85)
                p.drawPoint(QPointF(c.x() + x, c.y() + y));
        }
        break;
    }
    }
}

void drawGlasses(QPainter& p, const TFace& f, QPointF le, QPointF re) {
    p.setPen(QPen(grey(25), 2));
    p.setBrush(Qt::NoBrush);
    if (f.glasses == 1) {
        p.drawEllipse(le, 12, 11);
        p.drawEllipse(re, 12, 11);
    } else {
        p.drawRoundedRect(QRectF(le.x() - 13, le.y() - 9, 26, 18), 3, 3);
        p.drawRoundedRect(QRectF(re.x() - 13, re.y() - 9, 26, 18), 3, 3);
    }
    const double inner = f.glasses == 1 ? 12 : 13;
    p.drawLine(QPointF(le.x() + inner, le.y()), QPointF(re.x() - inner, re.y()));
    p.drawLine(QPointF(le.x() - inner, le.y()), QPointF(le.x() - f.eyeGap - 14, le.y() - 3));
    p.drawLine(QPointF(re.x() + inner, re.y()), QPointF(re.x() + f.eyeGap + 14, re.y() - 3));
}

void check(bool ok, const QString& what) {
    if (!ok)
        throw std::runtime_error(what.toStdString());
}

} // namespace

QImage DrawPortrait(int series, int portrait) {
    const TFace f = pickFace(series, portrait);
    QImage canvas(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient bg(0, 0, 0, kHeight);
    bg.setColorAt(0, grey(std::min(255, f.background + 30)));
    bg.setColorAt(1, grey(std::max(0, f.background - 30)));
    p.fillRect(canvas.rect(), bg);

    const QPointF c(kWidth / 2.0, 108);
    drawHairBack(p, f, c);

    // Neck and shoulders.
    p.setPen(Qt::NoPen);
    p.setBrush(grey(std::max(0, f.skin - 25)));
    p.drawRect(QRectF(c.x() - 16, c.y() + f.height - 14, 32, 40));
    p.setBrush(grey(f.clothes));
    QPainterPath body;
    body.moveTo(0, kHeight);
    body.lineTo(0, 222);
    body.cubicTo(10, 186, 40, 182, c.x() - 18, c.y() + f.height + 16);
    body.lineTo(c.x() + 18, c.y() + f.height + 16);
    body.cubicTo(kWidth - 40, 182, kWidth - 10, 186, kWidth, 222);
    body.lineTo(kWidth, kHeight);
    body.closeSubpath();
    p.drawPath(body);
    p.setBrush(grey(std::max(0, f.skin - 25)));
    p.drawPolygon(
        QPolygonF({QPointF(c.x() - 14, c.y() + f.height + 14), QPointF(c.x() + 14, c.y() + f.height + 14),
                   QPointF(c.x(), c.y() + f.height + 34)}));

    // Ears, then the face over them.
    p.setBrush(grey(std::max(0, f.skin - 12)));
    p.drawEllipse(QPointF(c.x() - f.width, c.y() + 2), 7, 12);
    p.drawEllipse(QPointF(c.x() + f.width, c.y() + 2), 7, 12);
    p.setPen(QPen(grey(std::max(0, f.skin - 60)), 1.2));
    p.setBrush(grey(f.skin));
    p.drawPath(faceOutline(f, c));

    drawHairFront(p, f, c);

    const QPointF le(c.x() - f.eyeGap, c.y() - 6);
    const QPointF re(c.x() + f.eyeGap, c.y() - 6);
    drawEye(p, f, le);
    drawEye(p, f, re);
    drawBrow(p, f, le, -1);
    drawBrow(p, f, re, 1);
    drawNose(p, f, c);
    const QPointF mouth(c.x(), c.y() + 30);
    if (f.beard != 0)
        drawBeard(p, f, c, mouth);
    drawMouth(p, f, mouth);
    if (f.glasses != 0)
        drawGlasses(p, f, le, re);
    p.end();
    return canvas.convertToFormat(QImage::Format_Grayscale8);
}

QByteArray EncodeJpeg(const QImage& image, int quality) {
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    // Our own pictures of a known size: libjpeg cannot fail here short of memory, where its default
    // handler ending the tool is acceptable.
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(grey.width());
    cinfo.image_height = static_cast<JDIMENSION>(grey.height());
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row[1] = {
            const_cast<unsigned char*>(grey.constScanLine(static_cast<int>(cinfo.next_scanline)))};
        jpeg_write_scanlines(&cinfo, row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray data(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return data;
}

int WritePortraitSet(const QString& imagesDir, bool overwrite) {
    int written = 0;
    for (int series = 1; series <= 6; ++series) {
        const QString folder = imagesDir + QStringLiteral("/Ser") + QString::number(series);
        check(QDir().mkpath(folder), QStringLiteral("cannot create ") + folder);
        for (int portrait = 1; portrait <= 8; ++portrait) {
            const QString path =
                folder + QStringLiteral("/Photo") + QString::number(portrait) + QStringLiteral(".jpg");
            if (!overwrite && QFile::exists(path))
                continue;
            QFile file(path);
            check(file.open(QIODevice::WriteOnly), QStringLiteral("cannot write ") + path);
            const QByteArray jpeg = EncodeJpeg(DrawPortrait(series, portrait));
            check(file.write(jpeg) == jpeg.size(), QStringLiteral("cannot write ") + path);
            file.close();
            ++written;
        }
    }
    return written;
}

} // namespace Portraits
