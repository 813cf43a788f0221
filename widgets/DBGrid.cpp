// Data-aware grid.
#include "widgets/DBGrid.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionHeader>

namespace Widgets {

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
    const int markerWidth = m_markers->sortedCount() > 1 ? 30 : 18;
    painter->save();
    QHeaderView::paintSection(painter, rect.adjusted(0, 0, -markerWidth, 0), logicalIndex);
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
        painter->drawText(QRect(rect.right() - 30, rect.top(), 14, rect.height()), Qt::AlignCenter,
                          QString::number(m_markers->place(logicalIndex)));
    }
    painter->restore();
}

// ---- TDBGrid ----

TDBGrid::TDBGrid(Data::TDataset* dataset, QList<TColumn> columns, QWidget* parent)
    : QTableView(parent), m_dataset(dataset), m_markers(static_cast<int>(columns.size())) {
    m_model = new TDatasetModel(dataset, columns, this);
    m_header = new TTitleHeader(this);
    setHorizontalHeader(m_header);
    setModel(m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    verticalHeader()->hide();
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

    connect(m_header, &TTitleHeader::TitleClick, this, &TDBGrid::TitleClick);
    connect(m_dataset, &Data::TDataset::DataChange, this, &TDBGrid::syncFromDataset);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TDBGrid::syncFromDataset);
    syncFromDataset();
}

void TDBGrid::SetTitleSorting(bool on) {
    m_header->setMarkers(on ? &m_markers : nullptr);
    m_header->setSectionsClickable(on);
}

void TDBGrid::SetScaleColumns(bool on) {
    m_scale = on;
    if (on) {
        horizontalHeader()->setStretchLastSection(false);
        scaleColumns();
    }
}

void TDBGrid::scaleColumns() {
    const auto& columns = m_model->columns();
    int total = 0;
    for (const TColumn& c : columns)
        total += c.width;
    const int available = viewport()->width();
    if (total <= 0 || available <= 0)
        return;
    int used = 0;
    for (int c = 0; c < columns.size(); ++c) {
        const int w = c + 1 == columns.size() ? available - used : columns[c].width * available / total;
        setColumnWidth(c, std::max(w, 16));
        used += w;
    }
}

void TDBGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    if (m_scale)
        scaleColumns();
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
        Q_EMIT RowDoubleClicked();
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
        scrollTo(idx);
    }
    m_syncing = false;
}

} // namespace Widgets
