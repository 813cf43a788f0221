// The printed report: page splitting on made-up blocks, and PDF files of loaded results windows read back
// with poppler's pdftotext, pdfinfo and pdfimages.
#include "results/PrintReport.h"
#include "results/ReportDocument.h"
#include "results/Result_Calc.h"
#include "results/Result_Frm.h"

#include "ResultsSupport.h"
#include "TestSupport.h"
#include "platform/Dialogs.h"
#include "platform/Locale.h"
#include "scoring/Calc_Records.h"
#include "widgets/StringGrid.h"

#include <QImage>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

using namespace Results;

namespace {

constexpr int kMenId = 7;
const QString kRun = QStringLiteral("135724681538264713457812264815372467381567285634");
const QString kTypes = QStringLiteral("0±+-");

// A note long enough to make its row several lines high, with its own first and last word.
QString longNote(int i) {
    return QStringLiteral("начало%1 ").arg(i) +
           QStringLiteral("длинное примечание к тестированию ").repeated(6) +
           QStringLiteral("конец%1").arg(i);
}

// Test i gets a mix of every reaction type and intensity, so no two rows of a table look alike, and its
// ЭКП row differs from its ППП row.
void addRecords(int count, bool longNotes = false) {
    for (int i = 0; i < count; ++i) {
        QString types, marks;
        for (int k = 0; k < 16; ++k) {
            types += kTypes[(i + k + k / 8) % 4];
            marks += QChar(u'0' + (i * k + k) % 4);
        }
        TestSupport::insertTest(1, kMenId, QDate(2025, 1, 1).addDays(i), QTime(10, 0),
                                longNotes ? longNote(i + 1) : QStringLiteral("заметка%1").arg(i + 1),
                                Calc::TTestRecord{i % 2 ? kRun : QString(), QString(32, u'2'), types, marks});
    }
}

const std::array<QString, 4> kParticulars = {QStringLiteral("Иванов Иван Иванович"),
                                             QStringLiteral("Группа «Север»"), QStringLiteral("Мужской"),
                                             QStringLiteral("33")};

// Runs a poppler tool; a missing tool fails the test with the reason.
QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000))
        qFatal("%s cannot be started (Debian package poppler-utils): %s", qPrintable(program),
               qPrintable(p.errorString()));
    p.waitForFinished(60000);
    if (p.exitCode() != 0)
        qWarning("%s: %s", qPrintable(program), p.readAllStandardError().constData());
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The text of every page, laid out as on paper.
QStringList pagesOf(const QString& pdf) {
    QStringList pages =
        run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")})
            .split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

int pageCountOf(const QString& pdf) {
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(run(QStringLiteral("pdfinfo"), {pdf}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The cells in order on one line of text, other text allowed between them.
QRegularExpression lineOf(const QStringList& cells) {
    QStringList parts;
    for (const QString& c : cells)
        parts << QRegularExpression::escape(c);
    return QRegularExpression(QStringLiteral("(^|\\s)") + parts.join(QStringLiteral("\\s.*?")) +
                                  QStringLiteral("($|\\s)"),
                              QRegularExpression::MultilineOption);
}

// Data row `row` of a table without its note: the cells the report must show on one line.
QStringList rowCells(const Widgets::TStringGrid& grid, int row) {
    QStringList cells;
    for (int c = 0; c < kNoteCol; ++c)
        cells << grid.Cell(c, row);
    return cells;
}

// Footer row `row`: its non-empty cells that stand in that row alone (areas over two rows are centred
// between them and are looked for on their own).
QStringList footerCells(const Widgets::TStringGrid& footer, int row, QStringList& tallCells) {
    QStringList cells;
    for (int c = 0; c < footer.ColCount(); ++c) {
        const QRect area = footer.MergedArea(c, row);
        if (area.topLeft() != QPoint(c, row) || footer.Cell(c, row).isEmpty())
            continue;
        (area.height() > 1 ? tallCells : cells) << footer.Cell(c, row);
    }
    return cells;
}

int countMatches(const QStringList& pages, const QRegularExpression& re, int* onPage = nullptr) {
    int n = 0;
    for (int p = 0; p < pages.size(); ++p) {
        auto it = re.globalMatch(pages[p]);
        while (it.hasNext()) {
            it.next();
            ++n;
            if (onPage)
                *onPage = p;
        }
    }
    return n;
}

} // namespace

class TestReport : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void paginate_data();
    void paginate();
    void pdfShowsEverything_data();
    void pdfShowsEverything();
    void longTablesBreakBetweenWholeRows();
    void formulaPageIsVectorOnly();
    void printedPageRange();
    void unwritablePathFailsAndLeavesNothing();
    void fullDiskLeavesNoCutPdf_data();
    void fullDiskLeavesNoCutPdf();
    void pdfButtonAsksBeforeReplacing();
    void printButtonOpensThePrintDialog();
    void overlongNameFitsFileAndPage();

private:
    QString savePdf(TResult_Form& form, int* pages = nullptr);
    std::unique_ptr<TestSupport::ProgramDirFixture> m_dir;
    std::unique_ptr<TMain_DataModule> m_dm;
    std::unique_ptr<QTemporaryDir> m_out;
    QByteArray m_home;
};

void TestReport::init() {
    TestSupport::pinRussianLocale();
    m_dir = std::make_unique<TestSupport::ProgramDirFixture>();
    m_dm = m_dir->createDataModule();
    QVERIFY(m_dm);
    TestSupport::ensureTestee(m_dm->Main_Database(), 1, kMenId);
    m_out = std::make_unique<QTemporaryDir>();
    // The reports folder lies in a temporary home.
    m_home = qgetenv("HOME");
    qputenv("HOME", m_out->path().toUtf8());
}

void TestReport::cleanup() {
    qputenv("HOME", m_home);
    m_dm.reset();
    m_dir.reset();
    m_out.reset();
}

// With REPORT_KEEP=<folder> in the environment the PDF files (and a picture of the window) are kept there
// for a look.
QString TestReport::savePdf(TResult_Form& form, int* pages) {
    const QString path = m_out->filePath(QStringLiteral("report.pdf"));
    if (!qEnvironmentVariableIsEmpty("REPORT_KEEP"))
        QFile::remove(qEnvironmentVariable("REPORT_KEEP") + QLatin1Char('/') + QTest::currentTestFunction() +
                      QStringLiteral(".pdf"));
    const int count = SaveResultsPdf(form.Model(), path);
    if (pages)
        *pages = count;
    if (!qEnvironmentVariableIsEmpty("REPORT_KEEP"))
        QFile::copy(path, qEnvironmentVariable("REPORT_KEEP") + QLatin1Char('/') +
                              QTest::currentTestFunction() + QStringLiteral(".pdf"));
    return path;
}

// Blocks are written as "<height>[k][n][s<section>]": k keeps it with the next one, n starts a page. The
// expected pages list the blocks placed, "r<section>" for a repeated header (height 2).
void TestReport::paginate_data() {
    QTest::addColumn<QStringList>("blocks");
    QTest::addColumn<QString>("pages");
    QTest::newRow("all on one page") << QStringList{"3", "3", "4"} << "0 1 2";
    QTest::newRow("full page breaks before the next") << QStringList{"5", "5", "1"} << "0 1|2";
    QTest::newRow("kept blocks move together") << QStringList{"4", "3k", "4"} << "0|1 2";
    QTest::newRow("new page forced") << QStringList{"1", "1n", "1n"} << "0|1|2";
    QTest::newRow("forced break on an empty page adds none") << QStringList{"1n", "1"} << "0 1";
    QTest::newRow("continued table repeats its header")
        << QStringList{"2ks0", "3s0", "3s0", "3s0"} << "0 1 2|r0 3";
    QTest::newRow("block moved with its title gets no repeat") << QStringList{"8", "1ks0", "3s0"} << "0|1 2";
    QTest::newRow("taller than a page stands alone") << QStringList{"1", "12", "1"} << "0|1|2";
}

void TestReport::paginate() {
    QFETCH(QStringList, blocks);
    QFETCH(QString, pages);
    QVector<TPageBlock> list;
    for (const QString& written : blocks) {
        TPageBlock b;
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^(\\d+)(k?)(n?)(?:s(\\d+))?$")).match(written);
        QVERIFY(m.hasMatch());
        b.Height = m.captured(1).toDouble();
        b.KeepWithNext = !m.captured(2).isEmpty();
        b.NewPage = !m.captured(3).isEmpty();
        b.Section = m.captured(4).isEmpty() ? -1 : m.captured(4).toInt();
        list.append(b);
    }
    QVector<TPageBlock> repeats(1);
    repeats[0].Height = 2;
    QStringList seen;
    for (const QVector<TPlacement>& page : Paginate(list, repeats, 10)) {
        QStringList names;
        double y = 0;
        for (const TPlacement& placed : page) {
            QCOMPARE(placed.Top, y);
            y += placed.Block->Height;
            names << (placed.Block == &repeats[0] ? QStringLiteral("r0")
                                                  : QString::number(placed.Block - list.constData()));
        }
        seen << names.join(QLatin1Char(' '));
    }
    QCOMPARE(seen.join(QLatin1Char('|')), pages);
}

void TestReport::pdfShowsEverything_data() {
    QTest::addColumn<int>("tests");
    QTest::newRow("one test") << 1;
    QTest::newRow("three tests") << 3;
    QTest::newRow("nine tests") << 9;
}

void TestReport::pdfShowsEverything() {
    QFETCH(int, tests);
    addRecords(tests);
    TResult_Form form;
    form.LoadResults(TestSupport::resultsOf(kMenId, kParticulars));
    form.BuildTableTabs();
    int count = 0;
    const QString pdf = savePdf(form, &count);
    const QStringList pages = pagesOf(pdf);
    const QString all = pages.join(QLatin1Char('\n'));

    // Pages: the tables' pages, then one chart page per three tests; every page numbered.
    QCOMPARE(pageCountOf(pdf), count);
    QCOMPARE(pages.size(), count);
    int chartPages = 0;
    for (int p = 0; p < count; ++p) {
        QVERIFY2(pages[p].contains(QStringLiteral("Стр. %1 из %2").arg(p + 1).arg(count)),
                 qPrintable(pages[p]));
        QVERIFY(pages[p].contains(QStringLiteral("Иванов Иван Иванович")));
        QVERIFY(
            pages[p].contains(QStringLiteral("Дата печати: ") + Platform::DateToStr(QDate::currentDate())));
        chartPages += pages[p].contains(QStringLiteral("Профили")) ? 1 : 0;
    }
    QCOMPARE(chartPages, (tests + 2) / 3);

    // Particulars and formula titles.
    for (const QString& text :
         {QStringLiteral("Иванов Иван Иванович"), QStringLiteral("Группа «Север»"), QStringLiteral("Мужской"),
          QStringLiteral("Формула побуждений"), QStringLiteral("Пропорция латентности")})
        QVERIFY2(pages[0].contains(text), qPrintable(text));
    QVERIFY(pages[0].contains(lineOf({QStringLiteral("Возраст:"), QStringLiteral("33")})));

    // Every data row of every table whole on one line, its note beside it; every footer row likewise.
    const Widgets::TStringGrid* tables[] = {form.PPP_Grid, form.EKP_Grid, form.TKP_Grid};
    const Widgets::TStringGrid* footers[] = {form.PPP_FooterGrid, form.EKP_FooterGrid, form.TKP_FooterGrid};
    for (int t = 0; t < 3; ++t) {
        // Header: the vectors over their factors, the merged titles between those two lines.
        QVERIFY(all.contains(
            lineOf({QStringLiteral("S"), QStringLiteral("P"), QStringLiteral("Sch"), QStringLiteral("C")})));
        QVERIFY(all.contains(
            lineOf({QStringLiteral("№"), QStringLiteral("Дата"), QStringLiteral("Sum 0"),
                    QStringLiteral("Sum ±"), QStringLiteral("СНТ"), QStringLiteral("Примечание")})));
        QVERIFY(all.contains(
            lineOf({QStringLiteral("h"), QStringLiteral("s"), QStringLiteral("e"), QStringLiteral("hy"),
                    QStringLiteral("k"), QStringLiteral("p"), QStringLiteral("d"), QStringLiteral("m")})));
        for (int r = kHeaderRows; r < tables[t]->RowCount(); ++r) {
            QStringList cells = rowCells(*tables[t], r);
            cells << tables[t]->Cell(kNoteCol, r);
            QVERIFY2(all.contains(lineOf(cells)), qPrintable(cells.join(QLatin1Char(' '))));
        }
        QStringList tall;
        for (int r = 0; r < footers[t]->RowCount(); ++r) {
            const QStringList cells = footerCells(*footers[t], r, tall);
            QVERIFY2(all.contains(lineOf(cells)), qPrintable(cells.join(QLatin1Char(' '))));
        }
        for (const QString& text : tall)
            QVERIFY2(all.contains(text), qPrintable(text));
    }
    // Balances from eight tests on.
    QCOMPARE(!form.PPP_FooterGrid->Cell(1, 4).isEmpty(), tests >= 8);
    // Chart captions, newest first.
    for (int j = 0; j < form.Profil_PageControl->count(); ++j)
        QVERIFY(all.contains(form.Profil_PageControl->tabText(j)));
}

void TestReport::longTablesBreakBetweenWholeRows() {
    addRecords(9, true);
    TResult_Form form;
    form.LoadResults(TestSupport::resultsOf(kMenId, kParticulars));
    form.BuildTableTabs();
    const QStringList pages = pagesOf(savePdf(form));
    const Widgets::TStringGrid* tables[] = {form.PPP_Grid, form.EKP_Grid, form.TKP_Grid};
    const QString titles[] = {QStringLiteral("Профиль ППП"), QStringLiteral("Профиль ЭКП"),
                              QStringLiteral("Профиль ТКП")};
    int continued = 0;
    for (int t = 0; t < 3; ++t) {
        int firstPage = -1;
        countMatches(pages,
                     QRegularExpression(QRegularExpression::escape(titles[t]) + QStringLiteral("\\s*\\n")),
                     &firstPage);
        QVERIFY(firstPage >= 0);
        for (int r = kHeaderRows; r < tables[t]->RowCount(); ++r) {
            // The row once, whole, with the first and last word of its note on its page.
            int page = -1;
            QCOMPARE(countMatches(pages, lineOf(rowCells(*tables[t], r)), &page), 1);
            const int test = r - kHeaderRows + 1;
            QVERIFY(pages[page].contains(QStringLiteral("начало%1").arg(test)));
            QVERIFY(pages[page].contains(QStringLiteral("конец%1").arg(test)));
            // A row on a later page than its table's title stands under the repeated header.
            if (page != firstPage) {
                QVERIFY2(pages[page].contains(titles[t] + QStringLiteral(" (продолжение)")),
                         qPrintable(pages[page]));
                QVERIFY(pages[page].contains(QStringLiteral("Примечание")));
                ++continued;
            }
        }
        // No note is split: its first and last word are on the same page every time.
        for (int test = 1; test <= 9; ++test)
            for (const QString& page : pages)
                QCOMPARE(page.count(QStringLiteral("начало%1").arg(test)),
                         page.count(QStringLiteral("конец%1").arg(test)));
    }
    QVERIFY(continued > 0);
}

void TestReport::formulaPageIsVectorOnly() {
    addRecords(3);
    TResult_Form form;
    form.LoadResults(TestSupport::resultsOf(kMenId, kParticulars));
    const QString pdf = savePdf(form);
    // pdfimages lists two header lines and then one line per image: there is none on any page.
    const QStringList lines = run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf})
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    // The formulas are drawn there all the same: their words are text and their lines leave ink.
    const QString first = pagesOf(pdf).value(0);
    QVERIFY(first.contains(QStringLiteral("Формула побуждений")));
    for (const QString& factor : {QStringLiteral("hy"), QStringLiteral("Sch")})
        QVERIFY(first.contains(factor));
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                     QStringLiteral("1"), QStringLiteral("-r"), QStringLiteral("60"),
                                     QStringLiteral("-png"), pdf, m_out->filePath(QStringLiteral("page"))});
    const QImage page(m_out->filePath(QStringLiteral("page-1.png")));
    QVERIFY(!page.isNull());
    int dark = 0;
    for (int y = page.height() / 4; y < page.height() / 2; ++y)
        for (int x = 0; x < page.width(); ++x)
            dark += qGray(page.pixel(x, y)) < 128 ? 1 : 0;
    QVERIFY2(dark > 200, qPrintable(QString::number(dark)));
}

