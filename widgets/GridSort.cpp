// In-memory re-sort of a grid's rows (RowOrder.h does the sorting), with the selection carried over.
#include "widgets/GridSort.h"

#include "data/Dataset.h"
#include "data/RowOrder.h"
#include "widgets/DBGrid.h"

#include <QItemSelection>
#include <QScopeGuard>

#include <vector>

namespace Widgets {

namespace {

// The sort keys of a grid's rows, kept while the rows only move by its own sorts: any other change of
// the dataset (a refresh) drops them.
class TGridSortKeys : public QObject {
public:
    explicit TGridSortKeys(TDBGrid& grid) : QObject(&grid) {
        setObjectName(kName);
        const auto drop = [this] {
            if (!Reordering)
                Keys.Clear();
        };
        connect(grid.DataSet(), &Data::TDataset::DataReset, this, drop);
    }

    static TGridSortKeys& Of(TDBGrid& grid) {
        if (auto* kept = grid.findChild<QObject*>(kName, Qt::FindDirectChildrenOnly))
            return *static_cast<TGridSortKeys*>(kept);
        return *new TGridSortKeys(grid);
    }

    static inline const QString kName = QStringLiteral("GridSortKeys");
    Data::TSortKeys Keys;
    bool Reordering = false;
};

} // namespace

void SortByMarkers(TDBGrid& grid, const QStringList& fields, const QString& tieField) {
    Data::TDataset& dataset = *grid.DataSet();
    if (!dataset.Active() || dataset.RecordCount() < 2)
        return;
    const TSortMarkers& markers = grid.Markers();
    std::vector<Data::TSortColumn> columns(static_cast<size_t>(markers.sortedCount()));
    for (int c = 0; c < markers.count() && c < fields.size(); ++c)
        if (markers.marker(c) != TSortMarkers::Marker::None)
            columns[static_cast<size_t>(markers.place(c) - 1)] = {
                dataset.FieldIndex(fields[c]), markers.marker(c) == TSortMarkers::Marker::Descending};
    if (const int tie = dataset.FieldIndex(tieField); tie >= 0)
        columns.push_back({tie, false});
    std::erase_if(columns, [](const Data::TSortColumn& c) { return c.column < 0; });

    // Selected rows by their place before the sort; whole rows are selected in this grid.
    QItemSelectionModel* selection = grid.selectionModel();
    std::vector<bool> selected(static_cast<size_t>(dataset.RecordCount()));
    bool any = false;
    for (const QItemSelectionRange& range : selection->selection())
        for (int r = range.top(); r <= range.bottom(); ++r)
            selected[static_cast<size_t>(r)] = any = true;

    // A change waiting for the bound views (controls disabled) has not dropped the keys yet.
    TGridSortKeys& kept = TGridSortKeys::Of(grid);
    if (dataset.ControlsDisabled())
        kept.Keys.Clear();
    const std::vector<int> order = Data::SortedRows(dataset.Rows(), columns, &kept.Keys);
    kept.Reordering = true;
    const auto done = qScopeGuard([&kept] { kept.Reordering = false; });
    dataset.Reorder(order);
    kept.Keys.Reorder(order);
    if (!any)
        return;
    // The selection again, in runs of neighbouring rows.
    QItemSelection moved;
    const int last = grid.model()->columnCount() - 1;
    const int n = static_cast<int>(order.size());
    for (int place = 0; place < n;) {
        if (!selected[static_cast<size_t>(order[static_cast<size_t>(place)])]) {
            ++place;
            continue;
        }
        const int first = place;
        while (place < n && selected[static_cast<size_t>(order[static_cast<size_t>(place)])])
            ++place;
        moved.select(grid.model()->index(first, 0), grid.model()->index(place - 1, last));
    }
    selection->select(moved, QItemSelectionModel::ClearAndSelect);
}

} // namespace Widgets
