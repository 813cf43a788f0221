// The string grid of the component set: a table of texts with fixed (frozen) header rows and columns,
// merged areas that show the text of their top-left cell, per-cell alignment and colour through
// callbacks, column widths and row heights, and a key hook for entry grids.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QRect>
#include <QStringList>
#include <QVector>

#include <functional>

namespace Widgets {

class TStringGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TStringGrid(QWidget* parent = nullptr);

    // Size. Growing keeps the texts; shrinking drops what falls outside.
    int ColCount() const { return m_cols; }
    int RowCount() const { return m_rows; }
    void SetColCount(int cols);
    void SetRowCount(int rows);
    int FixedRows() const { return m_fixedRows; }
    void SetFixedCols(int n);
    void SetFixedRows(int n);

    void SetDefaultColWidth(int w);  // applies to every column
    void SetDefaultRowHeight(int h); // applies to every row
    int ColWidth(int col) const { return m_colWidths.value(col); }
    int RowHeight(int row) const { return m_rowHeights.value(row); }
    void SetColWidth(int col, int width);

    // Cells, addressed (column, row) as the grid's callers count them.
    QString Cell(int col, int row) const;
    void SetCell(int col, int row, const QString& text);
    // Every row's texts at once, shared rather than copied (a short row reads as empty cells); the row
    // count becomes theirs.
    void SetRows(QVector<QStringList> rows);

    // Merged areas: column and row ranges inclusive.
    void Merge(int col1, int row1, int col2, int row2);
    void ClearMerges();
    // The merged area holding the cell, or the cell itself.
    QRect MergedArea(int col, int row) const;

    // Current (active) cell; only cells outside the fixed rows and columns can be current.
    int Col() const { return m_col; }
    int Row() const { return m_row; }
    void SetCurrent(int col, int row);

    // Looks.
    QColor Color;      // background of normal cells
    QColor FixedColor; // background of fixed cells
    QFont CellFont;    // normal cells
    QFont FixedFont;   // fixed cells
    QColor FixedFontColor;
    QFont SelectedFont; // the current cell
    bool ShowSelection = true;
    bool Flat = false;
    // Word wrap of every cell; a wrapped text shows the whole lines that fit, the last one elided.
    bool WordWrap = false;

    // Callbacks: alignment of a cell (default left, vertically centred) and its colour (starts as the
    // grid's colour; the callback may change it).
    std::function<Qt::Alignment(int col, int row)> GetAlignment;
    std::function<void(int col, int row, QColor& color)> GetCellColor;
    // Key hook: return true when the key was handled (it goes no further).
    std::function<bool(QKeyEvent* event)> OnKeyPress;
    // Word wrap of one cell, overriding WordWrap.
    std::function<bool(int col, int row)> GetWordWrap;
    // Tool tip of a cell; an empty text shows none.
    std::function<QString(int col, int row)> GetHint;

    // Geometry of a cell in viewport coordinates.
    QRect CellRect(int col, int row) const;
    // Whole size of the grid's content.
    QSize ContentSize() const;
    QSize sizeHint() const override;

    // Paints the whole grid (used for pictures of the grid).
    void PaintTo(QPainter& painter) const;

Q_SIGNALS:
    void CurrentChanged(int col, int row);
    void CellClicked(int col, int row);
    void DblClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;

private:
    int colLeft(int col) const; // content coordinates
    int rowTop(int row) const;
    void cellAt(const QPoint& viewportPos, int& col, int& row) const;
    // Sets the scroll ranges for the content; a hidden grid only marks them stale (a window filling its
    // grids before it shows would otherwise reset them at every column and row) and sets them when shown.
    void updateScrollBars();
    void setScrollBars();
    void ensureVisible(int col, int row);
    void paintCell(QPainter& p, const QRect& rect, int col, int row) const;
    QString fittedText(const QString& text, const QRect& rect, const QFont& font) const;
    void paintAll(QPainter& p, int scrollX, int scrollY, const QRect& clip) const;

    int m_cols = 5;
    int m_rows = 5;
    int m_fixedCols = 1;
    int m_fixedRows = 1;
    int m_defaultColWidth = 64;
    int m_defaultRowHeight = 24;
    QVector<int> m_colWidths;
    QVector<int> m_rowHeights;
    QVector<QStringList> m_texts; // per row; cells past a row's end are empty
    bool m_scrollBarsStale = false;
    QVector<QRect> m_merges; // x = col, y = row, width/height in cells
    int m_col = 1;
    int m_row = 1;
};

} // namespace Widgets
