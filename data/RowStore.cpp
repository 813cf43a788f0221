// Column-wise storage of query results: slotData widen from one byte to eight as values need, and text
// stays UTF-8 in the column's arena until a cell is read.
#include "data/RowStore.h"

#include "platform/ErrorDisplay.h"

#include <QString>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace Data {

namespace {

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

// The entry whose length (LEB128) starts at `p`.
QByteArrayView entryAt(const char* p) {
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

// A hash of a short text from its length and its first and last eight bytes: enough to tell the
// few values of a column of repeated texts apart.
quint64 shortHash(QByteArrayView bytes) {
    const qsizetype n = bytes.size();
    quint64 head = 0;
    quint64 tail = 0;
    if (n > 0)
        std::memcpy(&head, bytes.data(), static_cast<size_t>(std::min<qsizetype>(n, 8)));
    if (n > 8) {
        const qsizetype rest = std::min<qsizetype>(n - 8, 8);
        std::memcpy(&tail, bytes.data() + n - rest, static_cast<size_t>(rest));
    }
    const quint64 h =
        (head ^ (tail * 0x9E3779B97F4A7C15ull) ^ static_cast<quint64>(n)) * 0xFF51AFD7ED558CCDull;
    return h ^ (h >> 29);
}

void checkSize(qsizetype values, int columns) {
    if (values != columns)
        throw Platform::EError(QStringLiteral("Число значений строки (%1) не совпадает с числом полей (%2)")
                                   .arg(values)
                                   .arg(columns));
}

} // namespace

TRowStore::TColumnData::TColumnData() { recent.fill(-1); }

void TRowStore::TColumnData::Clear() {
    uniform = TCellKind::Null;
    kinds.clear();
    slotData.clear(); // the width stays: a refill of the same list needs it again
    arena.Clear();
    recent.fill(-1);
    looked = 0;
    shared = 0;
    sharing = true;
}

void TRowStore::TBuffer::shrink(qsizetype keep) {
    if (keep >= m_capacity)
        return;
    keep = std::max(keep, m_size);
    if (keep == 0) {
        std::free(m_data);
        m_data = nullptr;
    } else if (void* data = std::realloc(m_data, static_cast<size_t>(keep))) {
        m_data = static_cast<char*>(data);
    } else {
        return; // the larger block stays valid
    }
    m_capacity = keep;
}

void TRowStore::TBuffer::grow(qsizetype needed) {
    qsizetype capacity = std::max<qsizetype>(m_capacity, 64);
    while (capacity < needed)
        capacity *= 2;
    if (capacity >= kHugePage) {
        // Whole huge pages, which the system maps 2 MiB at a time: a first touch of each 4 KiB page
        // costs tens of microseconds on a virtual machine, and a list of a million rows touches
        // ten thousand of them.
        capacity = (capacity + kHugePage - 1) / kHugePage * kHugePage;
        void* large = std::aligned_alloc(static_cast<size_t>(kHugePage), static_cast<size_t>(capacity));
        if (!large)
            throw std::bad_alloc();
#ifdef __linux__
        madvise(large, static_cast<size_t>(capacity), MADV_HUGEPAGE);
#endif
        if (m_size > 0)
            std::memcpy(large, m_data, static_cast<size_t>(m_size));
        std::free(m_data);
        m_data = static_cast<char*>(large);
        m_capacity = capacity;
        return;
    }
    void* data = std::realloc(m_data, static_cast<size_t>(capacity));
    if (!data)
        throw std::bad_alloc();
    m_data = static_cast<char*>(data);
    m_capacity = capacity;
}

quint64 TRowStore::TArena::Add(QByteArrayView bytes) {
    const quint64 size = static_cast<quint64>(bytes.size());
    int lengthBytes = 1;
    for (quint64 rest = size >> 7; rest != 0; rest >>= 7)
        ++lengthBytes;
    const qsizetype needed = lengthBytes + bytes.size();
    int chunk;
    if (needed > kChunkSize) {
        chunk = takeChunk(needed);
    } else {
        if (m_open < 0 || m_chunks[static_cast<size_t>(m_open)].size() + needed > kChunkSize) {
            // The first chunk grows from small, so that a short result holds little; later ones are
            // taken whole.
            m_open = takeChunk(m_used == 0 ? 0 : kChunkSize);
        }
        chunk = m_open;
    }
    TBuffer& buffer = m_chunks[static_cast<size_t>(chunk)];
    const quint64 slot = (static_cast<quint64>(chunk) << kChunkBits) | static_cast<quint64>(buffer.size());
    char* at = buffer.extend(needed);
    quint64 rest = size;
    for (int i = 0; i < lengthBytes; ++i, rest >>= 7)
        *at++ = static_cast<char>((rest & 0x7F) | (i + 1 < lengthBytes ? 0x80 : 0));
    if (size > 0)
        std::memcpy(at, bytes.data(), static_cast<size_t>(size));
    return slot;
}

int TRowStore::TArena::takeChunk(qsizetype capacity) {
    if (m_used == static_cast<int>(m_chunks.size()))
        m_chunks.emplace_back();
    TBuffer& chunk = m_chunks[static_cast<size_t>(m_used)];
    chunk.clear();
    chunk.reserve(capacity);
    return m_used++;
}

void TRowStore::TArena::Clear() {
    m_used = 0;
    m_open = -1;
}

void TRowStore::TArena::Trim() {
    // The open chunk's unused end has never been written, so it holds no memory of the system.
    m_chunks.resize(static_cast<size_t>(m_used));
}

QByteArrayView TRowStore::TArena::At(quint64 slot) const {
    const TBuffer& buffer = m_chunks[static_cast<size_t>(slot >> kChunkBits)];
    return entryAt(buffer.data() + (slot & (kChunkSize - 1)));
}

qint64 TRowStore::TArena::ByteSize() const {
    qint64 bytes = 0;
    for (int c = 0; c < m_used; ++c)
        bytes += m_chunks[static_cast<size_t>(c)].size();
    return bytes;
}

void TRowStore::TBuffer::fill(char byte, qsizetype n) {
    reserve(n);
    std::memset(m_data, byte, static_cast<size_t>(n));
    m_size = n;
}

void TRowStore::TBuffer::remove(qsizetype pos, qsizetype n) {
    std::memmove(m_data + pos, m_data + pos + n, static_cast<size_t>(m_size - pos - n));
    m_size -= n;
}

void TRowStore::Reset(int columnCount) {
    const size_t count = static_cast<size_t>(std::max(columnCount, 0));
    for (size_t c = 0; c < std::min(count, m_columns.size()); ++c)
        m_columns[c].Clear();
    m_columns.resize(count);
    m_rows = 0;
    m_next = 0;
}

void TRowStore::Trim() {
    // Slot and kind buffers are cut only when far larger than the rows need: their memory is what the
    // next refill writes into.
    const auto trim = [](TBuffer& buffer) {
        if (buffer.capacity() > 4 * buffer.size() + kChunkSize)
            buffer.shrink(2 * buffer.size());
    };
    for (TColumnData& c : m_columns) {
        c.arena.Trim();
        trim(c.slotData);
        trim(c.kinds);
    }
}

// ---- filling ----

void TRowStore::refuseValue() {
    throw Platform::EError(QStringLiteral("Набор строк без полей не может принять значение"));
}

void TRowStore::AppendFloat(double value) { append(TCellKind::Float, std::bit_cast<quint64>(value)); }

void TRowStore::AppendValue(const QVariant& value) {
    if (m_columns.empty())
        refuseValue();
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
    if (column.sharing && bytes.size() <= kShortText) {
        recent = &column.recent[shortHash(bytes) % kRecentTexts];
        if (*recent >= 0 && column.arena.At(static_cast<quint64>(*recent)) == bytes) {
            ++column.shared;
            return static_cast<quint64>(*recent);
        }
        if (++column.looked == kSharingTrial)
            column.sharing = column.shared >= kSharingTrial / 8;
    }
    const quint64 slot = column.arena.Add(bytes);
    if (recent)
        *recent = static_cast<qint64>(slot);
    return slot;
}

// The kind and slot a value gets; the conversions are those of binding a value to a statement, so a
// value reads back as it would after a reopen.
void TRowStore::encode(TColumnData& column, const QVariant& value, TCellKind& kind, quint64& slot) {
    kind = KindOf(value);
    switch (kind) {
    case TCellKind::Null:
        slot = 0;
        break;
    case TCellKind::Integer:
        slot = zigzag(value.toLongLong());
        break;
    case TCellKind::Float:
        slot = std::bit_cast<quint64>(value.toDouble());
        break;
    case TCellKind::Blob:
        slot = storeBytes(column, value.toByteArray());
        break;
    case TCellKind::Text:
        slot = storeBytes(column, value.toString().toUtf8());
        break;
    }
}

// Sets the cell `row` of a column holding `rows` cells; row == rows appends one.
void TRowStore::put(TColumnData& column, int row, int rows, TCellKind kind, quint64 slot) {
    if (column.kinds.isEmpty()) {
        if (rows == 0)
            column.uniform = kind;
        else if (kind != column.uniform)
            column.kinds.fill(static_cast<char>(column.uniform), rows);
    }
    if (!column.kinds.isEmpty()) {
        if (row == rows)
            column.kinds.append(static_cast<char>(kind));
        else
            column.kinds.data()[row] = static_cast<char>(kind);
    }
    const int width = widthFor(slot);
    if (width > column.width)
        widen(column, rows, width);
    if (row == rows) {
        WriteSlot(column.slotData.extend(column.width), column.width, slot);
    } else {
        WriteSlot(column.slotData.data() + static_cast<qsizetype>(row) * column.width, column.width, slot);
    }
}

void TRowStore::widen(TColumnData& column, int rows, int width) {
    // In place, from the last slot back: a slot's new place never lies before its old one.
    const int old = column.width;
    column.slotData.reserve(static_cast<qsizetype>(rows) * width);
    column.slotData.extend(static_cast<qsizetype>(rows) * (width - old));
    char* data = column.slotData.data();
    for (int r = rows - 1; r >= 0; --r)
        WriteSlot(data + static_cast<qsizetype>(r) * width, width,
                  readSlot(data + static_cast<qsizetype>(r) * old, old));
    column.width = width;
}

// ---- reading ----

quint64 TRowStore::slotAt(const TColumnData& column, int row) {
    return readSlot(column.slotData.data() + static_cast<qsizetype>(row) * column.width, column.width);
}

const TRowStore::TColumnData& TRowStore::cell(int row, int column) const {
    Q_ASSERT(row >= 0 && row < m_rows && column >= 0 && column < ColumnCount());
    return m_columns[static_cast<size_t>(column)];
}

TCellKind TRowStore::Kind(int row, int column) const {
    const TColumnData& c = cell(row, column);
    return c.kinds.isEmpty() ? c.uniform : static_cast<TCellKind>(c.kinds.data()[row]);
}

qint64 TRowStore::Integer(int row, int column) const { return unzigzag(slotAt(cell(row, column), row)); }

double TRowStore::Float(int row, int column) const {
    return std::bit_cast<double>(slotAt(cell(row, column), row));
}

QByteArrayView TRowStore::Bytes(int row, int column) const {
    const TColumnData& c = cell(row, column);
    return c.arena.At(slotAt(c, row));
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

qint64 TRowStore::ByteSize() const {
    qint64 bytes = 0;
    for (const TColumnData& c : m_columns)
        bytes += c.kinds.size() + c.slotData.size() + c.arena.ByteSize();
    return bytes;
}

} // namespace Data
