// Classification through the Symbols rows, and TEST records written and rewritten through the
// repository, on a fresh data directory per test, on the table file and on the server.
#include "scoring/Calc_Records.h"

#include "StoreSupport.h"

using namespace Calc;

namespace {

const QString kExampleRun = QStringLiteral("135724681538264713457812"
                                           "264815372467381567285634");

// The stored fields of one TEST record.
QStringList fieldsOf(int testId) {
    const auto rows = TestSupport::selectRows(
        Main_DataModule->Main_Database(),
        QStringLiteral("select DB_ID, Men_ID, Date_Test, Time_Test, Note, Result_Test, Result_Profil, "
                       "Calc_Profil, Calc_ProfilNapr from TEST where Test_ID = :id"),
        {{QStringLiteral("id"), testId}});
    if (rows.isEmpty())
        return {};
    QStringList fields;
    for (const QVariant& v : rows[0])
        fields << v.toString();
    return fields;
}

QStringList expectedFields(int dbId, int menId, const QString& date, const QString& time, const QString& note,
                           const TTestRecord& r) {
    return {QString::number(dbId), QString::number(menId), date, time, note, r.Result_Test, r.Result_Profil,
            r.Calc_Profil,         r.Calc_ProfilNapr};
}

int testCount() {
    const QVariant n = TestSupport::selectValue(Main_DataModule->Main_Database(),
                                                QStringLiteral("select count(*) from TEST"));
    return n.isValid() ? n.toInt() : -1;
}

const TSymbols& symbols() { return Main_DataModule->Repo().references().symbols; }

// Stores `scored` as a new record, or over record `id`; returns the record's key.
int store(int id, int dbId, int menId, const QDate& date, const QTime& time, const QString& note,
          const TTestRecord& scored) {
    Data::Repository& repo = Main_DataModule->Repo();
    if (id == 0)
        return repo.insertTest(WithScores(Data::NewTestRecord(dbId, menId, date, time, note), scored));
    Data::TestRecord record = repo.test(id).value_or(Data::NewTestRecord(dbId, menId));
    record.id = id;
    record.date = date;
    record.time = time;
    record.note = note;
    repo.updateTest(WithScores(record, scored));
    return id;
}

} // namespace

class TestCalcRecords : public QObject {
    Q_OBJECT
private slots:
    void initTestCase_data() { TestSupport::addStoreRows(); }
    void init();
    void cleanup();
    void classifyWorkedExample();
    void classifyEveryPairLikeLocate();
    void classifyFollowsTheTable_data();
    void classifyFollowsTheTable();
    void writeAndRewrite();
    void notesStoredAsTyped_data();
    void notesStoredAsTyped();
    void refusedInputWritesNothing();

private:
    std::unique_ptr<TestSupport::TStoreFixture> m_store;
    TMain_DataModule* m_dm = nullptr;
};

void TestCalcRecords::init() {
    TestSupport::pinRussianLocale();
    QFETCH_GLOBAL(TestSupport::TStore, store);
    m_store = std::make_unique<TestSupport::TStoreFixture>(store);
    QVERIFY2(m_store->open(), qPrintable(m_store->error));
    m_dm = m_store->dm.get();
    for (const auto& [db, men] : {std::pair{2, 5}, {1, 1}, {1, 2}})
        TestSupport::ensureTestee(m_dm->Main_Database(), db, men);
}

void TestCalcRecords::cleanup() {
    m_dm = nullptr;
    m_store.reset();
}

void TestCalcRecords::classifyWorkedExample() {
    const QString profil = DeriveProfil(kExampleRun);
    // The outputs are appended to, not emptied.
    QString types = QStringLiteral("<");
    QString napr = QStringLiteral("<");
    ClassifyProfil(profil.left(16), symbols(), types, napr);
    QCOMPARE(types, QStringLiteral("<±-++±-0-"));
    QCOMPARE(napr, QStringLiteral("<00000000"));

    const TTestRecord record = ComposeRecord(kExampleRun, symbols());
    QCOMPARE(record.Calc_Profil, QStringLiteral("±-++±-0-+-+±00±-"));
    QCOMPARE(record.Calc_ProfilNapr, QStringLiteral("0000000000000000"));
}

// Every pair of digits, at every factor, gives what a select of the stored table gives; pairs of 0 to 6
// all have a row, others none, so any profile of digits 0 to 6 classifies into 16 characters.
void TestCalcRecords::classifyEveryPairLikeLocate() {
    for (int p = 0; p <= 9; ++p) {
        for (int n = 0; n <= 9; ++n) {
            const QString ps = QString::number(p);
            const QString ns = QString::number(n);
            const auto rows = TestSupport::selectRows(
                m_dm->Main_Database(),
                QStringLiteral("select Type_Reaction, Napr from Symbols where Posit_Select = :p and "
                               "Negat_Select = :n order by ID_Rec"),
                {{QStringLiteral("p"), ps}, {QStringLiteral("n"), ns}});
            QCOMPARE(!rows.isEmpty(), p <= 6 && n <= 6);
            QString types;
            QString intensities;
            ClassifyProfil(QString(8, ps[0]) + QString(8, ns[0]), symbols(), types, intensities);
            QCOMPARE(types, rows.isEmpty() ? QString() : rows[0][0].toString().repeated(8));
            QCOMPARE(intensities, rows.isEmpty() ? QString() : rows[0][1].toString().repeated(8));
        }
    }
}

