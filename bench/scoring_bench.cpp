// Time to compose (derive, classify) and write 10,000 test records, against the bare inserts of the same
// statements measured in the same run. Each phase writes into a fresh data directory; the best of three
// rounds counts.
#include "scoring/Calc_Records.h"

#include "data/DataMod.h"
#include "data/Statements.h"
#include "platform/Locale.h"
#include "tests/scoring/RandomRuns.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
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
    try {
        dm->Main_Database().Exec(QStringLiteral("insert into DB (DB_ID, DB_Name) values (1, 'Замер')"));
        dm->Main_Database().Exec(
            QStringLiteral("insert into USER (Men_ID, DB_ID, FIO, Sex, Age, Group_ID, IsDel) "
                           "values (1, 1, 'Тестируемый', 'М', 30, 0, '')"));
    } catch (const std::exception& e) {
        qFatal("no testee: %s", e.what());
    }
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

    // The values of the bare inserts, composed beforehand.
    QVector<QVariantMap> values;
    timed([&] {
        for (const QString& run : runs) {
            const Calc::TTestRecord r = TestSupport::compose(run);
            values.append({{QStringLiteral("DB_ID"), 1},
                           {QStringLiteral("Men_ID"), 1},
                           {QStringLiteral("Date_Test"), Platform::DateToIso(date)},
                           {QStringLiteral("Time_Test"), Platform::TimeToIso(time)},
                           {QStringLiteral("Note"), note},
                           {QStringLiteral("Result_Test"), r.Result_Test},
                           {QStringLiteral("Result_Profil"), r.Result_Profil},
                           {QStringLiteral("Calc_Profil"), r.Calc_Profil},
                           {QStringLiteral("Calc_ProfilNapr"), r.Calc_ProfilNapr}});
        }
    });

    double bare = std::numeric_limits<double>::max();
    double full = std::numeric_limits<double>::max();
    double classifyOnly = std::numeric_limits<double>::max();
    for (int round = 0; round < kRounds; ++round) {
        bare = std::min(bare, timed([&] {
                            for (const QVariantMap& v : values)
                                Main_DataModule->Main_Database().Exec(Data::kInsertTest, v);
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
