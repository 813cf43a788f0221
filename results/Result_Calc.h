// The computations of the results window on its string grids: the ТКП table derived from the ППП table,
// the footer indices (counts, quotients, Dur/Moll and Soz balances), the chart bars and the 32 count
// digits of a record. They work on any grids of the results window's shape, so they run without the
// window; Result_Frm calls them in its loading order.
#pragma once

#include "scoring/Calc_Unit.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <array>

class QWidget;

namespace Widgets {
class TStringGrid;
}

namespace Results {

// Marks of an intensity digit 0 to 3.
inline const std::array<QString, 4> MarkStrings = {QString(), QStringLiteral("!"), QStringLiteral("!!"),
                                                   QStringLiteral("!!!")};
// Row labels of the ППП and ЭКП footers; the ТКП footer has the first four and the two Soz rows.
inline const std::array<QString, 8> FooterLabels = {
    QStringLiteral("Sum 0"), QStringLiteral("Sum ±"), QStringLiteral("СНТ"),  QStringLiteral("РВН"),
    QStringLiteral("Dur"),   QStringLiteral("Moll"),  QStringLiteral("Soz+"), QStringLiteral("Soz-")};

// Profile tables: two header rows, then one row per test; factor f (1 to 8) in column f + 1.
inline constexpr int kHeaderRows = 2;
inline constexpr int kTableCols = 14;
inline constexpr int kSumZeroCol = 10;
inline constexpr int kSumAmbCol = 11;
inline constexpr int kSntCol = 12;
inline constexpr int kNoteCol = 13;
// Footers: labels in column 0, factor f in column f, totals in column 9 (10, 11 for rows 1, 2),
// quotients and percentages in column 12.
inline constexpr int kFooterCols = 13;
inline constexpr int kFooterTotalCol = 9;
inline constexpr int kFooterQuotientCol = 12;
inline constexpr int kFooterRows = 8;
inline constexpr int kTkpFooterRows = 6;
// Chart grids: 8 factor columns, two header rows, plus half rows 2-7, minus half rows 8-13.
inline constexpr int kChartRows = 14;
inline constexpr int kChartMaxBar = 6;
inline const QString kPlusBar = QStringLiteral(" ");
inline const QString kMinusBar = QStringLiteral("  ");

// trunc(x / 10^-k + 0.5) * 10^-k for the non-negative values of the footers.
double RoundHalfUp(double x, int k);
// "0%" for a total of 0, else x * 100 / total rounded to one decimal, in the user's locale, with "%".
QString Percent(int x, int total);

// The ТКП cell of a ППП factor cell: the reaction inverted ("+" <-> "-", "0" <-> "±"), the marks kept;
// empty for a cell that starts with no reaction.
QString TheoreticalCell(const QString& cell);

// Writes the ТКП table from the ППП table: headers, numbers, dates and notes copied, every reaction
// inverted (TheoreticalCell), Sum 0 and Sum ± swapped, СНТ kept.
void DeriveTheoretical(const Widgets::TStringGrid& ppp, Widgets::TStringGrid& tkp);

// The counting indices of a profile table (footer rows 0 to 3), gathered row by row from the factor
// cells as the tables show them. The footer and the statistics export both count through it.
class TProfileCounts {
public:
    // Adds one data row: `cell(f)` is the cell of factor f (0 to 7).
    template <class CellOf> void AddRow(CellOf&& cell) {
        for (int f = 0; f < kFactors; ++f)
            addCell(f, cell(f));
        ++m_tests;
    }

    int Tests() const { return m_tests; }
    int Zeros(int f) const { return m_zeros[size_t(f)]; }
    int Ambivalents(int f) const { return m_ambivalents[size_t(f)]; }
    int Snt(int f) const { return Zeros(f) + Ambivalents(f); }
    int TotalZeros() const;
    int TotalAmbivalents() const;
    int TotalSnt() const { return TotalZeros() + TotalAmbivalents(); }
    int Marks() const { return m_marks; }
    // Zeros over ambivalents rounded to two decimals; 0 without ambivalents.
    double TspQu() const;
    // The share of zeros and ambivalents among all factor cells, in percent to one decimal; 0 without tests.
    double SyPercent() const;

private:
    static constexpr int kFactors = Calc::kFactorCount;
    void addCell(int f, QStringView cell);
    std::array<int, kFactors> m_zeros{};
    std::array<int, kFactors> m_ambivalents{};
    int m_marks = 0;
    int m_tests = 0;
};

// Rows 0 to 3 of a footer: zeros, ambivalents, СНТ and РВН per factor, their totals, the marks total,
// "TspQu=" and "Sy%=".
void CountFooter(const Widgets::TStringGrid& table, Widgets::TStringGrid& footer);

// Rows `row` and `row` + 1 of a footer: per vector the Dur and Moll counts (marks weigh with the row's
// class) and the Dur percentage, through Main_DataModule->DurMoll_Table. A vector pair missing from the
// table shows the error message (owner `owner`) and ends the call; returns false then.
bool CountDurMoll(const Widgets::TStringGrid& table, Widgets::TStringGrid& footer, int row, QWidget* owner);
// The same for Soz+ and Soz- through Soz_Table: a row adds 1 to its class, and its marks always to Soz-.
bool CountSoz(const Widgets::TStringGrid& table, Widgets::TStringGrid& footer, int row, QWidget* owner);

// The 32 count digits of a record: derived from Result_Test when it is not empty, else Result_Profil as
// stored; empty when both are empty. Throws Calc::EConvertError for a malformed string.
QString ProfileCounts(const QString& resultTest, const QString& resultProfil);

// Bars of one profile into a chart grid: for column c, plus count plus[c] fills rows 7 upward with " ",
// minus count minus[c] rows 8 downward with "  " (each at most 6 rows). `plus` and `minus` are 8 digits.
void FillChartBars(Widgets::TStringGrid& grid, QStringView plus, QStringView minus);
// The texts that FillChartBars leaves in rows 2 to 13 of an empty chart grid, as 12 rows of 8 columns
// (" ", "  " or empty): the chart page's texts without building its grid.
QVector<QStringList> ChartBarTexts(QStringView plus, QStringView minus);

} // namespace Results
