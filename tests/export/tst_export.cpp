// The report export on temporary program directories with known test records: the written workbook is
// read back with the same package reader and checked against the results window's grids, with the
// system's Python for well-formedness, and against a report written by the earlier synchronous export.
#include "results/ExportExcel.h"
#include "results/ReportTemplate.h"
#include "results/Result_Calc.h"
#include "results/Result_Frm.h"
#include "results/WaitingFrm.h"

#include "ResultsSupport.h"
#include "TestSupport.h"
#include "platform/Dialogs.h"
#include "platform/Locale.h"
#include "platform/PngWriter.h"
#include "platform/Shell.h"
#include "platform/XlsxNumber.h"
#include "platform/XlsxWorkbook.h"
#include "scoring/Calc_Records.h"
#include "widgets/StringGrid.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <atomic>

using namespace Results;
using Platform::TXlsxWorkbook;
using Platform::TXlsxWorksheet;

namespace {

constexpr int kMenId = 7;
const QString kRun = QStringLiteral("135724681538264713457812264815372467381567285634");
const QString kTypes = QStringLiteral("0±+-");

// Test i gets a mix of every reaction type and intensity, so no two rows of a table look alike.
void addRecords(int count) {
    for (int i = 0; i < count; ++i) {
        QString types, marks;
        for (int k = 0; k < 16; ++k) {
            types += kTypes[(i + k) % 4];
            marks += QChar(u'0' + (i * k + k) % 4);
        }
        TestSupport::insertTest(1, kMenId, QDate(2025, 1, 1).addDays(i), QTime(10, 0), QString(),
                                Calc::TTestRecord{i % 2 ? kRun : QString(), QString(32, u'2'), types, marks});
    }
}

bool overlapping(const std::vector<QRect>& merges) {
    for (size_t i = 0; i < merges.size(); ++i)
        for (size_t j = i + 1; j < merges.size(); ++j)
            if (merges[i].intersects(merges[j]))
                return true;
    return false;
}

bool hasMerge(const TXlsxWorksheet& ws, const QString& ref) {
    int r1, c1, r2, c2;
    const QStringList p = ref.split(QLatin1Char(':'));
    Platform::ParseCellName(p[0], r1, c1);
    Platform::ParseCellName(p[1], r2, c2);
    const QRect want(QPoint(c1, r1), QPoint(c2, r2));
    return std::find(ws.Merges().begin(), ws.Merges().end(), want) != ws.Merges().end();
}

// Runs the independent reader (tests/export/xlsx_cells.py) with the system's Python; fails the test with
// the reason when it cannot run or refuses the file.
QJsonObject pythonCells(const QString& path, bool types = false) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 types ? QStringList{QStringLiteral(MORVEL_XLSX_READER), QStringLiteral("--types"), path}
                       : QStringList{QStringLiteral(MORVEL_XLSX_READER), path});
    if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit) {
        QTest::qFail(qPrintable(QStringLiteral("python3 did not run: ") + python.errorString()), __FILE__,
                     __LINE__);
        return {};
    }
    if (python.exitCode() != 0) {
        QTest::qFail(qPrintable(QStringLiteral("python3 refused the workbook: ") +
                                QString::fromUtf8(python.readAllStandardError())),
                     __FILE__, __LINE__);
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

// A copy of the template with `old` replaced by `replacement` in one part, written by Python's zipfile.
bool rewriteTemplate(const QString& dst, const QString& part, const QString& old,
                     const QString& replacement) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(MORVEL_XLSX_READER), QStringLiteral("--rewrite"),
                  QStringLiteral(MORVEL_TEMPLATE), dst, part, old, replacement});
    const bool ok = python.waitForFinished(60000) && python.exitCode() == 0;
    if (!ok)
        qWarning("%s", python.readAllStandardError().constData());
    return ok;
}

// The text a cell shows under the Russian locale the tests pin: a number through its format.
QString shown(const TXlsxWorksheet& ws, int row, int col) {
    double value = 0;
    if (!ws.Number(row, col, value))
        return ws.Text(row, col);
    const QString format = ws.NumberFormat(row, col);
    if (!format.endsWith(QLatin1Char('%')))
        return Platform::FloatToStr(value);
    const int point = int(format.indexOf(QLatin1Char('.')));
    return QLocale().toString(value * 100, 'f', point < 0 ? 0 : int(format.size()) - point - 2) +
           QLatin1Char('%');
}

using MergeSet = QSet<QPair<QPair<int, int>, QPair<int, int>>>;
MergeSet mergeSet(const TXlsxWorksheet& ws) {
    MergeSet out;
    for (const QRect& m : ws.Merges())
        out.insert({{m.top(), m.left()}, {m.bottom(), m.right()}});
    return out;
}

