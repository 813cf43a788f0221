// Time to load the results window for a testee with 500 tests, against reading the same 500 records from
// SQLite in the same run (thread CPU time), and how the load time grows from 50 to 500 tests. Reading and
// loading alternate for nine rounds at each size; the medians count, the ratio is the median of the rounds'.
// A load is an opening and a closing of the main window's results window, which is built at its first
// opening; that first opening is timed on its own too.
#include "results/Result_Frm.h"

#include "data/DataMod.h"
#include "data/Engine.h"
#include "platform/Heap.h"
#include "scoring/Calc_Records.h"
#include "tests/scoring/RandomRuns.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

constexpr int kRounds = 9;
constexpr int kSizes[] = {50, 100, 200, 500};
constexpr double kAim = 2;

// Milliseconds of this thread's CPU time: other processes on a loaded machine do not count.
double threadMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double timed(const std::function<void()>& work) {
    const double start = threadMs();
    work();
    return threadMs() - start;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Reads every field of the testee's records, as the window's query does, without the window.
void readRecords(int menId) {
    const auto rows = Main_DataModule->Main_Database().Rows(
        QStringLiteral("select Test_ID, Date_Test, Time_Test, Result_Test, Result_Profil, Calc_Profil, "
                       "Calc_ProfilNapr, Note from TEST where Men_ID = :men order by Test_ID desc"),
        {{QStringLiteral("men"), menId}});
    int fields = 0;
    for (const auto& row : rows)
        for (int i = 0; i < 8; ++i)
            fields += row[i].toString().size();
    if (fields == 0)
        qFatal("no records");
}

// What the callers and ShowResults do before the window shows: read the testee and his tests, compute
// the results, fill the window of `mainWindow`; then what closing the window does.
void loadWindow(QWidget& mainWindow, int menId) {
    const Data::Repository& repo = Main_DataModule->Repo();
    const Data::Testee testee = repo.testee(menId).value_or(Data::Testee{});
    TResult_Form& form = ResultsWindowOf(mainWindow);
    form.LoadResults(Results::ComputeResults(testee, repo.testsOf(menId), repo.references()));
    form.done(QDialog::Rejected);
}

// An opening that builds the window, and the window freed with its parent.
void firstLoad(int menId) {
    QWidget mainWindow;
    loadWindow(mainWindow, menId);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Platform::TuneHeap(); // as the program does at start
    QApplication app(argc, argv);
    // Dates in the tables as the program's users see them.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("DB"));
    auto dm = TMain_DataModule::Create(dir.path());
    if (!dm)
        qFatal("no data module");

    // Testee n has kSizes[n] tests; the records belong to a database and testees that exist.
    dm->Main_Database().Exec(QStringLiteral("insert into DB (DB_ID, DB_Name) values (1, 'Замер')"));
    for (int n = 0; n < int(std::size(kSizes)); ++n)
        dm->Main_Database().Exec(
            QStringLiteral("insert into USER (Men_ID, DB_ID, FIO, Sex, Age, Group_ID, IsDel) "
                           "values (:n, 1, 'Тестируемый ' || :n, 'М', 30, 0, '')"),
            {{QStringLiteral("n"), n + 1}});
    QRandomGenerator random(4321);
    for (int n = 0; n < int(std::size(kSizes)); ++n)
        for (int i = 0; i < kSizes[n]; ++i)
            TestSupport::insertTest(1, n + 1, QDate(2020, 1, 1).addDays(i), QTime(10, 0),
                                    QStringLiteral("замер"),
                                    TestSupport::compose(TestSupport::RandomRun(random)));

    std::printf("Results window, medians of %d alternating rounds\n", kRounds);
    double loads[std::size(kSizes)];
    double ratio = 0;
    QWidget mainWindow;
    loadWindow(mainWindow, 1); // fonts and styles are loaded once per process
    std::vector<double> firstLoads;
    for (int n = 0; n < int(std::size(kSizes)); ++n) {
        std::vector<double> reads, windowLoads, ratios;
        for (int round = 0; round < kRounds; ++round) {
            reads.push_back(timed([&] { readRecords(n + 1); }));
            windowLoads.push_back(timed([&] { loadWindow(mainWindow, n + 1); }));
            ratios.push_back(windowLoads.back() / reads.back());
            if (n + 1 == int(std::size(kSizes)))
                firstLoads.push_back(timed([&] { firstLoad(n + 1); }));
        }
        loads[n] = median(windowLoads);
        ratio = median(ratios);
        std::printf("  %3d tests: baseline read %7.2f ms, load %7.2f ms, load / read %5.1fx\n", kSizes[n],
                    median(reads), loads[n], ratio);
    }
    // Linear growth: every added test costs about the same, whatever the number before it.
    std::printf("  cost of one more test:");
    for (int n = 1; n < int(std::size(kSizes)); ++n)
        std::printf("  %d->%d: %.4f ms", kSizes[n - 1], kSizes[n],
                    (loads[n] - loads[n - 1]) / (kSizes[n] - kSizes[n - 1]));
    std::printf("\n  growth 50 -> 500 tests: %.1fx the time for 10x the tests\n",
                loads[std::size(kSizes) - 1] / loads[0]);
    std::printf("  first opening, the window built and freed: %.2f ms\n", median(firstLoads));
    std::printf("ratio results500 %.2f aim %g\n", ratio, kAim);
    return 0;
}
