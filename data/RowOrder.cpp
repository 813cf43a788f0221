// In-memory sort of a row store: per sorted column the start of each row's sort key (the first level of
// the collation for texts, the value for integers), a sort of rows that most comparisons decide by those
// prefixes, and the rows moved column by column once the order is known.
#include "data/RowOrder.h"

#include "data/Collation.h"
#include "data/Dataset.h"
#include "platform/ErrorDisplay.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>
#include <thread>
#include <tuple>

#ifdef __linux__
#include <sys/mman.h>
#endif

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

// The start of a cell's sort key as big-endian words: the first level of the collation for a text, the
// value for an integer of a column of integers. Most comparisons are decided by it.
using TPrefix = TSortKeys::TPrefix;
constexpr size_t kPrefixWords = std::tuple_size_v<TPrefix>;

int comparePrefixes(const TPrefix& a, const TPrefix& b) {
    for (size_t i = 0; i < kPrefixWords; ++i)
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    return 0;
}

// Runs work(first, last) over the rows in parts, one per core for a large list (the store and the keys
// are only read, each part writes its own rows).
template <class Work> void inParts(int n, const Work& work);

// One sorted column: the prefixes of its cells (kept in a TSortKeys column for a text column, made on
// the spot for numbers), and the full comparison of two cells by kind, value and collation for the pairs
// that the prefixes leave equal.
class TColumnKeys {
public:
    TColumnKeys(const TRowStore& rows, TSortColumn sort, TSortKeys& cache)
        : m_rows(rows), m_column(sort.column) {
        m_direction = sort.descending ? -1 : 1;
        const int n = rows.RowCount();
        for (int r = 0; r < n && !m_hasText; ++r)
            m_hasText = rows.Kind(r, m_column) == TCellKind::Text;
        if (!m_hasText)
            return; // numbers compare at once
        m_keys = &cache.Columns[m_column];
        if (m_keys->prefix.size() == static_cast<size_t>(n))
            return; // kept from the last sort
        m_keys->prefix.resize(static_cast<size_t>(n));
        m_keys->has.resize(static_cast<size_t>(n));
        inParts(n, [this](int first, int last) {
            for (int r = first; r < last; ++r)
                m_keys->has[static_cast<size_t>(r)] = MakePrefix(r, m_keys->prefix[static_cast<size_t>(r)]);
        });
    }

    int Direction() const { return m_direction; }

    // The prefix of a row's cell, or false when it has none.
    bool Prefix(int row, TPrefix& prefix) const {
        if (!m_keys)
            return MakePrefix(row, prefix);
        prefix = m_keys->prefix[static_cast<size_t>(row)];
        return m_keys->has[static_cast<size_t>(row)];
    }

    // <0, 0 or >0 in this column's direction.
    int Compare(int a, int b) const {
        if (m_keys && m_keys->has[static_cast<size_t>(a)] && m_keys->has[static_cast<size_t>(b)])
            if (const int order = comparePrefixes(m_keys->prefix[static_cast<size_t>(a)],
                                                  m_keys->prefix[static_cast<size_t>(b)]))
                return m_direction * order;
        return m_direction * compareCells(a, b);
    }

private:
    // The prefix of a row's cell, or false when it has none (a null, a float, a text beyond the table).
    bool MakePrefix(int row, TPrefix& prefix) const {
        const TCellKind kind = m_rows.Kind(row, m_column);
        prefix.fill(0);
        if (kind == TCellKind::Integer && !m_hasText) {
            prefix[0] = static_cast<quint64>(m_rows.Integer(row, m_column)) ^ (quint64(1) << 63);
            return true;
        }
        if (kind != TCellKind::Text)
            return false;
        std::array<unsigned char, kPrefixWords * 8> bytes;
        if (!RussianKeyPrefix(m_rows.Bytes(row, m_column), bytes.data(), static_cast<int>(bytes.size())))
            return false;
        for (size_t i = 0; i < bytes.size(); ++i)
            prefix[i / 8] = (prefix[i / 8] << 8) | bytes[i];
        return true;
    }

