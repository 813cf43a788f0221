// Test window: the time to lay out one screen (read and decode up to eight portraits, set them into the
// panels) against a bare libjpeg decode of the same eight files; the painting of the window is timed
// apart, for information.
#include "data/DataMod.h"
#include "platform/ProgramDir.h"
#include "testing/Test_Frm.h"
#include "tools/portraits/PortraitArt.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <jpeglib.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

namespace {

constexpr int kRounds = 100;

// The plain IJG decode of one file into a buffer, no error recovery: the baseline.
void bareDecode(const QString& path, std::vector<unsigned char>& pixels) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray data = file.readAll();
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    const size_t stride = cinfo.output_width * static_cast<size_t>(cinfo.output_components);
    pixels.resize(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row[1] = {pixels.data() + stride * cinfo.output_scanline};
        jpeg_read_scanlines(&cinfo, row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
}

QString photo(const QString& dir, int series, int portrait) {
    return dir + QStringLiteral("/DB/Images/Ser%1/Photo%2.jpg").arg(series).arg(portrait);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("DB"));
    Portraits::WritePortraitSet(dir.path() + QStringLiteral("/DB/Images"));
    Platform::SetProgramDir(dir.path());
    auto module = TMain_DataModule::Create(dir.path());

    TTest_Form form;
    form.show();
    form.ShowSeries(1);
    // Painting goes into an image of the window: an offscreen window may skip a repaint() it thinks
    // nobody sees, so this is the one way to paint every time.
    QImage canvas(form.size(), QImage::Format_RGB32);
    form.render(&canvas);
    std::vector<unsigned char> pixels;
    for (int p = 1; p <= 8; ++p) // warm the file cache for both sides
        bareDecode(photo(dir.path(), 1, p), pixels);

    // Both sides run in turns and each keeps its best round: the machine's other load then touches
    // neither side more than the other.
    qint64 bare = std::numeric_limits<qint64>::max();
    qint64 screen = std::numeric_limits<qint64>::max();
    qint64 paint = std::numeric_limits<qint64>::max();
    QElapsedTimer timer;
    for (int round = 0; round < kRounds; ++round) {
        timer.start();
        for (int series = 1; series <= 6; ++series)
            for (int p = 1; p <= 8; ++p)
                bareDecode(photo(dir.path(), series, p), pixels);
        bare = std::min(bare, timer.nsecsElapsed());
        timer.start();
        for (int series = 1; series <= 6; ++series)
            form.ShowSeries(series);
        screen = std::min(screen, timer.nsecsElapsed());
        timer.start();
        form.render(&canvas);
        paint = std::min(paint, timer.nsecsElapsed());
    }

    std::printf("screen_bench: one screen laid out (8 portraits read, decoded and set) %.3f ms; bare libjpeg "
                "decode of the 8 files %.3f ms; ratio %.2fx; painting the window %.3f ms\n",
                screen / 6.0 / 1e6, bare / 6.0 / 1e6, static_cast<double>(screen) / bare, paint / 1e6);
    std::printf("ratio screen %.2f aim 1.5\n", static_cast<double>(screen) / bare);
    return 0;
}
