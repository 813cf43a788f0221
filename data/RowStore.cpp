// Column-wise storage of query results: slotData widen from one byte to eight as values need, and text
// stays UTF-8 in the column's arena until a cell is read.
#include "data/RowStore.h"

#include "platform/ErrorDisplay.h"

#include <QHash>
#include <QString>
#include <QtEndian>

#include <bit>
#include <cstring>

namespace Data {

namespace {

// Integers are kept zigzag-coded, so that small negative values need narrow slotData too.
quint64 zigzag(qint64 v) { return (static_cast<quint64>(v) << 1) ^ static_cast<quint64>(v >> 63); }
qint64 unzigzag(quint64 z) { return static_cast<qint64>(z >> 1) ^ -static_cast<qint64>(z & 1); }

int widthFor(quint64 slot) {
    if (slot <= 0xFFu)
        return 1;
    if (slot <= 0xFFFFu)
        return 2;
    return slot <= 0xFFFFFFFFu ? 4 : 8;
}

quint64 readSlot(const char* at, int width) {
    switch (width) {
    case 1:
        return static_cast<quint8>(*at);
    case 2:
        return qFromLittleEndian<quint16>(at);
    case 4:
        return qFromLittleEndian<quint32>(at);
    default:
        return qFromLittleEndian<quint64>(at);
    }
}

void writeSlot(char* at, int width, quint64 slot) {
    const quint64 le = qToLittleEndian(slot);
    std::memcpy(at, &le, static_cast<size_t>(width));
}

// The bytes of the arena entry at `offset`: its LEB128 length, then the bytes.
QByteArrayView entryAt(const QByteArray& arena, quint64 offset) {
    const char* p = arena.constData() + offset;
    quint64 size = 0;
    int shift = 0;
    quint8 byte;
    do {
        byte = static_cast<quint8>(*p++);
        size |= static_cast<quint64>(byte & 0x7F) << shift;
        shift += 7;
    } while (byte & 0x80);
    return QByteArrayView(p, static_cast<qsizetype>(size));
}

void checkSize(qsizetype values, int columns) {
    if (values != columns)
        throw Platform::EError(QStringLiteral("Число значений строки (%1) не совпадает с числом полей (%2)")
                                   .arg(values)
                                   .arg(columns));
}

} // namespace

TRowStore::TColumnData::TColumnData() { recent.fill(-1); }

void TRowStore::Reset(int columnCount) {
    m_columns.clear();
    m_columns.resize(static_cast<size_t>(std::max(columnCount, 0)));
    m_rows = 0;
    m_next = 0;
}

// ---- filling ----

void TRowStore::append(TCellKind kind, quint64 slot) {
    if (m_columns.empty())
        throw Platform::EError(QStringLiteral("Набор строк без полей не может принять значение"));
    put(m_columns[static_cast<size_t>(m_next)], m_rows, m_rows, kind, slot);
    if (++m_next == ColumnCount()) {
        m_next = 0;
        ++m_rows;
    }
}

void TRowStore::AppendNull() { append(TCellKind::Null, 0); }
void TRowStore::AppendInteger(qint64 value) { append(TCellKind::Integer, zigzag(value)); }
void TRowStore::AppendFloat(double value) { append(TCellKind::Float, std::bit_cast<quint64>(value)); }

void TRowStore::AppendText(QByteArrayView utf8) {
    if (m_columns.empty())
        return append(TCellKind::Text, 0); // raises the error
    append(TCellKind::Text, storeBytes(m_columns[static_cast<size_t>(m_next)], utf8));
}

void TRowStore::AppendBlob(QByteArrayView bytes) {
    if (m_columns.empty())
        return append(TCellKind::Blob, 0);
    append(TCellKind::Blob, storeBytes(m_columns[static_cast<size_t>(m_next)], bytes));
}

void TRowStore::AppendValue(const QVariant& value) {
    if (m_columns.empty())
        return append(TCellKind::Null, 0);
    TCellKind kind;
    quint64 slot;
    encode(m_columns[static_cast<size_t>(m_next)], value, kind, slot);
    append(kind, slot);
}

void TRowStore::AppendRow(const QVector<QVariant>& values) {
    checkSize(values.size(), ColumnCount());
    if (m_next != 0)
        throw Platform::EError(QStringLiteral("Предыдущая строка набора заполнена не до конца"));
    for (const QVariant& v : values)
        AppendValue(v);
}

quint64 TRowStore::storeBytes(TColumnData& column, QByteArrayView bytes) {
    qint64* recent = nullptr;
    if (bytes.size() <= kShortText) {
        recent = &column.recent[qHash(bytes) % kRecentTexts];
        if (*recent >= 0 && entryAt(column.arena, static_cast<quint64>(*recent)) == bytes)
            return static_cast<quint64>(*recent);
    }
    const qint64 offset = column.arena.size();
    char length[10];
    int n = 0;
    quint64 size = static_cast<quint64>(bytes.size());
    do {
        length[n] = static_cast<char>((size & 0x7F) | (size > 0x7F ? 0x80 : 0));
        size >>= 7;
        ++n;
    } while (size != 0);
    column.arena.append(length, n);
    column.arena.append(bytes.data(), bytes.size());
    if (recent)
        *recent = offset;
    return static_cast<quint64>(offset);
}

// The kind and slot a value gets; the conversions are those of binding a value to a statement, so an
// edited row reads back as it would after a reopen.
void TRowStore::encode(TColumnData& column, const QVariant& value, TCellKind& kind, quint64& slot) {
    switch (value.isNull() ? QMetaType::UnknownType : value.metaType().id()) {
    case QMetaType::UnknownType:
        kind = TCellKind::Null;
        slot = 0;
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::Bool:
        kind = TCellKind::Integer;
        slot = zigzag(value.toLongLong());
        break;
    case QMetaType::Double:
        kind = TCellKind::Float;
        slot = std::bit_cast<quint64>(value.toDouble());
        break;
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        kind = TCellKind::Blob;
        slot = storeBytes(column, bytes);
        break;
    }
    default: {
        const QByteArray utf8 = value.toString().toUtf8();
        kind = TCellKind::Text;
        slot = storeBytes(column, utf8);
        break;
    }
    }
}

