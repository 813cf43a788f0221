// Classification through the Symbols table and the writing of TEST records.
#include "scoring/Calc_Records.h"

#include "data/DataMod.h"
#include "platform/Locale.h"

#include <QHash>
#include <QPointer>

namespace Calc {

namespace {

// The Symbols rows held in memory. A record needs 16 lookups, and lists classify every record, so the
// rows are read once when the table is opened instead of being scanned per lookup. The cache follows
// the table: reopening, editing or appending rows (DataReset, RowChanged) drops it, and so does
// destroying the data module.
class TSymbolsCache {
public:
    struct TEntry {
        QString type;
        QString napr;
    };

    // The entry of the first row matching the pair, or null when no row matches.
    const TEntry* find(QChar posit, QChar negat) const {
        const auto it = m_entries.constFind(key(posit, negat));
        return it == m_entries.cend() ? nullptr : &*it;
    }

    // Opens the table if needed and makes sure the cache holds its current rows.
    void ensure(Data::TTable* table) {
        if (!table->Active())
            table->Open();
        if (m_table == table && m_valid)
            return;
        if (m_table != table) {
            QObject::disconnect(m_resetConnection);
            QObject::disconnect(m_rowConnection);
            m_table = table;
            m_resetConnection =
                QObject::connect(table, &Data::TDataset::DataReset, table, [this] { m_valid = false; });
            m_rowConnection =
                QObject::connect(table, &Data::TDataset::RowChanged, table, [this] { m_valid = false; });
        }
        load(*table);
    }

private:
    static quint32 key(QChar posit, QChar negat) {
        return (quint32(posit.unicode()) << 16) | negat.unicode();
    }

    void load(Data::TTable& table) {
        const auto column = [&table](const QString& name) {
            const int index = table.FieldIndex(name);
            if (index < 0)
                throw Data::EDatabaseError(QStringLiteral("Поле «%1» не найдено").arg(name));
            return index;
        };
        const int type = column(QStringLiteral("Type_Reaction"));
        const int posit = column(QStringLiteral("Posit_Select"));
        const int negat = column(QStringLiteral("Negat_Select"));
        const int napr = column(QStringLiteral("Napr"));
        m_entries.clear();
        for (int row = 0; row < table.RecordCount(); ++row) {
            const QVariant p = table.Value(row, posit);
            const QVariant n = table.Value(row, negat);
            if (p.isNull() || n.isNull())
                continue;
            const QString ps = p.toString();
            const QString ns = n.toString();
            // The key of a lookup is one character per field; other rows can never match.
            if (ps.size() != 1 || ns.size() != 1)
                continue;
            // The first row in table order wins.
            const quint32 k = key(ps[0], ns[0]);
            if (!m_entries.contains(k))
                m_entries.insert(
                    k, TEntry{table.Value(row, type).toString(), table.Value(row, napr).toString()});
        }
        m_valid = true;
    }

