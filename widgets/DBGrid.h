// The data-aware grid: a table view bound to a dataset, whose current row follows the dataset's cursor
// and back, with title buttons that show sort markers (arrow, and the place when several are sorted).
#pragma once

#include "widgets/DatasetModel.h"
#include "widgets/SortMarkers.h"

#include <QHeaderView>
#include <QTableView>

namespace Widgets {

class TTitleHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit TTitleHeader(QWidget* parent);
    void setMarkers(const TSortMarkers* markers) { m_markers = markers; }
    // Width of the sort marker drawn in the section now (0 without one): the arrow, and the place
    // when several columns are sorted.
    int markerWidth(int logicalIndex) const;
    // The narrowest width at which the section shows its whole title beside its marker.
    int minimumTitleWidth(int logicalIndex) const;

Q_SIGNALS:
    void TitleClick(int column, bool ctrl);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    const TSortMarkers* m_markers = nullptr;
    int m_pressed = -1;
    bool m_ctrl = false;
};

class TDBGrid : public QTableView {
    Q_OBJECT
public:
    TDBGrid(Data::TDataset* dataset, QList<TColumn> columns, QWidget* parent = nullptr);

    TDatasetModel* Model() const { return m_model; }
    Data::TDataset* DataSet() const { return m_dataset; }

    // Title buttons with sort markers (off by default).
    void SetTitleSorting(bool on);
    TSortMarkers& Markers() { return m_markers; }
    // Column widths scaled to fill the grid's width (the given widths are proportions).
    void SetScaleColumns(bool on);
    // Lays the columns out again: no title is cut by its sort marker. Runs on every re-open of the
    // dataset; call it after changing the markers without one. A hidden grid is laid out when shown.
    void FitColumns();

Q_SIGNALS:
    void TitleClick(int column, bool ctrl);
    // A double click on a row, or Enter on the current row when a window listens for it.
    void RowDoubleClicked();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Home and End go to the first and the last row when whole rows are selected.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;

private:
    void syncFromDataset();

    Data::TDataset* m_dataset;
    TDatasetModel* m_model;
    TTitleHeader* m_header;
    TSortMarkers m_markers;
    bool m_scale = false;
    bool m_syncing = false;
    bool m_fitPending = false; // FitColumns was asked for while the grid was hidden
};

} // namespace Widgets
