// The results of one testee, computed once from his test records and the reference tables: the three
// profile tables with their footers, the chart pages and the formula texts. The results window, the chart
// pages, the spreadsheet report, the PDF and the statistics export show what it holds. It holds no widget,
// reads no database and shows nothing: a balance stopped by a missing reference row is a value in it.
// The texts of the table rows and the chart captions are made from it when they are shown or written:
// a window opened to read the formulas needs none of the thousands of them.
#pragma once

#include "data/Records.h"
#include "results/FormulaLines.h"
#include "results/Result_Calc.h"

#include <QRect>
#include <QStringList>
#include <QVector>

#include <array>
#include <optional>

namespace Results {

// The three profiles, in the order of their tabs.
enum TProfile { kPpp, kEkp, kTkp };

// A profile table with its footer.
struct TProfileTable {
    QVector<TRowReactions> Cells;    // per test, oldest first: its factor cells as counted
    TProfileCounts Counts;           // footer rows kZeroRow to kRvnRow
    std::optional<TBalance> DurMoll; // from kBalanceMinTests tests on; never for ТКП
    std::optional<TBalance> Soz;     // from kBalanceMinTests tests on
    QVector<QStringList> Footer;     // per footer row its kFooterCols cells as shown, labels included
};

// A balance that a vector pair missing from its reference table stopped.
struct TBalanceFailure {
    TProfile Table;
    bool Soz; // else Dur/Moll
};

// One page of the charts: "number - date" and the 32 count digits of its test (empty: no bars).
struct TChartPage {
    QString Caption;
    QString Counts;
};

struct TResultsModel {
    std::array<QString, 4> Particulars; // name, group, sex ("Мужской", "Женский" or empty), age
    int Tests = 0;
    QVector<Data::TestRecord> Records; // the tests, oldest first
    std::array<TProfileTable, 3> Tables;
    QStringList ChartCounts;           // per chart page, newest test first, its count digits (empty: no bars)
    QList<TFormulaText> Formulas;      // the lines of the formula picture, top down
    QVector<TBalanceFailure> Failures; // in the order the balances are counted
};

// The two header rows of every profile table, and the merged areas (x = column, y = row) of a table and
// of a footer of `rows` rows.
const QVector<QStringList>& TableHeaders();
QVector<QRect> TableMerges();
QVector<QRect> FooterMerges(int rows);

// The three tables of `tests` (oldest first) with the counting rows of their footers, no balances yet.
// Throws Calc::EConvertError for a record whose reaction strings cannot be shown.
std::array<TProfileTable, 3> ProfileTables(const QVector<Data::TestRecord>& tests);

// The whole model of testee `testee` with his `tests`, oldest first; the balances from kBalanceMinTests
// tests on through `references`. Throws Calc::EConvertError for a malformed record.
TResultsModel ComputeResults(const Data::Testee& testee, const QVector<Data::TestRecord>& tests,
                             const Data::ReferenceTables& references);

// The rows of table `t` as shown: per test, oldest first, its kTableCols cells.
QVector<QStringList> TableRows(const TResultsModel& model, TProfile t);
// The chart pages, newest test first, and their captions alone.
QVector<TChartPage> ChartPages(const TResultsModel& model);
QStringList ChartCaptions(const TResultsModel& model);
// The texts of table `t` (its header rows included) and of its footer, for the formula texts.
TCellTexts TableTexts(const TResultsModel& model, TProfile t);
TCellTexts FooterTexts(const TProfileTable& table);

} // namespace Results