    int compareCells(int a, int b) const {
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
    TSortKeys::TColumn* m_keys = nullptr;
};

// Lists from this size on are sorted in parts on several cores.
constexpr int kParallelRows = 50000;
constexpr int kMaxParts = 4;

// A row in the sort, with its first column's prefix beside it, so that most comparisons read nothing
// else.
struct TItem {
    TPrefix prefix;
    int row;
    bool hasPrefix;
};

// The items of a sort, in memory of huge pages where the system has them: a million rows fill 8,000
// small pages, and the first touch of each costs tens of microseconds on a virtual machine.
class TItems {
public:
    explicit TItems(size_t n) : m_size(n) {
        const size_t bytes = (n * sizeof(TItem) + kHugePage - 1) / kHugePage * kHugePage;
        m_data = static_cast<TItem*>(std::aligned_alloc(kHugePage, std::max(bytes, kHugePage)));
        if (!m_data)
            throw std::bad_alloc();
#ifdef __linux__
        madvise(m_data, bytes, MADV_HUGEPAGE);
#endif
    }
    ~TItems() { std::free(m_data); }
    TItems(const TItems&) = delete;
    TItems& operator=(const TItems&) = delete;

    TItem& operator[](size_t i) { return m_data[i]; }
    TItem* begin() { return m_data; }
    TItem* end() { return m_data + m_size; }

private:
    static constexpr size_t kHugePage = size_t(2) << 20;
    TItem* m_data;
    size_t m_size;
};

template <class Work> void inParts(int n, const Work& work) {
    const int parts =
        n < kParallelRows ? 1 : std::clamp(int(std::thread::hardware_concurrency()), 1, kMaxParts);
    std::vector<std::jthread> helpers;
    for (int p = 1; p < parts; ++p)
        helpers.emplace_back(work, int(qint64(n) * p / parts), int(qint64(n) * (p + 1) / parts));
    work(0, int(qint64(n) / parts));
}

} // namespace

void TSortKeys::Reorder(const std::vector<int>& order) {
    for (auto& [column, keys] : Columns) {
        if (keys.prefix.size() != order.size()) {
            keys = TColumn();
            continue;
        }
        TColumn moved;
        moved.prefix.resize(order.size());
        moved.has.resize(order.size());
        for (size_t i = 0; i < order.size(); ++i) {
            moved.prefix[i] = keys.prefix[static_cast<size_t>(order[i])];
            moved.has[i] = keys.has[static_cast<size_t>(order[i])];
        }
        keys = std::move(moved);
    }
}

std::vector<int> SortedRows(const TRowStore& rows, const std::vector<TSortColumn>& columns, TSortKeys* kept) {
    const int n = rows.RowCount();
    std::vector<int> order(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r)
        order[static_cast<size_t>(r)] = r;
    if (columns.empty() || n < 2)
        return order;

    TSortKeys local;
    TSortKeys& cache = kept ? *kept : local;
    std::vector<TColumnKeys> keys;
    keys.reserve(columns.size());
    for (const TSortColumn& column : columns)
        keys.emplace_back(rows, column, cache);
    const TColumnKeys& first = keys.front();
    const int direction = first.Direction();
    const auto less = [&](const TItem& a, const TItem& b) {
        if (a.hasPrefix && b.hasPrefix)
            if (const int c = comparePrefixes(a.prefix, b.prefix))
                return direction * c < 0;
        // Equal prefixes, or one without: the first column in full, then the others.
        for (const TColumnKeys& column : keys)
            if (const int c = column.Compare(a.row, b.row))
                return c < 0;
        return a.row < b.row;
    };

    // A large list is sorted in parts, one per core, and the sorted parts are merged.
    TItems items(static_cast<size_t>(n));
    std::vector<std::pair<int, int>> parts;
    std::mutex partsLock;
    inParts(n, [&](int from, int to) {
        for (int r = from; r < to; ++r) {
            TItem& item = items[static_cast<size_t>(r)];
            item.row = r;
            item.hasPrefix = first.Prefix(r, item.prefix);
        }
        std::sort(items.begin() + from, items.begin() + to, less);
        const std::lock_guard lock(partsLock);
        parts.emplace_back(from, to);
    });
    std::sort(parts.begin(), parts.end());
    for (size_t width = 1; width < parts.size(); width *= 2)
        for (size_t p = 0; p + width < parts.size(); p += 2 * width) {
            const size_t last = std::min(p + 2 * width, parts.size()) - 1;
            std::inplace_merge(items.begin() + parts[p].first, items.begin() + parts[p + width].first,
                               items.begin() + parts[last].second, less);
        }
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
    const auto current = std::find(order.begin(), order.end(), m_row);
    m_rows.Permute(order);
    if (current != order.end())
        m_row = static_cast<int>(current - order.begin());
    notifyReset();
}

} // namespace Data
