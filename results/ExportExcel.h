// The report export of the results window: a workbook made from the program's template, filled with
// everything the window shows (particulars, formula picture, the three profile tables with their
// footers and one chart page per test), saved under a new name in the user's report folder and opened
// with the desktop's default application.
#pragma once

#include "results/ResultsModel.h"

#include <QDate>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class TResult_Form;

namespace Platform {
class TXlsxWorkbook;
}

namespace Results {

// The template in the program directory.
QString ReportTemplatePath();
// "Отчёты Morvel" in the user's documents folder.
QString ReportFolder();
// Longest file name the file systems take, in bytes of UTF-8, and what the saving adds to it for its
// temporary file (".XXXXXX" and a margin).
inline constexpr qsizetype kMaxFileNameBytes = 255;
inline constexpr qsizetype kSaveTemporaryBytes = 8;
// The longest start of `text` whose UTF-8 takes at most `maxBytes`, cut between characters.
QString FitFileName(const QString& text, qsizetype maxBytes);
// "<FIO> <date>.xlsx" in `folder`, with " (2)", " (3)", ... added while the name is taken; characters
// that cannot stand in a file name become "_", and a long FIO is shortened so that the name fits.
QString UniqueReportPath(const QString& folder, const QString& fio, const QDate& date);

// The report's sheet: the first data rows of the three blocks (ППП, ЭКП, ТКП) and of the chart section,
// and a chart page's height, for N tests. Each block has its N data rows, then its footer, then the next
// block's title and header rows.
inline constexpr int kFirstBlockRow = 31;
inline constexpr int kRowsAroundBlock = 12;
inline int BlockStart(int block, int n) { return kFirstBlockRow + block * (n + kRowsAroundBlock); }
inline int ChartSectionRow(int n) { return BlockStart(3, n) - 2; }
inline constexpr int kChartPageRows = 17;

// Everything the report shows, taken on the GUI thread, so that the workbook can be built and written on
// another one.
struct TExportData {
    TResultsModel Model;
    QImage Picture;                        // the formula picture
    QChar DecimalPoint = QLatin1Char(','); // of the user's locale, which wrote the numbers
};

// The results model with its formula picture and the user's decimal point (GUI thread).
TExportData ExportDataOf(const TResultsModel& model);

// Fills the first worksheet of a workbook made from the template with the report (without the formula
// picture), growing the template's blocks and laying out its chart areas first. Every text goes in as a
// spreadsheet program would take it typed into the cell (integers, decimals and percentages become
// numbers that show the same text). Safe on any thread.
void FillReport(const TExportData& data, Platform::TXlsxWorkbook& book);

// The whole workbook from the template at `templatePath`, with the picture, saved as `path` (complete or
// not at all). Throws EError. Safe on any thread.
void WriteReport(const TExportData& data, const QString& templatePath, const QString& path);

// The whole export into `folder`: returns the path of the saved report, or an empty string when the
// template is missing (after its message). The workbook is built and written on a worker thread while
// the event loop runs and the waiting window turns; the window can neither be closed nor export again
// meanwhile. Errors propagate after the waiting window has gone; nothing is left under the report's
// name then. `onWorker`, when given, runs on the worker thread before the workbook is built.
QString ExportReport(TResult_Form& form, const QString& folder, const std::function<void()>& onWorker = {});

// The button's handler: the export into ReportFolder(), errors to the application's error display.
void Excel_ButClick(TResult_Form& form);

} // namespace Results
