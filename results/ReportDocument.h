// The printed report of the results window: the particulars, the formula lines, the three profile tables
// with their footers and the chart pages, taken from the results model and laid out on A4 pages with a
// running header and page numbers. It paints on any paged device (a printer, a PDF writer) with vectors
// only: text, lines, filled cells, and the formula engine drawing straight into the page's painter.
#pragma once

#include "results/ResultsModel.h"

#include <QColor>
#include <QDate>
#include <QList>
#include <QPageLayout>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>
#include <functional>

class QPagedPaintDevice;
class QPainter;

namespace Results {

// One grid as the window shows it: cell texts row by row, merged areas of more than one cell (x = column,
// y = row), column widths in the window's pixels.
struct TReportGrid {
    QVector<int> ColWidths;
    QVector<QStringList> Rows;
    QVector<QRect> Merges;
    int HeaderRows = 0;
    int RowHeight = 21;
    bool Bold = false;
    // The column whose text wraps and makes its row taller (the note); -1 for none.
    int WrapColumn = -1;
};

// A profile table with its footer, under its title.
struct TReportTable {
    QString Title;
    TReportGrid Table;
    TReportGrid Footer;
};

struct TReportData {
    QString Fio;
    QString Group;
    QString Sex;
    QString Age;
    QDate Printed;
    QList<TFormulaText> Formulas;
    std::array<TReportTable, 3> Tables;
    QVector<TChartPage> Charts;
};

// Everything the report shows, from the results model, printed today.
TReportData ReportDataOf(const TResultsModel& model);

// A4 portrait with the report's margins.
QPageLayout ReportPageLayout();

// A piece of a page that is never cut: a title, the header rows of a table, one data row, a whole footer,
// a formula line, one test's charts. `Draw` paints it with its top at `top`, left at 0.
struct TPageBlock {
    double Height = 0;
    std::function<void(QPainter&, double top)> Draw;
    bool NewPage = false;      // starts a new page
    bool KeepWithNext = false; // goes to the page of the block that follows
    int Section = -1;          // the table whose title and header rows repeat above it on a new page
};

// Where a block goes: its page and its top within the page's body.
struct TPlacement {
    const TPageBlock* Block = nullptr;
    double Top = 0;
};

// Splits blocks into pages of `bodyHeight`: a block that does not fit goes to the next page together
// with the blocks it is kept with; a block of a table that began on an earlier page gets the table's
// repeated header (`repeats[Section]`) above it first. A block taller than a page stands alone.
QVector<QVector<TPlacement>> Paginate(const QVector<TPageBlock>& blocks, const QVector<TPageBlock>& repeats,
                                      double bodyHeight);

class TReportDocument {
public:
    explicit TReportDocument(TReportData data) : m_data(std::move(data)) {}

    // Lays the report out on the device's pages and paints pages `fromPage` to `toPage` (counted from 1;
    // 0 for the first or the last page). Returns the number of pages of the whole report. The device's
    // page layout must be set. Throws Platform::EError when the device cannot be painted on, and
    // EIncorrectExpr for a malformed formula text.
    int Print(QPagedPaintDevice& device, int fromPage = 0, int toPage = 0) const;

private:
    TReportData m_data;
};

} // namespace Results
