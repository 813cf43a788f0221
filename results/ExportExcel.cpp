// The report export: the positions and the order of writing follow the template's layout, whose blocks
// are grown to the number of tests by row operations before any text is written.
#include "results/ExportExcel.h"

#include "results/ReportTemplate.h"
#include "results/Result_Frm.h"
#include "results/WaitingFrm.h"

#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/Locale.h"
#include "platform/PngWriter.h"
#include "platform/ProgramDir.h"
#include "platform/SaveFile.h"
#include "platform/Shell.h"
#include "platform/XlsxWorkbook.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocale>
#include <QScopeGuard>
#include <QThread>

#include <exception>
#include <future>

namespace Results {

namespace {

// Sheet columns (B = 2).
constexpr int kColB = 2;
constexpr int kColF = 6;
constexpr int kColK = 11;
constexpr int kColN = 14;
constexpr int kColT = 20;
constexpr int kParticularsRow = 5;     // B5 to B8
constexpr int kSpareRow = 1;           // of a block, below its first data row: copied, then removed
constexpr int kPictureRow = 11;        // B11
constexpr int kChartGridOffset = 4;    // chart texts in rows p + 4 to p + 15
constexpr int kExportedTableCols = 13; // column 13 (the note) is not exported
constexpr int kFactorCount = 8;
constexpr int kChartPagesPerSheet = 3; // chart pages on one printed page
constexpr int kChartTitleAbove = 2;    // the template's section title, two rows above the first page

const QString kTemplateMissing = QStringLiteral("Не обнаружен файл шаблона. Экспорт в Excel невозможен.");
const QString kExportCaption = QStringLiteral("Ошибка экспорта в Excel");

// Table column i to its sheet column: i + 2 for i < 2, 2i − 6 for the three sums, i + 4 for the factors.
int sheetColumn(int i) { return i < 2 ? i + 2 : (i >= kSumZeroCol ? 2 * i - 6 : i + 4); }
// Footer column f (1–9 and 12) to its sheet column.
int footerColumn(int f) { return f == kFooterQuotientCol ? kColT : f + 5; }

// A chart page's 12 × 8 texts, from the counts the page is filled from.
QVector<QStringList> chartTexts(QStringView counts) {
    constexpr int rows = kChartRows - kHeaderRows;
    if (counts.isEmpty())
        return QVector<QStringList>(rows, QStringList(kFactorCount, QString()));
    return ChartBarTexts(counts.mid(0, 8), counts.mid(8, 8));
}

QVector<QStringList> ekpChartTexts(QStringView counts) {
    if (counts.isEmpty())
        return chartTexts(counts);
    return ChartBarTexts(counts.mid(16, 8), counts.mid(24, 8));
}

} // namespace

QString ReportTemplatePath() { return Platform::ProgramPath(QStringLiteral("/Templates/morvel.xlsx")); }

QString FitFileName(const QString& text, qsizetype maxBytes) {
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const char32_t u = pair ? QChar::surrogateToUcs4(text[i], text[i + 1]) : text[i].unicode();
        const int n = u < 0x80 ? 1 : u < 0x800 ? 2 : u < 0x10000 ? 3 : 4;
        if (bytes + n > maxBytes)
            break;
        bytes += n;
        i += pair ? 2 : 1;
    }
    return text.left(i);
}

