// Datasets over the table engine: results are read to the end once, then navigated in memory.
#include "data/Dataset.h"

#include "data/Engine.h"
#include "data/ServerEngine.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <sqlite3.h>

#include <memory>
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

bool isInteger(const QVariant& v) {
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

// One field and value of a Locate, prepared once so that the walk compares stored cells in place: text
// as UTF-8 bytes, integers as integers. Other pairs compare as the values they read as.
class TLocateKey {
public:
    TLocateKey(int column, const QVariant& value)
        : m_column(column), m_value(value), m_null(value.isNull()),
          m_text(!m_null && value.metaType().id() == QMetaType::QString),
          m_integer(!m_null && isInteger(value)) {
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

// Reads the whole result of a select into `rows`, straight from the engine's statement on the
// connection's handle (or the server's result through libpq): this is the hot path of every list refresh.
void readResult(const QSqlDatabase& db, const QString& sql, const QVariantMap& params, QStringList& fields,
                TRowStore& rows) {
    if (Server::IsServer(db)) {
        Server::Select(db, sql, params, fields, rows);
        return;
    }
    sqlite3* handle = EngineHandle(db);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare16_v2(handle, sql.utf16(), -1, &stmt, nullptr) != SQLITE_OK) {
        const EEngineError error = EngineError(handle, QStringLiteral("Ошибка в запросе"));
        sqlite3_finalize(stmt);
        throw error;
    }
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> guard(stmt, sqlite3_finalize);
    BindParams(stmt, params, false);
    const int n = sqlite3_column_count(stmt);
    for (int i = 0; i < n; ++i)
        fields.append(QString::fromUtf8(sqlite3_column_name(stmt, i)));
    rows.Reset(n);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        for (int i = 0; i < n; ++i) {
            // One look-up of the column's value serves its type and its contents.
            sqlite3_value* value = sqlite3_column_value(stmt, i);
            switch (sqlite3_value_type(value)) {
            case SQLITE_INTEGER:
                rows.AppendInteger(sqlite3_value_int64(value));
                break;
            case SQLITE_FLOAT:
                rows.AppendFloat(sqlite3_value_double(value));
                break;
            case SQLITE_TEXT: {
                const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
                rows.AppendText(QByteArrayView(text, sqlite3_value_bytes(value)));
                break;
            }
            case SQLITE_BLOB: {
                // A zero-length value comes back without data; it stays an empty value, not NULL.
                const auto* data = static_cast<const char*>(sqlite3_value_blob(value));
                rows.AppendBlob(QByteArrayView(data ? data : "", sqlite3_value_bytes(value)));
                break;
            }
            default:
                rows.AppendNull();
                break;
            }
        }
    }
    if (rc != SQLITE_DONE)
        throw EngineError(handle, QStringLiteral("Ошибка выполнения запроса"));
}

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
bool TField::IsNull() const { return Value().isNull(); }
void TField::SetValue(const QVariant& value) const { m_dataset->setFieldValue(m_index, value); }
const QString& TField::FieldName() const { return m_dataset->m_fields[m_index]; }

// ---- TDataset ----

TDataset::TDataset(const QString& connectionName, QObject* parent)
    : QObject(parent), m_connectionName(connectionName) {}

QSqlDatabase TDataset::Database() const { return QSqlDatabase::database(m_connectionName, false); }

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
    m_state = State::Browse;
    m_row = 0;
    m_bof = true;
    m_eof = m_rows.IsEmpty();
    notifyReset();
}

void TDataset::Close() {
    if (!Active())
        return;
    m_rows.Reset(m_rows.ColumnCount());
    m_buffer.clear();
    m_state = State::Inactive;
    m_row = 0;
    m_bof = m_eof = true;
    notifyReset();
}

void TDataset::checkActive() const {
    if (!Active())
        throw EDatabaseError(QStringLiteral("Операция не может быть выполнена над закрытым набором данных"));
}

void TDataset::setRow(int row) {
    if (m_state == State::Edit || m_state == State::Insert)
        Post();
    const int old = m_row;
    m_row = row;
    if (old != row)
        notifyMove();
}

void TDataset::First() {
    checkActive();
    setRow(0);
    m_bof = true;
    m_eof = m_rows.IsEmpty();
}

