// The fuzzing steps of the file readers; see FileFuzz.h.
#include "FileFuzz.h"

#include "platform/ErrorDisplay.h"
#include "platform/JpegLoader.h"
#include "platform/RtfReader.h"
#include "platform/XlsxWorkbook.h"
#include "results/ReportTemplate.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QTextDocument>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>

#include <map>
#include <stdexcept>

namespace FileFuzz {

namespace {

// The parts a fuzz input can replace, by its first byte.
const char* const kParts[] = {
    "xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml",   "xl/styles.xml",      "xl/sharedStrings.xml",
    "xl/workbook.xml",          "xl/_rels/workbook.xml.rels", "[Content_Types].xml"};
constexpr int kPartCount = int(sizeof kParts / sizeof kParts[0]);

std::vector<std::pair<QString, QByteArray>>& templateParts() {
    static std::vector<std::pair<QString, QByteArray>> parts;
    return parts;
}

QByteArray zipOf(const std::vector<std::pair<QString, QByteArray>>& parts) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QuaZip zip(&buffer);
    if (!zip.open(QuaZip::mdCreate))
        throw std::logic_error("cannot create a package");
    for (const auto& [name, bytes] : parts) {
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(name), nullptr, 0, 0, 0) ||
            file.write(bytes) != bytes.size())
            throw std::logic_error("cannot write a package");
        file.close();
    }
    zip.close();
    return buffer.data();
}

// What the export does to a workbook, on a small scale.
void exercise(Platform::TXlsxWorkbook& book) {
    Platform::TXlsxWorksheet& ws = book.Worksheet(1);
    ws.SetText(5, 2, QString(QStringLiteral("Имя ") + QChar(0x01) + QChar(0xD800) + QStringLiteral("&<>")));
    ws.InsertRows(32, 3);
    ws.DeleteRow(32);
    ws.AutoFill(31, 2, 20, 33);
    ws.SetRange(34, 6, {{QStringLiteral("1"), QStringLiteral(" ")}, {QStringLiteral("  ")}}, 3, 8);
    ws.SetBold(80, 2, 80, 2);
    Results::CreateProfileTables(book, ws, 80, 2, QStringLiteral("ППП"));
    ws.AddPageBreak(78);
    ws.Text(5, 2);
    ws.Dimension();
}

} // namespace

void init() {
    if (!QGuiApplication::instance()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "file-fuzz";
        static char* argv[] = {name, nullptr};
        static QGuiApplication app(argc, argv);
    }
    if (!templateParts().empty())
        return;
    QuaZip zip(QStringLiteral(MORVEL_TEMPLATE));
    if (!zip.open(QuaZip::mdUnzip))
        throw std::logic_error("no report template at " MORVEL_TEMPLATE);
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        QuaZipFile file(&zip);
        file.open(QIODevice::ReadOnly);
        templateParts().emplace_back(zip.getCurrentFileName(), file.readAll());
    }
}

void rtf(const QByteArray& bytes) {
    QTextDocument doc;
    try {
        Platform::ReadRtf(bytes, doc);
    } catch (const Platform::ERtfError&) {
        return;
    }
    doc.setTextWidth(400);
    doc.size();
}

void jpeg(const QByteArray& bytes) {
    try {
        Platform::DecodeJpeg(bytes, QString(), Platform::TJpegTarget::Display, QSize(162, 246));
    } catch (const Platform::EJpegError&) {
    }
    try {
        Platform::DecodeJpeg(bytes, QString(), Platform::TJpegTarget::Natural);
    } catch (const Platform::EJpegError&) {
    }
}

void templ(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return;
    const int pick = static_cast<unsigned char>(bytes[0]);
    QByteArray package;
    if (pick < kPartCount) {
        auto parts = templateParts();
        for (auto& [name, data] : parts)
            if (name == QLatin1String(kParts[pick]))
                data = bytes.mid(1);
        package = zipOf(parts);
    } else {
        package = bytes.mid(1);
    }
    QByteArray saved;
    try {
        const auto book = Platform::TXlsxWorkbook::FromBytes(package, QStringLiteral("fuzz"));
        exercise(*book);
        saved = book->SaveToBytes();
    } catch (const Platform::EError&) {
        return;
    }
    // What the layer wrote, it reads again.
    const auto again = Platform::TXlsxWorkbook::FromBytes(saved, QStringLiteral("saved"));
    again->Worksheet(1).Text(5, 2);
}

} // namespace FileFuzz
