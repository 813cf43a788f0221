// QR codes.
#include "group/QrCode.h"

#include <QPainter>

#include <qrencode.h>

#include <memory>

namespace Group {

namespace {
constexpr int kQuietZone = 4;
}

QImage QrImage(const QString& text, int scale) {
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString8bit(text.toUtf8().constData(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!code)
        return {};
    const int modules = code->width;
    const int side = (modules + 2 * kQuietZone) * scale;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < modules; ++y)
        for (int x = 0; x < modules; ++x)
            // Bit 0 of each byte: the module is dark.
            if (code->data[y * modules + x] & 1)
                painter.fillRect((x + kQuietZone) * scale, (y + kQuietZone) * scale, scale, scale, Qt::black);
    return image;
}

} // namespace Group
