// Everything the results of the demo database show, against files written by an earlier build: per
// testee the results window (title, particulars, the six grids, the chart pages, the formula picture's
// pixels), the PDF report (text and page images) and the spreadsheet report (every part of the package);
// and the statistics CSV of the whole database, byte for byte. With GOLDEN_WRITE=1 in the environment
// the files are written instead of compared.
#include "app/DemoData.h"
#include "app/StatExport.h"
#include "results/ExportExcel.h"
#include "results/PrintReport.h"
#include "results/ReportDocument.h"
#include "results/Result_Frm.h"

#include "TestSupport.h"
#include "data/Dataset.h"
#include "platform/Locale.h"
#include "widgets/StringGrid.h"

#include <QApplication>
#include <QBuffer>
#include <QCryptographicHash>
#include <QLineEdit>
#include <QPdfWriter>
#include <QProcess>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

// The demo tests are dated back from the day they are made; they are moved so that day is this one.
const QDate kToday(2026, 1, 1);

QString md5(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

QString pixelHash(QImage image) {
    image = image.convertToFormat(QImage::Format_RGB32);
    QByteArray bytes;
    for (int y = 0; y < image.height(); ++y)
        bytes.append(reinterpret_cast<const char*>(image.constScanLine(y)), image.width() * 4);
    return QStringLiteral("%1x%2 %3").arg(image.width()).arg(image.height()).arg(md5(bytes));
}

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), p.readAllStandardError().constData());
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Every cell of a grid row by row (cells joined by "|"), then its merged areas.
void dumpGrid(QStringList& out, const Widgets::TStringGrid& grid) {
    out << grid.objectName();
    QStringList merges;
    for (int r = 0; r < grid.RowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < grid.ColCount(); ++c) {
            cells << grid.Cell(c, r);
            const QRect area = grid.MergedArea(c, r);
            if (area.topLeft() == QPoint(c, r) && area.size() != QSize(1, 1))
                merges << QStringLiteral("%1,%2-%3,%4").arg(c).arg(r).arg(area.right()).arg(area.bottom());
        }
        out << cells.join(u'|');
    }
    out << QStringLiteral("merges ") + merges.join(u' ');
}

// A chart grid's bar rows: "+" for " ", "-" for "  ", "." for an empty cell.
QString bars(const Widgets::TStringGrid& grid) {
    QStringList rows;
    for (int r = 0; r < grid.RowCount(); ++r) {
        QString row;
        for (int c = 0; c < grid.ColCount(); ++c) {
            const QString cell = grid.Cell(c, r);
            row += cell == QStringLiteral(" ")    ? QStringLiteral("+")
                   : cell == QStringLiteral("  ") ? QStringLiteral("-")
                   : cell.isEmpty()               ? QStringLiteral(".")
                                                  : QLatin1Char('[') + cell + QLatin1Char(']');
        }
        rows << row;
    }
    return rows.join(u' ');
}

// The window as it shows; the table tabs are clicked open, which builds their grids.
QStringList dumpWindow(TResult_Form& form) {
    QStringList out;
    QTabBar* tabs = form.PageControl1->tabBar();
    for (int tab = 1; tab <= 3; ++tab)
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(tab).center());
    form.PageControl1->setCurrentIndex(0);
    out << form.windowTitle();
    for (const QLineEdit* edit : {form.FIO_Edit, form.Group_Edit, form.Sex_Edit, form.Age_Sex})
        out << edit->objectName() + QLatin1Char('=') + edit->text();
    for (const Widgets::TStringGrid* grid : {form.PPP_Grid, form.PPP_FooterGrid, form.EKP_Grid,
                                             form.EKP_FooterGrid, form.TKP_Grid, form.TKP_FooterGrid})
        dumpGrid(out, *grid);
    for (int j = 0; j < form.Profil_PageControl->count(); ++j)
        out << form.Profil_PageControl->tabText(j) + QStringLiteral(": ") + bars(*form.PPPChart(j)) +
                   QStringLiteral(" / ") + bars(*form.EKPChart(j));
    out << QStringLiteral("picture ") + pixelHash(form.Picture());
    return out;
}

// The PDF report as SaveResultsPdf writes it, printed on kToday: its text and the pixels of its pages.
QStringList dumpPdf(const Results::TReportData& data, const QString& dir) {
    const QString path = dir + QStringLiteral("/report.pdf");
    {
        QPdfWriter writer(path);
        writer.setResolution(1200);
        writer.setPageLayout(Results::ReportPageLayout());
        Results::TReportDocument(data).Print(writer);
    }
    QStringList out;
    out << QStringLiteral("pdf text ") +
               md5(run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")})
                       .toUtf8());
    const QString prefix = dir + QStringLiteral("/page");
    run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QStringLiteral("50"), QStringLiteral("-png"), path, prefix});
    for (const QString& page : QDir(dir).entryList({QStringLiteral("page*.png")}, QDir::Files, QDir::Name)) {
        out << page + QLatin1Char(' ') + pixelHash(QImage(dir + QLatin1Char('/') + page));
        QFile::remove(dir + QLatin1Char('/') + page);
    }
    return out;
}