QString UniqueReportPath(const QString& folder, const QString& fio, const QDate& date) {
    QString name = fio.simplified();
    for (qsizetype i = 0; i < name.size(); ++i) {
        QChar& ch = name[i];
        if (ch.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate())
            ++i; // a character outside the basic plane stays
        else if (QStringLiteral("/\\:*?\"<>|").contains(ch) || ch.category() == QChar::Other_Control ||
                 ch.isSurrogate())
            ch = QLatin1Char('_');
    }
    // A name of dots only would point outside or at the folder itself.
    if (name.isEmpty() || name.count(QLatin1Char('.')) == name.size())
        name = QStringLiteral("Отчёт");
    // The name part is shortened so that the whole file name, with its number and the saving
    // temporary's ending, fits the file system's limit.
    const QString dated = QLatin1Char(' ') + Platform::DateToStr(date);
    const auto pathFor = [&](const QString& number) -> QString {
        const QString tail = dated + number + QStringLiteral(".xlsx");
        const qsizetype room = kMaxFileNameBytes - kSaveTemporaryBytes - tail.toUtf8().size();
        QString stem = FitFileName(name, room);
        if (stem.size() < name.size())
            stem = stem.trimmed();
        return folder + QLatin1Char('/') + stem + tail;
    };
    QString path = pathFor(QString());
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = pathFor(QStringLiteral(" (%1)").arg(n));
    return path;
}

TExportData ExportDataOf(const TResultsModel& model) {
    return {model, FormulaPicture(model.Formulas), QLocale().decimalPoint().front()};
}

void FillReport(const TExportData& data, Platform::TXlsxWorkbook& book) {
    Platform::TXlsxWorksheet& ws = book.Worksheet(1);
    const TResultsModel& model = data.Model;
    const int n = model.Tests;
    const auto footer = [&](int b, int f, int r) { return model.Tables[b].Footer.value(r).value(f); };

    // Particulars.
    // Texts go in as a spreadsheet program would take them typed: integers, decimals and percentages
    // become numbers that show the same text.
    const QChar point = data.DecimalPoint;
    for (int i = 0; i < 4; ++i)
        ws.SetTyped(kParticularsRow + i, kColB, model.Particulars[size_t(i)], point);

    // Blocks grown to N data rows: N − 1 copies of the spare row in one operation, then the spare row
    // deleted, then the first data row's formats filled down over the rows above the last one.
    for (int b = 0; b < 3; ++b) {
        const int s = BlockStart(b, n);
        if (n > 1)
            ws.InsertRows(s + kSpareRow, n - 1);
        ws.DeleteRow(s + kSpareRow);
        if (n > 1)
            ws.AutoFill(s, kColB, kColT, s + n - 2);
    }

    // Data rows, oldest test first.
    const std::array<QVector<QStringList>, 3> tableRows = {TableRows(model, kPpp), TableRows(model, kEkp),
                                                           TableRows(model, kTkp)};
    for (int k = 0; k < n; ++k)
        for (int i = 0; i < kExportedTableCols; ++i)
            for (int b = 0; b < 3; ++b)
                ws.SetTyped(BlockStart(b, n) + k, sheetColumn(i), tableRows[b][k][i], point);

    // The counting rows of the factor columns, as one block each.
    for (int b = 0; b < 3; ++b) {
        QVector<QStringList> block;
        for (int r = kZeroRow; r <= kSntRow; ++r) {
            QStringList row;
            for (int f = 1; f <= kFactorCount; ++f)
                row << footer(b, f, r);
            block << row;
        }
        ws.SetTypedRange(BlockStart(b, n) + n, kColF, block, kSntRow + 1, kFactorCount, point);
    }
    // The single footer cells: the quotients, the marks total, then the balance rows.
    for (int b = 0; b < 3; ++b) {
        const int base = BlockStart(b, n) + n;
        ws.SetTyped(base + kZeroRow, kColT, footer(b, kFooterQuotientCol, kZeroRow), point);
        ws.SetTyped(base + kSntRow, kColT, footer(b, kFooterQuotientCol, kSntRow), point);
    }
    for (int b = 0; b < 3; ++b)
        ws.SetTyped(BlockStart(b, n) + n + kRvnRow, kColN, footer(b, kFooterTotalCol, kRvnRow), point);
    for (int f = 1; f <= kFooterQuotientCol; ++f) {
        // The factor columns, the total and the total percentage; the other two totals have no balance.
        if (f > kFooterTotalCol && f < kFooterQuotientCol)
            continue;
        for (int r = kFirstBalanceRow; r < kFooterRows; ++r) {
            // Counts and totals (odd columns and the total) in every balance row; percentages (even
            // columns and the quotient column) in the first row of each pair only.
            const bool count = f % 2 == 1;
            if (!count && (r - kFirstBalanceRow) % 2 == 1)
                continue;
            for (int b = 0; b < 3; ++b)
                if (r < model.Tables[b].Footer.size())
                    ws.SetTyped(BlockStart(b, n) + n + r, footerColumn(f), footer(b, f, r), point);
        }
    }

    // Chart section: one page per tab of the "Профили" page control, newest test first. Printed pages
    // start with the section's title and then hold three chart pages each, so no chart is cut in two.
    int p = ChartSectionRow(n);
    const int rows = kChartRows - kHeaderRows;
    const QVector<TChartPage> charts = ChartPages(model);
    for (int j = 0; j < charts.size(); ++j, p += kChartPageRows) {
        if (j % kChartPagesPerSheet == 0)
            ws.AddPageBreak(j == 0 ? p - kChartTitleAbove : p);
        ws.SetTyped(p, kColB, charts[j].Caption, point);
        ws.SetBold(p, kColB, p, kColB);
        CreateProfileTables(book, ws, p, kColB, QStringLiteral("ППП"));
        CreateProfileTables(book, ws, p, kColK, QStringLiteral("ЭКП"));
        const QString& counts = charts[j].Counts;
        ws.SetRange(p + kChartGridOffset, kColB, chartTexts(counts), rows, kFactorCount);
        ws.SetRange(p + kChartGridOffset, kColK, ekpChartTexts(counts), rows, kFactorCount);
    }
}