// Everything of two sheets that a reader sees: shown cell texts, bold, merges, row heights, formats' ranges.
void compareSheets(const TXlsxWorksheet& got, const TXlsxWorksheet& want) {
    QMap<QPair<int, int>, QString> a, b;
    got.ForEachCell([&](int r, int c, const QString&) { a.insert({r, c}, shown(got, r, c)); });
    want.ForEachCell([&](int r, int c, const QString&) { b.insert({r, c}, shown(want, r, c)); });
    QCOMPARE(a.size(), b.size());
    for (auto it = b.cbegin(); it != b.cend(); ++it) {
        const QString where = Platform::CellName(it.key().first, it.key().second);
        QVERIFY2(a.contains(it.key()), qPrintable(where));
        QVERIFY2(a.value(it.key()) == it.value(), qPrintable(where + QLatin1Char(' ') + a.value(it.key()) +
                                                             QStringLiteral(" / ") + it.value()));
        QVERIFY2(got.IsBold(it.key().first, it.key().second) == want.IsBold(it.key().first, it.key().second),
                 qPrintable(where));
    }
    QVERIFY(mergeSet(got) == mergeSet(want));
    QCOMPARE(got.LastRow(), want.LastRow());
    for (int r = 1; r <= want.LastRow(); ++r)
        QCOMPARE(got.RowHeight(r), want.RowHeight(r));
    QCOMPARE(got.Dimension(), want.Dimension());
    QCOMPARE(got.ConditionalRanges(), want.ConditionalRanges());
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void positions_data();
    void positions();
    void missingTemplateShowsOnlyTheMessage();
    void neverOverwritesAndTellsWhereWhenNothingOpens();
    void brokenTemplateHidesWaitingAndLeavesNoFile();
    void rowOperationsMoveMergesAndHeights();
    void reportNames_data();
    void reportNames();
    void oddCharactersKeepTheWorkbookWellFormed_data();
    void oddCharactersKeepTheWorkbookWellFormed();
    void longNameExportsUnderShortenedName();
    void equalsTheReportOfTheSynchronousExport();
    void waitingWindowAnimatesAndWindowStaysWhileExporting();
    void bulkRowInsertEqualsSingleInserts_data();
    void bulkRowInsertEqualsSingleInserts();
    void damagedTemplatesGiveErrors_data();
    void damagedTemplatesGiveErrors();
    void longCellTextIsCutBetweenCharacters();
    void cellAddressesStayInsideTheGrid_data();
    void cellAddressesStayInsideTheGrid();
    void templateOperationsCheckTheirArguments_data();
    void templateOperationsCheckTheirArguments();
    void pictureReadsBackPixelForPixel_data();
    void pictureReadsBackPixelForPixel();
    void typedTexts_data();
    void typedTexts();
    void numbersAreStoredAsNumbers_data();
    void numbersAreStoredAsNumbers();

private:
    void installTemplate();
    std::unique_ptr<TestSupport::ProgramDirFixture> m_dir;
    std::unique_ptr<TMain_DataModule> m_dm;
    std::unique_ptr<QTemporaryDir> m_docs;
    QStringList m_opened;
    Platform::ShellHandler m_previousShell;
};

void TestExport::init() {
    TestSupport::pinRussianLocale();
    m_dir = std::make_unique<TestSupport::ProgramDirFixture>();
    m_dm = m_dir->createDataModule();
    QVERIFY(m_dm);
    TestSupport::ensureTestee(m_dm->Main_Database(), 1, kMenId);
    installTemplate();
    m_docs = std::make_unique<QTemporaryDir>();
    m_opened.clear();
    m_previousShell = Platform::setShellHandler([this](const QString& path) {
        m_opened << path;
        return true;
    });
}

void TestExport::cleanup() {
    Platform::setShellHandler(m_previousShell);
    m_dm.reset();
    m_dir.reset();
    m_docs.reset();
}

void TestExport::installTemplate() {
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("Templates")));
    QVERIFY(QFile::copy(QStringLiteral(MORVEL_TEMPLATE), ReportTemplatePath()));
}

void TestExport::positions_data() {
    QTest::addColumn<int>("tests");
    QTest::addColumn<QList<int>>("blocks");
    QTest::addColumn<QList<int>>("pages");
    QTest::newRow("one test") << 1 << QList<int>{31, 44, 57} << QList<int>{68};
    QTest::newRow("three tests") << 3 << QList<int>{31, 46, 61} << QList<int>{74, 91, 108};
    QTest::newRow("nine tests") << 9 << QList<int>{31, 52, 73}
                                << QList<int>{92, 109, 126, 143, 160, 177, 194, 211, 228};
}

