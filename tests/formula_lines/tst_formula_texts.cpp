// The formula texts of the results window's picture, built from cell texts without a window.
#include "CellTexts.h"
#include "scoring/Calc_Unit.h"

#include <QTest>

using namespace Results;

class TestFormulaTexts : public QObject {
    Q_OBJECT
private slots:
    void dominantReaction_data();
    void dominantReaction();
    void maxZeroSum_data();
    void maxZeroSum();
    void footerTextThatIsNoIntegerIsRefused();
    void driveTerms_data();
    void driveTerms();
    void latencyProportion_data();
    void latencyProportion();
};

void TestFormulaTexts::dominantReaction_data() {
    QTest::addColumn<QString>("cells");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plus ahead of minus on equal counts") << "+ - + -"
                                                         << "+";
    QTest::newRow("zero ahead of ambivalent on equal counts") << "± 0 ± 0"
                                                              << "0";
    QTest::newRow("ambivalent ahead of plus") << "+ ±! + ±"
                                              << "±!";
    QTest::newRow("marks of the column, not of the reaction") << "+ + -!!"
                                                              << "+!!";
    QTest::newRow("most marks of any cell") << "-! - -!!! 0!!"
                                            << "-!!!";
    QTest::newRow("no data rows") << ""
                                  << "0";
}

void TestFormulaTexts::dominantReaction() {
    QFETCH(QString, cells);
    QFETCH(QString, expected);
    QCOMPARE(DominantReaction(FormulaCells::column(cells), 2), expected);
}

void TestFormulaTexts::maxZeroSum_data() {
    QTest::addColumn<QString>("zeroSums");
    QTest::addColumn<int>("expected");
    QTest::newRow("all zero") << "0 0 0 0 0 0 0 0" << 0;
    QTest::newRow("largest anywhere") << "1 3 0 2 0 4 0 12" << 12;
}

void TestFormulaTexts::maxZeroSum() {
    QFETCH(QString, zeroSums);
    QFETCH(int, expected);
    QCOMPARE(MaxZeroSum(FormulaCells::footer(zeroSums)), expected);
}

void TestFormulaTexts::footerTextThatIsNoIntegerIsRefused() {
    QVERIFY_THROWS_EXCEPTION(Calc::EConvertError, MaxZeroSum(FormulaCells::footer("1 2 3 4 5 6 7 x")));
    QVERIFY_THROWS_EXCEPTION(
        Calc::EConvertError,
        BuildLatencyProportion(FormulaCells::table({}), FormulaCells::footer("0 0 0 0 0 0 0 0", "1 2 3")));
}

void TestFormulaTexts::driveTerms_data() {
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("zeroSums");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::addColumn<QString>("expected");

    const QStringList signs = {"+! 0 + - 0 + ± -", "+ 0 + - 0 + ± -"};
    QTest::newRow("falling СНТ, then factor order")
        << signs << "7 0 0 0 6 0 0 0" << 6 << 7
        << "Pow(Ind(h,7), String(+!)) & Space(7) & Pow(Ind(k,6), String(0))";
    QTest::newRow("equal СНТ in factor order")
        << signs << "3 5 3 4 0 0 5 0" << 3 << 5
        << "Pow(Ind(s,5), String(0)) & Space(7) & Pow(Ind(d,5), String(±)) & Space(7) & "
           "Pow(Ind(hy,4), String(-)) & Space(7) & Pow(Ind(h,3), String(+!)) & Space(7) & "
           "Pow(Ind(e,3), String(+))";
    const QString zeros = "0 0 0 0 0 0 0 0";
    QTest::newRow("all СНТ 0: no strong factors") << signs << zeros << 6 << 0 << "";
    QTest::newRow("all СНТ 0: no middle factors") << signs << zeros << 3 << 5 << "";
    QTest::newRow("all СНТ 0: every factor with index 0")
        << signs << zeros << 0 << 2
        << "Pow(Ind(h,0), String(+!)) & Space(7) & Pow(Ind(s,0), String(0)) & Space(7) & "
           "Pow(Ind(e,0), String(+)) & Space(7) & Pow(Ind(hy,0), String(-)) & Space(7) & "
           "Pow(Ind(k,0), String(0)) & Space(7) & Pow(Ind(p,0), String(+)) & Space(7) & "
           "Pow(Ind(d,0), String(±)) & Space(7) & Pow(Ind(m,0), String(-))";
    QTest::newRow("two-digit СНТ") << signs << "12 0 0 0 0 0 0 10" << 6 << 12
                                   << "Pow(Ind(h,12), String(+!)) & Space(7) & Pow(Ind(m,10), String(-))";
}

void TestFormulaTexts::driveTerms() {
    QFETCH(QStringList, rows);
    QFETCH(QString, zeroSums);
    QFETCH(int, low);
    QFETCH(int, high);
    QFETCH(QString, expected);
    QCOMPARE(BuildDriveTerms(FormulaCells::table(rows), FormulaCells::footer(zeroSums), low, high), expected);
}

void TestFormulaTexts::latencyProportion_data() {
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("zeroSums");
    QTest::addColumn<QString>("differences");
    QTest::addColumn<QString>("expected");

    const QStringList signs = {"+ - ± 0 - + 0 ±", "+ - ± 0 - + 0 ±"};
    QTest::newRow("by falling РВН")
        << signs << "0 0 0 0 0 0 0 0"
        << "2 1 3 0"
        << "String(Sch k-)/3 & Space(10) & String(S h+)/2 & Space(10) & String(P e±)/1 & Space(10) & "
           "String(C d0)/0";
    QTest::newRow("equal РВН keep S, P, Sch, C")
        << signs << "0 0 0 0 0 0 0 0"
        << "1 1 1 1"
        << "String(S h+)/1 & Space(10) & String(P e±)/1 & Space(10) & String(Sch k-)/1 & Space(10) & "
           "String(C d0)/1";
    QTest::newRow("the factor with the smaller СНТ, the first on equal СНТ")
        << signs << "3 3 4 1 0 2 5 4"
        << "0 3 2 1"
        << "String(P hy0)/3 & Space(10) & String(Sch k-)/2 & Space(10) & String(C m±)/1 & Space(10) & "
           "String(S h+)/0";
    QTest::newRow("marks dropped from the reaction")
        << QStringList{"-!! 0 0 0 0 0 0 0", "-! 0 0 0 0 0 0 0"} << "0 0 0 0 0 0 0 0"
        << "0 0 0 0"
        << "String(S h-)/0 & Space(10) & String(P e0)/0 & Space(10) & String(Sch k0)/0 & Space(10) & "
           "String(C d0)/0";
}

void TestFormulaTexts::latencyProportion() {
    QFETCH(QStringList, rows);
    QFETCH(QString, zeroSums);
    QFETCH(QString, differences);
    QFETCH(QString, expected);
    QCOMPARE(BuildLatencyProportion(FormulaCells::table(rows), FormulaCells::footer(zeroSums, differences)),
             expected);
}

QTEST_APPLESS_MAIN(TestFormulaTexts)
#include "tst_formula_texts.moc"
