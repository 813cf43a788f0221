// The records of the program's tables as values: what windows, scoring and reports hand each other
// instead of cursor positions of shared queries.
#pragma once

#include <QDate>
#include <QString>
#include <QTime>
#include <QVector>

namespace Data {

// One USER record, with the name of its group.
struct Testee {
    int id = 0; // Men_ID
    int dbId = 0;
    QString fio;
    QString sex; // "М", "Ж" or empty
    int age = 0;
    int groupId = 0;
    QString groupName; // empty when the testee has no group, or his group is gone
    qint64 version = 0;
};

// One TEST record.
struct TestRecord {
    int id = 0; // Test_ID; 0 for a record not stored yet
    int dbId = 0;
    int testeeId = 0; // Men_ID
    QDate date;
    QTime time;
    QString note;
    QString resultTest;     // 48 portrait digits; empty for a record entered as a profile
    QString resultProfil;   // 32 count digits
    QString calcProfil;     // 16 reaction types
    QString calcProfilNapr; // 16 intensity digits
    qint64 version = 0;
};

// A record not stored yet, of testee `testeeId` in database `dbId`.
inline TestRecord NewTestRecord(int dbId, int testeeId, const QDate& date = {}, const QTime& time = {},
                                const QString& note = {}) {
    TestRecord r;
    r.dbId = dbId;
    r.testeeId = testeeId;
    r.date = date;
    r.time = time;
    r.note = note;
    return r;
}

// One DB record: a database in the user's sense.
struct Database {
    int id = 0;
    QString name;
    QByteArray password; // the stored form (a hash); empty for a database without a password
    qint64 version = 0;
};

// One GROUP record.
struct Group {
    int id = 0;
    QString name;
    qint64 version = 0;
};

// A row of the DurMoll or Soz reference table.
struct BalanceRow {
    int vector = 0;   // 0 to 3
    QString reaction; // two reaction-type characters
    int value = 0;    // 0 or not 0
};

// A row of the Symbols reference table.
struct SymbolRow {
    QString typeReaction;
    QString positSelect;
    QString negatSelect;
    QString napr;
};

// The three reference tables, read once: scoring and the results model compute from these values.
struct ReferenceTables {
    QVector<SymbolRow> symbols; // in table order
    QVector<BalanceRow> durMoll;
    QVector<BalanceRow> soz;
};

} // namespace Data
