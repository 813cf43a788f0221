// The report export of the results window: a workbook made from the program's template, filled with
// everything the window shows (particulars, formula picture, the three profile tables with their
// footers and one chart page per test), saved under a new name in the user's report folder and opened
// with the desktop's default application.
#pragma once

#include <QDate>
#include <QString>

class TResult_Form;

namespace Platform {
class TXlsxWorkbook;
}

namespace Results {

// The template in the program directory.
QString ReportTemplatePath();
// "Отчёты Morvel" in the user's documents folder.
QString ReportFolder();
// "<FIO> <date>.xlsx" in `folder`, with " (2)", " (3)", ... added while the name is taken; characters
// that cannot stand in a file name become "_".
QString UniqueReportPath(const QString& folder, const QString& fio, const QDate& date);

// First data rows of the three blocks and of the chart section, and a chart page's height, for N tests.
inline int BlockStart(int block, int n) { return 31 + block * (n + 12); }
inline int ChartSectionRow(int n) { return 3 * n + 65; }
inline constexpr int kChartPageRows = 17;

// Fills the first worksheet of a workbook made from the template with the window's contents (without the
// formula picture).
void FillReport(TResult_Form& form, Platform::TXlsxWorkbook& book);

// The whole export into `folder`: returns the path of the saved report, or an empty string when the
// template is missing (after its message). Errors propagate after the waiting window has gone.
QString ExportReport(TResult_Form& form, const QString& folder);

// The button's handler: the export into ReportFolder(), errors to the application's error display.
void Excel_ButClick(TResult_Form& form);

} // namespace Results
