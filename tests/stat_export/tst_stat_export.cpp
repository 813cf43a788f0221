// The export for statistics: CSV files of the demo database and of awkward made-up testees, read back
// with Python's csv module, and the export window driven from the main menu.
#include "app/DemoData.h"
#include "app/MainFrm.h"
#include "app/StatExport.h"

#include "ResultsSupport.h"
#include "TestSupport.h"
#include "data/Statements.h"
#include "platform/Dialogs.h"
#include "results/Result_Frm.h"
#include "scoring/Calc_Records.h"
#include "widgets/DBGrid.h"
#include "widgets/StringGrid.h"

#include <QAction>
#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <cerrno>

namespace {

// Reads a CSV file with the system's Python: {"bom": <file starts with a UTF-8 byte-order mark>,
// "rows": [[field, ...], ...]}.
const char* kReader = R"(
import csv, json, sys
path, sep = sys.argv[1], sys.argv[2]
with open(path, 'rb') as f:
    bom = f.read(3) == b'\xef\xbb\xbf'
with open(path, encoding='utf-8-sig', newline='') as f:
    rows = list(csv.reader(f, delimiter=sep, strict=True))
json.dump({'bom': bom, 'rows': rows}, sys.stdout, ensure_ascii=True)
)";

struct TCsv {
    bool bom = false;
    QList<QStringList> rows;
};

TCsv readCsv(const QString& path, QChar separator) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QString::fromUtf8(kReader), path, QString(separator)});
    if (!python.waitForStarted(10000))
        qFatal("/usr/bin/python3 cannot be started (Debian package python3): %s",
               qPrintable(python.errorString()));
    python.waitForFinished(60000);
    if (python.exitCode() != 0)
        qFatal("the CSV reader failed: %s", python.readAllStandardError().constData());
    const QJsonObject result = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    TCsv csv;
    csv.bom = result.value(QStringLiteral("bom")).toBool();
    for (const QJsonValue& row : result.value(QStringLiteral("rows")).toArray()) {
        QStringList fields;
        for (const QJsonValue& field : row.toArray())
            fields << field.toString();
        csv.rows << fields;
    }
    return csv;
}

// Column positions of the file.
constexpr int kMenId = 0, kFio = 1, kGroup = 2, kSex = 3, kAge = 4, kTestId = 5, kDate = 6, kTime = 7,
              kNote = 8, kMode = 9, kResultTest = 10, kResultProfil = 11, kCounts = 12, kTypes = 44,
              kTkp = 76, kIndices = 84, kColumns = 102;

// A field as stored, without the apostrophe that keeps it text in a spreadsheet program.
QString unguarded(const QString& field) { return field.startsWith(QLatin1Char('\'')) ? field.mid(1) : field; }

} // namespace

class TestStatExport : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void formulaGuard_data();
    void formulaGuard();
    void separatorFollowsTheLocale_data();
    void separatorFollowsTheLocale();
    void demoDatabaseRoundTrips();
    void awkwardTextsRoundTrip_data();
    void awkwardTextsRoundTrip();
    void selectedTesteesOnly();
    void everyTextCellIsGuarded_data();
    void everyTextCellIsGuarded();
    void indicesEqualTheResultsWindow_data();
    void indicesEqualTheResultsWindow();
    void cancelledExportLeavesNoFile();
    void fullDiskIsAnErrorAndKeepsTheOldFile();
    void menuCommandWritesTheFile();

private:
    void sql(const QString& text);
    // One testee of database 1, the open one, with the one test `record`.
    void addOneTest(const Calc::TTestRecord& record);
    // Exports the open database (or the testees `menIds`) and reads the file back.
    TCsv exportAndRead(const QList<int>& menIds, QChar separator, bool latin = false);
    std::unique_ptr<TestSupport::ProgramDirFixture> m_dir;
    std::unique_ptr<TMain_DataModule> m_dm;
    std::unique_ptr<QTemporaryDir> m_out;
    QByteArray m_home;
};

