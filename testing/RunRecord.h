// The one way a finished test run becomes a stored record: the 48 digits are scored into the record's
// strings and written as a new TEST record of the testee, whether the run was taken at the examiner's
// screen or elsewhere.
#pragma once

#include "data/Records.h"

#include <QDateTime>
#include <QString>

namespace Testing {

// The record of a run of testee `testeeId` in database `dbId` with the 48 portrait digits `resultTest`,
// finished at `finishedAt` (whole seconds), classified through the repository's Symbols rows; nothing is
// stored. Throws Calc::EConvertError for malformed digits.
Data::TestRecord ScoreRun(int dbId, int testeeId, const QString& resultTest, const QDateTime& finishedAt);

// Scores the run and stores it through the data module's repository; returns the new Test_ID. The same
// run saved again after a failure carries the same values, so the store can tell a repeat from a new run.
int SaveRun(int dbId, int testeeId, const QString& resultTest, const QDateTime& finishedAt);

} // namespace Testing
