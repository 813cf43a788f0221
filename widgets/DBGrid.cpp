// Data-aware grid.
#include "widgets/DBGrid.h"

#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionHeader>

namespace Widgets {

namespace {
constexpr int kMarkerWidth = 18;       // the arrow
constexpr int kPlacedMarkerWidth = 30; // the place number and the arrow
} // namespace

// ---- TTitleHeader ----

TTitleHeader::TTitleHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    setHighlightSections(false);
}

void TTitleHeader::mousePressEvent(QMouseEvent* event) {
    m_pressed = logicalIndexAt(event->position().toPoint());
    m_ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    QHeaderView::mousePressEvent(event);
}

void TTitleHeader::mouseReleaseEvent(QMouseEvent* event) {
    QHeaderView::mouseReleaseEvent(event);
    const int section = logicalIndexAt(event->position().toPoint());
    // A press that became a resize of a section edge is no click.
    if (section >= 0 && section == m_pressed && cursor().shape() != Qt::SplitHCursor)
        Q_EMIT TitleClick(section, m_ctrl || event->modifiers().testFlag(Qt::ControlModifier));
    m_pressed = -1;
}

int TTitleHeader::markerWidth(int logicalIndex) const {
    if (!m_markers || logicalIndex < 0 || logicalIndex >= m_markers->count() ||
        m_markers->marker(logicalIndex) == TSortMarkers::Marker::None)
        return 0;
    return m_markers->sortedCount() > 1 ? kPlacedMarkerWidth : kMarkerWidth;
}

int TTitleHeader::minimumTitleWidth(int logicalIndex) const {
    // The style's size of the section with its title in the title font, plus the marker's room.
    return sectionSizeFromContents(logicalIndex).width() + markerWidth(logicalIndex);
}

void TTitleHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    const bool marked = m_markers && logicalIndex < m_markers->count() &&
                        m_markers->marker(logicalIndex) != TSortMarkers::Marker::None;
    if (!marked) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    // The section's face over its whole width, the title in the part left of the marker.
    QStyleOptionHeader face;
    initStyleOption(&face);
    face.rect = rect;
    face.section = logicalIndex;
    style()->drawControl(QStyle::CE_HeaderSection, &face, painter, this);
    painter->save();
    QHeaderView::paintSection(painter, rect.adjusted(0, 0, -markerWidth(logicalIndex), 0), logicalIndex);
    painter->restore();
    const auto marker = m_markers->marker(logicalIndex);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const int size = 7;
    const int x = rect.right() - 12;
    const int y = rect.center().y();
    QPainterPath arrow;
    if (marker == TSortMarkers::Marker::Ascending) {
        arrow.moveTo(x, y - size / 2);
        arrow.lineTo(x + size / 2 + 1, y + size / 2);
        arrow.lineTo(x - size / 2 - 1, y + size / 2);
    } else {
        arrow.moveTo(x, y + size / 2);
        arrow.lineTo(x + size / 2 + 1, y - size / 2);
        arrow.lineTo(x - size / 2 - 1, y - size / 2);
    }
    arrow.closeSubpath();
    painter->fillPath(arrow, palette().color(QPalette::Dark));
    if (m_markers->sortedCount() > 1) {
        QFont f = font();
        f.setPixelSize(9);
        f.setBold(false);
        painter->setFont(f);
        painter->setPen(palette().color(QPalette::WindowText));
        painter->drawText(QRect(rect.right() - kPlacedMarkerWidth, rect.top(), 14, rect.height()),
                          Qt::AlignCenter, QString::number(m_markers->place(logicalIndex)));
    }
    painter->restore();
}

// ---- TDBGrid ----

TDBGrid::TDBGrid(Data::TDataset* dataset, QList<TColumn> columns, QWidget* parent)
    : QTableView(parent), m_dataset(dataset), m_markers(static_cast<int>(columns.size())) {
    m_model = new TDatasetModel(dataset, columns, this);
    m_header = new TTitleHeader(this);
    setHorizontalHeader(m_header);
    // Hidden while the model comes: a hidden header is not measured, and a grid measures its
    // visible header again when it is shown.
    verticalHeader()->hide();
    m_header->hide();
    setModel(m_model);
    m_header->show();
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionsClickable(false);
    // The selection stays visible when the grid loses the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
    for (int c = 0; c < columns.size(); ++c)
        setColumnWidth(c, columns[c].width);
    FitColumns();

    connect(m_header, &TTitleHeader::TitleClick, this, &TDBGrid::TitleClick);
    connect(m_dataset, &Data::TDataset::DataChange, this, &TDBGrid::syncFromDataset);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TDBGrid::syncFromDataset);
    // A re-open after a title click comes with new markers: the titles get their room.
    connect(m_model, &QAbstractItemModel::modelReset, this, &TDBGrid::FitColumns);
    syncFromDataset();
}

void TDBGrid::SetTitleSorting(bool on) {
    m_header->setMarkers(on ? &m_markers : nullptr);
    m_header->setSectionsClickable(on);
    FitColumns();
}