// DB_ID of the demo database made by the test.
int demoDbId() {
    return TestSupport::selectValue(
               Main_DataModule->Main_Database(),
               QStringLiteral("select DB_ID from DB where DB_Name = 'Демонстрационная база'"))
        .toInt();
}

void TestStatExport::init() {
    TestSupport::pinRussianLocale();
    m_dir = std::make_unique<TestSupport::ProgramDirFixture>();
    m_dm = m_dir->createDataModule();
    QVERIFY(m_dm);
    TestSupport::ensureDatabase(m_dm->Main_Database(), 1);
    TestSupport::ensureDatabase(m_dm->Main_Database(), 2);
    m_out = std::make_unique<QTemporaryDir>();
    // The reports folder lies in a temporary home.
    m_home = qgetenv("HOME");
    qputenv("HOME", m_out->path().toUtf8());
}

void TestStatExport::cleanup() {
    qputenv("HOME", m_home);
    m_dm.reset();
    m_dir.reset();
    m_out.reset();
    TestSupport::pinRussianLocale();
}

void TestStatExport::sql(const QString& text) {
    QVERIFY(TestSupport::execBound(m_dm->Main_Database(), text));
}

void TestStatExport::addOneTest(const Calc::TTestRecord& record) {
    sql(QStringLiteral("insert into USER (DB_ID, FIO, Sex, Age, Group_ID, IsDel) values (1, 'Иванов', 'М', "
                       "30, 0, '')"));
    TestSupport::insertTest(1, 1, QDate(2025, 1, 1), QTime(9, 0), QString(), record);
    m_dm->Current_DB_ID = 1;
}

TCsv TestStatExport::exportAndRead(const QList<int>& menIds, QChar separator, bool latin) {
    const auto query = Stat::OpenStatQuery(m_dm->Current_DB_ID);
    const QString path = m_out->filePath(QStringLiteral("out.csv"));
    Stat::TCsvOptions options;
    options.Separator = separator;
    options.LatinHeaders = latin;
    if (!Stat::ExportStatistics(path, *query, Stat::SelectRows(*query, menIds), options, nullptr))
        qFatal("the export stopped without a cancel");
    return readCsv(path, separator);
}

void TestStatExport::formulaGuard_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("guarded");
    QTest::newRow("equals") << "=1+2"
                            << "'=1+2";
    QTest::newRow("plus") << "+7 999"
                          << "'+7 999";
    QTest::newRow("minus") << "-!!"
                           << "'-!!";
    QTest::newRow("at") << "@SUM(A1)"
                        << "'@SUM(A1)";
    QTest::newRow("tab") << "\t=1"
                         << "'\t=1";
    QTest::newRow("carriage return") << "\r1"
                                     << "'\r1";
    QTest::newRow("inside is harmless") << "a=b"
                                        << "a=b";
    QTest::newRow("apostrophe already") << "'=x"
                                        << "'=x";
    QTest::newRow("empty") << ""
                           << "";
}

void TestStatExport::formulaGuard() {
    QFETCH(QString, text);
    QFETCH(QString, guarded);
    QCOMPARE(Stat::GuardFormula(text), guarded);
}

void TestStatExport::separatorFollowsTheLocale_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("separator");
    QTest::newRow("Russian: decimal comma") << QLocale(QLocale::Russian, QLocale::Russia) << ";";
    QTest::newRow("German: decimal comma") << QLocale(QLocale::German, QLocale::Germany) << ";";
    QTest::newRow("English: decimal point") << QLocale(QLocale::English, QLocale::UnitedStates) << ",";
    QTest::newRow("C") << QLocale::c() << ",";
}

void TestStatExport::separatorFollowsTheLocale() {
    QFETCH(QLocale, locale);
    QFETCH(QString, separator);
    QCOMPARE(QString(Stat::LocaleSeparator(locale)), separator);
}

