// Typed calls over the store's engine, with the statements of Statements.h.
#include "data/Repository.h"

#include "data/Statements.h"
#include "platform/Locale.h"

namespace Data {

namespace {

using TRow = QVector<QVariant>;

TestRecord testOf(const TRowView& r) {
    return {.id = int(r.Integer(0)),
            .dbId = int(r.Integer(1)),
            .testeeId = int(r.Integer(2)),
            .date = r.Date(3),
            .time = r.Time(4),
            .note = r.Text(5),
            .resultTest = r.Text(6),
            .resultProfil = r.Text(7),
            .calcProfil = r.Text(8),
            .calcProfilNapr = r.Text(9),
            .version = r.Integer(10)};
}

QVariantMap testParams(const TestRecord& r) {
    if (!r.date.isValid())
        throw EDatabaseError(QStringLiteral("Недопустимая дата теста"));
    if (!r.time.isValid())
        throw EDatabaseError(QStringLiteral("Недопустимое время теста"));
    return {{QStringLiteral("Date_Test"), Platform::DateToIso(r.date)},
            {QStringLiteral("Time_Test"), Platform::TimeToIso(r.time)},
            {QStringLiteral("Note"), r.note},
            {QStringLiteral("Result_Test"), r.resultTest},
            {QStringLiteral("Result_Profil"), r.resultProfil},
            {QStringLiteral("Calc_Profil"), r.calcProfil},
            {QStringLiteral("Calc_ProfilNapr"), r.calcProfilNapr}};
}

QVector<BalanceRow> balanceRows(TEngine& engine, const TSql& sql) {
    QVector<BalanceRow> rows;
    for (const TRow& r : engine.Rows(sql))
        rows.append({r[0].toInt(), r[1].toString(), r[2].toInt()});
    return rows;
}

// A write of table `table` whose failure is told with the table's name.
template <class F> auto writing(const char* table, bool deleting, F&& write) {
    const QString what = (deleting ? QStringLiteral("Ошибка удаления из таблицы ")
                                   : QStringLiteral("Ошибка записи в таблицу ")) +
                         QLatin1String(table) + QStringLiteral(": ");
    try {
        return write();
    } catch (const EEngineError& e) {
        throw EEngineError(what + e.message(), e.detail(), e.code(), e.reason());
    } catch (const ERecordChanged&) {
        throw;
    } catch (const EDatabaseError& e) {
        throw EDatabaseError(what + e.message(), e.detail());
    }
}

// An update that changed no row: its record is gone, or changed elsewhere since it was read.
[[noreturn]] void refused(bool exists, const QString& gone = kRecordGone) {
    throw ERecordChanged(exists ? kRecordChanged : gone);
}

} // namespace

// ---- Databases.

std::optional<Database> Repository::database(int id) const {
    const auto rows = m_engine.Rows(kDatabase, {{QStringLiteral("DB_ID"), id}});
    if (rows.isEmpty())
        return std::nullopt;
    const TRow& r = rows[0];
    return Database{r[0].toInt(), r[1].toString(), r[2].toByteArray(), r[3].toLongLong()};
}

int Repository::insertDatabase(const QString& name, const QByteArray& password) {
    qint64 id = 0;
    writing("DB", false, [&] {
        return m_engine.Exec(kInsertDatabase,
                             {{QStringLiteral("DB_Name"), name}, {QStringLiteral("Password"), password}},
                             &id);
    });
    return static_cast<int>(id);
}

void Repository::updateDatabase(const Database& db) {
    const int changed = writing("DB", false, [&] {
        return m_engine.Exec(kUpdateDatabase, {{QStringLiteral("DB_ID"), db.id},
                                               {QStringLiteral("DB_Name"), db.name},
                                               {QStringLiteral("Password"), db.password},
                                               {kRowVersion, db.version}});
    });
    if (changed == 0)
        refused(database(db.id).has_value());
}

void Repository::deleteDatabase(int id) {
    const QVariantMap key{{QStringLiteral("DB_ID"), id}};
    TTransaction transaction(m_engine);
    for (const TSql& sql : {kDeleteTestsOfDatabase, kDeleteTesteesOfDatabase, kDeleteDatabase})
        m_engine.Exec(sql, key);
    transaction.Commit();
}

// ---- Groups.

QVector<Group> Repository::groups() const {
    QVector<Group> all;
    for (const TRow& r : m_engine.Rows(kGroups))
        all.append({r[0].toInt(), r[1].toString(), r[2].toLongLong()});
    return all;
}

int Repository::insertGroup(const QString& name) {
    qint64 id = 0;
    writing("GROUP", false, [&] {
        return m_engine.Exec(kInsertGroup, {{QStringLiteral("Group_Name"), name}}, &id);
    });
    return static_cast<int>(id);
}

void Repository::renameGroup(const Group& group) {
    const int changed = writing("GROUP", false, [&] {
        return m_engine.Exec(kRenameGroup, {{QStringLiteral("Group_ID"), group.id},
                                            {QStringLiteral("Group_Name"), group.name},
                                            {kRowVersion, group.version}});
    });
    if (changed == 0)
        refused(m_engine.Value(kGroupExists, {{QStringLiteral("Group_ID"), group.id}}).isValid());
}

void Repository::deleteGroup(int id) {
    // A group that is already gone (deleted elsewhere) is not an error: the outcome is the same.
    writing("GROUP", true, [&] { return m_engine.Exec(kDeleteGroup, {{QStringLiteral("Group_ID"), id}}); });
}

int Repository::groupMemberCount(int id) const {
    return m_engine.Value(kGroupMemberCount, {{QStringLiteral("Group_ID"), id}}).toInt();
}

// ---- Testees.

std::optional<Testee> Repository::testee(int id) const {
    const auto rows = m_engine.Rows(kTestee, {{QStringLiteral("Men_ID"), id}});
    if (rows.isEmpty())
        return std::nullopt;
    const TRow& r = rows[0];
    return Testee{r[0].toInt(), r[1].toInt(), r[2].toString(), r[3].toString(),
                  r[4].toInt(), r[5].toInt(), r[6].toString(), r[7].toLongLong()};
}

QString Repository::testeeName(int id) const {
    return m_engine.Value(kTesteeName, {{QStringLiteral("Men_ID"), id}}).toString().simplified();
}

namespace {
QVariantMap testeeParams(const Testee& t) {
    return {{QStringLiteral("DB_ID"), t.dbId},
            {QStringLiteral("FIO"), t.fio},
            {QStringLiteral("Sex"), t.sex},
            {QStringLiteral("Age"), t.age},
            {QStringLiteral("Group_ID"), t.groupId}};
}
} // namespace

int Repository::insertTestee(const Testee& t) {
    qint64 id = 0;
    m_engine.Exec(kInsertTestee, testeeParams(t), &id);
    return static_cast<int>(id);
}

void Repository::updateTestee(const Testee& t) {
    QVariantMap params = testeeParams(t);
    params.remove(QStringLiteral("DB_ID"));
    params.insert(QStringLiteral("Men_ID"), t.id);
    params.insert(kRowVersion, t.version);
    if (m_engine.Exec(kUpdateTestee, params) == 0)
        refused(testee(t.id).has_value(), QStringLiteral("Тестируемый не найден: он удалён, возможно, на "
                                                         "другом рабочем месте. Изменения не сохранены."));
}

void Repository::deleteTestee(int id) { m_engine.Exec(kDeleteTestee, {{QStringLiteral("Men_ID"), id}}); }

// ---- Test records.

QVector<TestRecord> Repository::testsOf(int testeeId) const {
    QVector<TestRecord> tests;
    m_engine.ReadEach(kTestsOf, {{QStringLiteral("Men_ID"), testeeId}},
                      [&tests](const TRowView& row) { tests.append(testOf(row)); });
    return tests;
}

std::optional<TestRecord> Repository::test(int id) const {
    std::optional<TestRecord> found;
    m_engine.ReadEach(kTest, {{QStringLiteral("Test_ID"), id}},
                      [&found](const TRowView& row) { found = testOf(row); });
    return found;
}

int Repository::insertTest(const TestRecord& record) {
    QVariantMap params = testParams(record);
    params.insert(QStringLiteral("DB_ID"), record.dbId);
    params.insert(QStringLiteral("Men_ID"), record.testeeId);
    qint64 id = 0;
    m_engine.Exec(kInsertTest, params, &id);
    return static_cast<int>(id);
}

void Repository::updateTest(const TestRecord& record) {
    QVariantMap params = testParams(record);
    params.insert(QStringLiteral("Test_ID"), record.id);
    params.insert(kRowVersion, record.version);
    if (m_engine.Exec(kUpdateTest, params) == 0)
        refused(test(record.id).has_value());
}

void Repository::deleteTest(int id) { m_engine.Exec(kDeleteTest, {{QStringLiteral("Test_ID"), id}}); }

const ReferenceTables& Repository::references() const {
    if (m_references)
        return *m_references;
    ReferenceTables refs;
    for (const TRow& r : m_engine.Rows(kSymbolRows))
        refs.symbols.append({r[0].toString(), r[1].toString(), r[2].toString(), r[3].toString()});
    refs.durMoll = balanceRows(m_engine, kDurMollRows);
    refs.soz = balanceRows(m_engine, kSozRows);
    m_references = std::move(refs);
    return *m_references;
}

} // namespace Data
