// The report template's own operation: one chart area laid out from the prototype on the template's
// hidden sheet. The layout knowledge of the report lives here and in ExportExcel; the workbook layer in
// platform/ knows none of it.
#pragma once

#include <QString>

namespace Platform {
class TXlsxWorkbook;
class TXlsxWorksheet;
} // namespace Platform

namespace Results {

// The sheet holding the chart area's prototype (rows 1–16, columns A–H); the title goes into the area's
// second row, first column.
inline const QString kPrototypeSheet = QStringLiteral("Proto");
inline constexpr int kPrototypeRows = 16;
inline constexpr int kPrototypeCols = 8;
inline constexpr int kPrototypeTitleRow = 2;

// The prototype area of `book` laid out on `sheet` with its top-left corner at (row, column) and `title`
// written in; " " and "  " cells show red and blue through the prototype's conditional formats. Throws
// Platform::EError when the template has no prototype or the area does not fit.
void CreateProfileTables(Platform::TXlsxWorkbook& book, Platform::TXlsxWorksheet& sheet, int row, int col,
                         const QString& title);

} // namespace Results