void TestStatExport::demoDatabaseRoundTrips() {
    Demo::CreateDemoDatabase(*m_dm);
    m_dm->Current_DB_ID = demoDbId();
    const int tests = TestSupport::selectValue(m_dm->Main_Database(),
                                               QStringLiteral("select count(*) from TEST where DB_ID = :db"),
                                               {{QStringLiteral("db"), m_dm->Current_DB_ID}})
                          .toInt();
    QVERIFY(tests > 0);

    const TCsv csv = exportAndRead({}, QLatin1Char(';'));
    QVERIFY(csv.bom);
    QCOMPARE(csv.rows.size(), tests + 1);
    QCOMPARE(csv.rows[0], Stat::HeaderNames(false));
    QCOMPARE(csv.rows[0].size(), kColumns);
    QCOMPARE(csv.rows[0][kCounts], QStringLiteral("ППП+ h"));
    QCOMPARE(csv.rows[0][kTkp + 7], QStringLiteral("ТКП m"));
    for (int r = 1; r < csv.rows.size(); ++r) {
        const QStringList& row = csv.rows[r];
        QCOMPARE(row.size(), kColumns);
        // The 32 counts are the digits of Result_Profil, and derive from the choices where there are any;
        // both strings are marked as text.
        QVERIFY(row[kResultProfil].startsWith(QLatin1Char('\'')));
        const QString profil = unguarded(row[kResultProfil]);
        QCOMPARE(profil.size(), 32);
        for (int i = 0; i < 32; ++i)
            QCOMPARE(row[kCounts + i], QString(profil[i]));
        if (!row[kResultTest].isEmpty()) {
            QCOMPARE(row[kMode], QStringLiteral("тест"));
            QCOMPARE(row[kResultTest].size(), 49);
            QCOMPARE(TestSupport::compose(unguarded(row[kResultTest])).Result_Profil, profil);
        } else {
            QCOMPARE(row[kMode], QStringLiteral("профиль"));
        }
        QVERIFY(QDate::fromString(row[kDate], Qt::ISODate).isValid());
        QVERIFY(QTime::fromString(row[kTime], Qt::ISODate).isValid());
        QVERIFY(row[kSex] == QStringLiteral("М") || row[kSex] == QStringLiteral("Ж"));
        // ТКП: the ППП reaction inverted, with its marks.
        for (int f = 0; f < 8; ++f) {
            const QString type = unguarded(row[kTypes + f]);
            const int marks = row[kTypes + 8 + f].toInt();
            const QString inverted = type == QStringLiteral("+")   ? QStringLiteral("-")
                                     : type == QStringLiteral("-") ? QStringLiteral("+")
                                     : type == QStringLiteral("0") ? QStringLiteral("±")
                                                                   : QStringLiteral("0");
            QCOMPARE(unguarded(row[kTkp + f]), inverted + QString(marks, QLatin1Char('!')));
        }
    }
}

void TestStatExport::awkwardTextsRoundTrip_data() {
    QTest::addColumn<QString>("fio");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("note");
    QTest::addColumn<QString>("separator");
    QTest::newRow("quotes and semicolons") << "Иванов \"Ваня\"; мл."
                                           << "Группа; А"
                                           << "сказал \"да\"; потом"
                                           << ";";
    QTest::newRow("quotes alone") << "\"Ваня\" Иванов"
                                  << "Группа \"А\""
                                  << "сказал \"да\""
                                  << ";";
    QTest::newRow("line breaks") << "Пётр\nПетров"
                                 << "Первая\r\nгруппа"
                                 << "строка 1\nстрока 2\r\n"
                                 << ";";
    QTest::newRow("formulas in free text") << "=HYPERLINK(\"x\")"
                                           << "+группа"
                                           << "-2+3"
                                           << ";";
    QTest::newRow("at sign and commas") << "@Ёлкина, Мария"
                                        << "-"
                                        << "=1,5"
                                        << ",";
    QTest::newRow("empty free text") << "Щукин"
                                     << ""
                                     << ""
                                     << ",";
}

