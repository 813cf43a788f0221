// Footer indices, the derived ТКП table and chart bars on grids built by the test, without the window.
#include "results/FormulaLines.h"
#include "results/Result_Calc.h"

#include "StoreSupport.h"
#include "platform/Dialogs.h"
#include "scoring/Calc_Unit.h"
#include "widgets/StringGrid.h"

using namespace Results;
using Widgets::TStringGrid;

namespace {

// A profile table with one data row per entry; each entry holds the eight factor cells.
std::unique_ptr<TStringGrid> table(const QList<QStringList>& rows) {
    auto grid = std::make_unique<TStringGrid>();
    grid->SetColCount(kTableCols);
    grid->SetRowCount(kHeaderRows + static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r)
        for (int f = 0; f < 8; ++f)
            grid->SetCell(f + 2, r + kHeaderRows, rows[r].value(f));
    return grid;
}

std::unique_ptr<TStringGrid> footer(int rows = kFooterRows) {
    auto grid = std::make_unique<TStringGrid>();
    grid->SetColCount(kFooterCols);
    grid->SetRowCount(rows);
    return grid;
}

QStringList cells(const QString& spaced) { return spaced.split(QLatin1Char(' ')); }

// `count` rows of the same eight cells.
QList<QStringList> repeated(const QString& spaced, int count) {
    QList<QStringList> rows;
    for (int i = 0; i < count; ++i)
        rows << cells(spaced);
    return rows;
}

using CellMap = QMap<QPair<int, int>, QString>; // (column, row) -> text

} // namespace

class TestResultCalc : public QObject {
    Q_OBJECT
private slots:
    void initTestCase_data() { TestSupport::addStoreRows(); }
    void initTestCase() { TestSupport::pinRussianLocale(); }
    void percent_data();
    void percent();
    void countFooter_data();
    void countFooter();
    void rvnWhenTheSecondFactorLeads();
    void deriveTheoretical();
    void balances_data();
    void balances();
    void missingReferenceRowEndsOnlyItsCall();
    void chartBars_data();
    void chartBars();
    void profileCounts();
};

void TestResultCalc::percent_data() {
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("text");
    QTest::newRow("no total") << 0 << 0 << "0%";
    QTest::newRow("whole") << 8 << 8 << "100%";
    QTest::newRow("third") << 1 << 3 << "33,3%";
    QTest::newRow("two thirds rounds up") << 2 << 3 << "66,7%";
    QTest::newRow("half up at .05") << 1 << 8 << "12,5%";
    QTest::newRow("1/16") << 1 << 16 << "6,3%";
}

void TestResultCalc::percent() {
    QFETCH(int, x);
    QFETCH(int, total);
    QFETCH(QString, text);
    QCOMPARE(Percent(x, total), text);
}

void TestResultCalc::countFooter_data() {
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<CellMap>("expected");
    QTest::newRow("no ambivalent at all")
        << repeated("+ - + - + - + -", 2)
        << CellMap{{{12, 0}, "TspQu=0"}, {{12, 2}, "Sy%=0"}, {{9, 0}, "0"},
                   {{10, 1}, "0"},       {{11, 2}, "0"},     {{9, 3}, "Sum! = 0"}};
    QTest::newRow("one test") << repeated("0 ± + + + + + +", 1)
                              << CellMap{{{1, 0}, "1"},      {{2, 0}, "0"},  {{1, 1}, "0"},
                                         {{2, 1}, "1"},      {{1, 2}, "1"},  {{2, 2}, "1"},
                                         {{1, 3}, "0"},      {{3, 2}, "0"},  {{9, 0}, "1"},
                                         {{10, 1}, "1"},     {{11, 2}, "2"}, {{12, 0}, "TspQu=1"},
                                         {{12, 2}, "Sy%=25"}};
    QTest::newRow("three tests, comma locale")
        << QList<QStringList>{cells("0 ± + + + + + +"), cells("± + + + + + + +"), cells("+ ± + + + + + +")}
        << CellMap{
               {{12, 0}, "TspQu=0,33"}, {{12, 2}, "Sy%=16,7"}, {{1, 2}, "2"}, {{2, 2}, "2"}, {{1, 3}, "0"}};
    QTest::newRow("marks of every reaction, vector difference")
        << QList<QStringList>{cells("0!! + -! +!!! 0 0 ± +"), cells("0 + - + 0 + + +")}
        << CellMap{{{9, 3}, "Sum! = 6"}, {{1, 2}, "2"}, {{2, 2}, "0"}, {{1, 3}, "2"},       {{5, 2}, "2"},
                   {{6, 2}, "1"},        {{5, 3}, "1"}, {{7, 3}, "1"}, {{12, 0}, "TspQu=5"}};
}

