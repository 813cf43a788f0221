// Portraits for the browser page.
#include "group/Portraits.h"

#include "platform/JpegLoader.h"
#include "platform/Log.h"
#include "platform/ProgramDir.h"

#include <QFile>
#include <QImage>

#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace Group {

namespace {

constexpr std::array kWidths = {120, 160, 240, 320, 480, 640, 960};
constexpr int kQuality = 85;

// libjpeg's default error handler ends the process; this one jumps back to the encoder, which then
// serves nothing. Between setjmp and the jump no object with a destructor is made.
struct TErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void errorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<TErrorManager*>(cinfo->err)->jump, 1);
}

QByteArray encodeJpeg(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct cinfo{};
    TErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    volatile bool done = false;
    if (!setjmp(err.jump)) {
        jpeg_create_compress(&cinfo);
        jpeg_mem_dest(&cinfo, &buffer, &size);
        cinfo.image_width = static_cast<JDIMENSION>(image.width());
        cinfo.image_height = static_cast<JDIMENSION>(image.height());
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, kQuality, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            JSAMPROW row = const_cast<uchar*>(image.constScanLine(static_cast<int>(cinfo.next_scanline)));
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        done = true;
    }
    QByteArray result;
    if (done)
        result = QByteArray(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return result;
}

} // namespace

int TPortraits::WidthFor(int width) {
    for (const int w : kWidths)
        if (w >= width)
            return w;
    return kWidths.back();
}

QByteArray TPortraits::Picture(int series, int digit, int width) {
    width = WidthFor(width);
    const quint32 key = static_cast<quint32>(series * 100 + digit) << 16 | static_cast<quint32>(width);
    if (const auto it = m_cache.constFind(key); it != m_cache.constEnd())
        return *it;
    const QString path =
        Platform::DataPath(QStringLiteral("/DB/Images/Ser%1/Photo%2.jpg").arg(series).arg(digit));
    QByteArray picture;
    try {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw Platform::EJpegError(file.errorString());
        const QByteArray stored = file.readAll();
        // Decoded even when served as stored: only a readable picture goes out.
        const QImage image =
            Platform::DecodeJpeg(stored, path, Platform::TJpegTarget::Natural, QSize(width, 1));
        picture = image.width() <= width ? stored
                                         : encodeJpeg(image.scaledToWidth(width, Qt::SmoothTransformation));
    } catch (const Platform::EJpegError& e) {
        Platform::LogError(QStringLiteral("Портрет для браузера"), e.message());
    }
    m_cache.insert(key, picture);
    return picture;
}

} // namespace Group
