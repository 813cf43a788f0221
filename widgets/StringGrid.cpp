// String grid: painted by hand so that fixed rows and columns stay in place while the rest scrolls.
#include "widgets/StringGrid.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSet>
#include <QTextLayout>
#include <QToolTip>

namespace Widgets {

namespace {
constexpr int kLine = 1; // grid line width
}

TStringGrid::TStringGrid(QWidget* parent) : QAbstractScrollArea(parent) {
    Color = palette().color(QPalette::Base);
    FixedColor = palette().color(QPalette::Button);
    CellFont = font();
    FixedFont = font();
    SelectedFont = font();
    FixedFontColor = palette().color(QPalette::ButtonText);
    setFocusPolicy(Qt::StrongFocus);
    m_colWidths.fill(m_defaultColWidth, m_cols);
    m_rowHeights.fill(m_defaultRowHeight, m_rows);
    m_texts.resize(m_rows);
    viewport()->setAutoFillBackground(false);
    updateScrollBars();
}

void TStringGrid::SetColCount(int cols) {
    cols = std::max(cols, 1);
    if (cols == m_cols)
        return;
    if (cols < m_cols)
        for (QStringList& row : m_texts)
            if (row.size() > cols)
                row.resize(cols);
    m_colWidths.resize(cols);
    for (int c = m_cols; c < cols; ++c)
        m_colWidths[c] = m_defaultColWidth;
    m_cols = cols;
    m_col = std::clamp(m_col, std::min(m_fixedCols, m_cols - 1), m_cols - 1);
    updateScrollBars();
    viewport()->update();
}

void TStringGrid::SetRowCount(int rows) {
    rows = std::max(rows, 1);
    if (rows == m_rows)
        return;
    m_texts.resize(rows);
    m_rowHeights.resize(rows);
    for (int r = m_rows; r < rows; ++r)
        m_rowHeights[r] = m_defaultRowHeight;
    m_rows = rows;
    m_row = std::clamp(m_row, std::min(m_fixedRows, m_rows - 1), m_rows - 1);
    updateScrollBars();
    viewport()->update();
}

void TStringGrid::SetFixedCols(int n) {
    m_fixedCols = std::clamp(n, 0, m_cols);
    m_col = std::max(m_col, std::min(m_fixedCols, m_cols - 1));
    updateScrollBars();
    viewport()->update();
}

void TStringGrid::SetFixedRows(int n) {
    m_fixedRows = std::clamp(n, 0, m_rows);
    m_row = std::max(m_row, std::min(m_fixedRows, m_rows - 1));
    updateScrollBars();
    viewport()->update();
}

void TStringGrid::SetDefaultColWidth(int w) {
    m_defaultColWidth = w;
    m_colWidths.fill(w, m_cols);
    updateScrollBars();
    viewport()->update();
}

void TStringGrid::SetDefaultRowHeight(int h) {
    m_defaultRowHeight = h;
    m_rowHeights.fill(h, m_rows);
    updateScrollBars();
    viewport()->update();
}

void TStringGrid::SetColWidth(int col, int width) {
    if (col < 0 || col >= m_cols)
        return;
    m_colWidths[col] = width;
    updateScrollBars();
    viewport()->update();
}

QString TStringGrid::Cell(int col, int row) const {
    if (col < 0 || col >= m_cols || row < 0 || row >= m_rows)
        return {};
    return m_texts[row].value(col);
}

void TStringGrid::SetRows(QVector<QStringList> rows) {
    // Rows wider than the grid drop what falls outside, as SetColCount would.
    for (QStringList& row : rows)
        if (row.size() > m_cols)
            row.resize(m_cols);
    const int count = std::max(int(rows.size()), 1);
    rows.resize(count);
    SetRowCount(count);
    m_texts = std::move(rows);
    if (isVisible())
        viewport()->update();
}

void TStringGrid::SetCell(int col, int row, const QString& text) {
    if (col < 0 || col >= m_cols || row < 0 || row >= m_rows)
        return;
    QStringList& texts = m_texts[row];
    if (texts.size() <= col)
        texts.resize(col + 1);
    texts[col] = text;
    // A hidden grid (a window filling its tables before it shows) paints everything when it shows.
    if (isVisible())
        viewport()->update();
}

void TStringGrid::Merge(int col1, int row1, int col2, int row2) {
    m_merges.append(QRect(col1, row1, col2 - col1 + 1, row2 - row1 + 1));
    viewport()->update();
}

void TStringGrid::ClearMerges() {
    m_merges.clear();
    viewport()->update();
}

QRect TStringGrid::MergedArea(int col, int row) const {
    for (const QRect& m : m_merges)
        if (m.contains(col, row))
            return m;
    return QRect(col, row, 1, 1);
}

void TStringGrid::SetCurrent(int col, int row) {
    col = std::clamp(col, std::min(m_fixedCols, m_cols - 1), m_cols - 1);
    row = std::clamp(row, std::min(m_fixedRows, m_rows - 1), m_rows - 1);
    if (col == m_col && row == m_row)
        return;
    m_col = col;
    m_row = row;
    ensureVisible(col, row);
    viewport()->update();
    Q_EMIT CurrentChanged(col, row);
}

int TStringGrid::colLeft(int col) const {
    int x = 0;
    for (int c = 0; c < col && c < m_cols; ++c)
        x += m_colWidths[c] + kLine;
    return x;
}

int TStringGrid::rowTop(int row) const {
    int y = 0;
    for (int r = 0; r < row && r < m_rows; ++r)
        y += m_rowHeights[r] + kLine;
    return y;
}

QSize TStringGrid::ContentSize() const { return QSize(colLeft(m_cols), rowTop(m_rows)); }

QSize TStringGrid::sizeHint() const {
    const QSize s = ContentSize();
    const int frame = 2 * frameWidth();
    return QSize(s.width() + frame, s.height() + frame);
}

QRect TStringGrid::CellRect(int col, int row) const {
    const QRect area = MergedArea(col, row);
    const int c2 = area.right();
    const int r2 = area.bottom();
    int x = colLeft(area.left());
    int y = rowTop(area.top());
    if (area.left() >= m_fixedCols)
        x -= horizontalScrollBar()->value();
    if (area.top() >= m_fixedRows)
        y -= verticalScrollBar()->value();
    const int w = colLeft(c2) - colLeft(area.left()) + m_colWidths.value(c2);
    const int h = rowTop(r2) - rowTop(area.top()) + m_rowHeights.value(r2);
    return QRect(x, y, w, h);
}

void TStringGrid::updateScrollBars() {
    if (!isVisible()) {
        m_scrollBarsStale = true;
        return;
    }
    setScrollBars();
}

void TStringGrid::setScrollBars() {
    m_scrollBarsStale = false;
    const QSize content = ContentSize();
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, content.width() - view.width()));
    horizontalScrollBar()->setPageStep(view.width());
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setRange(0, std::max(0, content.height() - view.height()));
    verticalScrollBar()->setPageStep(view.height());
    verticalScrollBar()->setSingleStep(m_defaultRowHeight + kLine);
}

