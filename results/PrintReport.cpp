// The report on paper and in PDF: page set-up, the print dialog, the file dialog and a file that appears
// only when it was written in full.
#include "results/PrintReport.h"

#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/Locale.h"
#include "platform/SaveFile.h"
#include "results/ExportExcel.h"
#include "results/ReportDocument.h"
#include "results/Result_Frm.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>

namespace Results {

namespace {

constexpr int kPdfResolution = 1200;

// The wait cursor while a long document is laid out and painted.
class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

QString documentTitle(const TResultsModel& model) {
    return QStringLiteral("Результаты тестирования: ") + model.Particulars[0];
}

// The print job's name, which the print dialog also proposes as the name of a file to print into: the
// name "Сохранить в PDF..." proposes, with no character that a file name cannot hold.
QString printJobName(const TResultsModel& model) {
    return QFileInfo(ProposedPdfPath(QString(), model.Particulars[0], QDate::currentDate())).fileName();
}

} // namespace

QString ProposedPdfPath(const QString& folder, const QString& fio, const QDate& date) {
    QString name = fio.simplified();
    for (QChar& ch : name)
        if (QStringLiteral("/\\:*?\"<>|").contains(ch) || ch.category() == QChar::Other_Control)
            ch = QLatin1Char('_');
    // A name of dots only would point outside or at the folder itself.
    if (name.isEmpty() || name.count(QLatin1Char('.')) == name.size())
        name = QStringLiteral("Отчёт");
    // A long name is shortened, between characters, so that the file name with the saving's temporary
    // ending fits the file systems' limit.
    const QString tail = QLatin1Char(' ') + Platform::DateToStr(date) + QStringLiteral(".pdf");
    const QString stem = FitFileName(name, kMaxFileNameBytes - kSaveTemporaryBytes - tail.toUtf8().size());
    return folder + QLatin1Char('/') + (stem.size() < name.size() ? stem.trimmed() : stem) + tail;
}

int SaveResultsPdf(const TResultsModel& model, const QString& path) {
    const TReportDocument document(ReportDataOf(model));
    // Written beside the target and renamed at the end, so a failure leaves no half-written file.
    QSaveFile file(path);
    if (!Platform::PrivateWrite(path, [&file] { return file.open(QIODevice::WriteOnly); }))
        throw Platform::EError(QStringLiteral("Не удается создать файл %1:\n%2")
                                   .arg(QDir::toNativeSeparators(path), file.errorString()));
    int pages = 0;
    {
        QPdfWriter writer(&file);
        writer.setResolution(kPdfResolution);
        writer.setPageLayout(ReportPageLayout());
        writer.setTitle(documentTitle(model));
        writer.setCreator(QStringLiteral("Тест Morvel"));
        try {
            pages = document.Print(writer);
        } catch (...) {
            file.cancelWriting();
            throw;
        }
    }
    if (QString reason; !Platform::CommitAll(file, reason))
        throw Platform::EError(
            QStringLiteral("Не удается записать файл %1:\n%2").arg(QDir::toNativeSeparators(path), reason));
    return pages;
}

int PrintResults(const TResultsModel& model, QPrinter& printer) {
    const TReportDocument document(ReportDataOf(model));
    const bool range = printer.printRange() == QPrinter::PageRange;
    return document.Print(printer, range ? printer.fromPage() : 0, range ? printer.toPage() : 0);
}

void Print_ButClick(TResult_Form& form) {
    Platform::guarded([&] {
        QPrinter printer(QPrinter::HighResolution);
        printer.setPageLayout(ReportPageLayout());
        printer.setDocName(printJobName(form.Model()));
        QPrintDialog dialog(&printer, &form);
        dialog.setWindowTitle(QStringLiteral("Печать"));
        dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
        dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
        if (dialog.exec() != QDialog::Accepted)
            return;
        const TWaitCursor wait;
        PrintResults(form.Model(), printer);
    });
}

void Pdf_ButClick(TResult_Form& form) {
    Platform::guarded([&] {
        const QString folder = ReportFolder();
        // The dialog opens in the reports folder; it is made on first use, as the export does.
        Platform::MakePrivatePath(folder);
        const QString path = Platform::getSaveFileName(
            &form, QStringLiteral("Сохранить в PDF"),
            ProposedPdfPath(folder, form.Model().Particulars[0], QDate::currentDate()),
            QStringLiteral("Документ PDF (*.pdf)"), QStringLiteral(".pdf"));
        if (path.isEmpty())
            return;
        const TWaitCursor wait;
        SaveResultsPdf(form.Model(), path);
    });
}

} // namespace Results
