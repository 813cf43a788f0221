// Time to write the PDF report of a testee with 100 tests (laid out, painted and saved) against a bare
// QPdfWriter and QPainter drawing the same texts, lines and bars without layout logic (BarePdf.h), in the
// same run. The two run in turns; the median of the rounds' ratios counts.
#include "results/PrintReport.h"
#include "results/Result_Frm.h"

#include "bench/BarePdf.h"
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

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kRounds = 9;
constexpr int kTests = 100;
constexpr double kAim = 1.5;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double timed(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
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

    const QString pdf = dir.path() + QStringLiteral("/report.pdf");
    const QString bare = dir.path() + QStringLiteral("/bare.pdf");
    const Results::TReportData data = Results::ReportDataOf(form.Model());
    int pages = 0;
    int barePages = 0;
    // One run of each first: both load fonts. With --once only the report is written, for a measure of
    // its memory (/usr/bin/time -v).
    Results::SaveResultsPdf(form.Model(), pdf);
    if (app.arguments().contains(QStringLiteral("--once")))
        return 0;
    BarePdf(data, bare);
    std::vector<double> reports, bares, ratios;
    for (int round = 0; round < kRounds; ++round) {
        bares.push_back(timed([&] { barePages = BarePdf(data, bare); }));
        reports.push_back(timed([&] { pages = Results::SaveResultsPdf(form.Model(), pdf); }));
        ratios.push_back(reports.back() / bares.back());
    }
    std::printf("PDF report of %d tests, medians of %d alternating rounds\n", kTests, kRounds);
    std::printf("  baseline: bare writer %7.2f ms (%d pages, %lld bytes)\n", median(bares), barePages,
                static_cast<long long>(QFileInfo(bare).size()));
    std::printf("  report:               %7.2f ms (%d pages, %lld bytes)   ratio %.2fx\n", median(reports),
                pages, static_cast<long long>(QFileInfo(pdf).size()), median(ratios));
    std::printf("ratio pdf100 %.2f aim %.1f\n", median(ratios), kAim);
    return 0;
}
