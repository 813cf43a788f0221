// The pure scoring operations: the worked example, properties of random complete runs, refused input and
// the statement texts.
#include "scoring/Calc_Unit.h"

#include "RandomRuns.h"

#include <QTest>

using namespace Calc;

namespace {

// The worked example: first pass, second pass, and the counts read row by row.
const QString kExamplePass1 = QStringLiteral("135724681538264713457812");
const QString kExamplePass2 = QStringLiteral("264815372467381567285634");
const QString kExampleProfil = QStringLiteral("21222111"
                                              "22102302"
                                              "21221121"
                                              "02121132");

struct Counts {
    std::array<int, 8> plus{};
    std::array<int, 8> minus{};
};

Counts countsOf(const QString& half) {
    Counts c;
    for (int f = 0; f < 8; ++f) {
        c.plus[f] = half[f].digitValue();
        c.minus[f] = half[8 + f].digitValue();
    }
    return c;
}

int factorOf(QChar code) {
    return int(std::find(FactorCodes.begin(), FactorCodes.end(), QString(code)) - FactorCodes.begin());
}

} // namespace

class TestCalcUnit : public QObject {
    Q_OBJECT
private slots:
    void workedExample_data();
    void workedExample();
    void workedExampleWhole();
    void portraitKeyShowsEveryFactorOncePerSeries();
    void randomRuns_data();
    void randomRuns();
    void countOfNineFits();
    void badInput_data();
    void badInput();
};

void TestCalcUnit::workedExample_data() {
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("codes");
    QTest::addColumn<QString>("half");
    QTest::newRow("first pass") << kExamplePass1 << QStringLiteral("kphmmhpkhkspyskeeypsdemh")
                                << kExampleProfil.left(16);
    QTest::newRow("second pass") << kExamplePass2 << QStringLiteral("sedyydesemdydhpmkhdmpyks")
                                 << kExampleProfil.mid(16);
}

void TestCalcUnit::workedExample() {
    QFETCH(QString, digits);
    QFETCH(QString, codes);
    QFETCH(QString, half);
    QCOMPARE(PortraitsToFactors(digits), codes);
    QCOMPARE(CountProfil(codes), half);
}

void TestCalcUnit::workedExampleWhole() {
    QCOMPARE(DeriveProfil(kExamplePass1 + kExamplePass2), kExampleProfil);
}

void TestCalcUnit::portraitKeyShowsEveryFactorOncePerSeries() {
    for (int s = 0; s < kSeriesCount; ++s) {
        QString column;
        for (int n = 0; n < kPortraitsPerSeries; ++n)
            column += QChar(PortraitKey[n * kSeriesCount + s]);
        std::sort(column.begin(), column.end());
        QCOMPARE(column, QStringLiteral("dehkmpsy"));
    }
}

void TestCalcUnit::randomRuns_data() {
    QTest::addColumn<QString>("run");
    QRandomGenerator random(20261209);
    for (int i = 0; i < 200; ++i)
        QTest::addRow("run %d", i) << TestSupport::RandomRun(random);
}

