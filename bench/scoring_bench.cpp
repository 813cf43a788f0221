// Time to compose (derive, classify) and write 10,000 test records, against the bare inserts of the same
// statements measured in the same run. Each phase writes into a fresh data directory; the best of three
// rounds counts.
#include "scoring/Calc_Records.h"

#include "data/DataMod.h"
#include "platform/Locale.h"
#include "tests/scoring/RandomRuns.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <limits>

namespace {

constexpr int kRecords = 10000;
constexpr int kRounds = 3;

// Runs `work` on a data module of a new data directory and returns its time in milliseconds.
double timed(const std::function<void()>& work) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("DB"));
    auto dm = TMain_DataModule::Create(dir.path());
    if (!dm)
        qFatal("no data module");
    // The records belong to a database and a testee that exist.
    QSqlQuery q(dm->Main_Database());
    if (!q.exec(QStringLiteral("insert into DB (DB_ID, DB_Name) values (1, 'Замер')")) ||
        !q.exec(QStringLiteral("insert into USER (Men_ID, DB_ID, FIO, Sex, Age, Group_ID, IsDel) "
                               "values (1, 1, 'Тестируемый', 'М', 30, 0, '')")))
        qFatal("no testee");
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QRandomGenerator random(1234);
    QStringList runs;
    for (int i = 0; i < kRecords; ++i)
        runs << TestSupport::RandomRun(random);
    const QDate date(2026, 12, 1);
    const QTime time(10, 30, 0);
    const QString note = QStringLiteral("Замер скорости");

    // The statements of the bare inserts, composed beforehand.
    QStringList statements;
    timed([&] {
        for (const QString& run : runs)
            statements << Calc::FillInsertTestSQL(1, 1, Platform::DateToIso(date), Platform::TimeToIso(time),
                                                  note, TestSupport::compose(run));
    });

    double bare = std::numeric_limits<double>::max();
    double full = std::numeric_limits<double>::max();
    double classifyOnly = std::numeric_limits<double>::max();
    for (int round = 0; round < kRounds; ++round) {
        bare = std::min(bare, timed([&] {
                            for (const QString& sql : statements)
                                TestSupport::execBound(Main_DataModule->Main_Database(), sql);
                        }));
        full = std::min(full, timed([&] {
                            for (const QString& run : runs)
                                TestSupport::insertTest(1, 1, date, time, note, TestSupport::compose(run));
                        }));
        classifyOnly = std::min(classifyOnly, timed([&] {
                                    for (const QString& run : runs)
                                        TestSupport::compose(run);
                                }));
    }
    std::printf("%d records, best of %d rounds\n", kRecords, kRounds);
    std::printf("  bare inserts (statements ready):   %9.1f ms\n", bare);
    std::printf("  compose, classify and insert:      %9.1f ms\n", full);
    std::printf("  compose and classify alone:        %9.1f ms\n", classifyOnly);
    std::printf("  ratio full / bare:                 %9.2fx\n", full / bare);
    std::printf("ratio scoring_write %.2f aim 2\n", full / bare);
    return 0;
}
