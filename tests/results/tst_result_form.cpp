// The results window and the chart window on data directories with known test records, offscreen, on
// the table file and on the server.
#include "results/Graph_Frm.h"
#include "results/Result_Calc.h"
#include "results/Result_Frm.h"

#include "ResultsSupport.h"
#include "StoreSupport.h"
#include "platform/Dialogs.h"
#include "platform/Locale.h"
#include "scoring/Calc_Records.h"
#include "widgets/StringGrid.h"

#include <QApplication>
#include <QBarSet>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

using namespace Results;

namespace {

const QString kExampleRun = QStringLiteral("135724681538264713457812264815372467381567285634");
const QString kNoCounts = QString(32, QLatin1Char('0'));
const QString kAllZero = QStringLiteral("0000000000000000");
const QString kNoMarks = QStringLiteral("0000000000000000");
constexpr int kMenId = 7;

void addRecord(const QDate& date, const QString& types, const QString& intensities,
               const QString& resultTest = QString(), const QString& resultProfil = kNoCounts,
               const QString& note = QString()) {
    TestSupport::insertTest(1, kMenId, date, QTime(10, 0), note,
                            Calc::TTestRecord{resultTest, resultProfil, types, intensities});
}

// "+" for a red cell, "-" for a blue one, "." otherwise, rows 2 to 13 of a chart column.
QString barsOf(const TResult_Form& form, const Widgets::TStringGrid& grid, int column) {
    QString seen;
    for (int r = kHeaderRows; r < kChartRows; ++r) {
        QColor color = Qt::white;
        form.Chart_GridGetCellColor(grid, column, r, color);
        seen += color == QColor(255, 0, 0)   ? QLatin1Char('+')
                : color == QColor(0, 0, 255) ? QLatin1Char('-')
                                             : QLatin1Char('.');
    }
    return seen;
}

} // namespace

class TestResultForm : public QObject {
    Q_OBJECT
private slots:
    void initTestCase_data() { TestSupport::addStoreRows(); }
    void init();
    void cleanup();
    void oneTest();
    void cellsAndTheoretical();
    void balanceRowsFromEightTests_data();
    void balanceRowsFromEightTests();
    void chartPages();
    void showResultsShowsTheTestee_data();
    void showResultsShowsTheTestee();
    void noTestsOpenNoWindow();
    void chartWindow();

private:
    std::unique_ptr<TestSupport::TStoreFixture> m_store;
    TMain_DataModule* m_dm = nullptr;
};

void TestResultForm::init() {
    TestSupport::pinRussianLocale();
    QFETCH_GLOBAL(TestSupport::TStore, store);
    m_store = std::make_unique<TestSupport::TStoreFixture>(store);
    QVERIFY2(m_store->open(), qPrintable(m_store->error));
    m_dm = m_store->dm.get();
    TestSupport::ensureTestee(m_dm->Main_Database(), 1, kMenId);
}

void TestResultForm::cleanup() {
    m_dm = nullptr;
    m_store.reset();
}

void TestResultForm::oneTest() {
    const QDate date(2026, 3, 14);
    addRecord(date, kAllZero, kNoMarks);
    TResult_Form form;
    form.LoadResults(TestSupport::resultsOf(kMenId));
    form.BuildTableTabs();
    for (Widgets::TStringGrid* grid : {form.PPP_Grid, form.EKP_Grid, form.TKP_Grid}) {
        QCOMPARE(grid->RowCount(), 3);
        QCOMPARE(grid->Cell(0, 2), QStringLiteral("1"));
        QCOMPARE(grid->Cell(1, 2), Platform::DateToStr(date));
    }
    QCOMPARE(form.PPP_Grid->Cell(0, 0), QStringLiteral("№"));
    QCOMPARE(form.TKP_Grid->Cell(4, 0), QStringLiteral("P"));
    QCOMPARE(form.TKP_Grid->Cell(5, 1), QStringLiteral("hy"));
    QCOMPARE(form.Profil_PageControl->count(), 1);
    QCOMPARE(form.Profil_PageControl->tabText(0), QStringLiteral("1 - ") + Platform::DateToStr(date));
    QCOMPARE(form.PPPCharts.size(), 1);
    QCOMPARE(form.EKPCharts.size(), 1);
    QCOMPARE(form.PPP_FooterGrid->Cell(12, 2), QStringLiteral("Sy%=100"));
    QCOMPARE(form.TKP_FooterGrid->Cell(0, 4), QStringLiteral("Soz+"));
    QCOMPARE(form.Picture().size(), QSize(649, 257));
    // The one chart page shows its grids when the tab is opened.
    form.show();
    QTabBar* tabs = form.PageControl1->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {},
                      tabs->tabRect(form.PageControl1->indexOf(form.TabSheet2)).center());
    QVERIFY(form.PPPCharts[0]->isVisible() && form.EKPCharts[0]->isVisible());
}

