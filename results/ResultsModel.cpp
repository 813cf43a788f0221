// The results model: rows from the records' reaction strings, ТКП by inverting ППП, footers from the
// counts and balances, chart pages from the count digits, formula texts from the ППП table and footer.
#include "results/ResultsModel.h"

#include "platform/Locale.h"
#include "scoring/Calc_Unit.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace Results {

namespace {

// Place in ReactionSigns of the ТКП reaction of each ППП reaction: "0" <-> "±", "+" <-> "-".
constexpr std::array<int, 4> kInverted = {1, 0, 3, 2};

// Texts made once and kept for the life of the program, handed out as strings over their characters:
// copies of such strings share no counted data, so the thousands of cells of a large table cost no
// reference counting to copy, fill into grids and free.
class TFixedTexts {
public:
    QString Add(const QString& text) {
        m_chars.push_back(std::make_unique<QChar[]>(std::size_t(text.size())));
        std::copy(text.begin(), text.end(), m_chars.back().get());
        return QString::fromRawData(m_chars.back().get(), text.size());
    }

private:
    std::vector<std::unique_ptr<QChar[]>> m_chars;
};

// The texts of the factor cells: a reaction type followed by the marks of its intensity, made once, so
// that the cells of every row share them.
class TFactorCells {
public:
    TFactorCells() {
        for (std::size_t t = 0; t < Calc::ReactionSigns.size(); ++t)
            for (std::size_t m = 0; m < MarkStrings.size(); ++m)
                m_cells[t][m] = m_texts.Add(Calc::ReactionSigns[t] + MarkStrings[m]);
    }

    // Reaction type `i` of Calc_Profil (its place in ReactionSigns) and intensity digit `i` of
    // Calc_ProfilNapr. A record whose strings do not hold a known type and a digit 0 to 3 there cannot be
    // shown.
    void Parse(const Data::TestRecord& record, int i, int& type, int& marks) const {
        type = i < record.calcProfil.size() ? ReactionType(record.calcProfil[i]) : -1;
        if (type < 0)
            throw Calc::EConvertError(QStringLiteral("Неверный тип реакции «%1» в записи тестирования от %2")
                                          .arg(QStringView(record.calcProfil).mid(i, 1).toString(),
                                               Platform::DateToStr(record.date)));
        const char16_t digit = i < record.calcProfilNapr.size() ? record.calcProfilNapr[i].unicode() : u'\0';
        marks = int(digit) - '0';
        if (unsigned(marks) >= MarkStrings.size())
            throw Calc::EConvertError(
                QStringLiteral("Неверная интенсивность реакции «%1» в записи тестирования от %2")
                    .arg(QStringView(record.calcProfilNapr).mid(i, 1).toString(),
                         Platform::DateToStr(record.date)));
    }
    // The cell text of a type and intensity.
    const QString& Of(TCellReaction cell) const { return m_cells[cell.Type][cell.Marks]; }

private:
    TFixedTexts m_texts;
    std::array<std::array<QString, std::tuple_size_v<decltype(MarkStrings)>>,
               std::tuple_size_v<decltype(Calc::ReactionSigns)>>
        m_cells;
};

const TFactorCells& factorCells() {
    static const TFactorCells cells;
    return cells;
}

// The texts of the sums of a half row (0 to 8 factors).
const QString& sumText(int n) {
    static TFixedTexts texts;
    static const std::array<QString, Calc::kFactorCount + 1> numbers = [] {
        std::array<QString, Calc::kFactorCount + 1> made;
        for (std::size_t i = 0; i < made.size(); ++i)
            made[i] = texts.Add(QString::number(i));
        return made;
    }();
    return numbers[std::size_t(n)];
}

// Row k of a table as shown: the number and date of its test, its factor cells, their sums and the note.
QStringList rowTexts(const TRowReactions& cells, const Data::TestRecord& record, int k,
                     const Platform::TDateFormat& dateFormat) {
    const TFactorCells& texts = factorCells();
    std::array<int, 4> sum{}; // cells of each reaction type
    for (const TCellReaction cell : cells)
        ++sum[cell.Type];
    return {QString::number(k + 1),   dateFormat.Text(record.date),
            texts.Of(cells[0]),       texts.Of(cells[1]),
            texts.Of(cells[2]),       texts.Of(cells[3]),
            texts.Of(cells[4]),       texts.Of(cells[5]),
            texts.Of(cells[6]),       texts.Of(cells[7]),
            sumText(sum[0]),          sumText(sum[1]),
            sumText(sum[0] + sum[1]), record.note};
}

// The footer's cells: labels, counting rows, and the balance rows that were counted.
QVector<QStringList> footerCells(const TProfileTable& table, bool theoretical) {
    const int rows = theoretical ? kTkpFooterRows : kFooterRows;
    QVector<QStringList> cells(rows, QStringList(kFooterCols, QString()));
    for (int r = 0; r < rows; ++r)
        cells[r][0] = FooterLabels[theoretical && r >= kFirstBalanceRow ? r + 2 : r];
    const TProfileCounts& counts = table.Counts;
    for (int f = 1; f <= Calc::kFactorCount; ++f) {
        cells[kZeroRow][f] = QString::number(counts.Zeros(f - 1));
        cells[kAmbivalentRow][f] = QString::number(counts.Ambivalents(f - 1));
        cells[kSntRow][f] = QString::number(counts.Snt(f - 1));
        if (f % 2 == 0)
            cells[kRvnRow][f - 1] = QString::number(std::abs(counts.Snt(f - 2) - counts.Snt(f - 1)));
    }
    cells[kZeroRow][kFooterTotalCol] = QString::number(counts.TotalZeros());
    cells[kAmbivalentRow][kFooterTotalCol + 1] = QString::number(counts.TotalAmbivalents());
    cells[kSntRow][kFooterTotalCol + 2] = QString::number(counts.TotalSnt());
    cells[kRvnRow][kFooterTotalCol] = QStringLiteral("Sum! = ") + QString::number(counts.Marks());
    cells[kZeroRow][kFooterQuotientCol] = QStringLiteral("TspQu=") + Platform::FloatToStr(counts.TspQu());
    cells[kSntRow][kFooterQuotientCol] = QStringLiteral("Sy%=") + Platform::FloatToStr(counts.SyPercent());
    // Per vector its two counts and the share of the first; the totals only when every vector was counted.
    const auto balance = [&](const std::optional<TBalance>& b, int row) {
        if (!b)
            return;
        for (int v = 0; v < b->Vectors; ++v) {
            cells[row][2 * v + 1] = QString::number(b->A[v]);
            cells[row + 1][2 * v + 1] = QString::number(b->B[v]);
            cells[row][2 * v + 2] = Percent(b->A[v], b->A[v] + b->B[v]);
        }
        if (!b->Complete())
            return;
        cells[row][kFooterTotalCol] = QString::number(b->TotalA());
        cells[row + 1][kFooterTotalCol] = QString::number(b->TotalB());
        cells[row][kFooterQuotientCol] = Percent(b->TotalA(), b->TotalA() + b->TotalB());
    };
    balance(table.DurMoll, kDurMollRow);
    balance(table.Soz, theoretical ? kTkpSozRow : kSozRow);
    return cells;
}

} // namespace

