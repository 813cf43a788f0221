// Record-level access to tables and query results: a cursor over rows held in memory, with
// locate, bookmarks and suspendable notification of bound views.
//
// TQuery runs a select with named parameters on the store's engine and keeps the whole result, column by
// column (RowStore.h). TTable shows one table in key order; records are written through the repository
// (Repository.h).
#pragma once

#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include "data/Engine.h"
#include "data/RowStore.h"

namespace Data {

class TDataset;

// One field of the current row; reads its value.
class TField {
public:
    TField(TDataset* dataset, int index) : m_dataset(dataset), m_index(index) {}

    QVariant Value() const;
    QString AsString() const;
    int AsInteger() const;

private:
    TDataset* m_dataset;
    int m_index;
};

class TDataset : public QObject {
    Q_OBJECT
public:
    using TBookmark = int;

    explicit TDataset(QObject* parent);

    // Close drops the rows but keeps their memory for the next Open, so that a refresh of a large list
    // writes into pages already in use; the memory goes with the dataset.
    void Open();
    void Close();
    bool Active() const { return m_active; }

    // Cursor.
    void First();
    void Last();
    void Next();
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
    // The stored value of a row by its place.
    QVariant Value(int row, int field) const { return m_rows.Value(row, field); }
    // The rows as stored, for walks that read many cells without converting each.
    const TRowStore& Rows() const { return m_rows; }

    // Moves to the first row whose fields ("A;B") equal the values exactly; false leaves the cursor.
    bool Locate(const QString& fields, const QVariantList& values);
    bool Locate(const QString& field, const QVariant& value) { return Locate(field, QVariantList{value}); }

    // Puts the rows in a new order (order[i] is the row that goes to place i; RowOrder.h makes one); the
    // cursor stays on its row, bound views reset. Nothing is written.
    void Reorder(const std::vector<int>& order);

    TBookmark GetBookmark() const { return m_row; }
    void GotoBookmark(TBookmark bookmark);

    // While disabled, bound views get no notifications; enabling refreshes them once.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return m_disableCount > 0; }

Q_SIGNALS:
    // The rows were replaced (open, close, reorder, re-enabled controls): views reset.
    void DataReset();
    // The current row moved (or the data changed): DataChange of the data source.
    void DataChange();

protected:
    // Fills fields and rows (Reset to the number of fields; the rows may hold the memory of an earlier
    // result); throws EDatabaseError.
    virtual void DoOpen(QStringList& fields, TRowStore& rows) = 0;

    void notifyReset();
    void notifyMove();

private:
    friend class TField;
    QVariant fieldValue(int index) const;
    void checkActive() const;
    void setRow(int row);

    QStringList m_fields;
    TRowStore m_rows;
    bool m_active = false;
    int m_row = 0;
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

protected:
    void DoOpen(QStringList& fields, TRowStore& rows) override {
        m_engine.Select(m_sql, m_params, fields, rows);
    }

private:
    TEngine& m_engine;
    QString m_sql;
    QVariantMap m_params;
};

// A table in the order of its key field, read with the store's statement for it.
class TTable : public TQuery {
    Q_OBJECT
public:
    TTable(TEngine& engine, const TSql& select, QObject* parent) : TQuery(engine, parent) { SetSQL(select); }
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
