// Sorting of rows already held in memory (a list re-sorted by its column titles): the rows of a row
// store ordered by some of its columns with the collation of the stores, without a query.
#pragma once

#include "data/RowStore.h"

#include <array>
#include <map>
#include <vector>

namespace Data {

// A column to sort by, and its direction.
struct TSortColumn {
    int column = 0;
    bool descending = false;
};

// The starts of the sort keys of a store's text columns (the first level of the collation), kept from one
// sort to the next while the rows only move: each column's keys are computed once.
class TSortKeys {
public:
    using TPrefix = std::array<quint64, 3>;
    struct TColumn {
        std::vector<TPrefix> prefix; // by row
        std::vector<char> has;       // false: the cell has no prefix (null, number, rare letters)
    };

    // The rows moved (order[i] is the row that went to place i): the keys move with them.
    void Reorder(const std::vector<int>& order);
    // The rows changed: every key goes.
    void Clear() { Columns.clear(); }

    std::map<int, TColumn> Columns; // by column
};

// The rows of `rows` in order of the columns, the first deciding first: result[i] is the row that goes
// to place i. Null comes before numbers, numbers (by value) before texts, texts (by CompareRussianUtf8)
// before blobs; a descending column reverses that. Rows equal in every column keep their order.
// Each text column's keys are computed once (or taken from `keys`, which keeps them), and most
// comparisons read only them.
std::vector<int> SortedRows(const TRowStore& rows, const std::vector<TSortColumn>& columns,
                            TSortKeys* keys = nullptr);

} // namespace Data