const QVector<QStringList>& TableHeaders() {
    static const QVector<QStringList> headers = [] {
        QVector<QStringList> rows(kHeaderRows, QStringList(kTableCols, QString()));
        rows[0][0] = QStringLiteral("№");
        rows[0][1] = QStringLiteral("Дата");
        for (int v = 0; v < 4; ++v)
            rows[0][2 * v + 2] = Calc::VectorNames[v];
        for (int f = 1; f <= Calc::kFactorCount; ++f)
            rows[1][f + 1] = Calc::FactorNames[f - 1];
        rows[0][kSumZeroCol] = QStringLiteral("Sum 0");
        rows[0][kSumAmbCol] = QStringLiteral("Sum ±");
        rows[0][kSntCol] = QStringLiteral("СНТ");
        rows[0][kNoteCol] = QStringLiteral("Примечание");
        return rows;
    }();
    return headers;
}

QVector<QRect> TableMerges() {
    // The vectors over their two factors in row 0, every other title over both header rows.
    QVector<QRect> merges;
    for (int c = 0; c < kTableCols; ++c)
        if (c < 2 || c >= kSumZeroCol)
            merges.append(QRect(QPoint(c, 0), QPoint(c, 1)));
        else if (c % 2 == 0)
            merges.append(QRect(QPoint(c, 0), QPoint(c + 1, 0)));
    return merges;
}

QVector<QRect> FooterMerges(int rows) {
    QVector<QRect> merges = {QRect(QPoint(kFooterQuotientCol, 0), QPoint(kFooterQuotientCol, 1))};
    for (int v = 0; v < 4; ++v)
        merges.append(QRect(QPoint(2 * v + 1, kRvnRow), QPoint(2 * v + 2, kRvnRow)));
    for (int r = kRvnRow; r < rows; ++r)
        merges.append(QRect(QPoint(kFooterTotalCol, r), QPoint(kFooterTotalCol + 2, r)));
    // Balance rows come in pairs: the percentages stand over both rows of a pair.
    for (int r = kFirstBalanceRow; r + 1 < rows; r += 2) {
        merges.append(QRect(QPoint(kFooterQuotientCol, r), QPoint(kFooterQuotientCol, r + 1)));
        for (int c = 2; c <= 8; c += 2)
            merges.append(QRect(QPoint(c, r), QPoint(c, r + 1)));
    }
    return merges;
}

