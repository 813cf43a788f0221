// In-memory sort of a row store: per sorted column one key per row (the first level of the collation
// for texts, the value for numbers), a sort of (prefix, row) pairs that most comparisons decide by the
// first column's eight-byte prefix, and the rows moved column by column once the order is known.
#include "data/RowOrder.h"

#include "data/Collation.h"
#include "data/Dataset.h"
#include "platform/ErrorDisplay.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace Data {

namespace {

// The rank of a kind among kinds: null, numbers, texts, blobs.
int kindRank(TCellKind kind) {
    switch (kind) {
    case TCellKind::Null:
        return 0;
    case TCellKind::Integer:
    case TCellKind::Float:
        return 1;
    case TCellKind::Text:
        return 2;
    case TCellKind::Blob:
        break;
    }
    return 3;
}

int sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

// The keys of one column: for a text cell the first level of its sort key (keyed), for other cells
// nothing; cells compare by kind, value, key and then the whole collation.
class TColumnKeys {
public:
    TColumnKeys(const TRowStore& rows, TSortColumn sort) : m_rows(rows), m_column(sort.column) {
        m_direction = sort.descending ? -1 : 1;
        const int n = rows.RowCount();
        for (int r = 0; r < n && !m_hasText; ++r)
            m_hasText = rows.Kind(r, m_column) == TCellKind::Text;
        if (!m_hasText)
            return;
        m_start.resize(static_cast<size_t>(n) + 1);
        m_keyed.resize(static_cast<size_t>(n));
        for (int r = 0; r < n; ++r) {
            m_start[static_cast<size_t>(r)] = m_keys.size();
            if (rows.Kind(r, m_column) == TCellKind::Text)
                m_keyed[static_cast<size_t>(r)] = AppendRussianPrimaryKey(rows.Bytes(r, m_column), m_keys);
        }
        m_start[static_cast<size_t>(n)] = m_keys.size();
    }

    int Direction() const { return m_direction; }

