// Typed calls to the records of the store: databases, groups, testees, test records and the reference
// tables as values. Windows, scoring and reports ask here for what they show or write, instead of moving
// shared cursors. Updates save only over the version a record was read with: one changed or deleted
// elsewhere meanwhile throws ERecordChanged, so a lost edit is never reported as saved.
#pragma once

#include "data/Records.h"

#include <QString>

#include <optional>

namespace Data {

class TEngine;

class Repository {
public:
    // Works through the store's engine (the data module's).
    explicit Repository(TEngine& engine) : m_engine(engine) {}

    // ---- Databases.
    std::optional<Database> database(int id) const;
    // A new database (the password in its stored form); returns its DB_ID.
    int insertDatabase(const QString& name, const QByteArray& password);
    // Rewrites name and password of `db.id` over `db.version`.
    void updateDatabase(const Database& db);
    // Removes a database with its testees and their test records, all or nothing.
    void deleteDatabase(int id);

    // ---- Groups.
    // Every group, in the order of its key.
    QVector<Group> groups() const;
    int insertGroup(const QString& name);
    // Renames `group.id` over `group.version`.
    void renameGroup(const Group& group);
    // Its testees stay, listed without a group; its key is never handed out again.
    void deleteGroup(int id);
    // The live testees of every database that belong to the group.
    int groupMemberCount(int id) const;

    // ---- Testees.
    // The live testee `id` with his group's name; empty when there is none (never made, or deleted).
    std::optional<Testee> testee(int id) const;
    // The name (FIO) of testee `id`, deleted ones too; empty when there is none.
    QString testeeName(int id) const;
    // A new live testee of database `t.dbId`; returns his Men_ID.
    int insertTestee(const Testee& t);
    // Rewrites name, sex, age and group of the live testee `t.id` over `t.version`.
    void updateTestee(const Testee& t);
    // Marks the testee deleted; his test records stay.
    void deleteTestee(int id);

    // ---- Test records.
    // Every test record of testee `testeeId`, oldest first (ascending Test_ID).
    QVector<TestRecord> testsOf(int testeeId) const;
    std::optional<TestRecord> test(int id) const;
    // Stores a new test record (its id is ignored) and returns its Test_ID. An invalid date or time is
    // refused with EDatabaseError before anything is written.
    int insertTest(const TestRecord& record);
    // Rewrites test record `record.id` (its DB_ID and Men_ID stay as stored) over `record.version`; with a
    // negative version, whatever version is stored.
    void updateTest(const TestRecord& record);
    void deleteTest(int id);

    // The Symbols, DurMoll and Soz tables, read on first use and kept.
    const ReferenceTables& references() const;

private:
    TEngine& m_engine;
    mutable std::optional<ReferenceTables> m_references;
};

} // namespace Data
