// JPEG decoding through the IJG API of libjpeg(-turbo).
#include "platform/JpegLoader.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
// After jpeglib.h: the message codes need its types.
#include <jerror.h>

namespace Platform {

namespace {

// libjpeg's default error handler ends the process; this one jumps back to the decoder with the
// message kept, so the caller gets an exception and the decompressor is destroyed cleanly.
struct TErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void errorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<TErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings mean damaged data (premature end of file, bad Huffman code): libjpeg would fill the rest
// with grey and carry on. A half-drawn portrait must never reach the testee, so they stop the decode
// too; only stray bytes between markers, common in camera files that decode fine, are tolerated.
void emitMessage(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code != JWRN_EXTRANEOUS_DATA)
        errorExit(cinfo);
}

void outputMessage(j_common_ptr) {}

// Format_RGB32 is 0xffRRGGBB in native byte order: B, G, R, X in memory on little-endian machines.
constexpr J_COLOR_SPACE kDisplaySpace = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;

QString pictureName(const QString& name) { return name.isEmpty() ? QStringLiteral("JPEG") : name; }

// Runs libjpeg calls with the jump target set; false when libjpeg reported an error. The calls must
// not own objects with destructors of their own: the jump would skip them.
template <class F> bool protectedCall(TErrorManager& err, F&& calls) {
    if (setjmp(err.jump))
        return false;
    calls();
    return true;
}

// libjpeg-turbo scales by n/8; the output side is the input side times n/8, rounded up.
constexpr unsigned kScaleDenom = 8;

unsigned scaledSide(unsigned side, unsigned num) { return (side * num + kScaleDenom - 1) / kScaleDenom; }

// The smallest n (1 to 8) whose scaled picture still covers `atLeast`.
unsigned scaleNumFor(unsigned width, unsigned height, QSize atLeast) {
    if (!atLeast.isValid())
        return kScaleDenom;
    for (unsigned num = 1; num < kScaleDenom; ++num)
        if (scaledSide(width, num) >= unsigned(atLeast.width()) &&
            scaledSide(height, num) >= unsigned(atLeast.height()))
            return num;
    return kScaleDenom;
}

} // namespace

QImage DecodeJpeg(const QByteArray& data, const QString& name, TJpegTarget target, QSize atLeast) {
    if (data.isEmpty())
        throw EJpegError(QStringLiteral("Рисунок «%1» пуст.").arg(pictureName(name)));

    jpeg_decompress_struct cinfo{};
    TErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.emit_message = emitMessage;
    err.pub.output_message = outputMessage;
    const auto fail = [&] {
        jpeg_destroy_decompress(&cinfo);
        return EJpegError(QStringLiteral("Не удалось прочитать рисунок «%1»: %2.")
                              .arg(pictureName(name), QString::fromLocal8Bit(err.message)));
    };

    bool cmyk = false;
    bool grey = false;
    if (!protectedCall(err, [&] {
            jpeg_create_decompress(&cinfo);
            jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                         static_cast<unsigned long>(data.size()));
            jpeg_read_header(&cinfo, TRUE);
        }))
        throw fail();
    if (cinfo.image_width > unsigned(kMaxJpegSide) || cinfo.image_height > unsigned(kMaxJpegSide)) {
        const unsigned width = cinfo.image_width, height = cinfo.image_height;
        jpeg_destroy_decompress(&cinfo);
        throw EJpegError(QStringLiteral("Рисунок «%1» слишком велик: %2 × %3 точек (допускается не более %4 "
                                        "точек по стороне).")
                             .arg(pictureName(name))
                             .arg(width)
                             .arg(height)
                             .arg(kMaxJpegSide));
    }
    if (!protectedCall(err, [&] {
            cinfo.scale_num = scaleNumFor(cinfo.image_width, cinfo.image_height, atLeast);
            cinfo.scale_denom = kScaleDenom;
            grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
            cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
            cinfo.out_color_space = cmyk                             ? JCS_CMYK
                                    : target == TJpegTarget::Display ? kDisplaySpace
                                    : grey                           ? JCS_GRAYSCALE
                                                                     : JCS_RGB;
            jpeg_start_decompress(&cinfo);
        }))
        throw fail();

    const int width = static_cast<int>(cinfo.output_width);
    const QImage::Format format = target == TJpegTarget::Display && !cmyk ? QImage::Format_RGB32
                                  : grey                                  ? QImage::Format_Grayscale8
                                                                          : QImage::Format_RGB888;
    QImage image(width, static_cast<int>(cinfo.output_height), format);
    // CMYK comes as four bytes a pixel (Adobe writes them inverted) and is folded into RGB row by row.
    QByteArray cmykRow(cmyk ? width * 4 : 0, '\0');
    // A null image or row buffer means the memory was not there: never decode into it.
    if (image.isNull() || cmykRow.size() != (cmyk ? width * 4 : 0)) {
        const int height = static_cast<int>(cinfo.output_height);
        jpeg_destroy_decompress(&cinfo);
        throw EJpegError(QStringLiteral("Недостаточно памяти для рисунка «%1» (%2 × %3 точек).")
                             .arg(pictureName(name))
                             .arg(width)
                             .arg(height));
    }
    unsigned char* const cmykBuffer = reinterpret_cast<unsigned char*>(cmykRow.data());
    if (!protectedCall(err, [&] {
            while (cinfo.output_scanline < cinfo.output_height) {
                unsigned char* out = image.scanLine(static_cast<int>(cinfo.output_scanline));
                JSAMPROW rows[1] = {cmyk ? cmykBuffer : out};
                jpeg_read_scanlines(&cinfo, rows, 1);
                if (!cmyk)
                    continue;
                const unsigned char* in = cmykBuffer;
                for (int x = 0; x < width; ++x, in += 4, out += 3) {
                    out[0] = static_cast<unsigned char>(in[0] * in[3] / 255);
                    out[1] = static_cast<unsigned char>(in[1] * in[3] / 255);
                    out[2] = static_cast<unsigned char>(in[2] * in[3] / 255);
                }
            }
            jpeg_finish_decompress(&cinfo);
        }))
        throw fail();
    jpeg_destroy_decompress(&cinfo);
    if (cmyk && target == TJpegTarget::Display)
        image.convertTo(QImage::Format_RGB32);
    return image;
}

QImage LoadJpeg(const QString& path, TJpegTarget target, QSize atLeast) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EJpegError(QStringLiteral("Не удалось открыть рисунок «%1».").arg(path));
    const QByteArray data = file.readAll();
    file.close();
    return DecodeJpeg(data, path, target, atLeast);
}

} // namespace Platform
