// Texts and drawing of the drive formula and the latency proportion of the results window's picture.
#include "results/FormulaLines.h"

#include "formula/ExprParser.h"
#include "platform/SysColors.h"
#include "results/Result_Calc.h"
#include "scoring/Calc_Unit.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <memory>

namespace Results {

namespace {

const QString kDriveJoin = QStringLiteral(" & Space(7) & ");
const QString kLatencyJoin = QStringLiteral(" & Space(10) & ");

// Table column of factor f (1 to 8).
int factorColumn(int f) { return f + 1; }

// The reactions and the most marks counted over the cells of one column.
class TColumnReactions {
public:
    void Add(const QString& cell) {
        // Every reaction is one character.
        if (const int type = cell.isEmpty() ? -1 : ReactionType(cell.front()); type >= 0)
            ++m_counts[std::size_t(type)];
        m_marks = std::max(m_marks, int(cell.size()) - 1);
    }
    QString Dominant() const {
        // max_element returns the first of equal counts, which is the earlier reaction; all 0 gives "0".
        const auto chosen = std::max_element(m_counts.begin(), m_counts.end()) - m_counts.begin();
        // A cell never holds more than three marks; a longer one shows the most there is.
        return Calc::ReactionSigns[chosen] + MarkStrings[std::min(m_marks, int(MarkStrings.size()) - 1)];
    }

private:
    std::array<int, 4> m_counts{};
    int m_marks = 0;
};

// The dominant reaction of every factor (index f - 1), from one walk over the table's rows.
using TDominantReactions = std::array<QString, Calc::kFactorCount>;

TDominantReactions dominantReactions(const TCellTexts& table) {
    std::array<TColumnReactions, Calc::kFactorCount> columns;
    for (int row = kHeaderRows; row < table.RowCount(); ++row)
        for (int f = 1; f <= Calc::kFactorCount; ++f)
            columns[f - 1].Add(table.Cell(factorColumn(f), row));
    TDominantReactions dominant;
    for (int f = 0; f < Calc::kFactorCount; ++f)
        dominant[f] = columns[f].Dominant();
    return dominant;
}

QString driveTerms(const TDominantReactions& dominant, const TCellTexts& footer, int low, int high) {
    QStringList terms;
    for (int number = high; number >= low; --number) {
        const QString numberText = QString::number(number);
        for (int f = 1; f <= Calc::kFactorCount; ++f) {
            if (footer.Cell(f, kSntRow) != numberText)
                continue;
            terms << QStringLiteral("Pow(Ind(%1,%2), String(%3))")
                         .arg(Calc::FactorNames[f - 1], numberText, dominant[f - 1]);
        }
    }
    return terms.join(kDriveJoin);
}

QString latencyProportion(const TDominantReactions& dominant, const TCellTexts& footer) {
    constexpr int kVectorCount = int(Calc::VectorNames.size());
    std::array<int, kVectorCount> order{};
    std::array<int, kVectorCount> difference{};
    for (int v = 0; v < kVectorCount; ++v) {
        order[v] = v;
        difference[v] = FooterInt(footer, 2 * v + 1, kRvnRow);
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return difference[a] > difference[b]; });

    QStringList terms;
    for (const int v : order) {
        const int c = 2 * v + 1; // footer column of the vector's first factor, which is factor c
        const int first = FooterInt(footer, c, kSntRow);
        const int second = FooterInt(footer, c + 1, kSntRow);
        const int factor = second < first ? c + 1 : c;
        const QString sign = dominant[factor - 1].left(1);
        terms << QStringLiteral("String(%1 %2%3)/%4")
                     .arg(Calc::VectorNames[v], Calc::FactorNames[factor - 1], sign, footer.Cell(c, kRvnRow));
    }
    return terms.join(kLatencyJoin);
}

} // namespace

TCellTexts::TCellTexts(int rowCount, TCellFunc cell) : m_rowCount(rowCount), m_cell(std::move(cell)) {}

TCellTexts::TCellTexts(QVector<QStringList> head, QVector<QStringList> body)
    : m_rowCount(int(head.size() + body.size())), m_head(std::move(head)), m_body(std::move(body)) {}

