// Time to load the results window for a testee with 500 tests, against reading the same 500 records from
// SQLite in the same run, and how the load time grows from 50 to 500 tests. The best of seven rounds
// counts for each size.
#include "results/Result_Frm.h"

#include "data/DataMod.h"
#include "scoring/Calc_Records.h"
#include "tests/scoring/RandomRuns.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <limits>

namespace {

constexpr int kRounds = 7;
constexpr int kSizes[] = {50, 100, 200, 500};

double best(const std::function<void()>& work) {
    double ms = std::numeric_limits<double>::max();
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        work();
        ms = std::min(ms, timer.nsecsElapsed() / 1e6);
    }
    return ms;
}

// Reads every field of the testee's records, as the window's query does, without the window.
void readRecords(int menId) {
    QSqlQuery q(Main_DataModule->Connection());
    q.prepare(QStringLiteral("select Test_ID, Date_Test, Time_Test, Result_Test, Result_Profil, Calc_Profil, "
                             "Calc_ProfilNapr, Note from TEST where Men_ID = ? order by Test_ID desc"));
    q.addBindValue(menId);
    if (!q.exec())
        qFatal("select failed");
    int fields = 0;
    while (q.next())
        for (int i = 0; i < 8; ++i)
            fields += q.value(i).toString().size();
    if (fields == 0)
        qFatal("no records");
}

// What ShowResults does before it shows the window: open the list, build and fill the window.
void loadWindow(int menId) {
    Data::TQuery* list = Main_DataModule->ListTest_Query;
    list->Close();
    list->SetParam(QStringLiteral("Men_ID"), menId);
    list->Open();
    TResult_Form form;
    form.ShowTestee(menId);
    form.LoadResults();
    list->Close();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("DB"));
    auto dm = TMain_DataModule::Create(dir.path());
    if (!dm)
        qFatal("no data module");

    // Testee n has kSizes[n] tests.
    QRandomGenerator random(4321);
    for (int n = 0; n < int(std::size(kSizes)); ++n)
        for (int i = 0; i < kSizes[n]; ++i)
            Calc::InsertTestRecord(1, n + 1, QDate(2020, 1, 1).addDays(i), QTime(10, 0),
                                   QStringLiteral("замер"),
                                   Calc::ComposeRecord(TestSupport::RandomRun(random)));

    std::printf("Results window, best of %d rounds\n", kRounds);
    double loads[std::size(kSizes)];
    for (int n = 0; n < int(std::size(kSizes)); ++n) {
        const double read = best([&] { readRecords(n + 1); });
        loads[n] = best([&] { loadWindow(n + 1); });
        std::printf("  %3d tests: read %7.2f ms, load %7.2f ms, load / read %5.1fx\n", kSizes[n], read,
                    loads[n], loads[n] / read);
    }
    // Linear growth: every added test costs about the same, whatever the number before it.
    std::printf("  cost of one more test:");
    for (int n = 1; n < int(std::size(kSizes)); ++n)
        std::printf("  %d->%d: %.4f ms", kSizes[n - 1], kSizes[n],
                    (loads[n] - loads[n - 1]) / (kSizes[n] - kSizes[n - 1]));
    std::printf("\n  growth 50 -> 500 tests: %.1fx the time for 10x the tests\n",
                loads[std::size(kSizes) - 1] / loads[0]);
    return 0;
}
