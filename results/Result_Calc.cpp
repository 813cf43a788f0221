// Footer indices, ТКП cells, balances and chart bars, computed on values.
#include "results/Result_Calc.h"

#include "platform/Locale.h"
#include "scoring/Calc_Unit.h"

#include <cmath>
#include <cstdlib>
#include <numeric>

namespace Results {

namespace {

const QString kZero = Calc::ReactionSigns[0];
const QString kAmbivalent = Calc::ReactionSigns[1];
const QString kPlus = Calc::ReactionSigns[2];
const QString kMinus = Calc::ReactionSigns[3];

// A count digit of the profile strings as a number.
int countDigit(QChar ch) {
    if (!ch.isDigit() || ch.unicode() > '9')
        throw Calc::EConvertError(QStringLiteral("«%1» не является числом").arg(ch));
    return ch.unicode() - '0';
}

// The place in ReactionSigns of the reaction that starts a cell; -1 for none.
int typeOf(QStringView cell) { return cell.isEmpty() ? -1 : ReactionType(cell.front()); }

// Classifies every vector pair of every row through a reference table; `addRow` adds one row's
// contribution given the table value and the pair's marks.
template <class AddRow>
TBalance countBalance(const QVector<TRowReactions>& rows, const TBalanceTable& table, AddRow addRow) {
    TBalance balance;
    for (int v = 0; v < int(balance.A.size()); ++v) {
        for (const TRowReactions& row : rows) {
            const TCellReaction first = row[std::size_t(2 * v)];
            const TCellReaction second = row[std::size_t(2 * v + 1)];
            const int* value = table.Value(v, first.Type, second.Type);
            if (!value)
                return balance;
            addRow(*value, first.Marks + second.Marks, balance.A[v], balance.B[v]);
        }
        balance.Vectors = v + 1;
    }
    return balance;
}

} // namespace

int ReactionType(QChar sign) {
    static const std::array<qint8, 256> types = [] {
        std::array<qint8, 256> table;
        table.fill(-1);
        for (std::size_t t = 0; t < Calc::ReactionSigns.size(); ++t)
            table[Calc::ReactionSigns[t].front().unicode()] = qint8(t);
        return table;
    }();
    return sign.unicode() < types.size() ? types[sign.unicode()] : -1;
}

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

void TProfileCounts::AddCell(int f, int type, int marks) {
    ++m_types[size_t(type)][size_t(f)];
    m_marks += marks;
}

int TProfileCounts::TotalZeros() const { return std::accumulate(m_types[0].begin(), m_types[0].end(), 0); }

int TProfileCounts::TotalAmbivalents() const {
    return std::accumulate(m_types[1].begin(), m_types[1].end(), 0);
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

int TBalance::TotalA() const { return std::accumulate(A.begin(), A.end(), 0); }
int TBalance::TotalB() const { return std::accumulate(B.begin(), B.end(), 0); }

TBalanceTable::TBalanceTable(const QVector<Data::BalanceRow>& rows) {
    for (const Data::BalanceRow& row : rows) {
        const QStringView reaction(row.reaction);
        const int first = typeOf(reaction.left(1));
        const int second = typeOf(reaction.mid(1));
        if (row.vector < 0 || row.vector > 3 || reaction.size() != 2 || first < 0 || second < 0)
            continue;
        std::optional<int>& value = m_values[std::size_t((row.vector * kTypes + first) * kTypes + second)];
        if (!value)
            value = row.value;
    }
}

const int* TBalanceTable::Value(int vector, int a, int b) const {
    if (vector < 0 || vector > 3 || a < 0 || a >= kTypes || b < 0 || b >= kTypes)
        return nullptr;
    const std::optional<int>& value = m_values[std::size_t((vector * kTypes + a) * kTypes + b)];
    return value ? &*value : nullptr;
}

TBalance CountDurMoll(const QVector<TRowReactions>& rows, const TBalanceTable& table) {
    return countBalance(rows, table, [](int value, int marks, int& dur, int& moll) {
        (value == 0 ? dur : moll) += marks + 1;
    });
}

TBalance CountSoz(const QVector<TRowReactions>& rows, const TBalanceTable& table) {
    return countBalance(rows, table, [](int value, int marks, int& plus, int& minus) {
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

} // namespace Results
