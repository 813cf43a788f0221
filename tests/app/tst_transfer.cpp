// "Перенести на сервер...": the local file's data copied into an empty server database — the demo data
// and a large generated file — with equal counts and checksums, the same lists on both stores afterwards,
// the local file unchanged, and a target that holds data refused with nothing written.
#include "StoreSupport.h"

#include "app/DemoData.h"
#include "data/Statements.h"
#include "data/Transfer.h"
#include "results/Result_Frm.h"
#include "widgets/StringGrid.h"

#include <QApplication>

#include <QtTest>

namespace {

const QStringList kTables = {QStringLiteral("DB"), QStringLiteral("\"group\""), QStringLiteral("\"user\""),
                             QStringLiteral("TEST")};

// A server connection of its own to the test case's database.
class TTarget {
public:
    explicit TTarget(const TestSupport::TServerDatabase& server) {
        Data::TConnectResult r;
        m_engine = Data::ConnectServer(server.settings(), QString(), r);
        ok = m_engine != nullptr;
        error = r.message;
    }
    Data::TEngine& db() const { return *m_engine; }
    bool ok = false;
    QString error;

private:
    std::unique_ptr<Data::TServerEngine> m_engine;
};

// Every row of the testee list and of every testee's test list, in the program's order.
QStringList listsOf(Data::TEngine& db) {
    QStringList lines;
    for (const auto& base :
         TestSupport::selectRows(db, QStringLiteral("select DB_ID from DB order by DB_ID"))) {
        const QVariantMap key{{QStringLiteral("DB_ID"), base[0]}};
        for (const auto& row : TestSupport::selectRows(
                 db, db.Text(Data::kMenQuerySQL) + QStringLiteral(" ORDER BY FIO, Men_ID"), key)) {
            QStringList cells;
            for (const QVariant& v : row)
                cells << v.toString();
            lines << cells.join(u'|');
            for (const auto& test : TestSupport::selectRows(db, db.Text(Data::kListTestQuerySQL),
                                                            {{QStringLiteral("Men_ID"), row[0]}})) {
                QStringList fields;
                for (const QVariant& v : test)
                    fields << v.toString();
                lines << QStringLiteral("  ") + fields.join(u'|');
            }
        }
    }
    return lines;
}

// The cells of the results window (tables and their footers) of every testee that has tests, through
// the data module of the store.
QStringList resultsOf(TMain_DataModule& dm) {
    QStringList cells;
    const auto testees = TestSupport::selectRows(
        dm.Main_Database(), QStringLiteral("select distinct Men_ID from TEST order by Men_ID"));
    for (const auto& men : testees) {
        TResult_Form form;
        form.LoadResults(
            Results::ComputeResults({}, dm.Repo().testsOf(men[0].toInt()), dm.Repo().references()));
        form.BuildTableTabs();
        for (const Widgets::TStringGrid* grid :
             {form.PPP_Grid, form.EKP_Grid, form.TKP_Grid, form.PPP_FooterGrid, form.EKP_FooterGrid,
              form.TKP_FooterGrid})
            for (int r = 0; r < grid->RowCount(); ++r)
                for (int c = 0; c < grid->ColCount(); ++c)
                    cells << grid->Cell(c, r);
    }
    return cells;
}

} // namespace

class TestTransfer : public QObject {
    Q_OBJECT

    std::unique_ptr<TestSupport::TServerDatabase> m_server;

