// Record-level access to tables and query results: a cursor over rows held in memory, with
// locate, bookmarks, edit/append/post/delete, and suspendable notification of bound views.
//
// TQuery runs a select with named parameters on the store's engine and keeps the whole result, column by
// column (RowStore.h); edits to it stay in that private copy. TTable shows one table in key order; records
// are written through the repository (Repository.h).
#pragma once

#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include "data/Engine.h"
#include "data/RowStore.h"

namespace Data {

class TDataset;

// One field of the current row; reads and (in edit or insert state) writes its value.
class TField {
public:
    TField(TDataset* dataset, int index) : m_dataset(dataset), m_index(index) {}

    QVariant Value() const;
    QString AsString() const;
    int AsInteger() const;
    bool IsNull() const;
    void SetValue(const QVariant& value) const;
    void SetAsString(const QString& value) const { SetValue(value); }
    void SetAsInteger(int value) const { SetValue(value); }
    const QString& FieldName() const;

private:
    TDataset* m_dataset;
    int m_index;
};

class TDataset : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };
    using TBookmark = int;

    explicit TDataset(QObject* parent);

    // Close drops the rows but keeps their memory for the next Open, so that a refresh of a large list
    // writes into pages already in use; the memory goes with the dataset.
    void Open();
    void Close();
    bool Active() const { return m_state != State::Inactive; }
    State DataState() const { return m_state; }

    // Cursor.
    void First();
    void Last();
    void Next();
    void Prior();
    bool Eof() const { return m_eof; }
    bool Bof() const { return m_bof; }
    bool IsEmpty() const { return m_rows.IsEmpty(); }
    int RecordCount() const { return m_rows.RowCount(); }
    // 1-based number of the current row; 0 when empty.
    int RecNo() const { return m_rows.IsEmpty() ? 0 : m_row + 1; }
    void SetRecNo(int recNo);
    int CurrentRow() const { return m_rows.IsEmpty() ? -1 : m_row; }

    // Fields (names matched without regard to case).
    const QStringList& FieldNames() const { return m_fields; }
    int FieldIndex(const QString& name) const;
    TField FieldByName(const QString& name);
    // The stored value of a row by its place (the edit buffer is not looked at).
    QVariant Value(int row, int field) const { return m_rows.Value(row, field); }
    // The rows as stored, for walks that read many cells without converting each.
    const TRowStore& Rows() const { return m_rows; }

    // Moves to the first row whose fields ("A;B") equal the values exactly; false leaves the cursor.
    bool Locate(const QString& fields, const QVariantList& values);
    bool Locate(const QString& field, const QVariant& value) { return Locate(field, QVariantList{value}); }

    // Puts the rows in a new order (order[i] is the row that goes to place i; RowOrder.h makes one); the
    // cursor stays on its row, bound views reset. Only while browsing: nothing is written.
    void Reorder(const std::vector<int>& order);

    TBookmark GetBookmark() const { return m_row; }
    void GotoBookmark(TBookmark bookmark);

    // Edit the current row, or append a new one; Post stores it, Cancel drops it.
    void Edit();
    void Append();
    void Post();
    void Cancel();
    void Delete();

    // While disabled, bound views get no notifications; enabling refreshes them once.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return m_disableCount > 0; }

Q_SIGNALS:
    // The rows were replaced (open, close, delete, re-enabled controls): views reset.
    void DataReset();
    // One row's values changed.
    void RowChanged(int row);
    // The current row moved (or the data changed): DataChange of the data source.
    void DataChange();

protected:
    // Fills fields and rows (Reset to the number of fields; the rows may hold the memory of an earlier
    // result); throws EDatabaseError.
    virtual void DoOpen(QStringList& fields, TRowStore& rows) = 0;
    // Writes a posted row (insert when inserting); may update the row (assigned keys).
    virtual void DoPost(QVector<QVariant>& row, bool inserting) = 0;
    virtual void DoDelete(const QVector<QVariant>& row) = 0;

    void notifyReset();
    void notifyRow(int row);
    void notifyMove();