void TestExport::positions() {
    QFETCH(int, tests);
    QFETCH(QList<int>, blocks);
    QFETCH(QList<int>, pages);
    addRecords(tests);
    TResult_Form form;
    form.LoadResults(
        TestSupport::resultsOf(kMenId, {QStringLiteral("Иванов Иван Иванович"), QStringLiteral("Группа 1"),
                                        QString(), QStringLiteral("33")}));
    form.BuildTableTabs();

    Platform::MessageRecorder recorder;
    const QString path = ExportReport(form, m_docs->path() + QStringLiteral("/Отчёты Morvel"));
    QVERIFY(recorder.messages.isEmpty());
    QCOMPARE(m_opened, QStringList{path});
    QVERIFY(path.endsWith(Platform::DateToStr(QDate::currentDate()) + QStringLiteral(".xlsx")));
    QVERIFY(!WaitingForm());

    TXlsxWorkbook book(path);
    TXlsxWorksheet& ws = book.Worksheet(1);
    QCOMPARE(ws.Name(), QStringLiteral("Test"));
    QCOMPARE(ws.Text(5, 2), QStringLiteral("Иванов Иван Иванович"));
    QCOMPARE(ws.Text(6, 2), QStringLiteral("Группа 1"));
    QCOMPARE(ws.Text(8, 2), QStringLiteral("33"));
    QVERIFY(ws.HasPicture());

    const Widgets::TStringGrid* tables[] = {form.PPP_Grid, form.EKP_Grid, form.TKP_Grid};
    const Widgets::TStringGrid* footers[] = {form.PPP_FooterGrid, form.EKP_FooterGrid, form.TKP_FooterGrid};
    for (int b = 0; b < 3; ++b) {
        const int s = blocks[b];
        QCOMPARE(BlockStart(b, tests), s);
        QCOMPARE(ws.Text(s - 1, 6), QStringLiteral("h")); // header row just above the data
        for (int k = 0; k < tests; ++k) {
            const int row = k + kHeaderRows;
            QCOMPARE(ws.Text(s + k, 2), QString::number(k + 1));
            QCOMPARE(ws.Text(s + k, 3), tables[b]->Cell(1, row));
            QCOMPARE(ws.Text(s + k, 6), tables[b]->Cell(2, row));
            QCOMPARE(ws.Text(s + k, 13), tables[b]->Cell(9, row));
            QCOMPARE(ws.Text(s + k, 14), tables[b]->Cell(kSumZeroCol, row));
            QCOMPARE(ws.Text(s + k, 16), tables[b]->Cell(kSumAmbCol, row));
            QCOMPARE(ws.Text(s + k, 18), tables[b]->Cell(kSntCol, row));
            QVERIFY(hasMerge(ws, QStringLiteral("C%1:E%1").arg(s + k)));
        }
        const int base = s + tests;
        QCOMPARE(ws.Text(base, 2), QStringLiteral("Sum 0"));
        QCOMPARE(ws.Text(base + 3, 2), QStringLiteral("РВН"));
        QVERIFY(hasMerge(ws, QStringLiteral("B%1:E%1").arg(base)));
        QCOMPARE(ws.Text(base, 6), footers[b]->Cell(1, 0));
        QCOMPARE(ws.Text(base + 2, 13), footers[b]->Cell(8, 2));
        QCOMPARE(ws.Text(base, 20), footers[b]->Cell(kFooterQuotientCol, 0));
        QVERIFY(ws.Text(base, 20).startsWith(QStringLiteral("TspQu=")));
        QCOMPARE(ws.Text(base + 2, 20), footers[b]->Cell(kFooterQuotientCol, 2));
        QVERIFY(ws.Text(base + 3, 14).startsWith(QStringLiteral("Sum! = ")));
        // The balance rows: written even when empty (fewer than 8 tests), equal to the footer otherwise.
        const int balanceRows = b == 2 ? 2 : 4;
        for (int r = 4; r < 4 + balanceRows; ++r) {
            QVERIFY(ws.HasCell(base + r, 6));
            QCOMPARE(ws.Text(base + r, 6), footers[b]->Cell(1, r));
            QCOMPARE(ws.Text(base + r, 14), footers[b]->Cell(9, r));
            QCOMPARE(ws.Text(base + r, 6).isEmpty(), tests < 8);
        }
        QCOMPARE(shown(ws, base + 4, 7), footers[b]->Cell(2, 4));
        QCOMPARE(shown(ws, base + 4, 20), footers[b]->Cell(12, 4));
    }

    QCOMPARE(ChartSectionRow(tests), pages[0]);
    QCOMPARE(form.Profil_PageControl->count(), pages.size());
    for (int j = 0; j < pages.size(); ++j) {
        const int p = pages[j];
        QCOMPARE(ws.Text(p, 2), form.Profil_PageControl->tabText(j));
        QVERIFY(ws.IsBold(p, 2));
        QCOMPARE(ws.Text(p + 1, 2), QStringLiteral("ППП"));
        QCOMPARE(ws.Text(p + 1, 11), QStringLiteral("ЭКП"));
        for (int r = 0; r < 12; ++r)
            for (int c = 0; c < 8; ++c) {
                QCOMPARE(ws.Text(p + 4 + r, 2 + c), form.PPPChart(j)->Cell(c, r + kHeaderRows));
                QCOMPARE(ws.Text(p + 4 + r, 11 + c), form.EKPChart(j)->Cell(c, r + kHeaderRows));
            }
    }
    QCOMPARE(ws.LastRow(), pages.last() + 15);
    QVERIFY(ws.Dimension().endsWith(QStringLiteral(":T%1").arg(pages.last() + 15)));
    QVERIFY(!overlapping(ws.Merges()));
    // The bar colours (one format with a rule per colour) cover both chart areas of every page.
    QCOMPARE(ws.ConditionalRanges().size(), 1);
    QCOMPARE(ws.ConditionalRanges()[0].split(QLatin1Char(' ')).size(), 2 * pages.size());
}

