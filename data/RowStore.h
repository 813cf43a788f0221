// Query results kept column by column, so that a list of a million rows stays small: per cell one
// kind (only where a column mixes kinds) and one slot of 1 to 8 bytes, and the bytes of text and blob
// values in one arena per column, as the engine gave them (UTF-8 for text), converted when read.
//
// The store knows no engine: a reading path (SQLite's statement today, another engine's result later)
// fills it one row at a time through the Append calls, and datasets navigate and edit it.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QVariant>
#include <QVector>
#include <QtEndian>

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace Data {

// Writes a slot of 1, 2, 4 or 8 bytes, little-endian.
inline void WriteSlot(char* at, int width, quint64 slot) {
    switch (width) {
    case 1:
        *at = static_cast<char>(slot);
        break;
    case 2:
        qToLittleEndian(static_cast<quint16>(slot), at);
        break;
    case 4:
        qToLittleEndian(static_cast<quint32>(slot), at);
        break;
    default:
        qToLittleEndian(slot, at);
        break;
    }
}

// The kinds of value an engine returns.
enum class TCellKind : quint8 { Null, Integer, Float, Text, Blob };

// The kind a value is bound and stored as: the one place that maps value types. Integers of every width
// and booleans are integers, byte arrays blobs, anything else that is not null its text.
inline TCellKind KindOf(const QVariant& value) {
    if (value.isNull())
        return TCellKind::Null;
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Bool:
        return TCellKind::Integer;
    case QMetaType::Double:
    case QMetaType::Float:
        return TCellKind::Float;
    case QMetaType::QByteArray:
        return TCellKind::Blob;
    default:
        return TCellKind::Text;
    }
}

class TRowStore {
public:
    TRowStore() = default;
    explicit TRowStore(int columnCount) { Reset(columnCount); }

    // Drops every row and sets the number of columns. The memory of the rows in the columns that stay
    // is kept for the rows that follow: refilling it costs no fresh pages, which the system hands out
    // slowly. Reset(0) gives everything back.
    void Reset(int columnCount);
    // Gives back the memory that the rows no longer use (after a refill with fewer rows).
    void Trim();
    int ColumnCount() const { return static_cast<int>(m_columns.size()); }
    int RowCount() const { return m_rows; }
    bool IsEmpty() const { return m_rows == 0; }

    // Filling: one value for each column in column order; the row counts once its last column has
    // its value. Text is UTF-8.
    void AppendNull() { append(TCellKind::Null, 0); }
    void AppendInteger(qint64 value) { append(TCellKind::Integer, zigzag(value)); }
    void AppendFloat(double value);
    void AppendText(QByteArrayView utf8) { appendBytes(TCellKind::Text, utf8); }
    void AppendBlob(QByteArrayView bytes) { appendBytes(TCellKind::Blob, bytes); }
    // A value as the engine would store it when bound: integers, doubles, byte arrays (blobs), null,
    // and anything else as its text.
    void AppendValue(const QVariant& value);
    void AppendRow(const QVector<QVariant>& values);

    // Reading one cell. Integer, Float and Bytes expect a cell of their kind.
    TCellKind Kind(int row, int column) const;
    qint64 Integer(int row, int column) const;
    double Float(int row, int column) const;
    // The UTF-8 bytes of a text cell or the bytes of a blob; valid until the store changes.
    QByteArrayView Bytes(int row, int column) const;
    // The cell as a value: null, qlonglong, double, QString or QByteArray.
    QVariant Value(int row, int column) const;
    QVector<QVariant> Row(int row) const;

    // Puts the rows in a new order: order[i] is the row that goes to place i (a permutation).
    void Permute(const std::vector<int>& order);

    // Bytes held for the rows (capacity not counted), for measurements.
    qint64 ByteSize() const;

private:
    // Bytes grown with realloc: a large buffer is then moved by the system's page mapping rather than
    // copied, so growing a column of a million rows does not hold two copies of it at once.
    class TBuffer {
    public:
        TBuffer() = default;
        TBuffer(TBuffer&& other) noexcept { swap(other); }
        TBuffer& operator=(TBuffer&& other) noexcept {
            TBuffer(std::move(other)).swap(*this);
            return *this;
        }
        ~TBuffer() { std::free(m_data); }