void WriteReport(const TExportData& data, const QString& templatePath, const QString& path) {
    // The formula picture is encoded beside the workbook, on a thread of its own; it goes in from
    // memory (the package stores it as it is).
    std::future<QByteArray> png =
        std::async(std::launch::async, [&data] { return Platform::EncodePng(data.Picture); });
    Platform::TXlsxWorkbook book(templatePath);
    FillReport(data, book);
    book.Worksheet(1).InsertPicture(kPictureRow, kColB, png.get(), data.Picture.size());
    book.SaveAs(path);
}

QString ExportReport(TResult_Form& form, const QString& folder, const std::function<void()>& onWorker) {
    if (form.Exporting())
        return {};
    const QString templatePath = ReportTemplatePath();
    if (!QFileInfo::exists(templatePath)) {
        Platform::messageBox(&form, kTemplateMissing, kExportCaption, Platform::MsgIcon::Error);
        return {};
    }
    QString path;
    {
        ShowWaiting(QStringLiteral("Подождите, идет экспорт в Excel..."));
        form.SetExporting(true);
        const auto restore = qScopeGuard([&form] {
            form.SetExporting(false);
            HideWaiting();
        });
        const TExportData data = ExportDataOf(form.Model());
        if (!Platform::MakePrivatePath(folder))
            throw Platform::EError(
                QStringLiteral("Не удается создать папку %1").arg(QDir::toNativeSeparators(folder)));
        path = UniqueReportPath(folder, data.Model.Particulars[0], QDate::currentDate());

        // The worker touches nothing of the window: it has its own copy of the texts and the picture.
        std::exception_ptr error;
        QEventLoop loop;
        const std::unique_ptr<QThread> worker(
            QThread::create([&data, &templatePath, &path, &error, &onWorker] {
                try {
                    if (onWorker)
                        onWorker();
                    WriteReport(data, templatePath, path);
                } catch (...) {
                    error = std::current_exception();
                }
            }));
        QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
        worker->start();
        {
            // The thread is joined on every way out, also should an error escape the event loop.
            const auto join = qScopeGuard([&worker] { worker->wait(); });
            loop.exec();
        }
        if (error)
            std::rethrow_exception(error);
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