void TestExport::missingTemplateShowsOnlyTheMessage() {
    addRecords(1);
    TResult_Form form;
    form.LoadResults(TestSupport::resultsOf(kMenId));
    QVERIFY(QFile::remove(ReportTemplatePath()));
    Platform::MessageRecorder recorder;
    const QString folder = m_docs->path() + QStringLiteral("/Отчёты Morvel");
    QVERIFY(ExportReport(form, folder).isEmpty());
    QCOMPARE(recorder.messages.size(), 1);
    QCOMPARE(recorder.messages[0].text,
             QStringLiteral("Не обнаружен файл шаблона. Экспорт в Excel невозможен."));
    QCOMPARE(recorder.messages[0].caption, QStringLiteral("Ошибка экспорта в Excel"));
    QCOMPARE(recorder.messages[0].icon, Platform::MsgIcon::Error);
    QVERIFY(!QFileInfo::exists(folder));
    QVERIFY(m_opened.isEmpty());
    QVERIFY(!WaitingForm());
}

void TestExport::neverOverwritesAndTellsWhereWhenNothingOpens() {
    addRecords(2);
    TResult_Form form;
    form.LoadResults(
        TestSupport::resultsOf(kMenId, {QStringLiteral("Петров П.П."), QString(), QString(), QString()}));
    const QString folder = m_docs->path() + QStringLiteral("/Отчёты Morvel");
    const QString first = ExportReport(form, folder);
    Platform::setShellHandler([](const QString&) { return false; });
    Platform::MessageRecorder recorder;
    const QString second = ExportReport(form, folder);
    QCOMPARE(second, folder + QStringLiteral("/Петров П.П. ") + Platform::DateToStr(QDate::currentDate()) +
                         QStringLiteral(" (2).xlsx"));
    QVERIFY(first != second && QFileInfo::exists(first));
    QCOMPARE(recorder.messages.size(), 1);
    QCOMPARE(recorder.messages[0].icon, Platform::MsgIcon::Information);
    QVERIFY(recorder.messages[0].text.contains(QDir::toNativeSeparators(second)));
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2); // no temporary file left beside them
}

void TestExport::brokenTemplateHidesWaitingAndLeavesNoFile() {
    addRecords(1);
    TResult_Form form;
    form.LoadResults(TestSupport::resultsOf(kMenId));
    QFile broken(ReportTemplatePath());
    QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write("not a workbook");
    broken.close();
    Platform::MessageRecorder recorder;
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", m_docs->path().toUtf8());
    QVERIFY(form.Excel_But->isEnabled());
    form.Excel_But->click();
    QCOMPARE(recorder.messages.size(), 1);
    QCOMPARE(recorder.messages[0].icon, Platform::MsgIcon::Error);
    QVERIFY(!WaitingForm());
    QVERIFY(m_opened.isEmpty());
    QVERIFY(QDir(ReportFolder()).entryList(QDir::Files).isEmpty());
    qputenv("HOME", home);
}

void TestExport::rowOperationsMoveMergesAndHeights() {
    TXlsxWorkbook book(ReportTemplatePath());
    TXlsxWorksheet& ws = book.Worksheet(1);
    // Template rows: ППП data 31, spare 32, footer 33–40 (vertical merges G37:G38), ЭКП header 43–44.
    QVERIFY(hasMerge(ws, QStringLiteral("G37:G38")));
    QVERIFY(hasMerge(ws, QStringLiteral("B43:B44")));
    ws.InsertRows(32, 1);
    ws.InsertRows(32, 1);
    QVERIFY(hasMerge(ws, QStringLiteral("C32:E32")) && hasMerge(ws, QStringLiteral("C33:E33")) &&
            hasMerge(ws, QStringLiteral("C34:E34")));
    QVERIFY(hasMerge(ws, QStringLiteral("G39:G40")));
    QVERIFY(hasMerge(ws, QStringLiteral("B45:B46")));
    QCOMPARE(ws.Text(35, 2), QStringLiteral("Sum 0"));
    ws.DeleteRow(32);
    ws.DeleteRow(32);
    ws.DeleteRow(32);
    QVERIFY(!hasMerge(ws, QStringLiteral("C32:E32")) || ws.Text(32, 2) == QStringLiteral("Sum 0"));
    QCOMPARE(ws.Text(32, 2), QStringLiteral("Sum 0"));
    QVERIFY(hasMerge(ws, QStringLiteral("G36:G37")));
    QVERIFY(!overlapping(ws.Merges()));
    // Deleting a row inside a vertical area shrinks it to one cell, which is no merge any more.
    ws.DeleteRow(36);
    QVERIFY(!hasMerge(ws, QStringLiteral("G36:G36")));
    QVERIFY(std::none_of(ws.Merges().begin(), ws.Merges().end(),
                         [](const QRect& m) { return m.width() == 1 && m.height() == 1; }));
}