std::array<TProfileTable, 3> ProfileTables(const QVector<Data::TestRecord>& tests) {
    const TFactorCells& parser = factorCells();
    std::array<TProfileTable, 3> tables;
    for (TProfileTable& table : tables)
        table.Cells.resize(tests.size());
    for (int k = 0; k < tests.size(); ++k) {
        const Data::TestRecord& record = tests[k];
        const auto add = [&](int t, int f, int type, int marks) {
            tables[t].Cells[k][std::size_t(f)] = {quint8(type), quint8(marks)};
            tables[t].Counts.AddCell(f, type, marks);
        };
        for (int half = 0; half < 2; ++half)
            for (int f = 0; f < Calc::kFactorCount; ++f) {
                int type = 0;
                int marks = 0;
                parser.Parse(record, half * Calc::kFactorCount + f, type, marks);
                add(half, f, type, marks);
                // ТКП inverts every reaction of ППП and keeps its marks.
                if (half == 0)
                    add(kTkp, f, kInverted[type], marks);
            }
        for (TProfileTable& table : tables)
            table.Counts.AddTest();
    }
    return tables;
}

QVector<QStringList> TableRows(const TResultsModel& model, TProfile t) {
    const QVector<TRowReactions>& cells = model.Tables[t].Cells;
    const Platform::TDateFormat dateFormat;
    QVector<QStringList> rows;
    rows.reserve(cells.size());
    for (int k = 0; k < cells.size(); ++k)
        rows.append(rowTexts(cells[k], model.Records[k], k, dateFormat));
    return rows;
}

QStringList ChartCaptions(const TResultsModel& model) {
    const Platform::TDateFormat dateFormat;
    QStringList captions;
    captions.reserve(model.Tests);
    for (int k = model.Tests - 1; k >= 0; --k)
        captions.append(QString::number(k + 1) + QStringLiteral(" - ") +
                        dateFormat.Text(model.Records[k].date));
    return captions;
}

QVector<TChartPage> ChartPages(const TResultsModel& model) {
    const QStringList captions = ChartCaptions(model);
    QVector<TChartPage> pages;
    pages.reserve(captions.size());
    for (qsizetype j = 0; j < captions.size(); ++j)
        pages.append({captions[j], model.ChartCounts.value(j)});
    return pages;
}

TResultsModel ComputeResults(const Data::Testee& testee, const QVector<Data::TestRecord>& tests,
                             const Data::ReferenceTables& references) {
    TResultsModel model;
    const QString sex = testee.sex == QStringLiteral("М")   ? QStringLiteral("Мужской")
                        : testee.sex == QStringLiteral("Ж") ? QStringLiteral("Женский")
                                                            : QString();
    // No age is stored as none; an age of 0 is no age a testee can be given either.
    model.Particulars = {testee.fio, testee.groupName, sex,
                         testee.age > 0 ? QString::number(testee.age) : QString()};
    model.Tests = int(tests.size());
    model.Records = tests;
    model.Tables = ProfileTables(tests);

    // The balances in the order ППП Dur/Moll, ЭКП Dur/Moll, ППП Soz, ЭКП Soz, ТКП Soz; a missing reference
    // row stops only the balance it belongs to.
    if (model.Tests >= kBalanceMinTests) {
        const TBalanceTable durMoll(references.durMoll);
        const TBalanceTable soz(references.soz);
        const auto note = [&](TProfile t, bool isSoz, const TBalance& balance) {
            if (!balance.Complete())
                model.Failures.append({t, isSoz});
            return balance;
        };
        for (TProfile t : {kPpp, kEkp})
            model.Tables[t].DurMoll = note(t, false, CountDurMoll(model.Tables[t].Cells, durMoll));
        for (TProfile t : {kPpp, kEkp, kTkp})
            model.Tables[t].Soz = note(t, true, CountSoz(model.Tables[t].Cells, soz));
    }
    for (TProfile t : {kPpp, kEkp, kTkp})
        model.Tables[t].Footer = footerCells(model.Tables[t], t == kTkp);

    // One chart page per test, the newest first, numbered as in the tables.
    model.ChartCounts.reserve(model.Tests);
    for (int j = model.Tests - 1; j >= 0; --j)
        model.ChartCounts.append(ProfileCounts(tests[j].resultTest, tests[j].resultProfil));
    model.Formulas = FormulaLineTexts(TableTexts(model, kPpp), FooterTexts(model.Tables[kPpp]));
    return model;
}

TCellTexts TableTexts(const TResultsModel& model, TProfile t) {
    // Each cell made when asked for: the formula texts read only the factor cells.
    return TCellTexts(kHeaderRows + model.Tests,
                      [cells = model.Tables[t].Cells, records = model.Records](int col, int row) -> QString {
                          if (row < kHeaderRows)
                              return TableHeaders().value(row).value(col);
                          const int k = row - kHeaderRows;
                          if (row >= kHeaderRows + cells.size() || col < 0)
                              return {};
                          if (col >= 2 && col < 2 + Calc::kFactorCount)
                              return factorCells().Of(cells[k][std::size_t(col - 2)]);
                          return rowTexts(cells[k], records[k], k, Platform::TDateFormat()).value(col);
                      });
}

TCellTexts FooterTexts(const TProfileTable& table) { return TCellTexts({}, table.Footer); }

} // namespace Results
