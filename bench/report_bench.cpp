// Time to write the PDF report of a testee with 100 tests (laid out, painted and saved) against the
// spreadsheet export of the same window in the same run. The two run in turns, and the best of seven
// rounds counts for each; the PDF should take less than three times the export.
#include "results/ExportExcel.h"
#include "results/PrintReport.h"
#include "results/Result_Frm.h"

#include "bench/ReportSetup.h"
#include "data/DataMod.h"
#include "platform/Heap.h"
#include "platform/ProgramDir.h"
#include "platform/Shell.h"
#include "scoring/Calc_Records.h"
#include "tests/scoring/RandomRuns.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <limits>

namespace {

constexpr int kRounds = 7;
constexpr int kTests = 100;
constexpr double kAim = 3.0;

// Best times of the two jobs, run in turns so that a change in the machine's load hits both alike.
std::pair<double, double> bestOfTurns(const std::function<void()>& first,
                                      const std::function<void()>& second) {
    double a = std::numeric_limits<double>::max();
    double b = a;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        first();
        a = std::min(a, timer.nsecsElapsed() / 1e6);
        timer.restart();
        second();
        b = std::min(b, timer.nsecsElapsed() / 1e6);
    }
    return {a, b};
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Platform::TuneHeap(); // as the program does at start
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const auto dm =
        SetUpReportData(dir.path(), QStringLiteral(MORVEL_TEMPLATE), kTests, QStringLiteral("примечание"));
    const Data::Repository& repo = Main_DataModule->Repo();
    TResult_Form form;
    form.LoadResults(Results::ComputeResults(*repo.testee(1), repo.testsOf(1), repo.references()));

    const QString out = dir.path() + QStringLiteral("/out");
    const QString pdf = dir.path() + QStringLiteral("/report.pdf");
    int pages = 0;
    // One run of each first: the export builds the chart pages' widgets once, both load fonts.
    Results::ExportReport(form, out);
    Results::SaveResultsPdf(form.Model(), pdf);
    const auto [exportMs, pdfMs] = bestOfTurns([&] { Results::ExportReport(form, out); },
                                               [&] { pages = Results::SaveResultsPdf(form.Model(), pdf); });
    std::printf("Report of %d tests, best of %d rounds\n", kTests, kRounds);
    std::printf("  spreadsheet export %7.2f ms, PDF %7.2f ms (%d pages, %lld bytes)\n", exportMs, pdfMs,
                pages, static_cast<long long>(QFileInfo(pdf).size()));
    std::printf("ratio pdf_vs_export %.2f aim %.1f\n", pdfMs / exportMs, kAim);
    return 0;
}
