// PNG chunks written by hand around one zlib stream of the unfiltered rows.
#include "platform/PngWriter.h"

#include "platform/ErrorDisplay.h"

#include <zlib.h>

#include <array>

namespace Platform {

namespace {

void putBe32(QByteArray& out, quint32 v) {
    out += char(v >> 24);
    out += char(v >> 16);
    out += char(v >> 8);
    out += char(v);
}

// A chunk: length, type, data, and the CRC of type and data.
void putChunk(QByteArray& out, const char (&type)[5], const QByteArray& data) {
    putBe32(out, quint32(data.size()));
    const qsizetype start = out.size();
    out.append(type, 4);
    out += data;
    const auto* bytes = reinterpret_cast<const Bytef*>(out.constData() + start);
    putBe32(out, quint32(crc32_z(crc32_z(0, nullptr, 0), bytes, size_t(out.size() - start))));
}

[[noreturn]] void fail() { throw EError(QStringLiteral("Не удается подготовить рисунок PNG")); }

} // namespace

QByteArray EncodePng(const QImage& image) {
    if (image.isNull())
        fail();
    const bool grey = image.format() == QImage::Format_Grayscale8;
    const QImage rows = grey ? image : image.convertToFormat(QImage::Format_RGB888);
    if (rows.isNull())
        fail();
    const int width = rows.width();
    const int height = rows.height();
    const qsizetype rowBytes = qsizetype(width) * (grey ? 1 : 3);

    QByteArray header;
    putBe32(header, quint32(width));
    putBe32(header, quint32(height));
    header += char(8);            // bits per sample
    header += char(grey ? 0 : 2); // colour type: grey or RGB
    header += '\0';               // deflate
    header += '\0';               // adaptive filtering
    header += '\0';               // no interlace

    z_stream z{};
    // Every row with filter "Sub" (each byte less the same byte of the pixel before): a plain background
    // becomes runs of zeros, which the fastest level with run-length matching packs at little cost.
    if (deflateInit2(&z, 1, Z_DEFLATED, 15, 8, Z_RLE) != Z_OK)
        fail();
    QByteArray idat(qsizetype(deflateBound(&z, uLong((rowBytes + 1) * height))), Qt::Uninitialized);
    z.next_out = reinterpret_cast<Bytef*>(idat.data());
    z.avail_out = uInt(idat.size());
    const int pixelBytes = grey ? 1 : 3;
    QByteArray filtered(rowBytes + 1, Qt::Uninitialized);
    auto* line = reinterpret_cast<unsigned char*>(filtered.data());
    line[0] = 1; // Sub
    bool ok = true;
    for (int y = 0; y < height && ok; ++y) {
        const uchar* in = rows.constScanLine(y);
        for (int i = 0; i < pixelBytes && i < rowBytes; ++i)
            line[1 + i] = in[i];
        for (qsizetype i = pixelBytes; i < rowBytes; ++i)
            line[1 + i] = static_cast<unsigned char>(in[i] - in[i - pixelBytes]);
        z.next_in = line;
        z.avail_in = uInt(rowBytes + 1);
        ok = deflate(&z, Z_NO_FLUSH) == Z_OK;
    }
    ok = ok && deflate(&z, Z_FINISH) == Z_STREAM_END;
    idat.truncate(qsizetype(z.total_out));
    deflateEnd(&z);
    if (!ok)
        fail();

    static constexpr std::array<char, 8> kSignature = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1A', '\n'};
    QByteArray png(kSignature.data(), kSignature.size());
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", idat);
    putChunk(png, "IEND", QByteArray());
    return png;
}

} // namespace Platform
