// Classification through the Symbols table and TEST records written and rewritten through the data
// module, on a fresh data directory per test, on the table file and on the server.
#include "scoring/Calc_Records.h"

#include "StoreSupport.h"

using namespace Calc;

namespace {

const QString kExampleRun = QStringLiteral("135724681538264713457812"
                                           "264815372467381567285634");

// The stored fields of one TEST record.
QStringList fieldsOf(int testId) {
    const auto rows = TestSupport::selectRows(
        Main_DataModule->Connection(),
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
    const QVariant n =
        TestSupport::selectValue(Main_DataModule->Connection(), QStringLiteral("select count(*) from TEST"));
    return n.isValid() ? n.toInt() : -1;
}

int lastTestId() {
    const QVariant n = TestSupport::selectValue(Main_DataModule->Connection(),
                                                QStringLiteral("select max(Test_ID) from TEST"));
    return n.isValid() ? n.toInt() : -1;
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
        TestSupport::ensureTestee(m_dm->Connection(), db, men);
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
    ClassifyProfil(profil.left(16), types, napr);
    QCOMPARE(types, QStringLiteral("<±-++±-0-"));
    QCOMPARE(napr, QStringLiteral("<00000000"));
    QVERIFY(m_dm->Symbols_Table->Active());

    const TTestRecord record = ComposeRecord(kExampleRun);
    QCOMPARE(record.Calc_Profil, QStringLiteral("±-++±-0-+-+±00±-"));
    QCOMPARE(record.Calc_ProfilNapr, QStringLiteral("0000000000000000"));
}

// Every pair of digits, at every factor, gives what a locate of the table gives; pairs of 0 to 6 all
// have a row, others none, so any profile of digits 0 to 6 classifies into 16 characters.
void TestCalcRecords::classifyEveryPairLikeLocate() {
    Data::TTable& symbols = *m_dm->Symbols_Table;
    symbols.Open();
    for (int p = 0; p <= 9; ++p) {
        for (int n = 0; n <= 9; ++n) {
            const QString ps = QString::number(p);
            const QString ns = QString::number(n);
            QString type;
            QString napr;
            const bool found = symbols.Locate(QStringLiteral("Posit_Select;Negat_Select"), {ps, ns});
            if (found) {
                type = symbols.FieldByName(QStringLiteral("Type_Reaction")).AsString();
                napr = symbols.FieldByName(QStringLiteral("Napr")).AsString();
            }
            QCOMPARE(found, p <= 6 && n <= 6);
            QString types;
            QString intensities;
            ClassifyProfil(QString(8, ps[0]) + QString(8, ns[0]), types, intensities);
            QCOMPARE(types, type.repeated(8));
            QCOMPARE(intensities, napr.repeated(8));
        }
    }
}

// The first row in table order wins, a missing pair appends nothing, and edits of the table are seen.
void TestCalcRecords::classifyFollowsTheTable() {
    const QString half = QStringLiteral("20000000"
                                        "20000000");
    QString types;
    QString napr;
    ClassifyProfil(half, types, napr);
    QCOMPARE(types, QStringLiteral("±0000000"));

    Data::TTable& symbols = *m_dm->Symbols_Table;
    symbols.Append();
    symbols.FieldByName(QStringLiteral("Type_Reaction")).SetAsString(QStringLiteral("+"));
    symbols.FieldByName(QStringLiteral("Posit_Select")).SetAsString(QStringLiteral("2"));
    symbols.FieldByName(QStringLiteral("Negat_Select")).SetAsString(QStringLiteral("2"));
    symbols.FieldByName(QStringLiteral("Napr")).SetAsString(QStringLiteral("3"));
    symbols.Post();
    types.clear();
    napr.clear();
    ClassifyProfil(half, types, napr);
    QCOMPARE(types, QStringLiteral("±0000000"));

    QVERIFY(symbols.Locate(QStringLiteral("ID_Rec"), 17));
    symbols.Delete();
    types.clear();
    napr.clear();
    ClassifyProfil(half, types, napr);
    QCOMPARE(types, QStringLiteral("+0000000"));
    QCOMPARE(napr, QStringLiteral("30000000"));

    // Without a row for (0, 0) only the first factor is classified.
    while (symbols.Locate(QStringLiteral("Posit_Select;Negat_Select"),
                          {QStringLiteral("0"), QStringLiteral("0")}))
        symbols.Delete();
    types.clear();
    napr.clear();
    ClassifyProfil(half, types, napr);
    QCOMPARE(types, QStringLiteral("+"));
    QCOMPARE(napr, QStringLiteral("3"));
}

void TestCalcRecords::writeAndRewrite() {
    const TTestRecord run = ComposeRecord(kExampleRun);
    InsertTestRecord(2, 5, QDate(2026, 3, 14), QTime(9, 5, 7), QStringLiteral("первый"), run);
    const int id = lastTestId();
    QCOMPARE(fieldsOf(id), expectedFields(2, 5, QStringLiteral("2026-03-14"), QStringLiteral("09:05:07"),
                                          QStringLiteral("первый"), run));

    const TTestRecord profile = ComposeProfileRecord(QStringLiteral("6000000000000000"
                                                                    "0000000000000006"));
    QVERIFY(profile.Result_Test.isEmpty());
    QCOMPARE(profile.Calc_Profil, QStringLiteral("+00000000000000-"));
    QCOMPARE(profile.Calc_ProfilNapr, QStringLiteral("3000000000000003"));
    UpdateTestRecord(id, QDate(2025, 12, 31), QTime(23, 59, 59), QStringLiteral("бланк"), profile);
    QCOMPARE(fieldsOf(id), expectedFields(2, 5, QStringLiteral("2025-12-31"), QStringLiteral("23:59:59"),
                                          QStringLiteral("бланк"), profile));
    QCOMPARE(testCount(), 1);

    // The test list reads the record back through its query.
    m_dm->ListTest_Query->SetParam(QStringLiteral("Men_ID"), 5);
    m_dm->ListTest_Query->Open();
    QCOMPARE(m_dm->ListTest_Query->FieldByName(QStringLiteral("Result_Profil")).AsString(),
             profile.Result_Profil);
    QCOMPARE(m_dm->ListTest_Query->FieldByName(QStringLiteral("Result_Test")).AsString(), QString());
    m_dm->ListTest_Query->Close();
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
    const TTestRecord record = ComposeRecord(kExampleRun);
    InsertTestRecord(1, 1, QDate(2026, 1, 1), QTime(8, 0), QStringLiteral("другой"), record);
    const int other = lastTestId();
    const QStringList otherFields = fieldsOf(other);

    InsertTestRecord(1, 2, QDate(2026, 1, 2), QTime(8, 0), note, record);
    const int id = lastTestId();
    QCOMPARE(fieldsOf(id).value(4), note);
    UpdateTestRecord(id, QDate(2026, 1, 3), QTime(9, 0), note + note.left(1), record);
    QCOMPARE(fieldsOf(id).value(4), note + note.left(1));

    QCOMPARE(testCount(), 2);
    QCOMPARE(fieldsOf(other), otherFields);
}

void TestCalcRecords::refusedInputWritesNothing() {
    QVERIFY_THROWS_EXCEPTION(EConvertError, ComposeRecord(kExampleRun.left(47) + u'9'));
    QVERIFY_THROWS_EXCEPTION(EConvertError, ComposeProfileRecord(QStringLiteral("1234")));
    const TTestRecord record = ComposeRecord(kExampleRun);
    QVERIFY_THROWS_EXCEPTION(Data::EDatabaseError, InsertTestRecord(1, 1, QDate(), QTime(8, 0), {}, record));
    QCOMPARE(testCount(), 0);
    // Rewriting a record that is not there is an error, not a silent success.
    QVERIFY_THROWS_EXCEPTION(Data::EDatabaseError,
                             UpdateTestRecord(99, QDate(2026, 1, 1), QTime(8, 0), {}, record));
    QCOMPARE(testCount(), 0);
}

QTEST_GUILESS_MAIN(TestCalcRecords)
#include "tst_calc_records.moc"