    // An eight-byte prefix that orders the rows as Compare does where two prefixes differ, or false
    // when this row's cell has none (not a keyed text, nor an integer of a column of integers).
    bool Prefix(int row, quint64& prefix) const {
        const TCellKind kind = m_rows.Kind(row, m_column);
        if (kind == TCellKind::Integer && !m_hasText) {
            prefix = static_cast<quint64>(m_rows.Integer(row, m_column)) ^ (quint64(1) << 63);
            return true;
        }
        if (kind != TCellKind::Text || !m_keyed[static_cast<size_t>(row)])
            return false;
        const std::string_view key = keyOf(row);
        prefix = 0;
        for (size_t i = 0; i < 8; ++i)
            prefix = (prefix << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
        return true;
    }

    // <0, 0 or >0 in this column's direction.
    int Compare(int a, int b) const { return m_direction * compareAscending(a, b); }

private:
    std::string_view keyOf(int row) const {
        const size_t start = m_start[static_cast<size_t>(row)];
        return std::string_view(m_keys).substr(start, m_start[static_cast<size_t>(row) + 1] - start);
    }

    int compareAscending(int a, int b) const {
        const TCellKind ka = m_rows.Kind(a, m_column), kb = m_rows.Kind(b, m_column);
        if (const int rank = kindRank(ka) - kindRank(kb))
            return sign(rank);
        switch (ka) {
        case TCellKind::Null:
            return 0;
        case TCellKind::Integer:
        case TCellKind::Float:
            if (ka == TCellKind::Integer && kb == TCellKind::Integer) {
                const qint64 x = m_rows.Integer(a, m_column), y = m_rows.Integer(b, m_column);
                return x < y ? -1 : x > y ? 1 : 0;
            } else {
                const double x = number(a, ka), y = number(b, kb);
                return x < y ? -1 : x > y ? 1 : 0;
            }
        case TCellKind::Text: {
            if (m_keyed[static_cast<size_t>(a)] && m_keyed[static_cast<size_t>(b)])
                if (const int order = keyOf(a).compare(keyOf(b)))
                    return sign(order);
            const QByteArrayView x = m_rows.Bytes(a, m_column), y = m_rows.Bytes(b, m_column);
            return CompareRussianUtf8(x.data(), static_cast<int>(x.size()), y.data(),
                                      static_cast<int>(y.size()));
        }
        case TCellKind::Blob: {
            const QByteArrayView x = m_rows.Bytes(a, m_column), y = m_rows.Bytes(b, m_column);
            return sign(std::string_view(x.data(), static_cast<size_t>(x.size()))
                            .compare(std::string_view(y.data(), static_cast<size_t>(y.size()))));
        }
        }
        return 0;
    }

    double number(int row, TCellKind kind) const {
        return kind == TCellKind::Integer ? static_cast<double>(m_rows.Integer(row, m_column))
                                          : m_rows.Float(row, m_column);
    }

    const TRowStore& m_rows;
    int m_column;
    int m_direction = 1;
    bool m_hasText = false;
    std::string m_keys;
    std::vector<size_t> m_start;
    std::vector<bool> m_keyed;
};

struct TItem {
    quint64 prefix;
    int row;
    bool hasPrefix;
};

} // namespace

std::vector<int> SortedRows(const TRowStore& rows, const std::vector<TSortColumn>& columns) {
    const int n = rows.RowCount();
    std::vector<int> order(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r)
        order[static_cast<size_t>(r)] = r;
    if (columns.empty() || n < 2)
        return order;

    std::vector<TColumnKeys> keys;
    keys.reserve(columns.size());
    for (const TSortColumn& column : columns)
        keys.emplace_back(rows, column);
    std::vector<TItem> items(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r) {
        TItem& item = items[static_cast<size_t>(r)];
        item.row = r;
        item.hasPrefix = keys.front().Prefix(r, item.prefix);
    }
    const bool descending = keys.front().Direction() < 0;
    std::sort(items.begin(), items.end(), [&](const TItem& a, const TItem& b) {
        if (a.hasPrefix && b.hasPrefix && a.prefix != b.prefix)
            return (a.prefix < b.prefix) != descending;
        for (const TColumnKeys& column : keys)
            if (const int c = column.Compare(a.row, b.row))
                return c < 0;
        return a.row < b.row;
    });
    for (int i = 0; i < n; ++i)
        order[static_cast<size_t>(i)] = items[static_cast<size_t>(i)].row;
    return order;
}

void TRowStore::Permute(const std::vector<int>& order) {
    const size_t n = static_cast<size_t>(m_rows);
    if (order.size() != n || m_next != 0)
        throw Platform::EError(
            QStringLiteral("Число строк нового порядка (%1) не совпадает с числом строк (%2)")
                .arg(order.size())
                .arg(n));
    // A text's slot names its place in the arena, which stays: only kinds and slots move.
    const auto permute = [&](TBuffer& buffer, int width) {
        if (buffer.isEmpty())
            return;
        TBuffer moved;
        char* to = moved.extend(buffer.size());
        const char* from = buffer.data();
        const size_t w = static_cast<size_t>(width);
        for (size_t i = 0; i < n; ++i)
            std::memcpy(to + i * w, from + static_cast<size_t>(order[i]) * w, w);
        buffer = std::move(moved);
    };
    for (TColumnData& column : m_columns) {
        permute(column.kinds, 1);
        permute(column.slotData, column.width);
    }
}

// The dataset's part of a re-sort, kept beside the sort it serves.
void TDataset::Reorder(const std::vector<int>& order) {
    checkActive();
    if (m_state != State::Browse)
        throw EDatabaseError(QStringLiteral("Список нельзя упорядочить, пока запись редактируется"));
    const auto current = std::find(order.begin(), order.end(), m_row);
    m_rows.Permute(order);
    if (current != order.end())
        m_row = static_cast<int>(current - order.begin());
    notifyReset();
}

} // namespace Data
