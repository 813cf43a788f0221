// The report template's own operations, given to a workbook opened from it: "AddString" and
// "DelString" grow and shrink a profile block by rows, "CreateProfilTables" lays out one chart area
// from the prototype on the template's hidden sheet. The layout knowledge of the report lives here and
// in ExportExcel; the workbook layer in platform/ knows none of it.
#pragma once

#include <QString>

namespace Platform {
class TXlsxWorkbook;
}

namespace Results {

// The sheet holding the chart area's prototype (rows 1–16, columns A–H); the title goes into the area's
// second row, first column.
inline const QString kPrototypeSheet = QStringLiteral("Proto");
inline constexpr int kPrototypeRows = 16;
inline constexpr int kPrototypeCols = 8;
inline constexpr int kPrototypeTitleRow = 2;

// Gives `book` the three operations:
//   "AddString"(row[, count]): `count` (default 1) copies of row `row` of the first sheet inserted at it;
//   "DelString"(row): row `row` of the first sheet deleted;
//   "CreateProfilTables"(row, column, sheet name, title): the prototype area laid out on the named sheet
//   with its top-left corner at (row, column) and the title written in; " " and "  " cells show red
//   and blue through the prototype's conditional formats.
void AddReportMacros(Platform::TXlsxWorkbook& book);

} // namespace Results