void TestExport::reportNames_data() {
    QTest::addColumn<QString>("fio");
    QTest::addColumn<QString>("stem");
    QTest::newRow("plain") << QStringLiteral("Иванов И.И.") << QStringLiteral("Иванов И.И.");
    QTest::newRow("slashes") << QStringLiteral("a/b\\c:d") << QStringLiteral("a_b_c_d");
    QTest::newRow("empty") << QString() << QStringLiteral("Отчёт");
    QTest::newRow("dots") << QStringLiteral("..") << QStringLiteral("Отчёт");
    QTest::newRow("controls and a lone surrogate")
        << QString(QStringLiteral("a") + QChar(0x01) + QChar(0xD800) + QStringLiteral("b"))
        << QStringLiteral("a__b");
    // 120 Cyrillic letters are 240 bytes: with the date and the ending the name would pass 255 bytes.
    QTest::newRow("long cyrillic") << QString(120, QChar(u'Ж')) << QString(115, QChar(u'Ж'));
    // A character outside the basic plane (two UTF-16 units, four bytes) is never cut in half.
    QString faces;
    for (int i = 0; i < 60; ++i)
        faces += QString::fromUcs4(U"\U0001F600");
    QTest::newRow("astral characters") << faces << faces.left(2 * 57);
}

void TestExport::reportNames() {
    QFETCH(QString, fio);
    QFETCH(QString, stem);
    const QDate date(2026, 3, 14);
    const QString path = UniqueReportPath(QStringLiteral("/nowhere"), fio, date);
    QCOMPARE(path, QStringLiteral("/nowhere/") + stem + QStringLiteral(" 14.03.2026.xlsx"));
    const QString name = QFileInfo(path).fileName();
    QVERIFY(name.toUtf8().size() <= kMaxFileNameBytes - kSaveTemporaryBytes);
    QCOMPARE(QString::fromUtf8(name.toUtf8()), name); // no half character
}

void TestExport::oddCharactersKeepTheWorkbookWellFormed_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");
    QTest::newRow("controls") << QString(QStringLiteral("a") + QChar(0x01) + QChar(0x08) + QChar(0x0B) +
                                         QChar(0x0C) + QChar(0x1F) + QStringLiteral("b"))
                              << QStringLiteral("ab");
    QTest::newRow("tab and line breaks") << QStringLiteral("a\tb\nc\rd") << QStringLiteral("a\tb\nc\rd");
    QTest::newRow("lone surrogates") << QString(QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b") +
                                                QChar(0xDC00) + QStringLiteral("c") + QChar(0xDBFF))
                                     << QStringLiteral("abc");
    QTest::newRow("non-characters") << QString(QStringLiteral("a") + QChar(0xFFFE) + QChar(0xFFFF) +
                                               QStringLiteral("b"))
                                    << QStringLiteral("ab");
    QTest::newRow("astral pair and markup")
        << QString(QStringLiteral("<&>\"'") + QString::fromUcs4(U"\U0001F600") + QStringLiteral("]]>"))
        << QString(QStringLiteral("<&>\"'") + QString::fromUcs4(U"\U0001F600") + QStringLiteral("]]>"));
    QTest::newRow("blanks at the ends") << QStringLiteral("  x  ") << QStringLiteral("  x  ");
}

void TestExport::oddCharactersKeepTheWorkbookWellFormed() {
    QFETCH(QString, text);
    QFETCH(QString, kept);
    addRecords(2);
    TResult_Form form;
    form.LoadResults(
        TestSupport::resultsOf(kMenId, {QStringLiteral("Имя ") + text, text, QString(), text + text}));
    Platform::MessageRecorder recorder;
    const QString path = ExportReport(form, m_docs->path());
    QVERIFY(recorder.messages.isEmpty());
    QVERIFY(QFileInfo::exists(path));
    const QJsonObject cells = pythonCells(path);
    QCOMPARE(cells.value(QStringLiteral("B5")).toString(), QStringLiteral("Имя ") + kept);
    QCOMPARE(cells.value(QStringLiteral("B6")).toString(), kept);
    QCOMPARE(cells.value(QStringLiteral("B8")).toString(), kept + kept);
    // Our own reader sees the same.
    TXlsxWorkbook book(path);
    QCOMPARE(book.Worksheet(1).Text(6, 2), kept);
}

void TestExport::longNameExportsUnderShortenedName() {
    addRecords(1);
    TResult_Form form;
    const QString fio = QString(150, QChar(u'Щ'));
    form.LoadResults(TestSupport::resultsOf(kMenId, {fio, QString(), QString(), QString()}));
    Platform::MessageRecorder recorder;
    const QString path = ExportReport(form, m_docs->path());
    QVERIFY(recorder.messages.isEmpty());
    QVERIFY(QFileInfo(path).isFile());
    QVERIFY(QFileInfo(path).fileName().toUtf8().size() <= kMaxFileNameBytes);
    QVERIFY(QFileInfo(path).fileName().startsWith(QString(100, QChar(u'Щ'))));
    QCOMPARE(pythonCells(path).value(QStringLiteral("B5")).toString(), fio);
    // A second export of the same testee gets a name of its own, as short.
    const QString second = ExportReport(form, m_docs->path());
    QVERIFY(second != path && QFileInfo(second).isFile());
    QVERIFY(QFileInfo(second).fileName().toUtf8().size() <= kMaxFileNameBytes);
}