    // Copies the file into a new server database (kept in `target` until the next case) and compares.
    void transferAndCompare(TestSupport::TStoreFixture& file, qint64 testees, qint64 tests,
                            TestSupport::TServerDatabase** kept = nullptr) {
        m_server = std::make_unique<TestSupport::TServerDatabase>();
        TestSupport::TServerDatabase& server = *m_server;
        if (kept)
            *kept = m_server.get();
        QVERIFY2(server.ok(), qPrintable(server.error()));
        TTarget target(server);
        QVERIFY2(target.ok, qPrintable(target.error));
        Data::TEngine& source = file.dm->Main_Database();
        QStringList before;
        for (const QString& table :
             {QStringLiteral("DB"), QStringLiteral("GROUP"), QStringLiteral("USER"), QStringLiteral("TEST")})
            before << QString::fromLatin1(Data::TableChecksum(source, table));

        const Data::TTransferReport report = Data::TransferToServer(source, target.db());
        QVERIFY2(report.ok(), qPrintable(report.Text()));
        QCOMPARE(report.tables.size() >= 4, true);
        for (const Data::TTransferCheck& t : report.tables)
            QVERIFY2(t.sourceRows == t.targetRows && !t.sourceSum.isEmpty(), qPrintable(t.table));
        // Counted again apart from the report.
        for (const QString& table : kTables) {
            const QString sql = QStringLiteral("select count(*) from ") + table;
            QCOMPARE(TestSupport::selectValue(target.db(), sql).toLongLong(),
                     TestSupport::selectValue(source, sql).toLongLong());
        }
        QCOMPARE(TestSupport::selectValue(target.db(), QStringLiteral("select count(*) from \"user\""))
                     .toLongLong(),
                 testees);
        QCOMPARE(
            TestSupport::selectValue(target.db(), QStringLiteral("select count(*) from TEST")).toLongLong(),
            tests);
        // The same lists in the same order on both stores.
        QCOMPARE(listsOf(target.db()), listsOf(source));
        // The counters go on past the copied keys.
        qint64 id = 0;
        QVERIFY(TestSupport::execBound(target.db(),
                                       QStringLiteral("insert into DB (DB_Name) values ('Новая')"), {}, &id));
        QCOMPARE(id,
                 TestSupport::selectValue(source, QStringLiteral("select max(DB_ID) from DB")).toLongLong() +
                     1);
        QVERIFY(TestSupport::execBound(target.db(), QStringLiteral("delete from DB where DB_ID = :id"),
                                       {{QStringLiteral("id"), id}}));
        // Also past the key of a group the file deleted, which testees may still hold.
        QVERIFY(TestSupport::execBound(
            target.db(), QStringLiteral("insert into \"group\" (Group_Name) values ('Новая')"), {}, &id));
        QCOMPARE(id, TestSupport::selectValue(
                         source, QStringLiteral("select seq from sqlite_sequence where name = 'GROUP'"))
                             .toLongLong() +
                         1);

        // A second transfer into the now filled database is refused and writes nothing.
        QVERIFY_THROWS_EXCEPTION(Data::EDatabaseError, Data::TransferToServer(source, target.db()));
        QCOMPARE(
            TestSupport::selectValue(target.db(), QStringLiteral("select count(*) from TEST")).toLongLong(),
            tests);
        // The local file was only read.
        QStringList after;
        for (const QString& table :
             {QStringLiteral("DB"), QStringLiteral("GROUP"), QStringLiteral("USER"), QStringLiteral("TEST")})
            after << QString::fromLatin1(Data::TableChecksum(source, table));
        QCOMPARE(after, before);
    }

private Q_SLOTS:
    void initTestCase() { TestSupport::pinRussianLocale(); }
    void cleanup() { m_server.reset(); }

    void demoData() {
        TestSupport::TStoreFixture file(TestSupport::TStore::File);
        QVERIFY2(file.open(), qPrintable(file.error));
        Demo::CreateDemoDatabase(*file.dm);
        Data::TEngine& db = file.dm->Main_Database();
        // A database with a password (bytes of every kind) and values that the copy must escape.
        qint64 base = 0;
        QVERIFY(TestSupport::execBound(
            db, QStringLiteral("insert into DB (DB_Name, Password) values ('С паролем', :p)"),
            {{QStringLiteral("p"), QByteArray("\x00\x01\\\t\n\xff\x7f'x", 10)}}, &base));
        TestSupport::ensureTestee(db, static_cast<int>(base), 900,
                                  QStringLiteral("Д'Артаньян \\ обратная\tчерта\nи строка"));
        // The last group made was deleted; its testee keeps its key.
        qint64 gone = 0;
        QVERIFY(TestSupport::execBound(
            db, QStringLiteral("insert into \"group\" (Group_Name) values ('Прежняя')"), {}, &gone));
        QVERIFY(TestSupport::execBound(db,
                                       QStringLiteral("update \"user\" set Group_ID = :g where Men_ID = 900"),
                                       {{QStringLiteral("g"), gone}}));
        QVERIFY(TestSupport::execBound(db, QStringLiteral("delete from \"group\" where Group_ID = :g"),
                                       {{QStringLiteral("g"), gone}}));
        const qint64 testees =
            TestSupport::selectValue(db, QStringLiteral("select count(*) from \"user\"")).toLongLong();
        const qint64 tests =
            TestSupport::selectValue(db, QStringLiteral("select count(*) from TEST")).toLongLong();
        QVERIFY(testees > 0 && tests > 0);
        TestSupport::TServerDatabase* target = nullptr;
        transferAndCompare(file, testees, tests, &target);
        if (QTest::currentTestFailed())
            return;
        // The results window shows the same on the server as on the file.
        const QStringList onFile = resultsOf(*file.dm);
        QVERIFY(onFile.size() > 100);
        auto server = TMain_DataModule::CreateServer(file.dir.path(), target->settings(), QString());
        QCOMPARE(resultsOf(*server), onFile);
    }