void TStringGrid::ensureVisible(int col, int row) {
    if (m_scrollBarsStale)
        setScrollBars();
    if (col >= m_fixedCols) {
        const int fixedW = colLeft(m_fixedCols);
        const int left = colLeft(col) - fixedW;
        const int right = colLeft(col) + m_colWidths[col] - viewport()->width();
        QScrollBar* h = horizontalScrollBar();
        if (h->value() > left)
            h->setValue(left);
        else if (h->value() < right)
            h->setValue(std::min(right, left));
    }
    if (row >= m_fixedRows) {
        const int fixedH = rowTop(m_fixedRows);
        const int top = rowTop(row) - fixedH;
        const int bottom = rowTop(row) + m_rowHeights[row] - viewport()->height();
        QScrollBar* v = verticalScrollBar();
        if (v->value() > top)
            v->setValue(top);
        else if (v->value() < bottom)
            v->setValue(std::min(bottom, top));
    }
}

void TStringGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void TStringGrid::showEvent(QShowEvent* event) {
    if (m_scrollBarsStale)
        setScrollBars();
    QAbstractScrollArea::showEvent(event);
}

void TStringGrid::scrollContentsBy(int, int) { viewport()->update(); }

bool TStringGrid::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip && GetHint) {
        const auto* help = static_cast<QHelpEvent*>(event);
        int col, row;
        cellAt(help->pos(), col, row);
        const QString hint = col >= 0 && row >= 0 ? GetHint(col, row) : QString();
        if (hint.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), hint, viewport(), CellRect(col, row));
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

