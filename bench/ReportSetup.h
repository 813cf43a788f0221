// The program directory of the report benchmarks: the report template, a data module, and one testee
// with `tests` random test records in a database that exists.
#pragma once

#include "data/DataMod.h"
#include "data/Engine.h"
#include "platform/ProgramDir.h"
#include "platform/Shell.h"
#include "scoring/Calc_Records.h"
#include "tests/scoring/RandomRuns.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTime>

#include <memory>

inline std::unique_ptr<TMain_DataModule> SetUpReportData(const QString& dir, const QString& templatePath,
                                                         int tests, const QString& note) {
    QDir(dir).mkpath(QStringLiteral("DB"));
    QDir(dir).mkpath(QStringLiteral("Templates"));
    if (!QFile::copy(templatePath, dir + QStringLiteral("/Templates/morvel.xlsx")))
        qFatal("no template beside the benchmark (build the report_template target)");
    auto dm = TMain_DataModule::Create(dir);
    if (!dm)
        qFatal("no data module");
    Platform::SetProgramDir(dir);
    Platform::setShellHandler([](const QString&) { return true; });
    // The records belong to a database and a testee that exist.
    dm->Main_Database().Exec(QStringLiteral("insert into DB (DB_ID, DB_Name) values (1, 'Замер')"));
    dm->Main_Database().Exec(
        QStringLiteral("insert into USER (Men_ID, DB_ID, FIO, Sex, Age, Group_ID, IsDel) "
                       "values (1, 1, 'Тестируемый', 'М', 30, 0, '')"));
    QRandomGenerator random(4321);
    for (int i = 0; i < tests; ++i)
        TestSupport::insertTest(1, 1, QDate(2020, 1, 1).addDays(i), QTime(10, 0), note,
                                TestSupport::compose(TestSupport::RandomRun(random)));
    return dm;
}