void TDataset::Last() {
    checkActive();
    setRow(m_rows.IsEmpty() ? 0 : m_rows.RowCount() - 1);
    m_eof = true;
    m_bof = m_rows.IsEmpty();
}

void TDataset::Next() {
    checkActive();
    if (m_row + 1 < m_rows.RowCount()) {
        setRow(m_row + 1);
        m_bof = false;
        m_eof = false;
    } else {
        if (m_state == State::Edit || m_state == State::Insert)
            Post();
        m_eof = true;
    }
}

void TDataset::Prior() {
    checkActive();
    if (m_row > 0) {
        setRow(m_row - 1);
        m_eof = false;
        m_bof = false;
    } else {
        m_bof = true;
    }
}

void TDataset::SetRecNo(int recNo) {
    checkActive();
    if (m_rows.IsEmpty())
        return;
    const int row = std::clamp(recNo - 1, 0, m_rows.RowCount() - 1);
    setRow(row);
    m_bof = m_eof = false;
}

void TDataset::GotoBookmark(TBookmark bookmark) {
    checkActive();
    if (bookmark >= 0 && bookmark < m_rows.RowCount()) {
        setRow(bookmark);
        m_bof = m_eof = false;
    }
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
    if (m_state == State::Edit || m_state == State::Insert)
        return m_buffer[index];
    if (m_rows.IsEmpty())
        return {};
    return m_rows.Value(m_row, index);
}

void TDataset::setFieldValue(int index, const QVariant& value) {
    if (m_state != State::Edit && m_state != State::Insert)
        throw EDatabaseError(QStringLiteral("Набор данных не находится в режиме редактирования"));
    m_buffer[index] = value;
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
            m_bof = m_eof = false;
            return true;
        }
    }
    return false;
}

void TDataset::Edit() {
    checkActive();
    if (m_state == State::Edit || m_state == State::Insert)
        return;
    if (m_rows.IsEmpty())
        throw EDatabaseError(QStringLiteral("Нет текущей записи для редактирования"));
    m_buffer = m_rows.Row(m_row);
    m_state = State::Edit;
}

void TDataset::Append() {
    checkActive();
    if (m_state == State::Edit || m_state == State::Insert)
        Post();
    m_buffer = QVector<QVariant>(m_fields.size());
    m_state = State::Insert;
}

void TDataset::Post() {
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    const bool inserting = m_state == State::Insert;
    try {
        DoPost(m_buffer, inserting);
    } catch (...) {
        // A refused write leaves the dataset browsable, as before the edit: the caller still holds
        // what was typed and may try again.
        Cancel();
        throw;
    }
    if (inserting) {
        m_rows.AppendRow(m_buffer);
        m_row = m_rows.RowCount() - 1;
        m_state = State::Browse;
        m_bof = m_eof = false;
        notifyReset();
    } else {
        m_rows.SetRow(m_row, m_buffer);
        m_state = State::Browse;
        notifyRow(m_row);
    }
    m_buffer.clear();
}

void TDataset::Cancel() {
    if (m_state == State::Edit || m_state == State::Insert) {
        m_state = State::Browse;
        m_buffer.clear();
    }
}