        qsizetype size() const { return m_size; }
        bool isEmpty() const { return m_size == 0; }
        const char* data() const { return m_data; }
        char* data() { return m_data; }
        void append(const char* bytes, qsizetype n) {
            if (m_size + n > m_capacity)
                grow(m_size + n);
            if (n > 0)
                std::memcpy(m_data + m_size, bytes, static_cast<size_t>(n));
            m_size += n;
        }
        void append(char byte) { *extend(1) = byte; }
        // Makes room for n more bytes at the end and returns where they go.
        char* extend(qsizetype n) {
            if (m_size + n > m_capacity)
                grow(m_size + n);
            char* at = m_data + m_size;
            m_size += n;
            return at;
        }
        void fill(char byte, qsizetype n);
        void reserve(qsizetype n) {
            if (n > m_capacity)
                grow(n);
        }
        void clear() { m_size = 0; }
        // Gives back capacity beyond `keep` bytes.
        void shrink(qsizetype keep);
        qsizetype capacity() const { return m_capacity; }
        void remove(qsizetype pos, qsizetype n);

    private:
        void swap(TBuffer& other) noexcept {
            std::swap(m_data, other.m_data);
            std::swap(m_size, other.m_size);
            std::swap(m_capacity, other.m_capacity);
        }
        void grow(qsizetype needed);

        char* m_data = nullptr;
        qsizetype m_size = 0;
        qsizetype m_capacity = 0;
    };

    // Buffers of this size and more are made of huge pages.
    static constexpr qsizetype kHugePage = qsizetype(2) << 20;

    // Text and blob entries (a LEB128 length, then the bytes) in chunks of up to 2 MiB that never move
    // once full; an entry's slot is its chunk's number and its place there. An entry larger than a
    // chunk gets a chunk of its own.
    static constexpr int kChunkBits = 21;
    static constexpr qsizetype kChunkSize = qsizetype(1) << kChunkBits;

    class TArena {
    public:
        quint64 Add(QByteArrayView bytes);
        QByteArrayView At(quint64 slot) const;
        qint64 ByteSize() const;
        void Clear(); // keeps the chunks for the entries that follow
        void Trim();  // frees the chunks not in use

    private:
        int takeChunk(qsizetype capacity);

        std::vector<TBuffer> m_chunks; // the first m_used hold entries, the rest wait for reuse
        int m_used = 0;
        int m_open = -1; // the chunk that takes small entries
    };

    // Short texts are looked up among recent ones of the column and shared: a column of a few
    // distinct values (sex, group name) then costs a slot per row and little more. A column whose
    // first texts are nearly all different (names) stops looking.
    static constexpr int kRecentTexts = 64;
    static constexpr qsizetype kShortText = 32;
    static constexpr int kSharingTrial = 1024;

    struct TColumnData {
        TColumnData();
        void Clear();
        TCellKind uniform = TCellKind::Null; // the kind of every cell while `kinds` is empty
        TBuffer kinds;                       // one kind per row once the column mixes kinds
        TBuffer slotData;                    // `width` bytes per row, little-endian
        int width = 1;
        TArena arena;
        std::array<qint64, kRecentTexts> recent;
        int looked = 0; // short texts looked up, and of them found shared
        int shared = 0;
        bool sharing = true;
    };

    static quint64 storeBytes(TColumnData& column, QByteArrayView bytes);
    static void encode(TColumnData& column, const QVariant& value, TCellKind& kind, quint64& slot);
    static void put(TColumnData& column, int row, int rows, TCellKind kind, quint64 slot);
    static void widen(TColumnData& column, int rows, int width);
    static quint64 slotAt(const TColumnData& column, int row);
    // Integers are kept zigzag-coded, so that small negative values need narrow slots too.
    static quint64 zigzag(qint64 v) { return (static_cast<quint64>(v) << 1) ^ static_cast<quint64>(v >> 63); }
    static qint64 unzigzag(quint64 z) { return static_cast<qint64>(z >> 1) ^ -static_cast<qint64>(z & 1); }

    // Appends to the column of the next value; a cell of the column's one kind whose slot fits is
    // written in place, anything else (first row, a new kind, a wider slot) goes through put().
    void append(TCellKind kind, quint64 slot) {
        if (m_columns.empty())
            refuseValue();
        TColumnData& column = m_columns[static_cast<size_t>(m_next)];
        if (m_rows > 0 && column.kinds.isEmpty() && kind == column.uniform &&
            ((slot >> (8 * column.width - 1)) >> 1) == 0) {
            WriteSlot(column.slotData.extend(column.width), column.width, slot);
        } else {
            put(column, m_rows, m_rows, kind, slot);
        }
        if (++m_next == static_cast<int>(m_columns.size())) {
            m_next = 0;
            ++m_rows;
        }
    }
    void appendBytes(TCellKind kind, QByteArrayView bytes) {
        if (m_columns.empty())
            refuseValue();
        append(kind, storeBytes(m_columns[static_cast<size_t>(m_next)], bytes));
    }
    [[noreturn]] static void refuseValue();
    const TColumnData& cell(int row, int column) const;

    std::vector<TColumnData> m_columns;
    int m_rows = 0;
    int m_next = 0; // the column that gets the next appended value
};

} // namespace Data