void TestResultForm::cellsAndTheoretical() {
    addRecord(QDate(2026, 1, 5), QStringLiteral("+-+-+-+-+-+-+-+-"), kNoMarks);
    addRecord(QDate(2026, 2, 5), QStringLiteral("0±0+0+--+-+-+-+-"), QStringLiteral("2000000000000001"),
              QString(), kNoCounts, QStringLiteral("повторно"));
    TResult_Form form;
    form.LoadResults(TestSupport::resultsOf(kMenId));
    form.BuildTableTabs();
    // The newer record is row 3.
    QCOMPARE(form.PPP_Grid->Cell(0, 3), QStringLiteral("2"));
    QCOMPARE(form.PPP_Grid->Cell(2, 3), QStringLiteral("0!!"));
    QCOMPARE(form.TKP_Grid->Cell(2, 3), QStringLiteral("±!!"));
    QCOMPARE(form.TKP_Grid->Cell(3, 3), QStringLiteral("0"));
    QCOMPARE(form.TKP_Grid->Cell(5, 3), QStringLiteral("-"));
    QCOMPARE(form.EKP_Grid->Cell(9, 3), QStringLiteral("-!"));
    const QStringList pppSums = {form.PPP_Grid->Cell(10, 3), form.PPP_Grid->Cell(11, 3),
                                 form.PPP_Grid->Cell(12, 3)};
    const QStringList tkpSums = {form.TKP_Grid->Cell(10, 3), form.TKP_Grid->Cell(11, 3),
                                 form.TKP_Grid->Cell(12, 3)};
    QCOMPARE(pppSums, (QStringList{"3", "1", "4"}));
    QCOMPARE(tkpSums, (QStringList{"1", "3", "4"}));
    QCOMPARE(form.EKP_Grid->Cell(12, 3), QStringLiteral("0"));
    QCOMPARE(form.PPP_Grid->Cell(13, 3), QStringLiteral("повторно"));
    QCOMPARE(form.PPP_Grid->GetHint(13, 3), QStringLiteral("повторно"));
    // The ТКП footer counts its own table: ППП zeros are its ambivalents.
    QCOMPARE(form.TKP_FooterGrid->Cell(10, 1), form.PPP_FooterGrid->Cell(9, 0));
    QCOMPARE(form.PPP_FooterGrid->Cell(9, 3), QStringLiteral("Sum! = 2"));
    QCOMPARE(form.EKP_FooterGrid->Cell(9, 3), QStringLiteral("Sum! = 1"));
}

void TestResultForm::balanceRowsFromEightTests_data() {
    QTest::addColumn<int>("tests");
    QTest::newRow("seven") << 7;
    QTest::newRow("eight") << 8;
}