    QPointer<Data::TTable> m_table;
    QMetaObject::Connection m_resetConnection;
    QMetaObject::Connection m_rowConnection;
    bool m_valid = false;
    QHash<quint32, TEntry> m_entries;
};

TSymbolsCache& symbolsCache() {
    static TSymbolsCache cache;
    return cache;
}

TMain_DataModule& dataModule() {
    if (!Main_DataModule)
        throw Data::EDatabaseError(QStringLiteral("База данных не открыта"));
    return *Main_DataModule;
}

void classify(QStringView halfProfil, QString& types, QString& intensities) {
    TSymbolsCache& cache = symbolsCache();
    cache.ensure(dataModule().Symbols_Table);
    for (int i = 0; i < kFactorCount; ++i) {
        // A missing digit of a short profile is an empty key, which no row matches.
        if (kFactorCount + i >= halfProfil.size())
            continue;
        if (const auto* entry = cache.find(halfProfil[i], halfProfil[kFactorCount + i])) {
            types += entry->type;
            intensities += entry->napr;
        }
    }
}

void classifyHalves(TTestRecord& record) {
    classify(QStringView(record.Result_Profil).first(kHalfProfilLength), record.Calc_Profil,
             record.Calc_ProfilNapr);
    classify(QStringView(record.Result_Profil).sliced(kHalfProfilLength), record.Calc_Profil,
             record.Calc_ProfilNapr);
}

// Date and time as they go into a statement; an invalid value would store an empty or unreadable date.
QString dateText(const QDate& date) {
    if (!date.isValid())
        throw Data::EDatabaseError(QStringLiteral("Недопустимая дата теста"));
    return Platform::DateToIso(date);
}

QString timeText(const QTime& time) {
    if (!time.isValid())
        throw Data::EDatabaseError(QStringLiteral("Недопустимое время теста"));
    return Platform::TimeToIso(time);
}

} // namespace

void ClassifyProfil(const QString& halfProfil, QString& types, QString& intensities) {
    classify(halfProfil, types, intensities);
}

TTestRecord ComposeRecord(const QString& resultTest) {
    TTestRecord record;
    record.Result_Profil = DeriveProfil(resultTest);
    record.Result_Test = resultTest;
    classifyHalves(record);
    return record;
}

TTestRecord ComposeProfileRecord(const QString& resultProfil) {
    if (resultProfil.size() != kResultProfilLength)
        throw EConvertError(QStringLiteral("Профиль должен содержать %1 цифры, а содержит %2.")
                                .arg(kResultProfilLength)
                                .arg(resultProfil.size()));
    TTestRecord record;
    record.Result_Profil = resultProfil;
    classifyHalves(record);
    return record;
}

namespace {

QVariantMap recordParams(const QDate& date, const QTime& time, const QString& note,
                         const TTestRecord& record) {
    return {{QStringLiteral("Date_Test"), dateText(date)},
            {QStringLiteral("Time_Test"), timeText(time)},
            {QStringLiteral("Note"), note},
            {QStringLiteral("Result_Test"), record.Result_Test},
            {QStringLiteral("Result_Profil"), record.Result_Profil},
            {QStringLiteral("Calc_Profil"), record.Calc_Profil},
            {QStringLiteral("Calc_ProfilNapr"), record.Calc_ProfilNapr}};
}

} // namespace

void InsertTestRecord(int dbId, int menId, const QDate& date, const QTime& time, const QString& note,
                      const TTestRecord& record) {
    TMain_DataModule& dm = dataModule();
    static const QString sql = BoundTestSQL(InsertTestSQL, InsertTestParams);
    QVariantMap params = recordParams(date, time, note, record);
    params.insert(QStringLiteral("DB_ID"), dbId);
    params.insert(QStringLiteral("Men_ID"), menId);
    dm.ExecSQL(sql, params);
}

void UpdateTestRecord(int testId, const QDate& date, const QTime& time, const QString& note,
                      const TTestRecord& record, qint64 version) {
    TMain_DataModule& dm = dataModule();
    static const QString sql = BoundTestSQL(UpdateTestSQL, UpdateTestParams);
    // The version check joins the statement's own condition; the schema counts the version up.
    static const QString checkedSql =
        sql + QStringLiteral(" and ") + Data::kRowVersion + QStringLiteral(" = :") + Data::kRowVersion;
    QVariantMap params = recordParams(date, time, note, record);
    params.insert(QStringLiteral("Test_ID"), testId);
    if (version >= 0)
        params.insert(Data::kRowVersion, version);
    if (dm.ExecSQL(version >= 0 ? checkedSql : sql, params) == 0)
        throw Data::ERecordChanged(dm.RowVersion(QStringLiteral("TEST"), QStringLiteral("Test_ID"), testId) <
                                           0
                                       ? Data::kRecordGone
                                       : Data::kRecordChanged);
}

} // namespace Calc
