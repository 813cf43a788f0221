// Re-sorting a grid by its title markers in memory: the rows its dataset already holds are put in the
// order of the marked columns, and the user keeps his current row and his selection. No query runs.
#pragma once

#include <QString>
#include <QStringList>

namespace Widgets {

class TDBGrid;

// Sorts by the marked columns in their places (fields[i] is the field of grid column i), then by
// `tieField` ascending, so that rows equal in the marked columns have one order everywhere.
void SortByMarkers(TDBGrid& grid, const QStringList& fields, const QString& tieField);

} // namespace Widgets