void TestStatExport::awkwardTextsRoundTrip() {
    QFETCH(QString, fio);
    QFETCH(QString, group);
    QFETCH(QString, note);
    QFETCH(QString, separator);
    qint64 groupId = 0;
    qint64 menId = 0;
    QVERIFY(TestSupport::execBound(m_dm->Main_Database(),
                                   QStringLiteral("insert into \"GROUP\" (Group_Name) values (:name)"),
                                   {{QStringLiteral("name"), group}}, &groupId));
    QVERIFY(TestSupport::execBound(
        m_dm->Main_Database(),
        QStringLiteral(
            "insert into USER (DB_ID, FIO, Sex, Age, Group_ID, IsDel) values (1, :fio, 'Ж', NULL, :g, '')"),
        {{QStringLiteral("fio"), fio}, {QStringLiteral("g"), groupId}}, &menId));
    // A test from choices, and one entered as a profile whose ТКП cells begin with "-" and "+".
    const Calc::TTestRecord run =
        TestSupport::compose(QStringLiteral("135724681538264713457812264815372467381567285634"));
    TestSupport::insertTest(1, menId, QDate(2025, 12, 31), QTime(23, 59, 58), note, run);
    TestSupport::insertTest(1, menId, QDate(2026, 1, 2), QTime(8, 5, 0), note,
                            Calc::TTestRecord{QString(), QStringLiteral("60006000000000000000000000000000"),
                                              QStringLiteral("+0-±+0-±+0-±+0-±"),
                                              QStringLiteral("2013201320132013")});
    m_dm->Current_DB_ID = 1;

    const TCsv csv = exportAndRead({}, separator[0]);
    QCOMPARE(csv.rows.size(), 3);
    const QString guardedFio = QStringLiteral("=+-@").contains(fio.front()) ? QLatin1Char('\'') + fio : fio;
    const QString guardedGroup = !group.isEmpty() && QStringLiteral("=+-@").contains(group.front())
                                     ? QLatin1Char('\'') + group
                                     : group;
    const QString guardedNote =
        !note.isEmpty() && QStringLiteral("=+-@").contains(note.front()) ? QLatin1Char('\'') + note : note;
    for (int r = 1; r <= 2; ++r) {
        const QStringList& row = csv.rows[r];
        QCOMPARE(row.size(), kColumns);
        QCOMPARE(row[kFio], guardedFio);
        QCOMPARE(row[kGroup], guardedGroup);
        QCOMPARE(row[kNote], guardedNote);
        QCOMPARE(row[kSex], QStringLiteral("Ж"));
        QCOMPARE(row[kAge], QString());
    }
    const QStringList& choices = csv.rows[1];
    QCOMPARE(choices[kDate], QStringLiteral("2025-12-31"));
    QCOMPARE(choices[kTime], QStringLiteral("23:59:58"));
    QCOMPARE(choices[kResultTest], QLatin1Char('\'') + run.Result_Test);
    QCOMPARE(choices[kResultProfil], QLatin1Char('\'') + run.Result_Profil);
    const QStringList& profile = csv.rows[2];
    QCOMPARE(profile[kMode], QStringLiteral("профиль"));
    QCOMPARE(profile[kResultTest], QString());
    QCOMPARE(profile[kCounts], QStringLiteral("6"));
    QCOMPARE(profile[kCounts + 4], QStringLiteral("6"));
    // Coded fields are guarded like free text where they begin with a sign.
    QCOMPARE(profile.mid(kTypes, 8).join(QLatin1Char(' ')), QStringLiteral("'+ 0 '- ± '+ 0 '- ±"));
    QCOMPARE(profile.mid(kTypes + 8, 8).join(QString()), QStringLiteral("20132013"));
    QCOMPARE(profile.mid(kTkp, 8).join(QLatin1Char(' ')), QStringLiteral("'-!! ± '+! 0!!! '-!! ± '+! 0!!!"));
}

