// Typed calls over the data module's store connection.
#include "data/Repository.h"

#include "data/Dataset.h"
#include "data/Engine.h"
#include "platform/Locale.h"

#include <QSqlDatabase>

namespace Data {

namespace {

QDate dateOf(const QVariant& v) {
    return v.metaType().id() == QMetaType::QDate ? v.toDate() : Platform::IsoToDate(v.toString());
}

QTime timeOf(const QVariant& v) {
    return v.metaType().id() == QMetaType::QTime ? v.toTime() : Platform::IsoToTime(v.toString());
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

QVector<BalanceRow> balanceRows(const QString& connection, const QString& table) {
    TQuery q(connection, nullptr);
    q.SetSQL(QStringLiteral("select Vector, Reaction, %1 from %1 order by ID_Rec").arg(table));
    q.Open();
    QVector<BalanceRow> rows;
    rows.reserve(q.RecordCount());
    for (int r = 0; r < q.RecordCount(); ++r)
        rows.append({q.Value(r, 0).toInt(), q.Value(r, 1).toString(), q.Value(r, 2).toInt()});
    return rows;
}

} // namespace

std::optional<Testee> Repository::testee(int id) const {
    TQuery q(m_connection, nullptr);
    q.SetSQL(QStringLiteral("select USER.Men_ID, USER.DB_ID, USER.FIO, USER.Sex, USER.Age, USER.Group_ID, "
                            "\"GROUP\".Group_Name, USER.Row_Version\n"
                            "from USER\n"
                            "left join \"GROUP\"\n"
                            "on USER.Group_ID = \"GROUP\".Group_ID\n"
                            "where USER.Men_ID = :Men_ID and USER.IsDel <> 'D'"));
    q.SetParam(QStringLiteral("Men_ID"), id);
    q.Open();
    if (q.IsEmpty())
        return std::nullopt;
    return Testee{q.Value(0, 0).toInt(),    q.Value(0, 1).toInt(),     q.Value(0, 2).toString(),
                  q.Value(0, 3).toString(), q.Value(0, 4).toInt(),     q.Value(0, 5).toInt(),
                  q.Value(0, 6).toString(), q.Value(0, 7).toLongLong()};
}

QVector<TestRecord> Repository::testsOf(int testeeId) const {
    TQuery q(m_connection, nullptr);
    q.SetSQL(QStringLiteral("select Test_ID, DB_ID, Men_ID, Date_Test, Time_Test, Note, Result_Test, "
                            "Result_Profil, Calc_Profil, Calc_ProfilNapr, Row_Version\n"
                            "from TEST\n"
                            "where Men_ID = :Men_ID\n"
                            "order by Test_ID"));
    q.SetParam(QStringLiteral("Men_ID"), testeeId);
    q.Open();
    QVector<TestRecord> tests;
    tests.reserve(q.RecordCount());
    for (int r = 0; r < q.RecordCount(); ++r)
        tests.append({q.Value(r, 0).toInt(), q.Value(r, 1).toInt(), q.Value(r, 2).toInt(),
                      dateOf(q.Value(r, 3)), timeOf(q.Value(r, 4)), q.Value(r, 5).toString(),
                      q.Value(r, 6).toString(), q.Value(r, 7).toString(), q.Value(r, 8).toString(),
                      q.Value(r, 9).toString(), q.Value(r, 10).toLongLong()});
    return tests;
}

int Repository::insertTest(const TestRecord& record) {
    QVariantMap params = testParams(record);
    params.insert(QStringLiteral("DB_ID"), record.dbId);
    params.insert(QStringLiteral("Men_ID"), record.testeeId);
    qint64 id = 0;
    ExecBound(QSqlDatabase::database(m_connection, false),
              QStringLiteral("insert into TEST (DB_ID, Men_ID, Date_Test, Time_Test, Note, Result_Test, "
                             "Result_Profil, Calc_Profil, Calc_ProfilNapr) values (:DB_ID, :Men_ID, "
                             ":Date_Test, :Time_Test, :Note, :Result_Test, :Result_Profil, :Calc_Profil, "
                             ":Calc_ProfilNapr)"),
              params, &id);
    return static_cast<int>(id);
}

void Repository::updateTest(const TestRecord& record) {
    QVariantMap params = testParams(record);
    params.insert(QStringLiteral("Test_ID"), record.id);
    params.insert(QStringLiteral("Row_Version"), record.version);
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    const int changed = ExecBound(
        db,
        QStringLiteral("update TEST set Date_Test = :Date_Test, Time_Test = :Time_Test, Note = :Note, "
                       "Result_Test = :Result_Test, Result_Profil = :Result_Profil, Calc_Profil = "
                       ":Calc_Profil, Calc_ProfilNapr = :Calc_ProfilNapr where Test_ID = :Test_ID "
                       "and (:Row_Version < 0 or Row_Version = :Row_Version)"),
        params);
    if (changed > 0)
        return;
    TQuery q(m_connection, nullptr);
    q.SetSQL(QStringLiteral("select 1 from TEST where Test_ID = :Test_ID"));
    q.SetParam(QStringLiteral("Test_ID"), record.id);
    q.Open();
    throw ERecordChanged(q.IsEmpty() ? kRecordGone : kRecordChanged);
}

const ReferenceTables& Repository::references() const {
    if (m_references)
        return *m_references;
    ReferenceTables refs;
    TQuery q(m_connection, nullptr);
    q.SetSQL(QStringLiteral(
        "select Type_Reaction, Posit_Select, Negat_Select, Napr from Symbols order by ID_Rec"));
    q.Open();
    refs.symbols.reserve(q.RecordCount());
    for (int r = 0; r < q.RecordCount(); ++r)
        refs.symbols.append({q.Value(r, 0).toString(), q.Value(r, 1).toString(), q.Value(r, 2).toString(),
                             q.Value(r, 3).toString()});
    refs.durMoll = balanceRows(m_connection, QStringLiteral("DurMoll"));
    refs.soz = balanceRows(m_connection, QStringLiteral("Soz"));
    m_references = std::move(refs);
    return *m_references;
}

} // namespace Data