QString TStringGrid::fittedText(const QString& text, const QRect& rect, const QFont& font) const {
    const QFontMetrics fm(font, viewport());
    const int maxLines = std::max(1, rect.height() / fm.lineSpacing());
    QTextLayout layout(text, font, viewport());
    layout.beginLayout();
    QStringList lines;
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(rect.width());
        if (lines.size() == maxLines - 1) {
            // The last line that fits takes the rest of the text, elided.
            lines << fm.elidedText(text.mid(line.textStart()).simplified(), Qt::ElideRight, rect.width());
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines.join(QLatin1Char('\n'));
}

void TStringGrid::paintCell(QPainter& p, const QRect& rect, int col, int row) const {
    const bool fixed = col < m_fixedCols || row < m_fixedRows;
    QColor background = fixed ? FixedColor : Color;
    if (!fixed && GetCellColor)
        GetCellColor(col, row, background);
    const bool current = !fixed && ShowSelection && col == m_col && row == m_row;
    p.fillRect(rect, background);
    if (current && hasFocus())
        p.fillRect(rect, palette().color(QPalette::Highlight));

    QFont f = fixed ? FixedFont : (current ? SelectedFont : CellFont);
    p.setFont(f);
    QColor text = fixed ? FixedFontColor : palette().color(QPalette::Text);
    if (!isEnabled())
        text = palette().color(QPalette::Disabled, QPalette::Text);
    else if (current && hasFocus())
        text = palette().color(QPalette::HighlightedText);
    p.setPen(text);
    Qt::Alignment align = GetAlignment ? GetAlignment(col, row) : (Qt::AlignLeft | Qt::AlignVCenter);
    if (!(align & Qt::AlignVertical_Mask))
        align |= Qt::AlignVCenter;
    const QRect textRect = rect.adjusted(2, 1, -2, -1);
    const bool wrap = GetWordWrap ? GetWordWrap(col, row) : WordWrap;
    if (wrap)
        p.drawText(textRect, static_cast<int>(align) | Qt::TextWordWrap,
                   fittedText(Cell(col, row), textRect, f));
    else
        p.drawText(textRect, static_cast<int>(align), Cell(col, row));

    // Grid lines on the right and bottom edge; fixed cells get a raised look unless the grid is flat.
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(rect.right() + 1, rect.top(), rect.right() + 1, rect.bottom() + 1);
    p.drawLine(rect.left(), rect.bottom() + 1, rect.right() + 1, rect.bottom() + 1);
    if (fixed && !Flat) {
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(rect.left(), rect.top(), rect.right(), rect.top());
        p.drawLine(rect.left(), rect.top(), rect.left(), rect.bottom());
    }
    if (current && !hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        p.drawRect(rect.adjusted(0, 0, -1, -1));
    }
}

void TStringGrid::paintAll(QPainter& p, int scrollX, int scrollY, const QRect& clip) const {
    const int fixedW = colLeft(m_fixedCols);
    const int fixedH = rowTop(m_fixedRows);
    const QSize content = ContentSize();
    const int viewW = std::max(clip.right() + 1, content.width());
    const int viewH = std::max(clip.bottom() + 1, content.height());
    // Quadrants: fixed rows/cols stay, the rest is shifted by the scroll position.
    struct Quadrant {
        int c0, c1, r0, r1;
        QRect area;
        int dx, dy;
    };
    const Quadrant quads[] = {
        {m_fixedCols, m_cols, m_fixedRows, m_rows, QRect(fixedW, fixedH, viewW, viewH), -scrollX, -scrollY},
        {m_fixedCols, m_cols, 0, m_fixedRows, QRect(fixedW, 0, viewW, fixedH), -scrollX, 0},
        {0, m_fixedCols, m_fixedRows, m_rows, QRect(0, fixedH, fixedW, viewH), 0, -scrollY},
        {0, m_fixedCols, 0, m_fixedRows, QRect(0, 0, fixedW, fixedH), 0, 0},
    };
    for (const Quadrant& q : quads) {
        const QRect area = q.area.intersected(clip);
        if (area.isEmpty() || q.c0 >= q.c1 || q.r0 >= q.r1)
            continue;
        p.save();
        p.setClipRect(area);
        QSet<qint64> painted;
        int y = rowTop(q.r0) + q.dy;
        for (int r = q.r0; r < q.r1; ++r) {
            const int h = m_rowHeights[r];
            if (y > area.bottom())
                break;
            if (y + h + kLine >= area.top()) {
                int x = colLeft(q.c0) + q.dx;
                for (int c = q.c0; c < q.c1; ++c) {
                    const int w = m_colWidths[c];
                    if (x > area.right())
                        break;
                    if (x + w + kLine >= area.left()) {
                        const QRect m = MergedArea(c, r);
                        const qint64 key =
                            (static_cast<qint64>(m.top()) << 32) | static_cast<quint32>(m.left());
                        if (!painted.contains(key)) {
                            painted.insert(key);
                            const int mx = colLeft(m.left()) + q.dx;
                            const int my = rowTop(m.top()) + q.dy;
                            const int mw = colLeft(m.right()) - colLeft(m.left()) + m_colWidths[m.right()];
                            const int mh = rowTop(m.bottom()) - rowTop(m.top()) + m_rowHeights[m.bottom()];
                            paintCell(p, QRect(mx, my, mw, mh), m.left(), m.top());
                        }
                    }
                    x += w + kLine;
                }
            }
            y += h + kLine;
        }
        p.restore();
    }
}

void TStringGrid::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const QRect all = viewport()->rect();
    p.fillRect(all, palette().color(QPalette::Window));
    paintAll(p, horizontalScrollBar()->value(), verticalScrollBar()->value(), all);
}

