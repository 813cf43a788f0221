// Sorting of rows already held in memory (a list re-sorted by its column titles): the rows of a row
// store ordered by some of its columns with the collation of the stores, without a query.
#pragma once

#include "data/RowStore.h"

#include <vector>

namespace Data {

// A column to sort by, and its direction.
struct TSortColumn {
    int column = 0;
    bool descending = false;
};

// The rows of `rows` in order of the columns, the first deciding first: result[i] is the row that goes
// to place i. Null comes before numbers, numbers (by value) before texts, texts (by CompareRussianUtf8)
// before blobs; a descending column reverses that. Rows equal in every column keep their order.
// Each text column's sort keys are computed once, and most comparisons read only them.
std::vector<int> SortedRows(const TRowStore& rows, const std::vector<TSortColumn>& columns);

} // namespace Data