private:
    friend class TField;
    QVariant fieldValue(int index) const;
    void setFieldValue(int index, const QVariant& value);
    void checkActive() const;
    void setRow(int row);

    QStringList m_fields;
    TRowStore m_rows;
    QVector<QVariant> m_buffer; // the row being edited or inserted
    State m_state = State::Inactive;
    int m_row = 0;
    bool m_eof = true;
    bool m_bof = true;
    int m_disableCount = 0;
    bool m_pendingReset = false;
};

// A select statement with named parameters (":Name"); the result is a private in-memory copy.
class TQuery : public TDataset {
    Q_OBJECT
public:
    TQuery(TEngine& engine, QObject* parent) : TDataset(parent), m_engine(engine) {}

    // The statement in the store's dialect; a text of that dialect as it stands.
    void SetSQL(const TSql& sql) { m_sql = m_engine.Text(sql); }
    void SetSQL(const QString& sql) { m_sql = sql; }
    const QString& SQL() const { return m_sql; }
    void SetParam(const QString& name, const QVariant& value) { m_params.insert(name, value); }
    QVariant Param(const QString& name) const { return m_params.value(name); }
    void ClearParams() { m_params.clear(); }

    // Runs a statement that returns no rows (insert, update, delete); returns the rows affected.
    // `lastId` receives the key of an inserted row.
    int ExecSQL(qint64* lastId = nullptr) { return m_engine.Exec(m_sql, m_params, lastId); }

protected:
    void DoOpen(QStringList& fields, TRowStore& rows) override {
        m_engine.Select(m_sql, m_params, fields, rows);
    }
    // The rows are read only: records are written through the repository. A write here is refused
    // rather than kept in the copy alone.
    void DoPost(QVector<QVariant>&, bool) override { refuseWrite(); }
    void DoDelete(const QVector<QVariant>&) override { refuseWrite(); }

private:
    [[noreturn]] static void refuseWrite();
    TEngine& m_engine;
    QString m_sql;
    QVariantMap m_params;
};

// A table in the order of its key field, read with the store's statement for it.
class TTable : public TQuery {
    Q_OBJECT
public:
    TTable(TEngine& engine, const QString& tableName, const TSql& select, QObject* parent)
        : TQuery(engine, parent), m_tableName(tableName) {
        SetSQL(select);
    }
    const QString& TableName() const { return m_tableName; }

private:
    QString m_tableName;
};

// Rows handed over as values (a window's own list of records), shown and walked like a query's.
class TValueSet : public TDataset {
    Q_OBJECT
public:
    TValueSet(QStringList fields, QObject* parent) : TDataset(parent), m_names(std::move(fields)) {}
    // Shows these rows (one value per field) from the first.
    void SetRows(QVector<QVector<QVariant>> rows);

protected:
    void DoOpen(QStringList& fields, TRowStore& rows) override;
    void DoPost(QVector<QVariant>&, bool) override {}
    void DoDelete(const QVector<QVariant>&) override {}

private:
    QStringList m_names;
    QVector<QVector<QVariant>> m_values;
};

// Notes the current row and suspends bound views; restores both on destruction, also on error.
class TWalkGuard {
public:
    explicit TWalkGuard(TDataset& dataset) : m_dataset(dataset), m_bookmark(dataset.GetBookmark()) {
        m_dataset.DisableControls();
    }
    ~TWalkGuard() {
        if (m_dataset.Active())
            m_dataset.GotoBookmark(m_bookmark);
        m_dataset.EnableControls();
    }
    TWalkGuard(const TWalkGuard&) = delete;
    TWalkGuard& operator=(const TWalkGuard&) = delete;

private:
    TDataset& m_dataset;
    TDataset::TBookmark m_bookmark;
};

} // namespace Data