void TestStatExport::selectedTesteesOnly() {
    sql(QStringLiteral(
        "insert into USER (DB_ID, FIO, Sex, Age, Group_ID, IsDel) values "
        "(1, 'Бета', 'М', 30, 0, ''), (1, 'Альфа', 'Ж', 40, 0, ''), (1, 'Гамма', 'М', 50, 0, ''), "
        "(1, 'Удалённый', 'М', 60, 0, ''), (2, 'Чужой', 'М', 20, 0, '')"));
    const Calc::TTestRecord run =
        TestSupport::compose(QStringLiteral("135724681538264713457812264815372467381567285634"));
    for (int men = 1; men <= 5; ++men)
        TestSupport::insertTest(men == 5 ? 2 : 1, men, QDate(2025, 1, men), QTime(9, 0), QString(), run);
    TestSupport::insertTest(1, 1, QDate(2024, 1, 1), QTime(9, 0), QString(), run);
    // Deleted after his test was written: his test stays in TEST.
    sql(QStringLiteral("update USER set IsDel = 'D' where FIO = 'Удалённый'"));
    m_dm->Current_DB_ID = 1;

    // All: by name, each testee's tests oldest first (by record); deleted and other databases' left out.
    TCsv csv = exportAndRead({}, QLatin1Char(';'), true);
    QCOMPARE(csv.rows[0], Stat::HeaderNames(true));
    QCOMPARE(csv.rows[0][kCounts + 8], QStringLiteral("PPP_minus_h"));
    // Each row carries the keys of its testee and record.
    QStringList names;
    for (int r = 1; r < csv.rows.size(); ++r)
        names << csv.rows[r][kMenId] + QLatin1Char('/') + csv.rows[r][kTestId] + QLatin1Char(' ') +
                     csv.rows[r][kFio] + QLatin1Char(' ') + csv.rows[r][kDate];
    QCOMPARE(names, (QStringList{"2/2 Альфа 2025-01-02", "1/1 Бета 2025-01-01", "1/6 Бета 2024-01-01",
                                 "3/3 Гамма 2025-01-03"}));

    csv = exportAndRead({3, 1}, QLatin1Char(';'));
    names.clear();
    for (int r = 1; r < csv.rows.size(); ++r)
        names << csv.rows[r][kFio];
    QCOMPARE(names, (QStringList{"Бета", "Бета", "Гамма"}));
}

// A value of any column that a spreadsheet program would take for a formula is guarded, whatever the
// column: a tampered table file cannot smuggle one in.
void TestStatExport::everyTextCellIsGuarded_data() {
    QTest::addColumn<QString>("tamper");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("field");
    QTest::newRow("sex") << "update USER set Sex = '=1+1'" << kSex << "'=1+1";
    QTest::newRow("age") << "update USER set Age = '@1'" << kAge << "'@1";
    QTest::newRow("time") << "update TEST set Time_Test = '@x'" << kTime << "'@x";
    QTest::newRow("record string") << "update TEST set Result_Test = '=2'" << kResultTest << "'=2";
    QTest::newRow("reaction") << "update TEST set Calc_Profil = '+0-±+0-±+0-±+0-±'" << kTypes << "'+";
}

void TestStatExport::everyTextCellIsGuarded() {
    QFETCH(QString, tamper);
    QFETCH(int, column);
    QFETCH(QString, field);
    addOneTest(TestSupport::compose(QStringLiteral("135724681538264713457812264815372467381567285634")));
    sql(tamper);
    const TCsv csv = exportAndRead({}, QLatin1Char(';'));
    QCOMPARE(csv.rows.size(), 2);
    QCOMPARE(csv.rows[1].value(column), field);
}