void TDBGrid::SetScaleColumns(bool on) {
    m_scale = on;
    if (on)
        horizontalHeader()->setStretchLastSection(false);
    FitColumns();
}

void TDBGrid::FitColumns() {
    // A window fills and re-reads its lists before it shows them: measured once, when shown.
    if (!isVisible()) {
        m_fitPending = true;
        return;
    }
    m_fitPending = false;
    const auto& columns = m_model->columns();
    const int count = static_cast<int>(columns.size());
    QList<int> minimum(count);
    // Titles that are not shown are not cut.
    for (int c = 0; c < count; ++c)
        minimum[c] = m_header->isHidden() ? 16 : std::max(16, m_header->minimumTitleWidth(c));
    if (!m_scale) {
        // Widths the user set stay unless they would cut a title.
        for (int c = 0; c < count; ++c)
            if (columnWidth(c) < minimum[c])
                setColumnWidth(c, minimum[c]);
        return;
    }
    const int available = viewport()->width();
    if (count == 0 || available <= 0)
        return;
    // Columns share the width in proportion to their given widths; a column whose share is narrower than
    // its title takes the title's width, and the others share what is left, again in proportion.
    QList<bool> fixed(count, false);
    QList<int> width(count, 0);
    for (bool changed = true; changed;) {
        changed = false;
        int rest = available;
        int total = 0;
        for (int c = 0; c < count; ++c) {
            if (fixed[c])
                rest -= minimum[c];
            else
                total += columns[c].width;
        }
        for (int c = 0; c < count; ++c) {
            width[c] = fixed[c] ? minimum[c] : (total > 0 ? columns[c].width * std::max(rest, 0) / total : 0);
            if (!fixed[c] && width[c] < minimum[c]) {
                fixed[c] = true;
                changed = true;
            }
        }
    }
    // Rounding leftovers go to the last column that is not held at its title's width.
    int used = 0;
    for (int w : width)
        used += w;
    for (int c = count - 1; c >= 0; --c) {
        if (!fixed[c]) {
            width[c] += std::max(available - used, 0);
            break;
        }
    }
    for (int c = 0; c < count; ++c)
        setColumnWidth(c, width[c]);
}

void TDBGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    if (m_scale)
        FitColumns();
}

void TDBGrid::showEvent(QShowEvent* event) {
    QTableView::showEvent(event);
    if (m_fitPending)
        FitColumns();
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
        Q_EMIT RowDoubleClicked();
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
    // Enter opens what a double click opens; a window that does not listen keeps Enter for its default
    // button.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && currentIndex().isValid() &&
        isSignalConnected(QMetaMethod::fromSignal(&TDBGrid::RowDoubleClicked))) {
        event->accept();
        Q_EMIT RowDoubleClicked();
        return;
    }
    QTableView::keyPressEvent(event);
}

QModelIndex TDBGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    // In a row list the columns are not places of their own: Home and End move between rows, as Ctrl+Home
    // and Ctrl+End do.
    if (selectionBehavior() == SelectRows && (action == MoveHome || action == MoveEnd) &&
        m_model->rowCount() > 0) {
        const int column = std::max(0, currentIndex().column());
        return m_model->index(action == MoveHome ? 0 : m_model->rowCount() - 1, column);
    }
    return QTableView::moveCursor(action, modifiers);
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (m_syncing || !current.isValid() || !m_dataset->Active())
        return;
    if (current.row() != m_dataset->CurrentRow()) {
        m_syncing = true;
        m_dataset->SetRecNo(current.row() + 1);
        m_syncing = false;
    }
}

QItemSelectionModel::SelectionFlags TDBGrid::selectionCommand(const QModelIndex& index,
                                                              const QEvent* event) const {
    // With several rows selectable, Ctrl with a movement key would move the current row without its
    // highlight; the actions work on the current row, so the highlight goes with it.
    if (event && event->type() == QEvent::KeyPress && selectionMode() == ExtendedSelection) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        const bool movement = key->key() == Qt::Key_Up || key->key() == Qt::Key_Down ||
                              key->key() == Qt::Key_Home || key->key() == Qt::Key_End ||
                              key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown;
        if (movement && key->modifiers() == Qt::ControlModifier)
            return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    }
    return QTableView::selectionCommand(index, event);
}

void TDBGrid::syncFromDataset() {
    if (m_syncing || m_dataset->ControlsDisabled())
        return;
    const int row = m_dataset->Active() ? m_dataset->CurrentRow() : -1;
    m_syncing = true;
    if (row >= 0 && row < m_model->rowCount()) {
        const QModelIndex idx = m_model->index(row, std::max(0, currentIndex().column()));
        if (currentIndex().row() != row)
            selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
        // A hidden grid scrolls to its current row when shown; scrolling now would lay it out twice.
        if (isVisible())
            scrollTo(idx);
    }
    m_syncing = false;
}

} // namespace Widgets
