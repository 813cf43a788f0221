// Time to export the report of a testee with MORVEL_BENCH_TESTS tests (100 or 500) in the program's own
// path (template read, every cell, the chart areas, the picture, the file saved on the worker thread
// while the event loop runs) against writing the same texts and picture at the same places with bare
// libxlsxwriter. Rounds alternate between the two; each round takes the best of three runs of each, and
// the median of the per-round ratios counts.
// With --memory the benchmark instead exports once and prints the peak resident memory the export
// added to the process (VmHWM after the export less VmHWM before it); --setup-only stops before the
// export, for /usr/bin/time -v comparisons.
#include "results/ExportExcel.h"
#include "results/Result_Calc.h"
#include "results/Result_Frm.h"

#include "bench/ReportSetup.h"
#include "data/DataMod.h"
#include "platform/Heap.h"
#include "platform/PngWriter.h"
#include "platform/ProgramDir.h"
#include "platform/Shell.h"
#include "scoring/Calc_Records.h"
#include "tests/scoring/RandomRuns.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <vector>

namespace {

constexpr int kRounds = 7;
constexpr int kRunsPerRound = 3;
constexpr int kTests = MORVEL_BENCH_TESTS;

double best(const std::function<void()>& work, int runs) {
    double ms = std::numeric_limits<double>::max();
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        work();
        ms = std::min(ms, timer.nsecsElapsed() / 1e6);
    }
    return ms;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Peak resident memory of this process in kilobytes.
long peakKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

struct Cell {
    int row, col;
    QByteArray text;
};

// The cells the export writes, taken from the same data (zero-based for libxlsxwriter).
std::vector<Cell> reportCells(const Results::TResultsModel& model) {
    std::vector<Cell> cells;
    auto put = [&](int row, int col, const QString& text) {
        cells.push_back({row - 1, col - 1, text.toUtf8()});
    };
    const int n = model.Tests;
    put(5, 2, model.Particulars[0]);
    for (int b = 0; b < 3; ++b) {
        const int s = Results::BlockStart(b, n);
        const QVector<QStringList> rows = Results::TableRows(model, Results::TProfile(b));
        for (int k = 0; k < n; ++k)
            for (int i = 0; i < 13; ++i)
                put(s + k, i < 2 ? i + 2 : (i >= 10 ? 2 * i - 6 : i + 4), rows[k].value(i));
        for (int r = 0; r < (b == 2 ? 6 : 8); ++r)
            for (int f = 1; f <= 9; ++f)
                put(s + n + r, f + 5, model.Tables[b].Footer.value(r).value(f));
    }
    int p = Results::ChartSectionRow(n);
    const QVector<Results::TChartPage> charts = Results::ChartPages(model);
    for (int j = 0; j < charts.size(); ++j, p += Results::kChartPageRows) {
        put(p, 2, charts[j].Caption);
        const QString& counts = charts[j].Counts;
        const auto ppp = Results::ChartBarTexts(QStringView(counts).mid(0, 8), QStringView(counts).mid(8, 8));
        const auto ekp =
            Results::ChartBarTexts(QStringView(counts).mid(16, 8), QStringView(counts).mid(24, 8));
        for (int r = 0; r < 12; ++r)
            for (int c = 0; c < 8; ++c) {
                put(p + 4 + r, 2 + c, ppp[r][c]);
                put(p + 4 + r, 11 + c, ekp[r][c]);
            }
    }
    return cells;
}

// The baseline runs in export_bench_bare (libxlsxwriter's zip library and QuaZip export the same
// symbols): the cells and the picture go to files once, the helper prints its best time of `runs`.
class TBare {
public:
    TBare(const std::vector<Cell>& cells, const QByteArray& png, const QString& dir) : m_dir(dir) {
        QFile list(dir + QStringLiteral("/cells.txt"));
        QFile picture(dir + QStringLiteral("/picture.png"));
        if (!list.open(QIODevice::WriteOnly) || !picture.open(QIODevice::WriteOnly))
            qFatal("cannot write the baseline's input");
        for (const Cell& c : cells)
            list.write(QByteArray::number(c.row) + '\t' + QByteArray::number(c.col) + '\t' + c.text + '\n');
        picture.write(png);
    }
    double run(int runs) const {
        QProcess helper;
        helper.start(QCoreApplication::applicationDirPath() + QStringLiteral("/export_bench_bare"),
                     {m_dir + QStringLiteral("/cells.txt"), m_dir + QStringLiteral("/picture.png"),
                      m_dir + QStringLiteral("/bare.xlsx"), QString::number(runs)});
        if (!helper.waitForFinished(120000) || helper.exitCode() != 0)
            qFatal("export_bench_bare failed");
        return helper.readAllStandardOutput().trimmed().toDouble();
    }

private:
    QString m_dir;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Platform::TuneHeap(); // as the program does at start
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString templatePath = QStringLiteral(MORVEL_TEMPLATE);
    QTemporaryDir dir;
    const auto dm = SetUpReportData(dir.path(), templatePath, kTests, QString());
    const Data::Repository& repo = Main_DataModule->Repo();
    TResult_Form form;
    form.LoadResults(Results::ComputeResults(*repo.testee(1), repo.testsOf(1), repo.references()));
    const QString out = dir.path() + QStringLiteral("/out");

    if (args.contains(QStringLiteral("--setup-only")))
        return 0;
    if (args.contains(QStringLiteral("--memory"))) {
        const long before = peakKb();
        Results::ExportReport(form, out);
        const long after = peakKb();
        std::printf("Report export, %d tests: peak resident %ld kB before, %ld kB after: %ld kB added\n",
                    kTests, before, after, after - before);
        return 0;
    }

    const std::vector<Cell> cells = reportCells(form.Model());
    const TBare bare(cells, Platform::EncodePng(form.Picture()), dir.path());
    std::vector<double> bareMs, exportMs, ratios;
    for (int round = 0; round < kRounds; ++round) {
        const double b = bare.run(kRunsPerRound);
        const double e = best([&] { Results::ExportReport(form, out); }, kRunsPerRound);
        bareMs.push_back(b);
        exportMs.push_back(e);
        ratios.push_back(e / b);
    }
    std::printf("Report export, %d tests (%zu cells), %d rounds of best of %d, medians\n", kTests,
                cells.size(), kRounds, kRunsPerRound);
    std::printf("  bare libxlsxwriter %7.2f ms, export %7.2f ms, export / bare %4.2fx (%lld reports)\n",
                median(bareMs), median(exportMs), median(ratios),
                static_cast<long long>(QDir(out).entryList(QDir::Files).size()));
    std::printf("ratio export%d %.2f aim 2\n", kTests, median(ratios));
    return 0;
}
