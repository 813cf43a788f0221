// Scoring and storing a finished run.
#include "testing/RunRecord.h"

#include "data/DataMod.h"
#include "scoring/Calc_Records.h"

namespace Testing {

Data::TestRecord ScoreRun(int dbId, int testeeId, const QString& resultTest, const QDateTime& finishedAt) {
    if (!Main_DataModule)
        throw Data::EDatabaseError(QStringLiteral("База данных не открыта"));
    const QTime t = finishedAt.time();
    return Calc::WithScores(
        Data::NewTestRecord(dbId, testeeId, finishedAt.date(), QTime(t.hour(), t.minute(), t.second())),
        Calc::ComposeRecord(resultTest, Main_DataModule->Repo().references().symbols));
}

int SaveRun(int dbId, int testeeId, const QString& resultTest, const QDateTime& finishedAt) {
    return Main_DataModule->Repo().insertTest(ScoreRun(dbId, testeeId, resultTest, finishedAt));
}

} // namespace Testing
