// The report template's chart area over the workbook layer.
#include "results/ReportTemplate.h"

#include "platform/ErrorDisplay.h"
#include "platform/XlsxWorkbook.h"

#include <QRect>

namespace Results {

void CreateProfileTables(Platform::TXlsxWorkbook& book, Platform::TXlsxWorksheet& sheet, int row, int col,
                         const QString& title) {
    const Platform::TXlsxWorksheet* proto = book.Sheet(kPrototypeSheet);
    if (!proto)
        throw Platform::EError(
            QStringLiteral("В шаблоне нет листа \"%1\" для таблиц профилей").arg(kPrototypeSheet));
    sheet.CopyArea(*proto, QRect(1, 1, kPrototypeCols, kPrototypeRows), row, col);
    sheet.SetText(row + kPrototypeTitleRow - 1, col, title);
}

} // namespace Results