void TStringGrid::PaintTo(QPainter& painter) const {
    const QSize s = ContentSize();
    paintAll(painter, 0, 0, QRect(QPoint(0, 0), s));
}

void TStringGrid::cellAt(const QPoint& pos, int& col, int& row) const {
    col = row = -1;
    const int fixedW = colLeft(m_fixedCols);
    const int fixedH = rowTop(m_fixedRows);
    const int x = pos.x() < fixedW ? pos.x() : pos.x() + horizontalScrollBar()->value();
    const int y = pos.y() < fixedH ? pos.y() : pos.y() + verticalScrollBar()->value();
    for (int c = 0, left = 0; c < m_cols; ++c) {
        if (x >= left && x < left + m_colWidths[c] + kLine) {
            col = c;
            break;
        }
        left += m_colWidths[c] + kLine;
    }
    for (int r = 0, top = 0; r < m_rows; ++r) {
        if (y >= top && y < top + m_rowHeights[r] + kLine) {
            row = r;
            break;
        }
        top += m_rowHeights[r] + kLine;
    }
}

void TStringGrid::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    int col, row;
    cellAt(event->position().toPoint(), col, row);
    if (col >= m_fixedCols && row >= m_fixedRows) {
        SetCurrent(col, row);
        Q_EMIT CellClicked(col, row);
    }
    viewport()->update();
}

void TStringGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    int col, row;
    cellAt(event->position().toPoint(), col, row);
    if (col >= 0 && row >= 0)
        Q_EMIT DblClick();
}

void TStringGrid::keyPressEvent(QKeyEvent* event) {
    if (OnKeyPress && OnKeyPress(event)) {
        event->accept();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Left:
        SetCurrent(m_col - 1, m_row);
        break;
    case Qt::Key_Right:
        SetCurrent(m_col + 1, m_row);
        break;
    case Qt::Key_Up:
        SetCurrent(m_col, m_row - 1);
        break;
    case Qt::Key_Down:
        SetCurrent(m_col, m_row + 1);
        break;
    case Qt::Key_Home:
        SetCurrent(m_fixedCols, m_row);
        break;
    case Qt::Key_End:
        SetCurrent(m_cols - 1, m_row);
        break;
    case Qt::Key_PageUp:
        SetCurrent(m_col, m_fixedRows);
        break;
    case Qt::Key_PageDown:
        SetCurrent(m_col, m_rows - 1);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

} // namespace Widgets