// The indices of a record are those of the results window showing that one record.
void TestStatExport::indicesEqualTheResultsWindow_data() {
    QTest::addColumn<QString>("types");
    QTest::addColumn<QString>("marks");
    QTest::newRow("from choices") << QString() << QString();
    QTest::newRow("every reaction") << "0±+-0±+-±0-+±0-+"
                                    << "0123012332103210";
    QTest::newRow("no ambivalents") << "0+-00+-0+-+-0++0"
                                    << "1000200030001000";
}

void TestStatExport::indicesEqualTheResultsWindow() {
    QFETCH(QString, types);
    QFETCH(QString, marks);
    addOneTest(types.isEmpty()
                   ? TestSupport::compose(QStringLiteral("135724681538264713457812264815372467381567285634"))
                   : Calc::TTestRecord{QString(), QString(32, u'2'), types, marks});
    const TCsv csv = exportAndRead({}, QLatin1Char(';'));
    QCOMPARE(csv.rows[0][kIndices], QStringLiteral("ППП Sum 0"));
    const QStringList& row = csv.rows.value(1);
    QCOMPARE(row.size(), kColumns);

    TResult_Form form;
    form.LoadResults(TestSupport::resultsOf(1));
    form.BuildTableTabs();
    const Widgets::TStringGrid* footers[] = {form.PPP_FooterGrid, form.EKP_FooterGrid, form.TKP_FooterGrid};
    for (int b = 0; b < 3; ++b) {
        const QStringList got = row.mid(kIndices + 6 * b, 6);
        const Widgets::TStringGrid& footer = *footers[b];
        const QStringList shown = {footer.Cell(9, 0), footer.Cell(10, 1), footer.Cell(11, 2),
                                   footer.Cell(9, 3), footer.Cell(12, 0), footer.Cell(12, 2)};
        QCOMPARE(QStringList({got[0], got[1], got[2], QStringLiteral("Sum! = ") + got[3],
                              QStringLiteral("TspQu=") + got[4], QStringLiteral("Sy%=") + got[5]}),
                 shown);
    }
}

void TestStatExport::cancelledExportLeavesNoFile() {
    sql(QStringLiteral("insert into USER (DB_ID, FIO, Sex, Age, Group_ID, IsDel) values (1, 'Многотестов', "
                       "'М', 30, 0, '')"));
    const Calc::TTestRecord run =
        TestSupport::compose(QStringLiteral("135724681538264713457812264815372467381567285634"));
    Data::TTransaction transaction(m_dm->Main_Database());
    for (int i = 0; i < Stat::kProgressMinRows + 500; ++i)
        TestSupport::insertTest(1, 1, QDate(2025, 1, 1), QTime(10, 0), QString(), run);
    transaction.Commit();
    m_dm->Current_DB_ID = 1;
    const auto query = Stat::OpenStatQuery(1);
    const QVector<int> rows = Stat::SelectRows(*query, {});
    const QString path = m_out->filePath(QStringLiteral("big.csv"));
    const QString existing = m_out->filePath(QStringLiteral("old.csv"));
    QFile old(existing);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();

    // The progress window's "Отмена" as soon as it shows.
    QTimer canceller;
    bool shown = false;
    connect(&canceller, &QTimer::timeout, this, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* progress = qobject_cast<QProgressDialog*>(w); progress && progress->isVisible()) {
                shown = true;
                QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
            }
    });
    canceller.start(1);
    QVERIFY(!Stat::ExportStatistics(path, *query, rows, Stat::TCsvOptions{}, nullptr));
    QVERIFY(shown);
    QVERIFY(!QFile::exists(path));
    // Over an existing file: it stays as it was.
    shown = false;
    QVERIFY(!Stat::ExportStatistics(existing, *query, rows, Stat::TCsvOptions{}, nullptr));
    QVERIFY(shown);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old"));
    canceller.stop();
    // Not cancelled: every row is there.
    QVERIFY(Stat::ExportStatistics(path, *query, rows, Stat::TCsvOptions{}, nullptr));
    QCOMPARE(readCsv(path, QLatin1Char(';')).rows.size(), rows.size() + 1);
    // A file that cannot be made is an error, not a success.
    QVERIFY_THROWS_EXCEPTION(Platform::EError,
                             Stat::ExportStatistics(m_out->filePath(QStringLiteral("no/x.csv")), *query, rows,
                                                    Stat::TCsvOptions{}, nullptr));
}