void TestResultForm::balanceRowsFromEightTests() {
    QFETCH(int, tests);
    for (int i = 0; i < tests; ++i)
        addRecord(QDate(2025, 1, 1).addDays(i), kAllZero, kNoMarks);
    Platform::MessageRecorder recorder;
    TResult_Form form;
    form.LoadResults(TestSupport::resultsOf(kMenId));
    form.BuildTableTabs();
    QVERIFY(recorder.messages.isEmpty());
    const bool filled = tests >= 8;
    for (int row : {4, 5, 6, 7}) {
        QCOMPARE(!form.PPP_FooterGrid->Cell(1, row).isEmpty(), filled);
        QCOMPARE(!form.EKP_FooterGrid->Cell(9, row).isEmpty(), filled);
    }
    QCOMPARE(!form.TKP_FooterGrid->Cell(1, 4).isEmpty(), filled);
    QCOMPARE(!form.TKP_FooterGrid->Cell(9, 5).isEmpty(), filled);
    if (filled) {
        QCOMPARE(form.PPP_FooterGrid->Cell(1, 4), QStringLiteral("8"));
        QCOMPARE(form.PPP_FooterGrid->Cell(2, 4), QStringLiteral("100%"));
    }
}

void TestResultForm::chartPages() {
    const QDate first(2026, 1, 1);
    const QDate second(2026, 2, 1);
    const QDate third(2026, 3, 1);
    // Entered as a profile: h plus 6, nothing minus; ЭКП m minus 6.
    addRecord(first, kAllZero, kNoMarks, QString(), QStringLiteral("60000000000000000000000000000006"));
    // Choices win over the stored counts.
    addRecord(second, kAllZero, kNoMarks, kExampleRun, kNoCounts);
    // Neither choices nor counts: empty charts.
    addRecord(third, kAllZero, kNoMarks, QString(), QString());
    TResult_Form form;
    form.LoadResults(TestSupport::resultsOf(kMenId));
    QCOMPARE(form.Profil_PageControl->count(), 3);
    QCOMPARE(form.Profil_PageControl->tabText(0), QStringLiteral("3 - ") + Platform::DateToStr(third));
    QCOMPARE(form.Profil_PageControl->tabText(2), QStringLiteral("1 - ") + Platform::DateToStr(first));
    // No page is built while the charts are hidden; the current page when they show.
    QVERIFY(!form.PPPCharts[0] && !form.PPPCharts[1] && !form.EKPCharts[2]);
    form.show();
    QVERIFY(!form.PPPCharts[0]);
    form.PageControl1->setCurrentWidget(form.TabSheet2);
    QVERIFY(form.PPPCharts[0] && !form.PPPCharts[1] && !form.EKPCharts[2]);
    QVERIFY(form.PPPCharts[0]->isVisible());
    QCOMPARE(barsOf(form, *form.PPPChart(2), 0), QStringLiteral("++++++......"));
    QCOMPARE(barsOf(form, *form.EKPChart(2), 7), QStringLiteral("......------"));
    QCOMPARE(barsOf(form, *form.PPPChart(1), 0), QStringLiteral("....++--...."));
    QCOMPARE(barsOf(form, *form.EKPChart(1), 0), QStringLiteral("....++......"));
    QCOMPARE(barsOf(form, *form.EKPChart(1), 6), QStringLiteral("....++---..."));
    for (int c = 0; c < 8; ++c)
        QCOMPARE(barsOf(form, *form.PPPChart(0), c), QStringLiteral("............"));
    QCOMPARE(form.PPPChart(0)->Cell(2, 0), QStringLiteral("P"));
    QCOMPARE(form.PPPChart(0)->Cell(3, 1), QStringLiteral("hy"));
}

void TestResultForm::showResultsShowsTheTestee_data() {
    QTest::addColumn<bool>("broken");
    QTest::newRow("shown") << false;
    QTest::newRow("loading fails") << true;
}

