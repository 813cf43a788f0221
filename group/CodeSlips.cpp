// Slips of the personal codes.
#include "group/CodeSlips.h"

#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/Locale.h"
#include "platform/SaveFile.h"
#include "results/ExportExcel.h"

#include <QDate>
#include <QDir>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>

namespace Group {

namespace {

constexpr int kColumns = 2;
constexpr int kRows = 6;
constexpr double kMarginMm = 12;

QPageLayout slipsPageLayout() {
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                       QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);
}

QFont fontOf(const QString& family, double points, bool bold) {
    QFont f(family);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

} // namespace

int PaintSlips(QPagedPaintDevice& device, const QList<TSlip>& slips, const QString& address) {
    QPainter painter(&device);
    const QRectF page(0, 0, device.width(), device.height());
    const double w = page.width() / kColumns;
    const double h = page.height() / kRows;
    const double pad = w * 0.05;
    const QFont nameFont = fontOf(QStringLiteral("DejaVu Sans"), 12, true);
    const QFont codeFont = fontOf(QStringLiteral("DejaVu Sans Mono"), 24, true);
    const QFont noteFont = fontOf(QStringLiteral("DejaVu Sans"), 9, false);
    QPen cut(Qt::gray);
    cut.setStyle(Qt::DashLine);
    int pages = 1;
    for (int i = 0; i < slips.size(); ++i) {
        const int onPage = i % (kColumns * kRows);
        if (i > 0 && onPage == 0) {
            device.newPage();
            ++pages;
        }
        const QRectF slip(page.left() + (onPage % kColumns) * w, page.top() + (onPage / kColumns) * h, w, h);
        painter.setPen(cut);
        painter.drawRect(slip);
        const QRectF inner = slip.adjusted(pad, pad, -pad, -pad);
        painter.setPen(Qt::black);
        painter.setFont(nameFont);
        painter.drawText(QRectF(inner.left(), inner.top(), inner.width(), inner.height() * 0.3),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, slips[i].fio);
        painter.setFont(codeFont);
        painter.drawText(
            QRectF(inner.left(), inner.top() + inner.height() * 0.3, inner.width(), inner.height() * 0.35),
            Qt::AlignCenter, slips[i].code);
        painter.setFont(noteFont);
        painter.drawText(
            QRectF(inner.left(), inner.top() + inner.height() * 0.65, inner.width(), inner.height() * 0.35),
            Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap,
            QStringLiteral("Откройте в браузере %1 и введите код.").arg(address));
    }
    return pages;
}

void SaveSlipsPdf(const QString& path, const QList<TSlip>& slips, const QString& address) {
    QSaveFile file(path);
    if (!Platform::PrivateWrite(path, [&file] { return file.open(QIODevice::WriteOnly); }))
        throw Platform::EError(QStringLiteral("Не удается создать файл %1:\n%2")
                                   .arg(QDir::toNativeSeparators(path), file.errorString()));
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(slipsPageLayout());
        writer.setTitle(QStringLiteral("Коды тестирования"));
        writer.setCreator(QStringLiteral("Тест Morvel"));
        PaintSlips(writer, slips, address);
    }
    if (QString reason; !Platform::CommitAll(file, reason))
        throw Platform::EError(
            QStringLiteral("Не удается записать файл %1:\n%2").arg(QDir::toNativeSeparators(path), reason));
}

void PrintSlips(QWidget* parent, const QList<TSlip>& slips, const QString& address) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(slipsPageLayout());
    printer.setDocName(QStringLiteral("Коды тестирования"));
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("Печать кодов"));
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    if (dialog.exec() == QDialog::Accepted)
        PaintSlips(printer, slips, address);
}

void SaveSlipsAs(QWidget* parent, const QList<TSlip>& slips, const QString& address) {
    const QString folder = Results::ReportFolder();
    Platform::MakePrivatePath(folder);
    const QString path = Platform::getSaveFileName(
        parent, QStringLiteral("Сохранить коды в PDF"),
        folder + QStringLiteral("/Коды тестирования %1.pdf").arg(Platform::DateToStr(QDate::currentDate())),
        QStringLiteral("Документ PDF (*.pdf)"), QStringLiteral(".pdf"));
    if (!path.isEmpty())
        SaveSlipsPdf(path, slips, address);
}

} // namespace Group
