// The report export: the positions and the order of writing follow the template's layout, whose blocks
// are grown to the number of tests by its row operations before any text is written.
#include "results/ExportExcel.h"

#include "results/Result_Calc.h"
#include "results/Result_Frm.h"
#include "results/WaitingFrm.h"

#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/Locale.h"
#include "platform/ProgramDir.h"
#include "platform/Shell.h"
#include "platform/XlsxWorkbook.h"
#include "widgets/StringGrid.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QStandardPaths>

namespace Results {

namespace {

using Widgets::TStringGrid;

// Sheet columns (B = 2).
constexpr int kColB = 2;
constexpr int kColF = 6;
constexpr int kColK = 11;
constexpr int kColN = 14;
constexpr int kColT = 20;
constexpr int kParticularsRow = 5;     // B5 to B8
constexpr int kPictureRow = 11;        // B11
constexpr int kChartGridOffset = 4;    // chart texts in rows p + 4 to p + 15
constexpr int kExportedTableCols = 13; // column 13 (the note) is not exported
constexpr int kFactorCount = 8;
constexpr int kPngQuality = 90;        // QImage's PNG "quality": higher is faster, less compressed
constexpr int kChartPagesPerSheet = 3; // chart pages on one printed page
constexpr int kChartTitleAbove = 2;    // the template's section title, two rows above the first page

const QString kTemplateMissing = QStringLiteral("Не обнаружен файл шаблона. Экспорт в Excel невозможен.");
const QString kExportCaption = QStringLiteral("Ошибка экспорта в Excel");

// Table column i to its sheet column: i + 2 for i < 2, 2i − 6 for the three sums, i + 4 for the factors.
int sheetColumn(int i) { return i < 2 ? i + 2 : (i >= kSumZeroCol ? 2 * i - 6 : i + 4); }
// Footer column f (1–9 and 12) to its sheet column.
int footerColumn(int f) { return f == kFooterQuotientCol ? kColT : f + 5; }

QVector<QStringList> chartTexts(const TStringGrid& grid) {
    QVector<QStringList> rows;
    for (int r = kHeaderRows; r < kChartRows; ++r) {
        QStringList row;
        for (int c = 0; c < kFactorCount; ++c)
            row << grid.Cell(c, r);
        rows << row;
    }
    return rows;
}

struct WaitingGuard {
    ~WaitingGuard() { HideWaiting(); }
};

} // namespace

QString ReportTemplatePath() { return Platform::ProgramPath(QStringLiteral("/Templates/morvel.xlsx")); }

QString ReportFolder() {
    QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty())
        docs = QDir::homePath();
    return docs + QStringLiteral("/Отчёты Morvel");
}

QString UniqueReportPath(const QString& folder, const QString& fio, const QDate& date) {
    QString name = fio.simplified();
    for (QChar& ch : name)
        if (QStringLiteral("/\\:*?\"<>|").contains(ch) || ch.category() == QChar::Other_Control)
            ch = QLatin1Char('_');
    // A name of dots only would point outside or at the folder itself.
    if (name.isEmpty() || name.count(QLatin1Char('.')) == name.size())
        name = QStringLiteral("Отчёт");
    const QString stem = folder + QLatin1Char('/') + name + QLatin1Char(' ') + Platform::DateToStr(date);
    QString path = stem + QStringLiteral(".xlsx");
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = stem + QStringLiteral(" (%1).xlsx").arg(n);
    return path;
}