// Every part of the spreadsheet report's package, read back with Python's zipfile.
QStringList dumpWorkbook(const Results::TExportData& data, const QString& dir) {
    const QString path = dir + QStringLiteral("/report.xlsx");
    Results::WriteReport(data, QStringLiteral(MORVEL_TEMPLATE), path);
    const QString parts =
        run(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral(
                 "import hashlib, sys, zipfile\n"
                 "z = zipfile.ZipFile(sys.argv[1])\n"
                 "for n in sorted(z.namelist()): print('xlsx', n, hashlib.md5(z.read(n)).hexdigest())"),
             path});
    return parts.trimmed().split(u'\n');
}

// Compares `bytes` with the golden file (the first differing line tells where), or writes the file.
void compareGolden(const QString& name, const QByteArray& bytes) {
    QFile file(QStringLiteral(MORVEL_GOLDEN_DIR "/") + name);
    if (qEnvironmentVariableIsSet("GOLDEN_WRITE")) {
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return;
    }
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QByteArray want = file.readAll();
    const QList<QByteArray> got = bytes.split('\n');
    const QList<QByteArray> wanted = want.split('\n');
    for (int i = 0; i < std::max(got.size(), wanted.size()); ++i)
        QCOMPARE(QString::fromUtf8(got.value(i)), QString::fromUtf8(wanted.value(i)));
    QCOMPARE(bytes, want);
}

} // namespace

class TestResultsGolden : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void demoTestee_data();
    void demoTestee();
    void statisticsCsv();

private:
    std::unique_ptr<TestSupport::ProgramDirFixture> m_dir;
    std::unique_ptr<TMain_DataModule> m_dm;
    // Its results window is kept between the rows: every testee after the first is shown in the window
    // that showed the one before, with all its tabs and chart pages built.
    std::unique_ptr<QWidget> m_main;
    int m_dbId = 0;
};

void TestResultsGolden::initTestCase() {
    TestSupport::pinRussianLocale();
    m_dir = std::make_unique<TestSupport::ProgramDirFixture>();
    m_dm = m_dir->createDataModule();
    QVERIFY(m_dm);
    Demo::CreateDemoDatabase(*m_dm);
    const QDate today = QDate::currentDate();
    const auto tests = TestSupport::selectRows(m_dm->Main_Database(),
                                               QStringLiteral("select Test_ID, Date_Test, DB_ID from TEST"));
    for (const auto& test : tests) {
        const QDate date = Platform::IsoToDate(test[1].toString());
        QVERIFY(TestSupport::execBound(
            m_dm->Main_Database(), QStringLiteral("update TEST set Date_Test = :date where Test_ID = :id"),
            {{QStringLiteral("date"), Platform::DateToIso(kToday.addDays(today.daysTo(date)))},
             {QStringLiteral("id"), test[0]}}));
        m_dbId = test[2].toInt();
    }
    m_dm->Current_DB_ID = m_dbId;
    m_main = std::make_unique<QWidget>();
}

void TestResultsGolden::cleanupTestCase() {
    m_main.reset();
    m_dm.reset();
    m_dir.reset();
}

void TestResultsGolden::demoTestee_data() {
    QTest::addColumn<int>("menId");
    const auto men = TestSupport::selectRows(
        m_dm->Main_Database(), QStringLiteral("select Men_ID from USER where DB_ID = :db order by Men_ID"),
        {{QStringLiteral("db"), m_dbId}});
    QVERIFY(!men.isEmpty());
    for (const auto& m : men)
        QTest::newRow(qPrintable(QStringLiteral("testee %1").arg(m[0].toInt()))) << m[0].toInt();
}

void TestResultsGolden::demoTestee() {
    QFETCH(int, menId);
    QTemporaryDir out;
    QStringList lines;
    bool shown = false;
    // Through the opening function, as the main window opens its window.
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<TResult_Form*>(QApplication::activeModalWidget());
        if (!form)
            return;
        shown = true;
        lines << dumpWindow(*form);
        Results::TReportData report = Results::ReportDataOf(form->Model());
        report.Printed = kToday;
        lines << dumpPdf(report, out.path());
        lines << dumpWorkbook(Results::ExportDataOf(form->Model()), out.path());
        form->ToolButton2->click();
    });
    ShowResults(*m_dm->Repo().testee(menId), m_dm->Repo().testsOf(menId), m_main.get());
    QVERIFY(shown);
    // Closed, the kept window holds nothing of the testee.
    TResult_Form& kept = ResultsWindowOf(*m_main);
    QVERIFY(kept.Model().Tests == 0 && kept.Picture().isNull() && kept.FIO_Edit->text().isEmpty());
    QVERIFY(!kept.PPP_Grid && kept.Profil_PageControl->count() == 0);
    QCOMPARE(kept.windowTitle(), QStringLiteral("Результаты тестирования"));
    compareGolden(QStringLiteral("testee%1.txt").arg(menId), (lines.join(u'\n') + u'\n').toUtf8());
}

void TestResultsGolden::statisticsCsv() {
    const auto query = Stat::OpenStatQuery(m_dbId);
    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    QVERIFY(Stat::WriteStatCsv(*query, Stat::SelectRows(*query, {}), csv, Stat::TCsvOptions{}));
    compareGolden(QStringLiteral("statistics.csv"), csv.data());
}

QTEST_MAIN(TestResultsGolden)
#include "tst_results_golden.moc"
