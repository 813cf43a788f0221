// Scoring and storing a finished run.
#include "testing/RunRecord.h"

#include "data/DataMod.h"
#include "scoring/Calc_Records.h"

namespace Testing {

Data::TestRecord ScoreRun(int dbId, int testeeId, const QString& resultTest, const QDateTime& finishedAt) {
    const Calc::TTestRecord scored = Calc::ComposeRecord(resultTest);
    Data::TestRecord record;
    record.dbId = dbId;
    record.testeeId = testeeId;
    record.date = finishedAt.date();
    const QTime t = finishedAt.time();
    record.time = QTime(t.hour(), t.minute(), t.second());
    record.resultTest = scored.Result_Test;
    record.resultProfil = scored.Result_Profil;
    record.calcProfil = scored.Calc_Profil;
    record.calcProfilNapr = scored.Calc_ProfilNapr;
    return record;
}

int SaveRun(int dbId, int testeeId, const QString& resultTest, const QDateTime& finishedAt) {
    if (!Main_DataModule)
        throw Data::EDatabaseError(QStringLiteral("База данных не открыта"));
    return Main_DataModule->Repo().insertTest(ScoreRun(dbId, testeeId, resultTest, finishedAt));
}

} // namespace Testing