void TestExport::equalsTheReportOfTheSynchronousExport() {
    // The expected report was written by the export before it moved to a worker thread and to the
    // compact sheet model, from these records and particulars.
    addRecords(100);
    TResult_Form form;
    form.LoadResults(
        TestSupport::resultsOf(kMenId, {QStringLiteral("Иванов Иван Иванович"), QStringLiteral("Группа 1"),
                                        QStringLiteral("муж."), QStringLiteral("33")}));
    const QString path = ExportReport(form, m_docs->path());
    QVERIFY(QFileInfo::exists(path));
    TXlsxWorkbook got(path);
    TXlsxWorkbook want(QStringLiteral(MORVEL_EXPECTED_DIR "/report100.xlsx"));
    compareSheets(got.Worksheet(1), want.Worksheet(1));
    QVERIFY(got.Worksheet(1).HasPicture());
    // And the independent reader agrees, cell by cell.
    QCOMPARE(pythonCells(path), pythonCells(QStringLiteral(MORVEL_EXPECTED_DIR "/report100.xlsx")));
}

void TestExport::waitingWindowAnimatesAndWindowStaysWhileExporting() {
    addRecords(100);
    TResult_Form form;
    form.LoadResults(
        TestSupport::resultsOf(kMenId, {QStringLiteral("Сидоров"), QString(), QString(), QString()}));
    form.show();

    // Paint events of the animation, counted on the GUI thread, with the frames they showed.
    struct PaintCounter : QObject {
        std::atomic<int> paints{0};
        QSet<int> frames;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Paint)
                if (auto* animate = qobject_cast<TWaitingAnimate*>(watched)) {
                    frames.insert(animate->Frame());
                    ++paints;
                }
            return false;
        }
    } counter;
    qApp->installEventFilter(&counter);

    // While the worker runs: a second export and closing the window are refused.
    bool butDisabled = false, stayedOpen = false, secondRefused = false;
    QTimer::singleShot(0, &form, [&] {
        butDisabled = !form.Excel_But->isEnabled();
        form.close();
        form.reject();
        stayedOpen = form.isVisible();
        secondRefused = ExportReport(form, m_docs->path()).isEmpty();
    });
    // The worker holds the export until the animation has painted several frames (or 20 s passed).
    const QString path = ExportReport(form, m_docs->path(), [&counter] {
        for (int i = 0; i < 2000 && counter.paints.load() < 5; ++i)
            QThread::msleep(10);
    });
    qApp->removeEventFilter(&counter);

    QVERIFY2(counter.paints.load() >= 5, qPrintable(QString::number(counter.paints.load())));
    QVERIFY(counter.frames.size() >= 3);
    QVERIFY(butDisabled);
    QVERIFY(stayedOpen);
    QVERIFY(secondRefused);
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(QDir(m_docs->path()).entryList(QDir::Files).size(), 1);
    QVERIFY(!WaitingForm());
    QVERIFY(form.Excel_But->isEnabled());
    form.close();
    QVERIFY(!form.isVisible());
}

void TestExport::bulkRowInsertEqualsSingleInserts_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("count");
    QTest::newRow("one") << 32 << 1;
    QTest::newRow("two") << 32 << 2;
    QTest::newRow("many at the data row") << 31 << 40;
    QTest::newRow("inside a vertical merge") << 38 << 3; // G37:G38 grows
}

void TestExport::bulkRowInsertEqualsSingleInserts() {
    QFETCH(int, row);
    QFETCH(int, count);
    TXlsxWorkbook single(ReportTemplatePath());
    TXlsxWorkbook bulk(ReportTemplatePath());
    for (int k = 0; k < count; ++k)
        single.Worksheet(1).InsertRows(row, 1);
    bulk.Worksheet(1).InsertRows(row, count);
    compareSheets(bulk.Worksheet(1), single.Worksheet(1));
    QVERIFY(!overlapping(bulk.Worksheet(1).Merges()));
}

void TestExport::damagedTemplatesGiveErrors_data() {
    QTest::addColumn<QString>("part");
    QTest::addColumn<QString>("old");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("message");
    const QString sheet = QStringLiteral("xl/worksheets/sheet1.xml");
    QTest::newRow("60,000 nested elements")
        << sheet << QStringLiteral("</worksheet>")
        << QStringLiteral("<extLst>@NEST(a,60000)@</extLst></worksheet>") << QStringLiteral("вложенность");
    QTest::newRow("nested styles") << QStringLiteral("xl/styles.xml") << QStringLiteral("</styleSheet>")
                                   << QStringLiteral("@NEST(b,60000)@</styleSheet>")
                                   << QStringLiteral("вложенность");
    QTest::newRow("column of 20 letters")
        << sheet << QStringLiteral("r=\"B5\"") << QStringLiteral("r=\"ABCDEFGHIJKLMNOPQRST5\"")
        << QStringLiteral("адрес");
    QTest::newRow("row 2^31 - 1") << sheet << QStringLiteral("<row r=\"5\"")
                                  << QStringLiteral("<row r=\"2147483647\"") << QStringLiteral("строки");
    QTest::newRow("row past the grid") << sheet << QStringLiteral("<row r=\"5\"")
                                       << QStringLiteral("<row r=\"1048577\"") << QStringLiteral("строки");
    QTest::newRow("last row of the grid, then rows inserted")
        << sheet << QStringLiteral("</sheetData>")
        << QStringLiteral("<row r=\"1048576\"><c r=\"A1048576\"/></row></sheetData>")
        << QStringLiteral("нет места");
    // Written back without the NUL, the name would double the "Target" attribute.
    QTest::newRow("NUL inside an attribute name")
        << QStringLiteral("xl/_rels/workbook.xml.rels") << QStringLiteral("Target=\"styles.xml\"")
        << QStringLiteral("Tar@NUL@get=\"styles.xml\" Target=\"x\"") << QStringLiteral("недопустимый символ");
    QTest::newRow("not XML") << sheet << QStringLiteral("<sheetData>") << QStringLiteral("<sheetData><<")
                             << QStringLiteral("Ошибка");
}

