// Footer indices, the derived ТКП table and chart bars, computed on the grids' texts.
#include "results/Result_Calc.h"

#include "data/DataMod.h"
#include "platform/Dialogs.h"
#include "platform/Locale.h"
#include "scoring/Calc_Unit.h"
#include "widgets/StringGrid.h"

#include <QHash>

#include <cmath>
#include <cstdlib>
#include <numeric>

namespace Results {

namespace {

const QString kZero = Calc::ReactionSigns[0];
const QString kAmbivalent = Calc::ReactionSigns[1];
const QString kPlus = Calc::ReactionSigns[2];
const QString kMinus = Calc::ReactionSigns[3];

// Marks of a factor cell: its length after the reaction character.
int marksOf(QStringView cell) { return std::max(0, static_cast<int>(cell.size()) - 1); }

// A count digit of the profile strings as a number.
int countDigit(QChar ch) {
    if (!ch.isDigit() || ch.unicode() > '9')
        throw Calc::EConvertError(QStringLiteral("«%1» не является числом").arg(ch));
    return ch.unicode() - '0';
}

// The vector number and the two reaction characters of a pair as one number (a missing character as 0).
quint64 pairKey(int vector, QStringView first, QStringView second) {
    const auto code = [](QStringView ch) { return quint64(ch.isEmpty() ? 0 : ch[0].unicode()); };
    return (quint64(vector) << 32) | (code(first) << 16) | code(second);
}

// Classifies every vector pair of every row through a reference table and writes the two count rows,
// the percentages and the totals. `addRow` adds one row's contribution given the table value and marks.
template <class AddRow>
bool countBalance(const Widgets::TStringGrid& table, Widgets::TStringGrid& footer, int row,
                  Data::TTable& reference, const QString& valueField, QWidget* owner, AddRow addRow) {
    if (!reference.Active())
        reference.Open();
    // The first row of each (vector, pair), as a locate on "Vector;Reaction" would find it; read once
    // instead of a locate per cell.
    const int vectorField = reference.FieldIndex(QStringLiteral("Vector"));
    const int reactionField = reference.FieldIndex(QStringLiteral("Reaction"));
    const int valueIndex = reference.FieldIndex(valueField);
    if (vectorField < 0 || reactionField < 0 || valueIndex < 0)
        throw Data::EDatabaseError(QStringLiteral("Таблица %1 не содержит нужных полей").arg(valueField));
    QHash<quint64, int> values;
    for (int r = 0; r < reference.RecordCount(); ++r) {
        const QString vectorText = reference.Value(r, vectorField).toString();
        const QString reaction = reference.Value(r, reactionField).toString();
        bool isNumber = false;
        const int vector = vectorText.toInt(&isNumber);
        // Rows that no vector number and pair of at most two characters can equal.
        if (!isNumber || QString::number(vector) != vectorText || vector < 0 || reaction.size() > 2)
            continue;
        const quint64 key = pairKey(vector, reaction.left(1), reaction.mid(1, 1));
        if (!values.contains(key))
            values.insert(key, reference.Value(r, valueIndex).toInt());
    }

    int totalA = 0;
    int totalB = 0;
    for (int v = 0; v < 4; ++v) {
        int a = 0;
        int b = 0;
        for (int r = kHeaderRows; r < table.RowCount(); ++r) {
            const QStringView first = table.CellView(2 * v + 2, r);
            const QStringView second = table.CellView(2 * v + 3, r);
            const auto found = values.constFind(pairKey(v, first.left(1), second.left(1)));
            if (found == values.constEnd()) {
                Platform::messageBox(owner, QStringLiteral("Неверный номер вектора или реакции!"),
                                     QStringLiteral("Ошибка расчета мажорно-минорных реакций"),
                                     Platform::MsgIcon::Error);
                return false;
            }
            addRow(found.value(), marksOf(first) + marksOf(second), a, b);
        }
        footer.SetCell(2 * v + 1, row, QString::number(a));
        footer.SetCell(2 * v + 1, row + 1, QString::number(b));
        footer.SetCell(2 * v + 2, row, Percent(a, a + b));
        totalA += a;
        totalB += b;
    }
    footer.SetCell(kFooterTotalCol, row, QString::number(totalA));
    footer.SetCell(kFooterTotalCol, row + 1, QString::number(totalB));
    footer.SetCell(kFooterQuotientCol, row, Percent(totalA, totalA + totalB));
    return true;
}

} // namespace

QString TheoreticalCell(const QString& cell) {
    const QString sign = cell.left(1);
    const QString marks = cell.mid(1);
    if (sign == kPlus)
        return kMinus + marks;
    if (sign == kMinus)
        return kPlus + marks;
    if (sign == kZero)
        return kAmbivalent + marks;
    if (sign == kAmbivalent)
        return kZero + marks;
    return {};
}

void TProfileCounts::addCell(int f, QStringView cell) {
    if (cell.startsWith(kZero))
        ++m_zeros[size_t(f)];
    else if (cell.startsWith(kAmbivalent))
        ++m_ambivalents[size_t(f)];
    m_marks += marksOf(cell);
}

int TProfileCounts::TotalZeros() const { return std::accumulate(m_zeros.begin(), m_zeros.end(), 0); }

int TProfileCounts::TotalAmbivalents() const {
    return std::accumulate(m_ambivalents.begin(), m_ambivalents.end(), 0);
}

double TProfileCounts::TspQu() const {
    const int ambivalents = TotalAmbivalents();
    return ambivalents == 0 ? 0.0 : RoundHalfUp(double(TotalZeros()) / ambivalents, 2);
}

double TProfileCounts::SyPercent() const {
    // A table without tests has no factor cells: its share is 0 rather than a division by zero.
    return m_tests > 0 ? RoundHalfUp(double(TotalSnt()) / (kFactors * m_tests) * 100, 1) : 0.0;
}

double RoundHalfUp(double x, int k) {
    const double unit = std::pow(10.0, -k);
    return std::trunc(x / unit + 0.5) * unit;
}

QString Percent(int x, int total) {
    if (total == 0)
        return QStringLiteral("0%");
    return Platform::FloatToStr(RoundHalfUp(x * 100 / static_cast<double>(total), 1)) + QLatin1Char('%');
}

void DeriveTheoretical(const Widgets::TStringGrid& ppp, Widgets::TStringGrid& tkp) {
    if (tkp.RowCount() != ppp.RowCount())
        tkp.SetRowCount(ppp.RowCount());
    for (int r = 0; r < ppp.RowCount(); ++r)
        for (int c = 0; c < ppp.ColCount(); ++c) {
            QString text;
            if (r < kHeaderRows || c < 2 || c >= kSntCol)
                text = ppp.Cell(c, r);
            else if (c == kSumZeroCol)
                text = ppp.Cell(kSumAmbCol, r);
            else if (c == kSumAmbCol)
                text = ppp.Cell(kSumZeroCol, r);
            else
                text = TheoreticalCell(ppp.Cell(c, r));
            tkp.SetCell(c, r, text);
        }
}

void CountFooter(const Widgets::TStringGrid& table, Widgets::TStringGrid& footer) {
    TProfileCounts counts;
    for (int r = kHeaderRows; r < table.RowCount(); ++r)
        counts.AddRow([&](int f) { return table.CellView(f + 2, r); });
    for (int f = 1; f <= Calc::kFactorCount; ++f) {
        footer.SetCell(f, 0, QString::number(counts.Zeros(f - 1)));
        footer.SetCell(f, 1, QString::number(counts.Ambivalents(f - 1)));
        footer.SetCell(f, 2, QString::number(counts.Snt(f - 1)));
        if (f % 2 == 0)
            footer.SetCell(f - 1, 3, QString::number(std::abs(counts.Snt(f - 2) - counts.Snt(f - 1))));
    }
    footer.SetCell(kFooterTotalCol, 0, QString::number(counts.TotalZeros()));
    footer.SetCell(kFooterTotalCol + 1, 1, QString::number(counts.TotalAmbivalents()));
    footer.SetCell(kFooterTotalCol + 2, 2, QString::number(counts.TotalSnt()));
    footer.SetCell(kFooterTotalCol, 3, QStringLiteral("Sum! = ") + QString::number(counts.Marks()));
    footer.SetCell(kFooterQuotientCol, 0, QStringLiteral("TspQu=") + Platform::FloatToStr(counts.TspQu()));
    footer.SetCell(kFooterQuotientCol, 2, QStringLiteral("Sy%=") + Platform::FloatToStr(counts.SyPercent()));
}

bool CountDurMoll(const Widgets::TStringGrid& table, Widgets::TStringGrid& footer, int row, QWidget* owner) {
    return countBalance(
        table, footer, row, *Main_DataModule->DurMoll_Table, QStringLiteral("DurMoll"), owner,
        [](int value, int marks, int& dur, int& moll) { (value == 0 ? dur : moll) += marks + 1; });
}

bool CountSoz(const Widgets::TStringGrid& table, Widgets::TStringGrid& footer, int row, QWidget* owner) {
    return countBalance(table, footer, row, *Main_DataModule->Soz_Table, QStringLiteral("Soz"), owner,
                        [](int value, int marks, int& plus, int& minus) {
                            ++(value == 0 ? plus : minus);
                            minus += marks;
                        });
}

QString ProfileCounts(const QString& resultTest, const QString& resultProfil) {
    if (!resultTest.isEmpty())
        return Calc::DeriveProfil(resultTest);
    if (resultProfil.isEmpty())
        return {};
    if (resultProfil.size() != Calc::kResultProfilLength)
        throw Calc::EConvertError(QStringLiteral("Профиль «%1» должен состоять из %2 цифр")
                                      .arg(resultProfil)
                                      .arg(Calc::kResultProfilLength));
    for (const QChar ch : resultProfil)
        countDigit(ch);
    return resultProfil;
}

QVector<QStringList> ChartBarTexts(QStringView plus, QStringView minus) {
    constexpr int rows = kChartRows - kHeaderRows;
    constexpr int plusBottom = kChartMaxBar - 1; // the bottom of the plus half, counted from row 2
    QVector<QStringList> texts(rows, QStringList(Calc::kFactorCount, QString()));
    for (int c = 0; c < Calc::kFactorCount; ++c) {
        // A count beyond one half (impossible from a test run) stays inside its half.
        const int n = std::min(countDigit(plus[c]), kChartMaxBar);
        const int m = std::min(countDigit(minus[c]), kChartMaxBar);
        for (int k = 0; k < n; ++k)
            texts[plusBottom - k][c] = kPlusBar;
        for (int k = 0; k < m; ++k)
            texts[plusBottom + 1 + k][c] = kMinusBar;
    }
    return texts;
}

void FillChartBars(Widgets::TStringGrid& grid, QStringView plus, QStringView minus) {
    const QVector<QStringList> texts = ChartBarTexts(plus, minus);
    for (int r = 0; r < texts.size(); ++r)
        for (int c = 0; c < Calc::kFactorCount; ++c)
            if (!texts[r][c].isEmpty())
                grid.SetCell(c, kHeaderRows + r, texts[r][c]);
}

} // namespace Results