void TestResultCalc::countFooter() {
    QFETCH(QList<QStringList>, rows);
    QFETCH(CellMap, expected);
    auto t = table(rows);
    auto f = footer();
    CountFooter(*t, *f);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(f->Cell(it.key().first, it.key().second) == it.value(),
                 qPrintable(QStringLiteral("(%1, %2) = «%3»")
                                .arg(it.key().first)
                                .arg(it.key().second)
                                .arg(f->Cell(it.key().first, it.key().second))));
    // Cells outside the map stay empty: the balance rows and the totals area beyond column 9.
    QVERIFY(f->Cell(1, 4).isEmpty());
    QVERIFY(f->Cell(10, 3).isEmpty());
}

// РВН is the absolute difference of the two СНТ of a vector, whichever factor has the larger one, and
// the latency proportion takes it from the footer as it stands.
void TestResultCalc::rvnWhenTheSecondFactorLeads() {
    auto t = table({cells("+ 0 + ± + 0 + 0"), cells("+ ± + + + 0 + +")});
    auto f = footer();
    CountFooter(*t, *f);
    QCOMPARE(f->Cell(1, 3), QStringLiteral("2"));
    QCOMPARE(f->Cell(3, 3), QStringLiteral("1"));
    QCOMPARE(f->Cell(5, 3), QStringLiteral("2"));
    QCOMPARE(f->Cell(7, 3), QStringLiteral("1"));
    QCOMPARE(BuildLatencyProportion(*t, *f), QStringLiteral("String(S h+)/2 & Space(10) & String(Sch k+)/2 & "
                                                            "Space(10) & String(P e+)/1 & Space(10) & "
                                                            "String(C d+)/1"));
}

void TestResultCalc::deriveTheoretical() {
    auto ppp = table({cells("0!! ± +! - 0 0 0 ±!!!")});
    ppp->SetCell(0, 0, QStringLiteral("№"));
    ppp->SetCell(3, 1, QStringLiteral("s"));
    ppp->SetCell(0, 2, QStringLiteral("1"));
    ppp->SetCell(1, 2, QStringLiteral("09.12.2026"));
    ppp->SetCell(kSumZeroCol, 2, QStringLiteral("4"));
    ppp->SetCell(kSumAmbCol, 2, QStringLiteral("2"));
    ppp->SetCell(kSntCol, 2, QStringLiteral("6"));
    ppp->SetCell(kNoteCol, 2, QStringLiteral("заметка"));
    TStringGrid tkp;
    tkp.SetColCount(kTableCols);
    tkp.SetRowCount(kHeaderRows);
    DeriveTheoretical(*ppp, tkp);
    QCOMPARE(tkp.RowCount(), 3);
    const QStringList inverted = cells("±!! 0 -! + ± ± ± 0!!!");
    for (int f = 0; f < 8; ++f)
        QCOMPARE(tkp.Cell(f + 2, 2), inverted[f]);
    QCOMPARE(tkp.Cell(0, 0), QStringLiteral("№"));
    QCOMPARE(tkp.Cell(3, 1), QStringLiteral("s"));
    QCOMPARE(tkp.Cell(1, 2), QStringLiteral("09.12.2026"));
    QCOMPARE(tkp.Cell(kSumZeroCol, 2), QStringLiteral("2"));
    QCOMPARE(tkp.Cell(kSumAmbCol, 2), QStringLiteral("4"));
    QCOMPARE(tkp.Cell(kSntCol, 2), QStringLiteral("6"));
    QCOMPARE(tkp.Cell(kNoteCol, 2), QStringLiteral("заметка"));
    // A cell that starts with no reaction leaves the ТКП cell empty.
    ppp->SetCell(2, 2, QStringLiteral("?"));
    DeriveTheoretical(*ppp, tkp);
    QCOMPARE(tkp.Cell(2, 2), QString());
}

void TestResultCalc::balances_data() {
    QTest::addColumn<bool>("soz");
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<CellMap>("expected");
    // "00" and "++" are of class 0 in both reference tables for every vector.
    QTest::newRow("Dur: class 0 over 8 tests")
        << false << repeated("0 0 0 0 0 0 0 0", 8)
        << CellMap{{{1, 4}, "8"},  {{1, 5}, "0"}, {{2, 4}, "100%"}, {{7, 4}, "8"},
                   {{9, 4}, "32"}, {{9, 5}, "0"}, {{12, 4}, "100%"}};
    QTest::newRow("Dur: marks go with the class") << false << repeated("+! +! 0 0 0 0 0 0", 8)
                                                  << CellMap{{{1, 4}, "24"}, {{1, 5}, "0"}, {{9, 4}, "48"}};
    QTest::newRow("Soz: two marks weigh on Soz-")
        << true << repeated("+! +! 0 0 0 0 0 0", 1)
        << CellMap{{{1, 4}, "1"}, {{1, 5}, "2"}, {{2, 4}, "33,3%"}, {{3, 4}, "1"},
                   {{3, 5}, "0"}, {{9, 4}, "4"}, {{9, 5}, "2"},     {{12, 4}, "66,7%"}};
}