// Sets the cell `row` of a column holding `rows` cells; row == rows appends one.
void TRowStore::put(TColumnData& column, int row, int rows, TCellKind kind, quint64 slot) {
    if (column.kinds.isEmpty()) {
        if (rows == 0)
            column.uniform = kind;
        else if (kind != column.uniform)
            column.kinds = QByteArray(rows, static_cast<char>(column.uniform));
    }
    if (!column.kinds.isEmpty()) {
        if (row == rows)
            column.kinds.append(static_cast<char>(kind));
        else
            column.kinds[row] = static_cast<char>(kind);
    }
    const int width = widthFor(slot);
    if (width > column.width)
        widen(column, rows, width);
    if (row == rows) {
        char bytes[8];
        writeSlot(bytes, column.width, slot);
        column.slotData.append(bytes, column.width);
    } else {
        writeSlot(column.slotData.data() + static_cast<qsizetype>(row) * column.width, column.width, slot);
    }
}

void TRowStore::widen(TColumnData& column, int rows, int width) {
    QByteArray wider;
    wider.reserve(static_cast<qsizetype>(rows) * width);
    char bytes[8];
    for (int r = 0; r < rows; ++r) {
        writeSlot(bytes, width, slotAt(column, r));
        wider.append(bytes, width);
    }
    column.slotData = std::move(wider);
    column.width = width;
}

// ---- reading ----

quint64 TRowStore::slotAt(const TColumnData& column, int row) {
    return readSlot(column.slotData.constData() + static_cast<qsizetype>(row) * column.width, column.width);
}

const TRowStore::TColumnData& TRowStore::cell(int row, int column) const {
    Q_ASSERT(row >= 0 && row < m_rows && column >= 0 && column < ColumnCount());
    return m_columns[static_cast<size_t>(column)];
}

TCellKind TRowStore::Kind(int row, int column) const {
    const TColumnData& c = cell(row, column);
    return c.kinds.isEmpty() ? c.uniform : static_cast<TCellKind>(c.kinds[row]);
}

qint64 TRowStore::Integer(int row, int column) const { return unzigzag(slotAt(cell(row, column), row)); }

double TRowStore::Float(int row, int column) const {
    return std::bit_cast<double>(slotAt(cell(row, column), row));
}

QByteArrayView TRowStore::Bytes(int row, int column) const {
    const TColumnData& c = cell(row, column);
    return entryAt(c.arena, slotAt(c, row));
}

QVariant TRowStore::Value(int row, int column) const {
    switch (Kind(row, column)) {
    case TCellKind::Null:
        break;
    case TCellKind::Integer:
        return QVariant(static_cast<qlonglong>(Integer(row, column)));
    case TCellKind::Float:
        return QVariant(Float(row, column));
    case TCellKind::Text: {
        const QByteArrayView text = Bytes(row, column);
        return QVariant(QString::fromUtf8(text.data(), text.size()));
    }
    case TCellKind::Blob: {
        const QByteArrayView data = Bytes(row, column);
        return QVariant(QByteArray(data.data(), data.size()));
    }
    }
    return {};
}

QVector<QVariant> TRowStore::Row(int row) const {
    QVector<QVariant> values(ColumnCount());
    for (int c = 0; c < ColumnCount(); ++c)
        values[c] = Value(row, c);
    return values;
}

// ---- editing ----

void TRowStore::SetRow(int row, const QVector<QVariant>& values) {
    checkSize(values.size(), ColumnCount());
    Q_ASSERT(row >= 0 && row < m_rows && m_next == 0);
    for (int c = 0; c < ColumnCount(); ++c) {
        TColumnData& column = m_columns[static_cast<size_t>(c)];
        TCellKind kind;
        quint64 slot;
        encode(column, values[c], kind, slot);
        put(column, row, m_rows, kind, slot);
    }
}

void TRowStore::RemoveRow(int row) {
    Q_ASSERT(row >= 0 && row < m_rows && m_next == 0);
    for (TColumnData& column : m_columns) {
        if (!column.kinds.isEmpty())
            column.kinds.remove(row, 1);
        column.slotData.remove(static_cast<qsizetype>(row) * column.width, column.width);
    }
    --m_rows;
}

qint64 TRowStore::ByteSize() const {
    qint64 bytes = 0;
    for (const TColumnData& c : m_columns)
        bytes += c.kinds.size() + c.slotData.size() + c.arena.size();
    return bytes;
}

} // namespace Data
