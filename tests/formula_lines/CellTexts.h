// Cell texts of a ППП table and its footer, given as short strings, for the formula line tests.
#pragma once

#include "results/FormulaLines.h"
#include "results/Result_Calc.h"

#include <QStringList>

namespace FormulaCells {

// A table whose data rows hold the eight factor cells of each entry, written as "+! 0 ± - ...".
inline Results::TCellTexts table(const QStringList& rows) {
    QList<QStringList> cells;
    for (const QString& row : rows)
        cells << row.split(QLatin1Char(' '));
    return Results::TCellTexts(Results::kHeaderRows + int(rows.size()), [cells](int col, int row) {
        return cells.value(row - Results::kHeaderRows).value(col - 2);
    });
}

// A table with one column (column 2) holding the given cells, written as "+ + -!!".
inline Results::TCellTexts column(const QString& spaced) {
    QStringList rows;
    for (const QString& cell : spaced.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        rows << cell;
    return table(rows);
}

// A footer with the eight СНТ values in row 2 and the four РВН values in row 3, columns 1, 3, 5, 7.
inline Results::TCellTexts footer(const QString& zeroSums,
                                  const QString& differences = QStringLiteral("0 0 0 0")) {
    const QStringList snt = zeroSums.split(QLatin1Char(' '));
    const QStringList rvn = differences.split(QLatin1Char(' '));
    return Results::TCellTexts(Results::kFooterRows, [snt, rvn](int col, int row) {
        if (row == 2 && col >= 1)
            return snt.value(col - 1);
        if (row == 3 && col % 2 == 1)
            return rvn.value(col / 2);
        return QString();
    });
}

} // namespace FormulaCells