void TestStatExport::fullDiskIsAnErrorAndKeepsTheOldFile() {
    // The whole demo database is a few kilobytes: it stays in the file buffer until the file is named.
    Demo::CreateDemoDatabase(*m_dm);
    m_dm->Current_DB_ID = demoDbId();
    const auto query = Stat::OpenStatQuery(m_dm->Current_DB_ID);
    const QString path = m_out->filePath(QStringLiteral("out.csv"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    QString message;
    {
        const TestSupport::TFileSizeLimit limit(1024);
        try {
            Stat::ExportStatistics(path, *query, Stat::SelectRows(*query, {}), Stat::TCsvOptions{}, nullptr);
        } catch (const Platform::EError& e) {
            message = e.message();
        }
    }
    QVERIFY2(message.endsWith(qt_error_string(EFBIG)), qPrintable(message));
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old"));
}

void TestStatExport::menuCommandWritesTheFile() {
    Demo::CreateDemoDatabase(*m_dm);
    m_dm->Current_DB_ID = demoDbId();
    TMain_Form main;
    main.show();
    QCOMPARE(main.StatExport->text(), QStringLiteral("Экспорт для статистики..."));
    QMenu* dbMenu = main.menuBar()->actions().value(0)->menu();
    QVERIFY(dbMenu && dbMenu->actions().contains(main.StatExport));

    // Two testees selected: the window offers their tests only.
    main.Data_Grid->selectRow(0);
    main.Data_Grid->selectionModel()->select(main.Data_Grid->model()->index(1, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QString path = m_out->filePath(QStringLiteral("stat.csv"));
    const auto previous = Platform::setSaveFileHandler([&](const QString&, const QString& proposed) {
        return proposed.contains(QStringLiteral("Статистика")) ? path : QString();
    });
    Platform::MessageRecorder recorder;
    int offered = -1;
    QTimer::singleShot(0, this, [&] {
        auto* form = qobject_cast<TStatExport_Form*>(QApplication::activeModalWidget());
        if (!form)
            return;
        offered = form->RowCount();
        QVERIFY(form->Info_Label->text().startsWith(
            QStringLiteral("Тестирования выбранных тестируемых (2): %1.").arg(offered)));
        form->Latin_CheckBox->setChecked(true);
        // With REPORT_KEEP=<folder> in the environment a picture of the window and the file are kept there.
        if (!qEnvironmentVariableIsEmpty("REPORT_KEEP"))
            form->grab().save(qEnvironmentVariable("REPORT_KEEP") + QStringLiteral("/stat_export.png"));
        QTest::mouseClick(form->Save_But, Qt::LeftButton);
    });
    main.StatExport->trigger();
    Platform::setSaveFileHandler(previous);

    if (!qEnvironmentVariableIsEmpty("REPORT_KEEP"))
        QFile::copy(path, qEnvironmentVariable("REPORT_KEEP") + QStringLiteral("/stat.csv"));
    const TCsv csv = readCsv(path, QLatin1Char(';'));
    QCOMPARE(csv.rows.size() - 1, offered);
    QVERIFY(offered > 0);
    QCOMPARE(csv.rows[0].value(kFio), QStringLiteral("FIO"));
    QCOMPARE(recorder.messages.size(), 1);
    QVERIFY(recorder.messages[0].text.contains(QString::number(offered)));
}

QTEST_MAIN(TestStatExport)
#include "tst_stat_export.moc"
