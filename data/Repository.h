// Typed calls to the records of the store: testees, test records and the reference tables as values.
// Windows, scoring and reports ask here for what they show or write, instead of moving shared cursors.
#pragma once

#include "data/Records.h"

#include <QString>

#include <optional>

namespace Data {

class Repository {
public:
    // Works through the store connection `connectionName` (the data module's).
    explicit Repository(QString connectionName) : m_connection(std::move(connectionName)) {}

    // The live testee `id` with his group's name; empty when there is none (never made, or deleted).
    std::optional<Testee> testee(int id) const;

    // Every test record of testee `testeeId`, oldest first (ascending Test_ID).
    QVector<TestRecord> testsOf(int testeeId) const;

    // Stores a new test record (its id is ignored) and returns its Test_ID. An invalid date or time is
    // refused with EDatabaseError before anything is written.
    int insertTest(const TestRecord& record);

    // Rewrites test record `record.id` (its DB_ID and Men_ID stay as stored) over `record.version`; with a
    // negative version, whatever version is stored. Throws ERecordChanged when the record is gone or was
    // changed elsewhere meanwhile, so a lost edit is never reported as saved.
    void updateTest(const TestRecord& record);

    // The Symbols, DurMoll and Soz tables, read on first use and kept.
    const ReferenceTables& references() const;

private:
    QString m_connection;
    mutable std::optional<ReferenceTables> m_references;
};

} // namespace Data