// The first row in table order wins and a missing pair appends nothing.
void TestCalcRecords::classifyFollowsTheTable_data() {
    QTest::addColumn<TSymbols>("rows");
    QTest::addColumn<QString>("types");
    QTest::addColumn<QString>("napr");
    const Data::SymbolRow plus{QStringLiteral("+"), QStringLiteral("2"), QStringLiteral("2"),
                               QStringLiteral("3")};
    const Data::SymbolRow zero{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                               QStringLiteral("0")};
    const Data::SymbolRow pm{QStringLiteral("±"), QStringLiteral("2"), QStringLiteral("2"),
                             QStringLiteral("0")};
    QTest::newRow("first row wins") << TSymbols{pm, plus, zero} << QStringLiteral("±0000000")
                                    << QStringLiteral("00000000");
    QTest::newRow("other first row") << TSymbols{plus, pm, zero} << QStringLiteral("+0000000")
                                     << QStringLiteral("30000000");
    QTest::newRow("no row for 0 0") << TSymbols{plus} << QStringLiteral("+") << QStringLiteral("3");
}

void TestCalcRecords::classifyFollowsTheTable() {
    QFETCH(TSymbols, rows);
    QFETCH(QString, types);
    QFETCH(QString, napr);
    QString gotTypes;
    QString gotNapr;
    ClassifyProfil(QStringLiteral("2000000020000000"), rows, gotTypes, gotNapr);
    QCOMPARE(gotTypes, types);
    QCOMPARE(gotNapr, napr);
}

void TestCalcRecords::writeAndRewrite() {
    const TTestRecord run = ComposeRecord(kExampleRun, symbols());
    const int id = store(0, 2, 5, QDate(2026, 3, 14), QTime(9, 5, 7), QStringLiteral("первый"), run);
    QCOMPARE(fieldsOf(id), expectedFields(2, 5, QStringLiteral("2026-03-14"), QStringLiteral("09:05:07"),
                                          QStringLiteral("первый"), run));

    const TTestRecord profile = ComposeProfileRecord(QStringLiteral("6000000000000000"
                                                                    "0000000000000006"),
                                                     symbols());
    QVERIFY(profile.Result_Test.isEmpty());
    QCOMPARE(profile.Calc_Profil, QStringLiteral("+00000000000000-"));
    QCOMPARE(profile.Calc_ProfilNapr, QStringLiteral("3000000000000003"));
    store(id, 0, 0, QDate(2025, 12, 31), QTime(23, 59, 59), QStringLiteral("бланк"), profile);
    QCOMPARE(fieldsOf(id), expectedFields(2, 5, QStringLiteral("2025-12-31"), QStringLiteral("23:59:59"),
                                          QStringLiteral("бланк"), profile));
    QCOMPARE(testCount(), 1);

    // The test list reads the record back through the repository.
    const QVector<Data::TestRecord> tests = m_dm->Repo().testsOf(5);
    QCOMPARE(tests.size(), 1);
    QCOMPARE(tests[0].resultProfil, profile.Result_Profil);
    QCOMPARE(tests[0].resultTest, QString());
}

void TestCalcRecords::notesStoredAsTyped_data() {
    QTest::addColumn<QString>("note");
    QTest::newRow("apostrophe") << QStringLiteral("O'Brien");
    QTest::newRow("statement in a note") << QStringLiteral("'); delete from TEST; --");
    QTest::newRow("closing the update") << QStringLiteral("' where 1 = 1 or Note = '");
    QTest::newRow("quotes and placeholders") << QStringLiteral("'' \" \\' %s %d %1");
    const QString words = QStringLiteral("Тестируемый ёрзал, отвлекался; повторить через неделю. ");
    QTest::newRow("250 Cyrillic characters") << words.repeated(10).left(250);
}

void TestCalcRecords::notesStoredAsTyped() {
    QFETCH(QString, note);
    const TTestRecord record = ComposeRecord(kExampleRun, symbols());
    const int other = store(0, 1, 1, QDate(2026, 1, 1), QTime(8, 0), QStringLiteral("другой"), record);
    const QStringList otherFields = fieldsOf(other);

    const int id = store(0, 1, 2, QDate(2026, 1, 2), QTime(8, 0), note, record);
    QCOMPARE(fieldsOf(id).value(4), note);
    store(id, 0, 0, QDate(2026, 1, 3), QTime(9, 0), note + note.left(1), record);
    QCOMPARE(fieldsOf(id).value(4), note + note.left(1));

    QCOMPARE(testCount(), 2);
    QCOMPARE(fieldsOf(other), otherFields);
}

void TestCalcRecords::refusedInputWritesNothing() {
    QVERIFY_THROWS_EXCEPTION(EConvertError, ComposeRecord(kExampleRun.left(47) + u'9', symbols()));
    QVERIFY_THROWS_EXCEPTION(EConvertError, ComposeProfileRecord(QStringLiteral("1234"), symbols()));
    const TTestRecord record = ComposeRecord(kExampleRun, symbols());
    QVERIFY_THROWS_EXCEPTION(Data::EDatabaseError, store(0, 1, 1, QDate(), QTime(8, 0), {}, record));
    QCOMPARE(testCount(), 0);
    // Rewriting a record that is not there is an error, not a silent success.
    QVERIFY_THROWS_EXCEPTION(Data::EDatabaseError,
                             store(99, 0, 0, QDate(2026, 1, 1), QTime(8, 0), {}, record));
    QCOMPARE(testCount(), 0);
}

QTEST_GUILESS_MAIN(TestCalcRecords)
#include "tst_calc_records.moc"
