// Footer indices, the derived ТКП table, balances and chart bars of the results model, computed from
// records built by the test, and the balance messages of the window.
#include "results/FormulaLines.h"
#include "results/Result_Frm.h"
#include "results/ResultsModel.h"

#include "StoreSupport.h"
#include "platform/Dialogs.h"
#include "scoring/Calc_Unit.h"

using namespace Results;

namespace {

// A record whose ППП and ЭКП rows both hold the eight factor cells written as "+! 0 ± - ...".
Data::TestRecord record(const QString& spaced) {
    Data::TestRecord r;
    for (const QString& cell : spaced.split(QLatin1Char(' '))) {
        r.calcProfil += cell.left(1);
        r.calcProfilNapr += QString::number(cell.size() - 1);
    }
    r.calcProfil += r.calcProfil;
    r.calcProfilNapr += r.calcProfilNapr;
    return r;
}

QVector<Data::TestRecord> records(const QList<QStringList>& rows) {
    QVector<Data::TestRecord> out;
    for (const QStringList& row : rows)
        out << record(row.join(QLatin1Char(' ')));
    return out;
}

// The model of these rows, with the reference tables `references`.
TResultsModel model(const QList<QStringList>& rows, const Data::ReferenceTables& references = {}) {
    return ComputeResults({}, records(rows), references);
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

// The cells of the map in the ППП footer.
void compareFooter(const TResultsModel& m, const CellMap& expected) {
    const TCellTexts footer = FooterTexts(m.Tables[kPpp]);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(footer.Cell(it.key().first, it.key().second) == it.value(),
                 qPrintable(QStringLiteral("(%1, %2) = «%3»")
                                .arg(it.key().first)
                                .arg(it.key().second)
                                .arg(footer.Cell(it.key().first, it.key().second))));
}

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
    void missingReferenceRowEndsOnlyItsBalance();
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
    const TResultsModel m = model(rows);
    compareFooter(m, expected);
    // Cells outside the map stay empty: the balance rows and the totals area beyond column 9.
    const TCellTexts footer = FooterTexts(m.Tables[kPpp]);
    QVERIFY(footer.Cell(1, 4).isEmpty());
    QVERIFY(footer.Cell(10, 3).isEmpty());
}

// РВН is the absolute difference of the two СНТ of a vector, whichever factor has the larger one, and
// the latency proportion takes it from the footer as it stands.
void TestResultCalc::rvnWhenTheSecondFactorLeads() {
    const TResultsModel m = model({cells("+ 0 + ± + 0 + 0"), cells("+ ± + + + 0 + +")});
    compareFooter(m, {{{1, 3}, "2"}, {{3, 3}, "1"}, {{5, 3}, "2"}, {{7, 3}, "1"}});
    QCOMPARE(m.Formulas.last().Text, QStringLiteral("String(S h+)/2 & Space(10) & String(Sch k+)/2 & "
                                                    "Space(10) & String(P e+)/1 & Space(10) & "
                                                    "String(C d+)/1"));
}

void TestResultCalc::deriveTheoretical() {
    Data::TestRecord r = record(QStringLiteral("0!! ± +! - 0 0 0 ±!!!"));
    r.date = QDate(2026, 12, 9);
    r.note = QStringLiteral("заметка");
    const TResultsModel m = ComputeResults({}, {r}, {});
    const QStringList tkp = TableRows(m, kTkp).value(0);
    QCOMPARE(tkp.mid(2, 8), cells("±!! 0 -! + ± ± ± 0!!!"));
    QCOMPARE(tkp.value(0), QStringLiteral("1"));
    QCOMPARE(tkp.value(1), QStringLiteral("09.12.2026"));
    QCOMPARE(tkp.mid(kSumZeroCol), (QStringList{"2", "4", "6", "заметка"}));
    QCOMPARE(TableRows(m, kPpp).value(0).mid(kSumZeroCol, 3), (QStringList{"4", "2", "6"}));
    // A cell that starts with no reaction has no ТКП cell.
    QCOMPARE(TheoreticalCell(QStringLiteral("?")), QString());
    QCOMPARE(TheoreticalCell(QStringLiteral("0!")), QStringLiteral("±!"));
}

void TestResultCalc::balances_data() {
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<CellMap>("expected");
    // "00" and "++" are of class 0 in both reference tables for every vector.
    QTest::newRow("Dur: class 0 over 8 tests")
        << repeated("0 0 0 0 0 0 0 0", 8)
        << CellMap{{{1, 4}, "8"},  {{1, 5}, "0"}, {{2, 4}, "100%"}, {{7, 4}, "8"},
                   {{9, 4}, "32"}, {{9, 5}, "0"}, {{12, 4}, "100%"}};
    QTest::newRow("Dur: marks go with the class")
        << repeated("+! +! 0 0 0 0 0 0", 8) << CellMap{{{1, 4}, "24"}, {{1, 5}, "0"}, {{9, 4}, "48"}};
    QTest::newRow("Soz: two marks weigh on Soz-")
        << repeated("+! +! 0 0 0 0 0 0", 8)
        << CellMap{{{1, 6}, "8"}, {{1, 7}, "16"}, {{2, 6}, "33,3%"}, {{3, 6}, "8"},
                   {{3, 7}, "0"}, {{9, 6}, "32"}, {{9, 7}, "16"},    {{12, 6}, "66,7%"}};
    QTest::newRow("seven tests: no balances")
        << repeated("0 0 0 0 0 0 0 0", 7) << CellMap{{{1, 4}, ""}, {{9, 5}, ""}, {{1, 6}, ""}};
}

void TestResultCalc::balances() {
    QFETCH(QList<QStringList>, rows);
    QFETCH(CellMap, expected);
    QFETCH_GLOBAL(TestSupport::TStore, store);
    TestSupport::TStoreFixture data(store);
    QVERIFY2(data.open(), qPrintable(data.error));
    const TResultsModel m = model(rows, data.dm->Repo().references());
    QVERIFY(m.Failures.isEmpty());
    compareFooter(m, expected);
}

void TestResultCalc::missingReferenceRowEndsOnlyItsBalance() {
    QFETCH_GLOBAL(TestSupport::TStore, store);
    TestSupport::TStoreFixture data(store);
    QVERIFY2(data.open(), qPrintable(data.error));
    Data::ReferenceTables references = data.dm->Repo().references();
    references.durMoll.removeIf(
        [](const Data::BalanceRow& row) { return row.vector == 2 && row.reaction == QStringLiteral("00"); });
    const TResultsModel m = model(repeated("0 0 0 0 0 0 0 0", 8), references);
    // ППП and ЭКП Dur/Moll stopped at Sch; the Soz balances are whole.
    QCOMPARE(m.Failures.size(), 2);
    QVERIFY(m.Failures[0].Table == kPpp && !m.Failures[0].Soz);
    QVERIFY(m.Failures[1].Table == kEkp && !m.Failures[1].Soz);
    // Vectors S and P were written, Sch and C and the totals were not.
    compareFooter(m, {{{3, 4}, "8"}, {{5, 4}, ""}, {{9, 4}, ""}, {{12, 4}, ""}, {{9, 6}, "32"}});
    // The window tells of each stopped balance.
    Platform::MessageRecorder recorder;
    TResult_Form form;
    form.LoadResults(m);
    QCOMPARE(recorder.messages.size(), 2);
    QCOMPARE(recorder.messages[0].caption, QStringLiteral("Ошибка расчета мажорно-минорных реакций"));
    QCOMPARE(recorder.messages[0].text, QStringLiteral("Неверный номер вектора или реакции!"));
    QCOMPARE(recorder.messages[0].icon, Platform::MsgIcon::Error);
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
    QString seen;
    for (const QStringList& row : ChartBarTexts(plus, minus)) {
        const QString cell = row.value(column);
        seen += cell == kPlusBar ? QLatin1Char('+') : cell == kMinusBar ? QLatin1Char('-') : QLatin1Char('.');
    }
    QCOMPARE(seen, expected);
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
