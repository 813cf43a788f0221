// The computations of the results on values: rounding and percentages, the ТКП cell of a ППП cell, the
// counting indices and the Dur/Moll and Soz balances of a profile table's rows, the 32 count digits of a
// record and the bar texts of its charts. No widget and no database: the results model computes with them
// once, and the windows and reports show what it holds.
#pragma once

#include "data/Records.h"
#include "scoring/Calc_Unit.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <array>
#include <optional>

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
// Footer rows: the counts (zeros, ambivalents, СНТ), РВН, then the balances in pairs of rows: Dur and
// Moll, Soz+ and Soz- (ТКП: Soz+ and Soz- only).
inline constexpr int kZeroRow = 0;
inline constexpr int kAmbivalentRow = 1;
inline constexpr int kSntRow = 2;
inline constexpr int kRvnRow = 3;
inline constexpr int kFirstBalanceRow = 4;
inline constexpr int kDurMollRow = 4;
inline constexpr int kSozRow = 6;
inline constexpr int kTkpSozRow = 4;
// Vector pairs are classified by the balance rows only from this many tests on.
inline constexpr int kBalanceMinTests = 8;
// Chart grids: 8 factor columns, two header rows, plus half rows 2-7, minus half rows 8-13.
inline constexpr int kChartRows = 14;
inline constexpr int kChartMaxBar = 6;
inline const QString kPlusBar = QStringLiteral(" ");
inline const QString kMinusBar = QStringLiteral("  ");

// The place in Calc::ReactionSigns of a reaction sign, -1 for any other character. Looked up in a table
// rather than searched for: the sign varies from cell to cell, and a search mispredicts on most cells.
int ReactionType(QChar sign);

// trunc(x / 10^-k + 0.5) * 10^-k for the non-negative values of the footers.
double RoundHalfUp(double x, int k);
// "0%" for a total of 0, else x * 100 / total rounded to one decimal, in the user's locale, with "%".
QString Percent(int x, int total);

// The ТКП cell of a ППП factor cell: the reaction inverted ("+" <-> "-", "0" <-> "±"), the marks kept;
// empty for a cell that starts with no reaction.
QString TheoreticalCell(const QString& cell);

// The counting indices of a profile table (footer rows 0 to 3), gathered row by row from the factor
// cells as the tables show them.
class TProfileCounts {
public:
    // Adds the cell of factor f (0 to 7) of a data row: its reaction's place in Calc::ReactionSigns and its
    // marks; AddTest counts the row once all its cells are in.
    void AddCell(int f, int type, int marks);
    void AddTest() { ++m_tests; }

    int Tests() const { return m_tests; }
    int Zeros(int f) const { return m_types[0][size_t(f)]; }
    int Ambivalents(int f) const { return m_types[1][size_t(f)]; }
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
    // Per reaction type (its place in Calc::ReactionSigns) and factor, the cells counted: counted without
    // a branch on the type, which varies from cell to cell.
    std::array<std::array<int, kFactors>, 4> m_types{};
    int m_marks = 0;
    int m_tests = 0;
};

// One balance of a footer over the vector pairs of a table's rows: per vector the counts of its two sides
// (Dur and Moll, or Soz+ and Soz-). `Vectors` is below 4 when the reference table had no row for a pair
// of the next vector: the counting stopped there, and the totals are not known.
struct TBalance {
    std::array<int, 4> A{};
    std::array<int, 4> B{};
    int Vectors = 0;
    bool Complete() const { return Vectors == int(A.size()); }
    int TotalA() const;
    int TotalB() const;
};

// A factor cell as counted: its reaction type (place in Calc::ReactionSigns) and its marks (0 to 3); the
// cells of one table row.
struct TCellReaction {
    quint8 Type = 0;
    quint8 Marks = 0;
};
using TRowReactions = std::array<TCellReaction, Calc::kFactorCount>;

// The rows of the DurMoll or Soz reference table by vector and pair: the first row of each, as a locate on
// "Vector;Reaction" finds it. Rows of no vector 0 to 3 or no pair of two reaction types match no cell.
class TBalanceTable {
public:
    explicit TBalanceTable(const QVector<Data::BalanceRow>& rows);
    // The value of the pair of reaction types `first` and `second` in vector `vector`; null when the table
    // has no row for it.
    const int* Value(int vector, int first, int second) const;

private:
    // Per vector, first and second type (places in Calc::ReactionSigns).
    static constexpr int kTypes = int(std::tuple_size_v<decltype(Calc::ReactionSigns)>);
    std::array<std::optional<int>, 4 * kTypes * kTypes> m_values{};
};

// Dur and Moll of a table's data rows: a pair of class 0 adds its marks + 1 to Dur, any other to Moll.
TBalance CountDurMoll(const QVector<TRowReactions>& rows, const TBalanceTable& table);
// Soz+ and Soz-: a pair adds 1 to its class (0: Soz+), and its marks always to Soz-.
TBalance CountSoz(const QVector<TRowReactions>& rows, const TBalanceTable& table);

// The 32 count digits of a record: derived from Result_Test when it is not empty, else Result_Profil as
// stored; empty when both are empty. Throws Calc::EConvertError for a malformed string.
QString ProfileCounts(const QString& resultTest, const QString& resultProfil);

// The bar texts of one profile in rows 2 to 13 of a chart grid, as 12 rows of 8 columns: for column c,
// plus count plus[c] fills rows 7 upward with " ", minus count minus[c] rows 8 downward with "  " (each at
// most 6 rows), other cells are empty. `plus` and `minus` are 8 digits.
QVector<QStringList> ChartBarTexts(QStringView plus, QStringView minus);

} // namespace Results