void TestReport::printedPageRange() {
    addRecords(9);
    TResult_Form form;
    form.LoadResults(TestSupport::resultsOf(kMenId, kParticulars));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString path = m_out->filePath(QStringLiteral("printed.pdf"));
    printer.setOutputFileName(path);
    printer.setPageLayout(ReportPageLayout());
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(2, 3);
    const int count = PrintResults(form.Model(), printer);
    QVERIFY(count > 3);
    const QStringList pages = pagesOf(path);
    QCOMPARE(pages.size(), 2);
    QVERIFY(pages[0].contains(QStringLiteral("Стр. 2 из %1").arg(count)));
    QVERIFY(pages[1].contains(QStringLiteral("Стр. 3 из %1").arg(count)));
}

void TestReport::unwritablePathFailsAndLeavesNothing() {
    addRecords(2);
    TResult_Form form;
    form.LoadResults(TestSupport::resultsOf(kMenId, kParticulars));
    const QString path = m_out->filePath(QStringLiteral("missing/report.pdf"));
    QVERIFY_THROWS_EXCEPTION(Platform::EError, SaveResultsPdf(form.Model(), path));
    QVERIFY(!QFile::exists(path));
    // Through the button the failure is shown as an error, never as a saved file.
    const auto previous = Platform::setSaveFileHandler([&](const QString&, const QString&) { return path; });
    Platform::MessageRecorder recorder;
    QTest::mouseClick(form.Pdf_But, Qt::LeftButton);
    Platform::setSaveFileHandler(previous);
    QCOMPARE(recorder.messages.size(), 1);
    QCOMPARE(recorder.messages[0].icon, Platform::MsgIcon::Error);
    QVERIFY(recorder.messages[0].text.contains(QStringLiteral("report.pdf")));
}