void TestCalcUnit::randomRuns() {
    QFETCH(QString, run);
    const QString profil = DeriveProfil(run);
    QCOMPARE(profil.size(), kResultProfilLength);
    for (int pass = 0; pass < 2; ++pass) {
        const QString half = profil.mid(pass * 16, 16);
        QCOMPARE(half.size(), kHalfProfilLength);
        const Counts c = countsOf(half);
        QCOMPARE(std::accumulate(c.plus.begin(), c.plus.end(), 0), 12);
        QCOMPARE(std::accumulate(c.minus.begin(), c.minus.end(), 0), 12);
        for (int f = 0; f < 8; ++f)
            QVERIFY2(c.plus[f] + c.minus[f] <= 6, qPrintable(half));
    }

    // The order of the two digits of a pair changes nothing.
    QString swapped = run;
    for (int i = 0; i < run.size(); i += 2)
        std::swap(swapped[i], swapped[i + 1]);
    QCOMPARE(DeriveProfil(swapped), profil);

    // The slot decides the sign: exchanging the two pairs of a series moves their factors between plus
    // and minus, whichever portraits they are.
    const int series = int(qHash(run) % kSeriesCount);
    const int at = series * kSlotsPerSeries;
    QString exchanged = run;
    for (int k = 0; k < 2; ++k)
        std::swap(exchanged[at + k], exchanged[at + 2 + k]);
    const Counts before = countsOf(profil.left(16));
    const Counts after = countsOf(DeriveProfil(exchanged).left(16));
    Counts expected = before;
    const QString codes = PortraitsToFactors(run);
    for (int k = 0; k < 4; ++k) {
        const int f = factorOf(codes[at + k]);
        (k < 2 ? expected.plus : expected.minus)[f] -= 1;
        (k < 2 ? expected.minus : expected.plus)[f] += 1;
    }
    QCOMPARE(after.plus, expected.plus);
    QCOMPARE(after.minus, expected.minus);
}

// A count of 9 is the largest that fits its one digit; 10 is refused (badInput).
void TestCalcUnit::countOfNineFits() {
    QCOMPARE(CountProfil(QStringLiteral("hhsyhhsyhhsyhhsyehsseeee")), QStringLiteral("9030000006240000"));
}

void TestCalcUnit::badInput_data() {
    QTest::addColumn<int>("operation"); // 0 PortraitsToFactors, 1 CountProfil, 2 DeriveProfil
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("named"); // what the message must name
    const QString run = kExamplePass1 + kExamplePass2;
    QTest::newRow("digit 0") << 0 << QString(kExamplePass1).replace(22, 1, u'0')
                             << QStringLiteral("позиции 23");
    QTest::newRow("digit 9") << 0 << QString(kExamplePass1).replace(0, 1, u'9')
                             << QStringLiteral("позиции 1");
    QTest::newRow("letter") << 0 << QString(kExamplePass1).replace(5, 1, u'a')
                            << QStringLiteral("«a» в позиции 6");
    QTest::newRow("short pass") << 0 << kExamplePass1.left(23) << QStringLiteral("получено 23");
    QTest::newRow("second pass names its place in the whole string")
        << 2 << QString(run).replace(29, 1, u'9') << QStringLiteral("позиции 30");
    QTest::newRow("space in second pass")
        << 2 << QString(run).replace(47, 1, u' ') << QStringLiteral("позиции 48");
    QTest::newRow("47 digits") << 2 << run.left(47) << QStringLiteral("содержит 47");
    QTest::newRow("49 digits") << 2 << run + u'1' << QStringLiteral("содержит 49");
    QTest::newRow("not a factor") << 1 << QStringLiteral("kphmmhxkhkspyskeeypsdemh")
                                  << QStringLiteral("«x» в позиции 7");
    QTest::newRow("capital letter") << 1 << QStringLiteral("Kphmmhpkhkspyskeeypsdemh")
                                    << QStringLiteral("позиции 1");
    QTest::newRow("short codes") << 1 << QStringLiteral("kphmmhpkhk") << QStringLiteral("получено 10");
    QTest::newRow("count of 10") << 1 << QStringLiteral("hhsshhsshhsshhsshhsseeee")
                                 << QStringLiteral("Фактор h выбран со знаком «+» 10 раз");
}

void TestCalcUnit::badInput() {
    QFETCH(int, operation);
    QFETCH(QString, input);
    QFETCH(QString, named);
    try {
        const QString result = operation == 0   ? PortraitsToFactors(input)
                               : operation == 1 ? CountProfil(input)
                                                : DeriveProfil(input);
        QFAIL(qPrintable(QStringLiteral("accepted, gave ") + result));
    } catch (const EConvertError& e) {
        QVERIFY2(e.message().contains(named), qPrintable(e.message()));
    }
}

QTEST_APPLESS_MAIN(TestCalcUnit)
#include "tst_calc_unit.moc"
