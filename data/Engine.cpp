// What every engine shares: small reads as values, the transaction guard, and the backup hooks that only
// the table file has.
#include "data/Engine.h"

#include "platform/Locale.h"

namespace Data {

namespace {

// Nested savepoints may share a name: release and rollback act on the innermost one.
constexpr char kSavepoint[] = "morvel_nested";

const QString kNoCopies = QStringLiteral("Резервные копии данных сервера делает сам сервер.");

} // namespace

const QStringList& ChangeTables() {
    static const QStringList tables = {QStringLiteral("DB"), QStringLiteral("USER"), QStringLiteral("GROUP"),
                                       QStringLiteral("TEST")};
    return tables;
}

namespace {
QVector<QVector<QVariant>> rowsOf(const TRowStore& store) {
    QVector<QVector<QVariant>> rows;
    rows.reserve(store.RowCount());
    for (int r = 0; r < store.RowCount(); ++r)
        rows.append(store.Row(r));
    return rows;
}
} // namespace

QVector<QVector<QVariant>> TEngine::Rows(const QString& text, const QVariantMap& params) {
    QStringList fields;
    TRowStore store;
    Select(text, params, fields, store);
    return rowsOf(store);
}

QVector<QVector<QVariant>> TEngine::Rows(const TSql& sql, const QVariantMap& params) {
    QStringList fields;
    TRowStore store;
    SelectStatement(sql, params, fields, store);
    return rowsOf(store);
}

QDate TRowView::Date(int column) const { return Platform::IsoToDate(Text(column)); }
QTime TRowView::Time(int column) const { return Platform::IsoToTime(Text(column)); }

void TEngine::ReadEach(const TSql& sql, const QVariantMap& params,
                       const std::function<void(const TRowView&)>& each) {
    class TStoreRow final : public TRowView {
    public:
        TStoreRow(const TRowStore& store, int row) : m_store(store), m_row(row) {}
        QString Text(int column) const override {
            const TCellKind kind = m_store.Kind(m_row, column);
            return kind == TCellKind::Text   ? QString::fromUtf8(m_store.Bytes(m_row, column))
                   : kind == TCellKind::Null ? QString()
                                             : m_store.Value(m_row, column).toString();
        }
        qint64 Integer(int column) const override {
            return m_store.Kind(m_row, column) == TCellKind::Integer
                       ? m_store.Integer(m_row, column)
                       : m_store.Value(m_row, column).toLongLong();
        }

    private:
        const TRowStore& m_store;
        int m_row;
    };
    QStringList fields;
    TRowStore store;
    SelectStatement(sql, params, fields, store);
    for (int r = 0; r < store.RowCount(); ++r)
        each(TStoreRow(store, r));
}

QVariant TEngine::Value(const TSql& sql, const QVariantMap& params) {
    const auto rows = Rows(sql, params);
    return rows.isEmpty() || rows[0].isEmpty() ? QVariant() : rows[0][0];
}

void TEngine::BackupInto(const QString&) { throw EDatabaseError(kNoCopies); }
void TEngine::RestoreFrom(const QString&) { throw EDatabaseError(kNoCopies); }
int TEngine::PageSize() { throw EDatabaseError(kNoCopies); }

TTransaction::TTransaction(TEngine& engine) : m_engine(engine) {
    if (!engine.InTransaction()) {
        engine.Begin();
    } else {
        m_savepoint = true;
        engine.Run(QByteArray("savepoint ") + kSavepoint, QStringLiteral("Не удалось начать запись"));
    }
}

TTransaction::~TTransaction() {
    if (m_done)
        return;
    // Rolling back cannot fail in a way the caller could act on; on a lost server connection the
    // server has rolled back already.
    try {
        if (m_savepoint)
            m_engine.Run(QByteArray("rollback to ") + kSavepoint + "; release " + kSavepoint, QString());
        else
            m_engine.Rollback();
    } catch (const EDatabaseError&) {
    }
}

void TTransaction::Commit() {
    if (m_done)
        return;
    if (m_savepoint)
        m_engine.Run(QByteArray("release ") + kSavepoint, QStringLiteral("Не удалось завершить запись"));
    else
        m_engine.Commit();
    m_done = true;
}

const QVariant* BoundValue(const QVariantMap& params, const QString& name, bool requireAll) {
    const auto it = params.constFind(name);
    if (it != params.cend())
        return &*it;
    if (requireAll)
        throw EDatabaseError(QStringLiteral("Не задано значение параметра «%1»").arg(name));
    return nullptr;
}

} // namespace Data