void TestExport::damagedTemplatesGiveErrors() {
    QFETCH(QString, part);
    QFETCH(QString, old);
    QFETCH(QString, replacement);
    QFETCH(QString, message);
    const QString path = m_docs->path() + QStringLiteral("/damaged.xlsx");
    QVERIFY2(rewriteTemplate(path, part, old, replacement), "python3 could not write the damaged template");
    try {
        TXlsxWorkbook book(path);
        TXlsxWorksheet& ws = book.Worksheet(1);
        ws.InsertRows(32, 5);
        ws.SetBold(5, 2, 5, 2);
        QFAIL("no error");
    } catch (const Platform::EError& e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
}

void TestExport::longCellTextIsCutBetweenCharacters() {
    TXlsxWorkbook book(ReportTemplatePath());
    TXlsxWorksheet& ws = book.Worksheet(1);
    ws.SetText(5, 2, QString(40000, QLatin1Char('x')));
    QCOMPARE(ws.Text(5, 2), QString(Platform::kMaxCellChars, QLatin1Char('x')));
    // A character of two UTF-16 units across the limit goes as a whole.
    const QString face = QString::fromUcs4(U"\U0001F600");
    ws.SetText(6, 2, QString(Platform::kMaxCellChars - 1, QLatin1Char('y')) + face);
    QCOMPARE(ws.Text(6, 2), QString(Platform::kMaxCellChars - 1, QLatin1Char('y')));
    const QString path = m_docs->path() + QStringLiteral("/long.xlsx");
    book.SaveAs(path);
    QCOMPARE(pythonCells(path).value(QStringLiteral("B5")).toString().size(), Platform::kMaxCellChars);
}

void TestExport::cellAddressesStayInsideTheGrid_data() {
    QTest::addColumn<QString>("ref");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::newRow("B5") << "B5" << 5 << 2;
    QTest::newRow("AZ: a multiple of 26 past Z") << "AZ7" << 7 << 52;
    QTest::newRow("ZZ") << "ZZ3" << 3 << 702;
    QTest::newRow("last cell") << "XFD1048576" << 1048576 << 16384;
    QTest::newRow("column past XFD") << "XFE1" << 0 << 0;
    QTest::newRow("20 letters") << "ABCDEFGHIJKLMNOPQRST1" << 0 << 0;
    QTest::newRow("row past the grid") << "A1048577" << 0 << 0;
    QTest::newRow("row 2^31 - 1") << "A2147483647" << 0 << 0;
    QTest::newRow("row of 30 digits") << "A123456789012345678901234567890" << 0 << 0;
    QTest::newRow("row 0") << "A0" << 0 << 0;
    QTest::newRow("no column") << "15" << 0 << 0;
    QTest::newRow("no row") << "AB" << 0 << 0;
    QTest::newRow("lower case") << "b5" << 0 << 0;
    QTest::newRow("sign") << "B-5" << 0 << 0;
}

void TestExport::cellAddressesStayInsideTheGrid() {
    QFETCH(QString, ref);
    QFETCH(int, row);
    QFETCH(int, col);
    int r = -1, c = -1;
    QCOMPARE(Platform::ParseCellName(ref, r, c), row > 0);
    if (row > 0) {
        QCOMPARE(r, row);
        QCOMPARE(c, col);
        QCOMPARE(Platform::CellName(r, c), ref);
    }
}

void TestExport::templateOperationsCheckTheirArguments_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::addColumn<QString>("message");
    QTest::newRow("row zero") << "delete" << 0 << 1 << "строки";
    QTest::newRow("row past the grid") << "insert" << Platform::kMaxSheetRows + 1 << 1 << "строки";
    QTest::newRow("past the last column") << "chart" << 70 << Platform::kMaxSheetCols << "нельзя поместить";
}