void TestResultCalc::balances() {
    QFETCH(bool, soz);
    QFETCH(QList<QStringList>, rows);
    QFETCH(CellMap, expected);
    QFETCH_GLOBAL(TestSupport::TStore, store);
    TestSupport::TStoreFixture data(store);
    QVERIFY2(data.open(), qPrintable(data.error));
    Platform::MessageRecorder recorder;
    auto t = table(rows);
    auto f = footer();
    QVERIFY(soz ? CountSoz(*t, *f, 4, nullptr) : CountDurMoll(*t, *f, 4, nullptr));
    QVERIFY(recorder.messages.isEmpty());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QCOMPARE(f->Cell(it.key().first, it.key().second), it.value());
}

void TestResultCalc::missingReferenceRowEndsOnlyItsCall() {
    QFETCH_GLOBAL(TestSupport::TStore, store);
    TestSupport::TStoreFixture data(store);
    QVERIFY2(data.open(), qPrintable(data.error));
    QVERIFY(TestSupport::execBound(
        data.dm->Main_Database(), QStringLiteral("delete from DurMoll where Vector = 2 and Reaction = '00'")));
    Platform::MessageRecorder recorder;
    auto t = table(repeated("0 0 0 0 0 0 0 0", 8));
    auto f = footer();
    QVERIFY(!CountDurMoll(*t, *f, 4, nullptr));
    QCOMPARE(recorder.messages.size(), 1);
    QCOMPARE(recorder.messages[0].caption, QStringLiteral("Ошибка расчета мажорно-минорных реакций"));
    QCOMPARE(recorder.messages[0].text, QStringLiteral("Неверный номер вектора или реакции!"));
    QCOMPARE(recorder.messages[0].icon, Platform::MsgIcon::Error);
    // Vectors S and P were written, Sch and C and the totals were not.
    QCOMPARE(f->Cell(3, 4), QStringLiteral("8"));
    QCOMPARE(f->Cell(5, 4), QString());
    QCOMPARE(f->Cell(9, 4), QString());
    // The next call of the sequence runs on its own table.
    QVERIFY(CountSoz(*t, *f, 6, nullptr));
    QCOMPARE(f->Cell(9, 6), QStringLiteral("32"));
    QVERIFY(!CountDurMoll(*t, *f, 4, nullptr));
    QCOMPARE(recorder.messages.size(), 2);
}

void TestResultCalc::chartBars_data() {
    QTest::addColumn<QString>("plus");
    QTest::addColumn<QString>("minus");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("expected"); // rows 2 to 13: "+", "-" or "."
    QTest::newRow("plus 6, minus 0") << "60000000"
                                     << "00000000" << 0 << "++++++......";
    QTest::newRow("plus 3, minus 2") << "00300000"
                                     << "00200000" << 2 << "...+++--....";
    QTest::newRow("minus 6") << "00000000"
                             << "00000006" << 7 << "......------";
    QTest::newRow("count beyond a half stays in it") << "00000009"
                                                     << "00000000" << 7 << "++++++......";
}

void TestResultCalc::chartBars() {
    QFETCH(QString, plus);
    QFETCH(QString, minus);
    QFETCH(int, column);
    QFETCH(QString, expected);
    TStringGrid grid;
    grid.SetColCount(8);
    grid.SetRowCount(kChartRows);
    FillChartBars(grid, plus, minus);
    QString seen;
    for (int r = kHeaderRows; r < kChartRows; ++r) {
        const QString cell = grid.Cell(column, r);
        seen += cell == kPlusBar ? QLatin1Char('+') : cell == kMinusBar ? QLatin1Char('-') : QLatin1Char('.');
    }
    QCOMPARE(seen, expected);
    QVERIFY(grid.Cell(column, 0).isEmpty() && grid.Cell(column, 1).isEmpty());
}

void TestResultCalc::profileCounts() {
    const QString example = QStringLiteral("135724681538264713457812264815372467381567285634");
    // Choices win over a stored profile that differs.
    QCOMPARE(ProfileCounts(example, QString(32, QLatin1Char('0'))),
             QStringLiteral("21222111221023022122112102121132"));
    QCOMPARE(ProfileCounts(QString(), QStringLiteral("60000000000000000000000000000000")),
             QStringLiteral("60000000000000000000000000000000"));
    QCOMPARE(ProfileCounts(QString(), QString()), QString());
    QVERIFY_THROWS_EXCEPTION(Calc::EConvertError, ProfileCounts(QString(), QStringLiteral("6000")));
    QVERIFY_THROWS_EXCEPTION(Calc::EConvertError, ProfileCounts(QString(), QString(32, QLatin1Char('x'))));
}

QTEST_MAIN(TestResultCalc)
#include "tst_result_calc.moc"
