// Schema of the table file, the shipped reference rows, and the per-connection set-up.
#include "data/Schema.h"

#include "data/Collation.h"
#include "data/Dataset.h"

#include <QFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>

namespace Data {

namespace {

constexpr int kLockRetries = 15;
constexpr int kLockWaitMs = 100;

const char* const kSchema[] = {
    R"(create table DB (
        DB_ID integer primary key autoincrement,
        DB_Name varchar(100) collate RUSSIAN not null default '',
        Password blob not null default x''))",
    R"(create table USER (
        Men_ID integer primary key autoincrement,
        DB_ID integer not null,
        FIO varchar(200) collate RUSSIAN not null default '',
        Sex varchar(1) collate RUSSIAN not null default '',
        Age smallint,
        Group_ID integer not null default 0,
        IsDel varchar(1) not null default ''))",
    "create index USER_DB on USER (DB_ID)",
    R"(create table "GROUP" (
        Group_ID integer primary key autoincrement,
        Group_Name varchar(50) collate RUSSIAN not null default ''))",
    R"(create table TEST (
        Test_ID integer primary key autoincrement,
        DB_ID integer not null,
        Men_ID integer not null,
        Date_Test date,
        Time_Test time,
        Note varchar(250) collate RUSSIAN not null default '',
        Result_Test varchar(48) not null default '',
        Result_Profil varchar(32) not null default '',
        Calc_Profil varchar(16) not null default '',
        Calc_ProfilNapr varchar(50) not null default ''))",
    "create index TEST_Men on TEST (Men_ID)",
    "create index TEST_DB on TEST (DB_ID, Men_ID)",
    R"(create table Symbols (
        ID_Rec integer primary key autoincrement,
        Type_Reaction varchar(1) not null default '',
        Posit_Select varchar(1) not null default '',
        Negat_Select varchar(1) not null default '',
        Napr varchar(1) not null default ''))",
    R"(create table DurMoll (
        ID_Rec integer primary key autoincrement,
        Vector smallint not null,
        Reaction varchar(2) not null default '',
        DurMoll smallint not null default 0))",
    R"(create table Soz (
        ID_Rec integer primary key autoincrement,
        Vector smallint not null,
        Reaction varchar(2) not null default '',
        Soz smallint not null default 0))",
};

void exec(QSqlDatabase& db, const QString& sql) {
    QSqlQuery q(db);
    if (!q.exec(sql))
        throw EDatabaseError(QStringLiteral("Не удалось создать таблицы базы данных: ") +
                             q.lastError().databaseText());
}

// Loads one shipped CSV (header row, comma separated, no quoting) into a table.
void loadReference(QSqlDatabase& db, const QString& resource, const QString& table, bool textValues) {
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        throw EDatabaseError(QStringLiteral("Не найдены справочные данные ") + resource);
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.isEmpty())
        return;
    const QStringList header = lines.first().trimmed().split(QLatin1Char(','));
    QStringList marks;
    for (qsizetype i = 0; i < header.size(); ++i)
        marks << QStringLiteral("?");
    QSqlQuery q(db);
    q.prepare(QStringLiteral("insert into ") + table + QStringLiteral(" (") + header.join(u',') +
              QStringLiteral(") values (") + marks.join(u',') + QLatin1Char(')'));
    for (qsizetype l = 1; l < lines.size(); ++l) {
        const QStringList cells = lines[l].trimmed().split(QLatin1Char(','));
        if (cells.size() != header.size())
            continue;
        for (qsizetype c = 0; c < cells.size(); ++c) {
            const bool numeric = c == 0 || (!textValues && header[c] != QLatin1String("Reaction"));
            q.addBindValue(numeric ? QVariant(cells[c].toInt()) : QVariant(cells[c]));
        }
        if (!q.exec())
            throw EDatabaseError(QStringLiteral("Не удалось заполнить таблицу ") + table +
                                 QStringLiteral(": ") + q.lastError().databaseText());
    }
}

int russianCollation(void*, int lenA, const void* a, int lenB, const void* b) {
    return CompareRussianUtf8(static_cast<const char*>(a), lenA, static_cast<const char*>(b), lenB);
}

int busyHandler(void*, int retries) {
    if (retries >= kLockRetries)
        return 0;
    sqlite3_sleep(kLockWaitMs);
    return 1;
}

} // namespace

void PrepareConnection(QSqlDatabase& db) {
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        throw EDatabaseError(QStringLiteral("Нет доступа к ядру базы данных"));
    sqlite3* handle = *static_cast<sqlite3* const*>(v.data());
    sqlite3_busy_handler(handle, busyHandler, nullptr);
    sqlite3_create_collation_v2(handle, "RUSSIAN", SQLITE_UTF8, nullptr, russianCollation, nullptr);
    QSqlQuery q(db);
    q.exec(QStringLiteral("pragma journal_mode = wal"));
    q.exec(QStringLiteral("pragma synchronous = normal"));
}

void CreateSchema(QSqlDatabase& db) {
    if (!db.transaction())
        throw EDatabaseError(db.lastError().databaseText());
    try {
        for (const char* sql : kSchema)
            exec(db, QString::fromUtf8(sql));
        loadReference(db, QStringLiteral(":/reference/symbols.csv"), QStringLiteral("Symbols"), true);
        loadReference(db, QStringLiteral(":/reference/durmoll.csv"), QStringLiteral("DurMoll"), false);
        loadReference(db, QStringLiteral(":/reference/soz.csv"), QStringLiteral("Soz"), false);
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit())
        throw EDatabaseError(db.lastError().databaseText());
}

} // namespace Data