void TestResultForm::showResultsShowsTheTestee() {
    QFETCH(bool, broken);
    QVERIFY(TestSupport::execBound(
        m_dm->Main_Database(),
        QStringLiteral("update \"user\" set FIO = 'Смирнова Ольга', Sex = 'Ж', Age = 39 "
                       "where Men_ID = :men"),
        {{QStringLiteral("men"), kMenId}}));
    for (int i = 0; i < 3; ++i)
        addRecord(QDate(2026, 1, 1).addDays(i), kAllZero, broken && i == 1 ? QStringLiteral("9") : kNoMarks);
    const Data::Testee testee = *m_dm->Repo().testee(kMenId);
    const QVector<Data::TestRecord> tests = m_dm->Repo().testsOf(kMenId);
    if (broken) {
        QVERIFY_THROWS_EXCEPTION(Calc::EConvertError, ShowResults(testee, tests));
        return;
    }
    QString fio, sex, age, title;
    int pages = -1;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<TResult_Form*>(QApplication::activeModalWidget());
        if (!form)
            return;
        fio = form->FIO_Edit->text();
        sex = form->Sex_Edit->text();
        age = form->Age_Sex->text();
        pages = form->Profil_PageControl->count();
        title = form->windowTitle();
        form->ToolButton2->click();
    });
    ShowResults(testee, tests);
    QCOMPARE(fio, QStringLiteral("Смирнова Ольга"));
    QCOMPARE(title, QStringLiteral("Результаты тестирования - Смирнова Ольга"));
    QCOMPARE(sex, QStringLiteral("Женский"));
    QCOMPARE(age, QStringLiteral("39"));
    QCOMPARE(pages, 3);
}

// The command was offered while the testee had a test; another copy of the program deleted it.
void TestResultForm::noTestsOpenNoWindow() {
    bool opened = false;
    QTimer::singleShot(0, [&] {
        if (auto* form = qobject_cast<TResult_Form*>(QApplication::activeModalWidget())) {
            opened = true;
            form->ToolButton2->click();
        }
    });
    Platform::MessageRecorder recorder;
    ShowResults(*m_dm->Repo().testee(kMenId), m_dm->Repo().testsOf(kMenId));
    QVERIFY(!opened);
    QCOMPARE(recorder.messages.size(), 1);
    QCOMPARE(recorder.messages[0].text, QStringLiteral("У тестируемого нет тестирований."));
    QCOMPARE(recorder.messages[0].icon, Platform::MsgIcon::Information);
}

void TestResultForm::chartWindow() {
    addRecord(QDate(2026, 1, 1), kAllZero, kNoMarks, QString(), QString());
    addRecord(QDate(2026, 1, 2), kAllZero, kNoMarks, QString(),
              QStringLiteral("30000000200000000000000000000000"));
    addRecord(QDate(2026, 1, 3), kAllZero, kNoMarks, kExampleRun, kNoCounts);
    const QVector<Data::TestRecord> tests = m_dm->Repo().testsOf(kMenId);
    struct Case {
        int test; // oldest first
        QList<qreal> pppPlus, pppMinus, ekpPlus, ekpMinus;
    };
    const Case cases[] = {
        // The worked example: h is +2/-2 in ППП and +2 with no minus bar in ЭКП.
        {2,
         {2, 1, 2, 2, 2, 1, 1, 1},
         {-2, -2, -1, 0, -2, -3, 0, -2},
         {2, 1, 2, 2, 1, 1, 2, 1},
         {0, -2, -1, -2, -1, -1, -3, -2}},
        {1,
         {3, 0, 0, 0, 0, 0, 0, 0},
         {-2, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0, 0}},
        {0, {}, {}, {}, {}},
    };
    for (const Case& c : cases) {
        TGraph_Form form;
        form.FillCharts(tests.value(c.test));
        auto values = [](QBarSet* set) {
            QList<qreal> v;
            for (int i = 0; i < set->count(); ++i)
                v << set->at(i);
            return v;
        };
        QCOMPARE(values(form.PlusSet(form.Sel1_Chart)), c.pppPlus);
        QCOMPARE(values(form.MinusSet(form.Sel1_Chart)), c.pppMinus);
        QCOMPARE(values(form.PlusSet(form.Sel2_Chart)), c.ekpPlus);
        QCOMPARE(values(form.MinusSet(form.Sel2_Chart)), c.ekpMinus);
        QCOMPARE(form.PlusSet(form.Sel1_Chart)->color(), QColor(255, 0, 0));
        QCOMPARE(form.MinusSet(form.Sel2_Chart)->color(), QColor(0, 0, 255));
    }
}

QTEST_MAIN(TestResultForm)
#include "tst_result_form.moc"