    // A table counts as copied only when its rows and its contents agree alike.
    void checkNeedsRowsAndContentsAlike_data() {
        QTest::addColumn<qint64>("targetRows");
        QTest::addColumn<QByteArray>("targetSum");
        QTest::addColumn<bool>("ok");
        QTest::newRow("both agree") << qint64(3) << QByteArray("a1") << true;
        QTest::newRow("rows agree, contents differ") << qint64(3) << QByteArray("b2") << false;
        QTest::newRow("contents agree, rows differ") << qint64(4) << QByteArray("a1") << false;
    }
    void checkNeedsRowsAndContentsAlike() {
        QFETCH(qint64, targetRows);
        QFETCH(QByteArray, targetSum);
        QFETCH(bool, ok);
        const Data::TTransferCheck check{QStringLiteral("TEST"), 3, targetRows, "a1", targetSum};
        QCOMPARE(check.ok(), ok);
        QCOMPARE(Data::TTransferReport{{check}}.ok(), ok);
    }

    // 10,000 testees with 50,000 tests, generated by the engine.
    void largeFile() {
        TestSupport::TStoreFixture file(TestSupport::TStore::File);
        QVERIFY2(file.open(), qPrintable(file.error));
        Data::TEngine& db = file.dm->Main_Database();
        QVERIFY(TestSupport::execBound(
            db, QStringLiteral("insert into DB (DB_ID, DB_Name) values (1, 'Большая')")));
        QVERIFY(TestSupport::execBound(
            db, QStringLiteral("insert into \"group\" (Group_Name) values ('Первая'), ('Вторая')")));
        QVERIFY(TestSupport::execBound(
            db,
            QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < 10000) "
                           "insert into \"user\" (Men_ID, DB_ID, FIO, Sex, Age, Group_ID, IsDel) "
                           "select i, 1, case i % 4 when 0 then 'Ёлкин ' when 1 then 'Иванов ' when 2 then "
                           "'елкин ' else 'Щукин ' end || i, case when i % 2 = 0 then 'М' else 'Ж' end, "
                           "10 + i % 70, i % 3, '' from n")));
        QVERIFY(TestSupport::execBound(
            db,
            QStringLiteral("with recursive n(i) as (select 0 union all select i + 1 from n where i < 49999) "
                           "insert into TEST (DB_ID, Men_ID, Date_Test, Time_Test, Note, Result_Test, "
                           "Result_Profil, Calc_Profil, Calc_ProfilNapr) "
                           "select 1, 1 + i % 10000, '2026-01-' || printf('%02d', 1 + i % 28), '09:00:00', "
                           "'заметка ' || i, '135724681538264713457812264815372467381567285634', "
                           "'21222111221023022122112102121132', '±-++±-0-+-+±00±-', '0000000000000000' "
                           "from n")));
        // Some testees deleted after their tests were written: their rows and tests go along.
        QVERIFY(TestSupport::execBound(
            db, QStringLiteral("update \"user\" set IsDel = 'D' where Men_ID % 97 = 0")));
        transferAndCompare(file, 10000, 50000);
    }
};

QTEST_MAIN(TestTransfer)
#include "tst_transfer.moc"
