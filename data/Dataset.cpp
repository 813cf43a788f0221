// Datasets over the table engine: results are read to the end once, then navigated in memory.
#include "data/Dataset.h"

#include <vector>

namespace Data {

namespace {

bool sameValue(const QVariant& a, const QVariant& b) {
    if (a.isNull() || b.isNull())
        return a.isNull() && b.isNull();
    const auto ta = a.metaType().id();
    const auto tb = b.metaType().id();
    if (ta == QMetaType::QString || tb == QMetaType::QString)
        return a.toString() == b.toString();
    return a == b;
}

// One field and value of a Locate, prepared once so that the walk compares stored cells in place: text
// as UTF-8 bytes, integers as integers. Other pairs compare as the values they read as.
class TLocateKey {
public:
    TLocateKey(int column, const QVariant& value)
        : m_column(column), m_value(value), m_null(value.isNull()),
          m_text(!m_null && value.metaType().id() == QMetaType::QString),
          m_integer(KindOf(value) == TCellKind::Integer) {
        if (m_text)
            m_utf8 = value.toString().toUtf8();
        if (m_integer)
            m_number = value.toLongLong();
    }

    bool Matches(const TRowStore& rows, int row) const {
        const TCellKind kind = rows.Kind(row, m_column);
        if (kind == TCellKind::Null || m_null)
            return kind == TCellKind::Null && m_null;
        if (kind == TCellKind::Text && m_text)
            return rows.Bytes(row, m_column) == QByteArrayView(m_utf8);
        if (kind == TCellKind::Integer && m_integer)
            return rows.Integer(row, m_column) == m_number;
        return sameValue(rows.Value(row, m_column), m_value);
    }

private:
    int m_column;
    QVariant m_value;
    bool m_null;
    bool m_text;
    bool m_integer;
    QByteArray m_utf8;
    qint64 m_number = 0;
};

} // namespace

// ---- TField ----

QVariant TField::Value() const { return m_dataset->fieldValue(m_index); }
QString TField::AsString() const { return Value().toString(); }
int TField::AsInteger() const {
    const QVariant v = Value();
    if (v.isNull())
        return 0;
    bool ok = false;
    const int n = v.toInt(&ok);
    if (!ok)
        throw EDatabaseError(QStringLiteral("«%1» не является целым числом").arg(v.toString()));
    return n;
}

// ---- TDataset ----

TDataset::TDataset(QObject* parent) : QObject(parent) {}

void TDataset::Open() {
    if (Active())
        return;
    QStringList fields;
    // The rows are read into the storage of the last result (a refresh fills memory already in use).
    try {
        DoOpen(fields, m_rows);
    } catch (...) {
        m_rows.Reset(0);
        throw;
    }
    m_rows.Trim();
    m_fields = std::move(fields);
    m_active = true;
    m_row = 0;
    notifyReset();
}

void TDataset::Close() {
    if (!Active())
        return;
    m_rows.Reset(m_rows.ColumnCount());
    m_active = false;
    m_row = 0;
    notifyReset();
}

void TDataset::checkActive() const {
    if (!Active())
        throw EDatabaseError(QStringLiteral("Операция не может быть выполнена над закрытым набором данных"));
}

void TDataset::setRow(int row) {
    const int old = m_row;
    m_row = row;
    if (old != row)
        notifyMove();
}

void TDataset::First() {
    checkActive();
    setRow(0);
}

void TDataset::Last() {
    checkActive();
    setRow(m_rows.IsEmpty() ? 0 : m_rows.RowCount() - 1);
}

void TDataset::Next() {
    checkActive();
    if (m_row + 1 < m_rows.RowCount())
        setRow(m_row + 1);
}

void TDataset::SetRecNo(int recNo) {
    checkActive();
    if (m_rows.IsEmpty())
        return;
    setRow(std::clamp(recNo - 1, 0, m_rows.RowCount() - 1));
}

void TDataset::GotoBookmark(TBookmark bookmark) {
    checkActive();
    if (bookmark >= 0 && bookmark < m_rows.RowCount())
        setRow(bookmark);
}

int TDataset::FieldIndex(const QString& name) const {
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

TField TDataset::FieldByName(const QString& name) {
    checkActive();
    const int index = FieldIndex(name);
    if (index < 0)
        throw EDatabaseError(QStringLiteral("Поле «%1» не найдено").arg(name));
    return TField(this, index);
}

QVariant TDataset::fieldValue(int index) const {
    checkActive();
    if (m_rows.IsEmpty())
        return {};
    return m_rows.Value(m_row, index);
}

bool TDataset::Locate(const QString& fields, const QVariantList& values) {
    checkActive();
    const QStringList names = fields.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (names.size() != values.size())
        throw EDatabaseError(QStringLiteral("Число полей поиска не совпадает с числом значений"));
    std::vector<TLocateKey> keys;
    for (int k = 0; k < names.size(); ++k) {
        const int c = FieldIndex(names[k].trimmed());
        if (c < 0)
            throw EDatabaseError(QStringLiteral("Поле «%1» не найдено").arg(names[k]));
        keys.emplace_back(c, values[k]);
    }
    const int rows = m_rows.RowCount();
    for (int r = 0; r < rows; ++r) {
        bool match = true;
        for (std::size_t k = 0; k < keys.size() && match; ++k)
            match = keys[k].Matches(m_rows, r);
        if (match) {
            setRow(r);
            return true;
        }
    }
    return false;
}

void TDataset::DisableControls() { ++m_disableCount; }

void TDataset::EnableControls() {
    if (m_disableCount == 0)
        return;
    if (--m_disableCount == 0 && m_pendingReset) {
        m_pendingReset = false;
        Q_EMIT DataReset();
        Q_EMIT DataChange();
    }
}

void TDataset::notifyReset() {
    if (m_disableCount > 0) {
        m_pendingReset = true;
        return;
    }
    Q_EMIT DataReset();
    Q_EMIT DataChange();
}

void TDataset::notifyMove() {
    if (m_disableCount > 0) {
        m_pendingReset = true;
        return;
    }
    Q_EMIT DataChange();
}

// ---- TValueSet ----

void TValueSet::SetRows(QVector<QVector<QVariant>> rows) {
    m_values = std::move(rows);
    Close();
    Open();
}

void TValueSet::DoOpen(QStringList& fields, TRowStore& rows) {
    fields = m_names;
    rows.Reset(static_cast<int>(m_names.size()));
    for (const QVector<QVariant>& row : std::as_const(m_values))
        rows.AppendRow(row);
}

} // namespace Data