void TestReport::fullDiskLeavesNoCutPdf_data() {
    QTest::addColumn<int>("missing");
    // Bytes the disk lacks: the end of the file stays in the buffer until the file is named.
    QTest::newRow("disk full in the last bytes") << 100;
    QTest::newRow("disk full halfway") << -2;
}

void TestReport::fullDiskLeavesNoCutPdf() {
    QFETCH(int, missing);
    addRecords(9);
    TResult_Form form;
    form.LoadResults(TestSupport::resultsOf(kMenId, kParticulars));
    const QString path = m_out->filePath(QStringLiteral("report.pdf"));
    SaveResultsPdf(form.Model(), path);
    const qint64 size = QFileInfo(path).size();
    QVERIFY(QFile::remove(path));
    const qint64 room = missing < 0 ? size / -missing : size - missing;
    {
        const TestSupport::TFileSizeLimit limit{rlim_t(room)};
        QVERIFY_THROWS_EXCEPTION(Platform::EError, SaveResultsPdf(form.Model(), path));
    }
    QVERIFY(!QFile::exists(path));
    QCOMPARE(QDir(m_out->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestReport::pdfButtonAsksBeforeReplacing() {
    addRecords(1);
    TResult_Form form;
    form.LoadResults(TestSupport::resultsOf(kMenId, kParticulars));
    const QString target = m_out->filePath(QStringLiteral("saved.pdf"));
    QStringList proposed;
    QStringList answers = {m_out->filePath(QStringLiteral("saved")), target, QString()};
    const auto previous = Platform::setSaveFileHandler([&](const QString&, const QString& path) {
        proposed << path;
        return answers.takeFirst();
    });
    Platform::MessageRecorder recorder;
    // A name without the suffix gets it; a new file is written without a question.
    QTest::mouseClick(form.Pdf_But, Qt::LeftButton);
    QVERIFY(recorder.messages.isEmpty());
    QVERIFY(proposed.value(0).endsWith(QStringLiteral("/Иванов Иван Иванович ") +
                                       Platform::DateToStr(QDate::currentDate()) + QStringLiteral(".pdf")));
    QVERIFY(QFileInfo(proposed.value(0)).dir().exists());
    QVERIFY(QFile::exists(target));
    QVERIFY(pagesOf(target).value(0).contains(QStringLiteral("Иванов Иван Иванович")));

    // The same file again: the question comes, No (the default) keeps the file and reopens the dialog,
    // which is cancelled.
    QFile file(target);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("old");
    file.close();
    answers = {target, QString()};
    QTest::mouseClick(form.Pdf_But, Qt::LeftButton);
    QCOMPARE(recorder.messages.size(), 1);
    QCOMPARE(recorder.messages[0].icon, Platform::MsgIcon::Question);
    QCOMPARE(recorder.messages[0].defaultAnswer, Platform::MsgAnswer::No);
    QVERIFY(recorder.messages[0].text.contains(QStringLiteral("saved.pdf")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("old"));
    file.close();

    // Yes replaces it.
    answers = {target};
    recorder.answers = {Platform::MsgAnswer::Yes};
    QTest::mouseClick(form.Pdf_But, Qt::LeftButton);
    QCOMPARE(recorder.messages.size(), 2);
    QVERIFY(pagesOf(target).value(0).contains(QStringLiteral("Результаты тестирования")));
    Platform::setSaveFileHandler(previous);
}

void TestReport::printButtonOpensThePrintDialog() {
    addRecords(1);
    TResult_Form form;
    form.LoadResults(TestSupport::resultsOf(kMenId, kParticulars));
    form.show();
    bool seen = false;
    QTimer::singleShot(0, &form, [&] {
        auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
        seen = dialog != nullptr;
        if (dialog) {
            QCOMPARE(dialog->printer()->pageLayout().pageSize().id(), QPageSize::A4);
            // The dialog proposes the job's name for printing into a file: no colon in it.
            QCOMPARE(dialog->printer()->docName(), QStringLiteral("Иванов Иван Иванович ") +
                                                       Platform::DateToStr(QDate::currentDate()) +
                                                       QStringLiteral(".pdf"));
            dialog->reject();
        }
    });
    Platform::MessageRecorder recorder;
    QTest::mouseClick(form.Print_But, Qt::LeftButton);
    QVERIFY(seen);
    QVERIFY(recorder.messages.isEmpty());
    if (!qEnvironmentVariableIsEmpty("REPORT_KEEP"))
        form.grab().save(qEnvironmentVariable("REPORT_KEEP") + QStringLiteral("/window.png"));
    QCOMPARE(form.Print_But->text(), QStringLiteral("Печать..."));
    QCOMPARE(form.Pdf_But->text(), QStringLiteral("Сохранить в PDF..."));
}

// A name of one word far wider than the page and longer than a file name may be: the proposed file is
// shortened between characters and written; on the page the word breaks inside itself.
void TestReport::overlongNameFitsFileAndPage() {
    addRecords(1);
    TResult_Form form;
    std::array<QString, 4> particulars = kParticulars;
    const QString word = QStringLiteral("Оченьдлиннаяфамилия").repeated(10);
    particulars[0] = word;
    form.LoadResults(TestSupport::resultsOf(kMenId, particulars));
    QString proposed;
    const auto previous = Platform::setSaveFileHandler([&](const QString&, const QString& path) {
        proposed = m_out->filePath(QFileInfo(path).fileName());
        return proposed;
    });
    Platform::MessageRecorder recorder;
    QTest::mouseClick(form.Pdf_But, Qt::LeftButton);
    Platform::setSaveFileHandler(previous);
    QVERIFY(recorder.messages.isEmpty());
    const QString name = QFileInfo(proposed).fileName();
    QVERIFY(name.toUtf8().size() <= 255 - 8);
    QVERIFY(word.startsWith(name.section(QLatin1Char(' '), 0, 0)));
    const QString page = pagesOf(proposed).value(0);
    QVERIFY(QString(page).remove(QRegularExpression(QStringLiteral("[^А-Яа-я]"))).contains(word));
    QVERIFY(!page.contains(word));
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