void FillReport(TResult_Form& form, Platform::TXlsxWorkbook& book) {
    Platform::TXlsxWorksheet& ws = book.Worksheet(1);
    const int n = form.PPP_Grid->RowCount() - kHeaderRows;
    const TStringGrid* const tables[3] = {form.PPP_Grid, form.EKP_Grid, form.TKP_Grid};
    const TStringGrid* const footers[3] = {form.PPP_FooterGrid, form.EKP_FooterGrid, form.TKP_FooterGrid};

    // Particulars.
    const QLineEdit* const edits[4] = {form.FIO_Edit, form.Group_Edit, form.Sex_Edit, form.Age_Sex};
    for (int i = 0; i < 4; ++i)
        ws.SetText(kParticularsRow + i, kColB, edits[i]->text());

    // Blocks grown to N data rows: N − 1 copies of the spare row, then the spare row deleted, then the
    // first data row's formats filled down over the rows above the last one.
    for (int b = 0; b < 3; ++b) {
        const int s = BlockStart(b, n);
        for (int k = 0; k < n - 1; ++k)
            book.Run(QStringLiteral("AddString"), {s + 1});
        book.Run(QStringLiteral("DelString"), {s + 1});
        if (n > 1)
            ws.AutoFill(s, kColB, kColT, s + n - 2);
    }

    // Data rows, oldest test first.
    for (int k = 0; k < n; ++k)
        for (int i = 0; i < kExportedTableCols; ++i)
            for (int b = 0; b < 3; ++b)
                ws.SetText(BlockStart(b, n) + k, sheetColumn(i), tables[b]->Cell(i, k + kHeaderRows));

    // Footer rows 0–2 of the factor columns, as one block each.
    for (int b = 0; b < 3; ++b) {
        QVector<QStringList> block;
        for (int r = 0; r < 3; ++r) {
            QStringList row;
            for (int f = 1; f <= kFactorCount; ++f)
                row << footers[b]->Cell(f, r);
            block << row;
        }
        ws.SetRange(BlockStart(b, n) + n, kColF, block, 3, kFactorCount);
    }
    // The single footer cells.
    for (int b = 0; b < 3; ++b) {
        const int base = BlockStart(b, n) + n;
        ws.SetText(base, kColT, footers[b]->Cell(kFooterQuotientCol, 0));
        ws.SetText(base + 2, kColT, footers[b]->Cell(kFooterQuotientCol, 2));
    }
    for (int b = 0; b < 3; ++b)
        ws.SetText(BlockStart(b, n) + n + 3, kColN, footers[b]->Cell(kFooterTotalCol, 3));
    for (int f = 1; f <= kFooterQuotientCol; ++f) {
        if (f == 10 || f == 11)
            continue;
        for (int r = 4; r <= 7; ++r) {
            // Counts and totals (odd columns and 9) in every balance row; percentages (even columns and
            // 12) in the first row of each pair only.
            const bool count = f % 2 == 1;
            if (!count && r % 2 == 1)
                continue;
            for (int b = 0; b < 3; ++b) {
                const int rows = b == 2 ? kTkpFooterRows : kFooterRows;
                if (r >= rows)
                    continue;
                ws.SetText(BlockStart(b, n) + n + r, footerColumn(f), footers[b]->Cell(f, r));
            }
        }
    }

    // Chart section: one page per tab of the "Профили" page control, newest test first. Printed pages
    // start with the section's title and then hold three chart pages each, so no chart is cut in two.
    int p = ChartSectionRow(n);
    for (int j = 0; j < form.Profil_PageControl->count(); ++j, p += kChartPageRows) {
        if (j % kChartPagesPerSheet == 0)
            ws.AddPageBreak(j == 0 ? p - kChartTitleAbove : p);
        ws.SetText(p, kColB, form.Profil_PageControl->tabText(j));
        ws.SetBold(p, kColB, p, kColB);
        book.Run(QStringLiteral("CreateProfilTables"),
                 {p, kColB, QStringLiteral("Test"), QStringLiteral("ППП")});
        book.Run(QStringLiteral("CreateProfilTables"),
                 {p, kColK, QStringLiteral("Test"), QStringLiteral("ЭКП")});
        const int rows = kChartRows - kHeaderRows;
        ws.SetRange(p + kChartGridOffset, kColB, chartTexts(*form.PPPChart(j)), rows, kFactorCount);
        ws.SetRange(p + kChartGridOffset, kColK, chartTexts(*form.EKPChart(j)), rows, kFactorCount);
    }
}

QString ExportReport(TResult_Form& form, const QString& folder) {
    const QString templatePath = ReportTemplatePath();
    if (!QFileInfo::exists(templatePath)) {
        Platform::messageBox(&form, kTemplateMissing, kExportCaption, Platform::MsgIcon::Error);
        return {};
    }
    QString path;
    {
        ShowWaiting(QStringLiteral("Подождите, идет экспорт в Excel..."));
        const WaitingGuard waiting;
        Platform::TXlsxWorkbook book(templatePath);
        FillReport(form, book);

        // The formula picture goes in from memory.
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        // Light compression: the picture is small, and the package is compressed again anyway.
        if (!form.Picture().save(&buffer, "PNG", kPngQuality))
            throw Platform::EError(QStringLiteral("Не удается подготовить рисунок формул"));
        book.Worksheet(1).InsertPicture(kPictureRow, kColB, png, form.Picture().size());

        if (!QDir().mkpath(folder))
            throw Platform::EError(
                QStringLiteral("Не удается создать папку %1").arg(QDir::toNativeSeparators(folder)));
        path = UniqueReportPath(folder, form.FIO_Edit->text(), QDate::currentDate());
        book.SaveAs(path);
    }
    if (!Platform::ShellOpen(path))
        Platform::messageBox(&form,
                             QStringLiteral("Отчёт сохранён в файле\n%1").arg(QDir::toNativeSeparators(path)),
                             QStringLiteral("Экспорт в Excel"), Platform::MsgIcon::Information);
    return path;
}

void Excel_ButClick(TResult_Form& form) {
    Platform::guarded([&] { ExportReport(form, ReportFolder()); });
}

} // namespace Results