void TDataset::Delete() {
    checkActive();
    Cancel();
    if (m_rows.IsEmpty())
        throw EDatabaseError(QStringLiteral("Нет текущей записи для удаления"));
    DoDelete(m_rows.Row(m_row));
    m_rows.RemoveRow(m_row);
    if (m_row >= m_rows.RowCount())
        m_row = std::max(0, m_rows.RowCount() - 1);
    m_eof = m_rows.IsEmpty();
    notifyReset();
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

void TDataset::notifyRow(int row) {
    if (m_disableCount > 0) {
        m_pendingReset = true;
        return;
    }
    Q_EMIT RowChanged(row);
    Q_EMIT DataChange();
}

void TDataset::notifyMove() {
    if (m_disableCount > 0) {
        m_pendingReset = true;
        return;
    }
    Q_EMIT DataChange();
}

// ---- TQuery ----

void TQuery::SetParam(const QString& name, const QVariant& value) { m_params.insert(name, value); }

void TQuery::DoOpen(QStringList& fields, TRowStore& rows) {
    readResult(Database(), m_sql, m_params, fields, rows);
}

int TQuery::ExecSQL(qint64* lastId) { return ExecBound(Database(), m_sql, m_params, lastId); }

// ---- TTable ----

QString TTable::quotedTable() const { return QLatin1Char('"') + m_tableName + QLatin1Char('"'); }

void TTable::DoOpen(QStringList& fields, TRowStore& rows) {
    readResult(Database(),
               QStringLiteral("select * from ") + quotedTable() + QStringLiteral(" order by ") + m_indexField,
               {}, fields, rows);
}

void TTable::DoPost(QVector<QVariant>& row, bool inserting) {
    const QStringList& fields = FieldNames();
    QVariantMap params;
    const auto param = [&](int i) -> QString {
        const QString name = QStringLiteral("f%1").arg(i);
        params.insert(name, row[i]);
        return QLatin1Char(':') + name;
    };
    if (inserting) {
        // The key (first field) is left to the engine when it was not set.
        QStringList names;
        QStringList marks;
        const int version = FieldIndex(kRowVersion);
        for (int i = 0; i < fields.size(); ++i) {
            if ((i == 0 && row[0].isNull()) || i == version)
                continue;
            names << fields[i];
            marks << param(i);
        }
        qint64 id = 0;
        try {
            ExecBound(Database(),
                      QStringLiteral("insert into ") + quotedTable() + QStringLiteral(" (") +
                          names.join(u',') + QStringLiteral(") values (") + marks.join(u',') +
                          QLatin1Char(')'),
                      params, &id);
        } catch (const EDatabaseError& e) {
            throw EDatabaseError(writeError(e));
        }
        if (row[0].isNull())
            row[0] = id;
        if (version >= 0)
            row[version] = 1;
    } else {
        // The row's version, read with it, must still be the stored one: a record changed elsewhere
        // meanwhile is not overwritten. The schema's triggers count the version up on every update.
        const int version = FieldIndex(kRowVersion);
        QStringList sets;
        for (int i = 1; i < fields.size(); ++i)
            if (i != version)
                sets << fields[i] + QStringLiteral(" = ") + param(i);
        if (sets.isEmpty())
            return;
        QString where = fields[0] + QStringLiteral(" = ") + param(0);
        if (version >= 0 && !row[version].isNull())
            where += QStringLiteral(" and ") + fields[version] + QStringLiteral(" = ") + param(version);
        int changed = 0;
        try {
            changed = ExecBound(Database(),
                                QStringLiteral("update ") + quotedTable() + QStringLiteral(" set ") +
                                    sets.join(u',') + QStringLiteral(" where ") + where,
                                params);
        } catch (const EDatabaseError& e) {
            throw EDatabaseError(writeError(e));
        }
        if (changed == 0) {
            TQuery q(Database().connectionName(), nullptr);
            q.SetSQL(QStringLiteral("select ") + fields[0] + QStringLiteral(" from ") + quotedTable() +
                     QStringLiteral(" where ") + fields[0] + QStringLiteral(" = :key"));
            q.SetParam(QStringLiteral("key"), row[0]);
            q.Open();
            throw ERecordChanged(q.IsEmpty() ? kRecordGone : kRecordChanged);
        }
        if (version >= 0 && !row[version].isNull())
            row[version] = row[version].toLongLong() + 1;
    }
}

void TTable::DoDelete(const QVector<QVariant>& row) {
    // A record that is already gone (deleted elsewhere) is not an error: the outcome is the same.
    try {
        ExecBound(Database(),
                  QStringLiteral("delete from ") + quotedTable() + QStringLiteral(" where ") +
                      FieldNames()[0] + QStringLiteral(" = :key"),
                  {{QStringLiteral("key"), row[0]}});
    } catch (const EDatabaseError& e) {
        throw EDatabaseError(QStringLiteral("Ошибка удаления из таблицы ") + m_tableName +
                             QStringLiteral(": ") + e.message());
    }
}

QString TTable::writeError(const EDatabaseError& e) const {
    return QStringLiteral("Ошибка записи в таблицу ") + m_tableName + QStringLiteral(": ") + e.message();
}

} // namespace Data
