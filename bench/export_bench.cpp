// Time to export the report of a testee with 100 tests (workbook from the template, every cell, the
// chart areas, the picture, the saved file) against writing the same texts and picture at the same
// places with bare libxlsxwriter, in the same run. The best of seven rounds counts for each.
#include "results/ExportExcel.h"
#include "results/Result_Calc.h"
#include "results/Result_Frm.h"

#include "data/DataMod.h"
#include "platform/ProgramDir.h"
#include "platform/Shell.h"
#include "scoring/Calc_Records.h"
#include "tests/scoring/RandomRuns.h"
#include "widgets/StringGrid.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <limits>

namespace {

constexpr int kRounds = 7;
constexpr int kTests = 100;

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

struct Cell {
    int row, col;
    QByteArray text;
};

// The cells the export writes, gathered from the window beforehand (zero-based for libxlsxwriter).
std::vector<Cell> reportCells(TResult_Form& form) {
    std::vector<Cell> cells;
    auto put = [&](int row, int col, const QString& text) {
        cells.push_back({row - 1, col - 1, text.toUtf8()});
    };
    const int n = form.PPP_Grid->RowCount() - Results::kHeaderRows;
    const Widgets::TStringGrid* tables[] = {form.PPP_Grid, form.EKP_Grid, form.TKP_Grid};
    const Widgets::TStringGrid* footers[] = {form.PPP_FooterGrid, form.EKP_FooterGrid, form.TKP_FooterGrid};
    put(5, 2, form.FIO_Edit->text());
    for (int b = 0; b < 3; ++b) {
        const int s = Results::BlockStart(b, n);
        for (int k = 0; k < n; ++k)
            for (int i = 0; i < 13; ++i)
                put(s + k, i < 2 ? i + 2 : (i >= 10 ? 2 * i - 6 : i + 4), tables[b]->Cell(i, k + 2));
        for (int r = 0; r < (b == 2 ? 6 : 8); ++r)
            for (int f = 1; f <= 9; ++f)
                put(s + n + r, f + 5, footers[b]->Cell(f, r));
    }
    int p = Results::ChartSectionRow(n);
    for (int j = 0; j < form.Profil_PageControl->count(); ++j, p += Results::kChartPageRows) {
        put(p, 2, form.Profil_PageControl->tabText(j));
        for (int r = 0; r < 12; ++r)
            for (int c = 0; c < 8; ++c) {
                put(p + 4 + r, 2 + c, form.PPPChart(j)->Cell(c, r + 2));
                put(p + 4 + r, 11 + c, form.EKPChart(j)->Cell(c, r + 2));
            }
    }
    return cells;
}

// The baseline runs in export_bench_bare (libxlsxwriter and QuaZip cannot share a process): the cells and
// the picture go to files, the helper prints its best time.
double bareWrite(const std::vector<Cell>& cells, const QByteArray& png, const QString& dir) {
    QFile list(dir + QStringLiteral("/cells.txt"));
    QFile picture(dir + QStringLiteral("/picture.png"));
    if (!list.open(QIODevice::WriteOnly) || !picture.open(QIODevice::WriteOnly))
        qFatal("cannot write the baseline's input");
    for (const Cell& c : cells)
        list.write(QByteArray::number(c.row) + '\t' + QByteArray::number(c.col) + '\t' + c.text + '\n');
    list.close();
    picture.write(png);
    picture.close();
    QProcess helper;
    helper.start(
        QCoreApplication::applicationDirPath() + QStringLiteral("/export_bench_bare"),
        {list.fileName(), picture.fileName(), dir + QStringLiteral("/bare.xlsx"), QString::number(kRounds)});
    if (!helper.waitForFinished(120000) || helper.exitCode() != 0)
        qFatal("export_bench_bare failed");
    return helper.readAllStandardOutput().trimmed().toDouble();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString templatePath = QStringLiteral(MORVEL_TEMPLATE);
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("DB"));
    QDir(dir.path()).mkpath(QStringLiteral("Templates"));
    if (!QFile::copy(templatePath, dir.path() + QStringLiteral("/Templates/morvel.xlsx")))
        qFatal("no template beside the benchmark (build the report_template target)");
    auto dm = TMain_DataModule::Create(dir.path());
    if (!dm)
        qFatal("no data module");
    Platform::SetProgramDir(dir.path());
    Platform::setShellHandler([](const QString&) { return true; });
    // The records belong to a database and a testee that exist.
    QSqlQuery rows(dm->Connection());
    if (!rows.exec(QStringLiteral("insert into DB (DB_ID, DB_Name) values (1, 'Замер')")) ||
        !rows.exec(QStringLiteral("insert into USER (Men_ID, DB_ID, FIO, Sex, Age, Group_ID, IsDel) "
                                  "values (1, 1, 'Тестируемый', 'М', 30, 0, '')")))
        qFatal("no testee");

    QRandomGenerator random(4321);
    for (int i = 0; i < kTests; ++i)
        Calc::InsertTestRecord(1, 1, QDate(2020, 1, 1).addDays(i), QTime(10, 0), QString(),
                               Calc::ComposeRecord(TestSupport::RandomRun(random)));
    Data::TQuery* list = Main_DataModule->ListTest_Query;
    list->SetParam(QStringLiteral("Men_ID"), 1);
    list->Open();
    TResult_Form form;
    form.FIO_Edit->setText(QStringLiteral("Тестов Тест Тестович"));
    form.LoadResults();
    for (int j = 0; j < form.Profil_PageControl->count(); ++j)
        form.PPPChart(j); // the chart pages built once, outside the timing

    const std::vector<Cell> cells = reportCells(form);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    form.Picture().save(&buffer, "PNG");

    const QString out = dir.path() + QStringLiteral("/out");
    int files = 0;
    const double bare = bareWrite(cells, png, dir.path());
    const double report = best([&] {
        Results::ExportReport(form, out);
        ++files;
    });
    std::printf("Report export, %d tests (%zu cells), best of %d rounds\n", kTests, cells.size(), kRounds);
    std::printf("  bare libxlsxwriter %7.2f ms, export %7.2f ms, export / bare %4.2fx (%d reports)\n", bare,
                report, report / bare, files);
    return 0;
}
