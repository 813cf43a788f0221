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

#include <array>
#include <vector>

namespace Data {

// The kinds of value an engine returns.
enum class TCellKind : quint8 { Null, Integer, Float, Text, Blob };

class TRowStore {
public:
    TRowStore() = default;
    explicit TRowStore(int columnCount) { Reset(columnCount); }

    // Drops every row and sets the number of columns.
    void Reset(int columnCount);
    int ColumnCount() const { return static_cast<int>(m_columns.size()); }
    int RowCount() const { return m_rows; }
    bool IsEmpty() const { return m_rows == 0; }

    // Filling: one value for each column in column order; the row counts once its last column has
    // its value. Text is UTF-8.
    void AppendNull();
    void AppendInteger(qint64 value);
    void AppendFloat(double value);
    void AppendText(QByteArrayView utf8);
    void AppendBlob(QByteArrayView bytes);
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

    // Editing: the row's cells are replaced (new texts go to the end of the arena).
    void SetRow(int row, const QVector<QVariant>& values);
    void RemoveRow(int row);

    // Bytes held for the rows (capacity not counted), for measurements.
    qint64 ByteSize() const;

private:
    // Short texts are looked up among recent ones of the column and shared: a column of a few
    // distinct values (sex, group name) then costs a slot per row and little more.
    static constexpr int kRecentTexts = 64;
    static constexpr qsizetype kShortText = 32;

    struct TColumnData {
        TColumnData();
        TCellKind uniform = TCellKind::Null; // the kind of every cell while `kinds` is empty
        QByteArray kinds;                    // one kind per row once the column mixes kinds
        QByteArray slotData;                 // `width` bytes per row, little-endian
        int width = 1;
        QByteArray arena; // a length (LEB128) and the bytes of each text or blob
        std::array<qint64, kRecentTexts> recent;
    };

    static quint64 storeBytes(TColumnData& column, QByteArrayView bytes);
    static void encode(TColumnData& column, const QVariant& value, TCellKind& kind, quint64& slot);
    static void put(TColumnData& column, int row, int rows, TCellKind kind, quint64 slot);
    static void widen(TColumnData& column, int rows, int width);
    static quint64 slotAt(const TColumnData& column, int row);
    void append(TCellKind kind, quint64 slot);
    const TColumnData& cell(int row, int column) const;

    std::vector<TColumnData> m_columns;
    int m_rows = 0;
    int m_next = 0; // the column that gets the next appended value
};

} // namespace Data