QString TCellTexts::Cell(int col, int row) const {
    if (m_cell)
        return m_cell(col, row);
    if (row < 0 || row >= m_rowCount)
        return {};
    return row < m_head.size() ? m_head[row].value(col) : m_body[row - m_head.size()].value(col);
}

int FooterInt(const TCellTexts& footer, int col, int row) {
    const QString text = footer.Cell(col, row);
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok)
        throw Calc::EConvertError(QStringLiteral("«%1» не является целым числом").arg(text));
    return value;
}

int MaxZeroSum(const TCellTexts& footer) {
    int result = 0;
    for (int f = 1; f <= Calc::kFactorCount; ++f)
        result = std::max(result, FooterInt(footer, f, kSntRow));
    return result;
}

QString DominantReaction(const TCellTexts& table, int column) {
    TColumnReactions reactions;
    for (int row = kHeaderRows; row < table.RowCount(); ++row)
        reactions.Add(table.Cell(column, row));
    return reactions.Dominant();
}

QString BuildDriveTerms(const TCellTexts& table, const TCellTexts& footer, int low, int high) {
    return driveTerms(dominantReactions(table), footer, low, high);
}

QString BuildLatencyProportion(const TCellTexts& table, const TCellTexts& footer) {
    return latencyProportion(dominantReactions(table), footer);
}

std::unique_ptr<TExprChain> BuildFormulaLine(QPainter& canvas, const QString& text) {
    TExprBuilder builder;
    TExprPtr tree = builder.BuildExpr(text);
    // A blank italic name in front gives every line the same small indent.
    auto blank = std::make_unique<TExprVar>(QStringLiteral(" "));
    blank->AddNext(std::move(tree));
    auto line = std::make_unique<TExprChain>(std::move(blank));
    line->SetCanvas(&canvas);
    line->SetFontSize(kFormulaFontSize);
    return line;
}

int DrawFormulaLine(QPainter& canvas, const QString& text, int y) {
    const std::unique_ptr<TExprChain> line = BuildFormulaLine(canvas, text);
    line->Draw(kFormulaLeft, y, 0, 0);
    return y + line->Height();
}

QList<TFormulaText> FormulaLineTexts(const TCellTexts& table, const TCellTexts& footer) {
    QList<TFormulaText> lines;
    const int maxZeroSum = MaxZeroSum(footer);
    const TDominantReactions dominant = dominantReactions(table);
    lines.append({kDriveTitle, kFormulaTop});
    // Factors by СНТ: from kStrongZeroSum up to the largest, then the middle ones, then the rest. Only the
    // first of these lines stands further from the title; when it is empty the next one keeps its own gap.
    struct TTermsLine {
        int low, high, gap;
    };
    const std::array<TTermsLine, 3> termsLines = {{{kStrongZeroSum, maxZeroSum, kFirstTermsGap},
                                                   {kMiddleZeroSum, kStrongZeroSum - 1, kTermsGap},
                                                   {0, kMiddleZeroSum - 1, kTermsGap}}};
    for (const TTermsLine& line : termsLines) {
        const QString terms = driveTerms(dominant, footer, line.low, line.high);
        if (!terms.isEmpty())
            lines.append({terms, line.gap});
    }
    lines.append({kLatencyTitle, kSectionGap});
    const QString proportion = latencyProportion(dominant, footer);
    if (!proportion.isEmpty())
        lines.append({proportion, kTermsGap});
    return lines;
}

QList<TFormulaLine> DrawFormulaLines(QImage& picture, const QList<TFormulaText>& lines) {
    QList<TFormulaLine> drawn;
    QPainter painter(&picture);
    painter.setClipRect(picture.rect());
    int y = 0;
    for (const TFormulaText& line : lines) {
        drawn.append({line.Text, y + line.Gap});
        y = DrawFormulaLine(painter, line.Text, y + line.Gap);
    }
    return drawn;
}

QImage FormulaPicture(const QList<TFormulaText>& lines, qreal ratio) {
    QImage picture(kPictureSize * ratio, QImage::Format_RGB32);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Platform::ColorToQColor(Platform::clInfoBk));
    DrawFormulaLines(picture, lines);
    return picture;
}

} // namespace Results
