// The two formulas of the results window's picture, the drive formula and the latency proportion: their
// texts in the formula language, built from the cell texts of the ППП table and its footer, and their
// drawing line by line through the formula engine.
#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>

class QPainter;
class TExprChain;

namespace Results {

// A read-only view of the cell texts of a table or a footer: rows of texts (the rows of `head`, then those
// of `body`; cells past a row's end are empty), or texts a caller supplies cell by cell.
class TCellTexts {
public:
    using TCellFunc = std::function<QString(int col, int row)>;

    TCellTexts(int rowCount, TCellFunc cell);
    TCellTexts(QVector<QStringList> head, QVector<QStringList> body);

    QString Cell(int col, int row) const;
    int RowCount() const { return m_rowCount; }

private:
    int m_rowCount;
    TCellFunc m_cell;
    QVector<QStringList> m_head, m_body;
};

// Layout of the picture's lines: the left column, the font size in points, the top of the first line and
// the vertical gaps before a line.
inline constexpr int kFormulaLeft = 5;
inline constexpr int kFormulaFontSize = 14;
inline constexpr int kFormulaTop = 5;
inline constexpr int kFirstTermsGap = 5;
inline constexpr int kTermsGap = 3;
inline constexpr int kSectionGap = 10;
// The drive formula's lines hold the factors whose СНТ is at least kStrongZeroSum, then those from
// kMiddleZeroSum up, then the rest.
inline constexpr int kStrongZeroSum = 6;
inline constexpr int kMiddleZeroSum = 3;

inline const QString kDriveTitle = QStringLiteral("String(Формула побуждений: )");
inline const QString kLatencyTitle = QStringLiteral("String(Пропорция латентности: )");

// The integer in a footer cell; throws Calc::EConvertError for any other text.
int FooterInt(const TCellTexts& footer, int col, int row);

// The largest СНТ (footer row 2) over the eight factor columns; 0 when all are 0.
int MaxZeroSum(const TCellTexts& footer);

// The reaction most frequent in a table column ("0", "±", "+", "-" win ties in that order; "0" for a
// column without reactions), followed by the marks of the most marked cell of the column, whichever
// reaction that cell has.
QString DominantReaction(const TCellTexts& table, int column);

// The factors whose СНТ is `low` to `high`, by falling СНТ and in factor order on equal СНТ, each as the
// factor name with the СНТ below and its dominant reaction above; empty when none.
QString BuildDriveTerms(const TCellTexts& table, const TCellTexts& footer, int low, int high);

// Per vector, by falling РВН (equal values in the order S, P, Sch, C): the vector, the factor with the
// smaller СНТ (the first one on equal values) and its dominant reaction over the vector's РВН.
QString BuildLatencyProportion(const TCellTexts& table, const TCellTexts& footer);

// One formula text as a line on `canvas`: a blank, then the formula, at 14 points, measured and ready to
// draw. Raises EIncorrectExpr for a malformed text.
std::unique_ptr<TExprChain> BuildFormulaLine(QPainter& canvas, const QString& text);

// Draws one formula text at 14 points with its top-left corner at (kFormulaLeft, y), after a blank, and
// returns y plus the height of the line. Raises EIncorrectExpr for a malformed text.
int DrawFormulaLine(QPainter& canvas, const QString& text, int y);

// A line of the picture before it is drawn: its text and the gap above it in picture pixels (for the
// first line, the distance from the top).
struct TFormulaText {
    QString Text;
    int Gap = 0;
};

// The lines of the drive formula and the latency proportion of the ППП table and footer, top down,
// without the empty ones.
QList<TFormulaText> FormulaLineTexts(const TCellTexts& table, const TCellTexts& footer);

// A line drawn into the picture: its text and the row of its top.
struct TFormulaLine {
    QString Text;
    int Y = 0;
};

// Draws the lines (FormulaLineTexts) into the picture, top down; nothing is drawn outside the picture.
// Returns the lines drawn.
QList<TFormulaLine> DrawFormulaLines(QImage& picture, const QList<TFormulaText>& lines);

// The formula picture of the results window (kPictureSize, `ratio` device pixels per pixel): the lines
// drawn on the tooltip background.
inline constexpr QSize kPictureSize(649, 257);
QImage FormulaPicture(const QList<TFormulaText>& lines, qreal ratio = 1.0);

} // namespace Results