void TestExport::templateOperationsCheckTheirArguments() {
    QFETCH(QString, operation);
    QFETCH(int, row);
    QFETCH(int, col);
    QFETCH(QString, message);
    TXlsxWorkbook book(ReportTemplatePath());
    TXlsxWorksheet& ws = book.Worksheet(1);
    try {
        if (operation == QLatin1String("delete"))
            ws.DeleteRow(row);
        else if (operation == QLatin1String("insert"))
            ws.InsertRows(row, 1);
        else
            CreateProfileTables(book, ws, row, col, QString());
        QFAIL("no error");
    } catch (const Platform::EError& e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
}

void TestExport::pictureReadsBackPixelForPixel_data() {
    QTest::addColumn<QImage>("image");
    // Like the formula picture: text drawn on a light background.
    QImage drawn(649, 257, QImage::Format_RGB32);
    drawn.fill(QColor(255, 255, 225));
    {
        QPainter painter(&drawn);
        painter.setFont(QFont(QStringLiteral("Liberation Serif"), 14));
        painter.drawText(10, 30, QStringLiteral("Формула побуждений: h s e hy k p d m"));
        painter.setPen(Qt::red);
        painter.drawLine(10, 40, 300, 60);
    }
    QTest::newRow("drawn picture") << drawn;
    QImage noise(37, 5, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, qRgb((x * 97 + y * 31) & 0xFF, (x * 13) & 0xFF, (y * 71 + x) & 0xFF));
    QTest::newRow("every pixel different") << noise;
    QImage grey(3, 4, QImage::Format_Grayscale8);
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x)
            grey.scanLine(y)[x] = uchar(x * 80 + y * 5);
    QTest::newRow("greyscale, odd width") << grey;
    QImage dot(1, 1, QImage::Format_RGB32);
    dot.fill(qRgb(1, 2, 3));
    QTest::newRow("one pixel") << dot;
}

void TestExport::pictureReadsBackPixelForPixel() {
    QFETCH(QImage, image);
    // Read with the system's PNG library, not with our writer's code.
    const QImage back = QImage::fromData(Platform::EncodePng(image), "PNG");
    QVERIFY(!back.isNull());
    QCOMPARE(back.size(), image.size());
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            QCOMPARE(back.pixel(x, y), image.pixel(x, y));
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"

// What a spreadsheet program makes of a typed text, kept only where the number shows as typed.
void TestExport::typedTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("number");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("format");
    QTest::newRow("decimal comma") << "0,33" << true << 0.33 << "General";
    QTest::newRow("percentage with a decimal") << "66,7%" << true << 0.667 << "0.0%";
    QTest::newRow("leading zero shows otherwise") << "007" << false << 0.0 << "";
    QTest::newRow("trailing zero shows otherwise") << "0,50" << false << 0.0 << "";
    QTest::newRow("minus zero shows otherwise") << "-0" << false << 0.0 << "";
    QTest::newRow("exponent form when shown") << "123456789012" << false << 0.0 << "";
}

void TestExport::typedTexts() {
    QFETCH(QString, text);
    QFETCH(bool, number);
    QFETCH(double, value);
    QFETCH(QString, format);
    const auto typed = Platform::ParseTypedNumber(text, QLatin1Char(','));
    QCOMPARE(typed.has_value(), number);
    if (number) {
        QCOMPARE(typed->value, value);
        QCOMPARE(typed->format, format);
    }
}

// The report read by Python: counts, sums and percentages are numbers (percentages with a percent
// format), texts stay texts, and a cell formatted as text keeps even a number as text.
void TestExport::numbersAreStoredAsNumbers_data() {
    QTest::addColumn<QString>("cells");
    QTest::addColumn<QString>("shownText");
    QTest::addColumn<QString>("stored");
    // Name, cells (address pattern), shown text (pattern), stored kind.
    const char* const rows[][4] = {{"integers", "^(?!B[5-8]$)", "^(0|[1-9][0-9]*)$", R"(["n", "General"])"},
                                   {"whole percentages", "", "^[0-9]+%$", R"(["n", "0%"])"},
                                   {"percentages with a decimal", "", "^[0-9]+,[0-9]%$", R"(["n", "0.0%"])"},
                                   {"reactions with marks", "", "^[0±+-]!+$", R"(["s"])"},
                                   {"dates", "", "^[0-9]{2}\\.[0-9]{2}\\.[0-9]{4}$", R"(["s"])"},
                                   {"indices with their names", "", "^(TspQu|Sy%|Sum!)", R"(["s"])"},
                                   {"age in its text cell", "^B8$", "", R"(["s"])"}};
    for (const auto& row : rows)
        QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2])
                              << QString::fromUtf8(row[3]);
}

void TestExport::numbersAreStoredAsNumbers() {
    QFETCH(QString, cells);
    QFETCH(QString, shownText);
    QFETCH(QString, stored);
    addRecords(8);
    TResult_Form form;
    form.LoadResults(TestSupport::resultsOf(kMenId, {QString(), QString(), QString(), QStringLiteral("33")}));
    const QString path = ExportReport(form, m_docs->path());
    const QJsonObject texts = pythonCells(path);
    const QJsonObject types = pythonCells(path, true);
    const QJsonValue want = QJsonDocument::fromJson(stored.toUtf8()).array();
    const QRegularExpression cell(cells), text(shownText);
    int matched = 0;
    for (auto it = texts.begin(); it != texts.end(); ++it) {
        if (!cell.match(it.key()).hasMatch() || !text.match(it.value().toString()).hasMatch())
            continue;
        ++matched;
        QVERIFY2(types.value(it.key()) == want,
                 qPrintable(it.key() + QLatin1Char(' ') + it.value().toString()));
    }
    QVERIFY(matched > 0);
}
