// Two workstations writing at the same time on one store (two connections to one table file, or to one
// server database), each on a thread of its own: each adds 500 test records and, between them, saves
// edits of two shared testees over the version it read. Afterwards every added record is there exactly
// once, every save was either applied or refused (and told so), the shared rows carry exactly the
// applied saves, and nothing else changed.
#include "StoreSupport.h"

#include "data/Engine.h"
#include "data/Schema.h"
#include "data/Store.h"

#include <QtTest>

#include <chrono>
#include <thread>

namespace {

constexpr int kRecords = 500;
constexpr int kEditEvery = 5;

struct TWorkerResult {
    int added = 0;
    int applied = 0;
    int refused = 0;
    int busy = 0; // writes refused because the other workstation held the store longer than the retries
    QStringList errors;
};

// One workstation: a connection of its own on this thread, then the writes.
void workstation(const TestSupport::TStoreFixture& store, int number, const QVector<int>& shared, int db,
                 TWorkerResult& result) {
    {
        QString why;
        const std::unique_ptr<Data::TEngine> engine = store.connectAnother(&why);
        if (!engine) {
            result.errors << why;
            return;
        }
        Data::TEngine& conn = *engine;
        // A write that waited longer than the lock retries allow (a loaded machine) is refused with the
        // store's message and writes nothing: the user is told and may repeat it. Any other error is a fault.
        const auto refusedAsBusy = [&result](const Data::EDatabaseError& e) {
            if (!e.message().contains(QStringLiteral("занята")))
                result.errors << e.message();
            ++result.busy;
        };
        try {
            for (int i = 0; i < kRecords; ++i) {
                try {
                    conn.Exec(QStringLiteral("insert into TEST (DB_ID, Men_ID, Date_Test, Time_Test, Note) "
                                             "values (:db, :men, '2026-12-09', '10:00:00', :note)"),
                              {{QStringLiteral("db"), db},
                               {QStringLiteral("men"), shared[i % shared.size()]},
                               {QStringLiteral("note"), QStringLiteral("w%1-%2").arg(number).arg(i)}});
                    ++result.added;
                } catch (const Data::EDatabaseError& e) {
                    refusedAsBusy(e);
                }
                if (i % kEditEvery != 0)
                    continue;
                // An edit dialog: the version read on opening, the save only over that version.
                const int men = shared[(i / kEditEvery) % shared.size()];
                const QVariant version = TestSupport::selectValue(
                    conn, QStringLiteral("select Row_Version from \"user\" where Men_ID = :men"),
                    {{QStringLiteral("men"), men}});
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                try {
                    const int changed =
                        conn.Exec(QStringLiteral("update \"user\" set Age = Age + 1 where Men_ID = :men and "
                                                 "Row_Version = :version"),
                                  {{QStringLiteral("men"), men}, {QStringLiteral("version"), version}});
                    (changed == 1 ? result.applied : result.refused) += 1;
                } catch (const Data::EDatabaseError& e) {
                    refusedAsBusy(e);
                    ++result.refused;
                }
            }
        } catch (const std::exception& e) {
            result.errors << QString::fromUtf8(e.what());
        }
    }
}

} // namespace

class TestConcurrency : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase_data() { TestSupport::addStoreRows(); }

    void twoWorkstationsAtOnce() {
        QFETCH_GLOBAL(TestSupport::TStore, store);
        TestSupport::TStoreFixture fix(store);
        QVERIFY2(fix.open(), qPrintable(fix.error));
        Data::TEngine& db = fix.dm->Main_Database();
        TestSupport::ensureTestee(db, 1, 1, QStringLiteral("Общий Первый"));
        TestSupport::ensureTestee(db, 1, 2, QStringLiteral("Общий Второй"));
        TestSupport::ensureTestee(db, 1, 3, QStringLiteral("Посторонний"));
        const QString snapshotSql = QStringLiteral(
            "select Men_ID, FIO, Sex, Age, Group_ID, IsDel, Row_Version from \"user\" order by Men_ID");
        const auto before = TestSupport::selectRows(db, snapshotSql);

        TWorkerResult results[2];
        {
            std::thread first(workstation, std::cref(fix), 1, QVector<int>{1, 2}, 1, std::ref(results[0]));
            std::thread second(workstation, std::cref(fix), 2, QVector<int>{1, 2}, 1, std::ref(results[1]));
            first.join();
            second.join();
        }
        int applied = 0;
        int added = 0;
        for (const TWorkerResult& r : results) {
            QVERIFY2(r.errors.isEmpty(), qPrintable(r.errors.join(u'\n')));
            QVERIFY(r.added > kRecords / 2);
            QCOMPARE(r.applied + r.refused, kRecords / kEditEvery);
            applied += r.applied;
            added += r.added;
        }
        // Every added record exactly once, and no refused one.
        QCOMPARE(TestSupport::selectValue(db, QStringLiteral("select count(*) from TEST")).toInt(), added);
        QCOMPARE(
            TestSupport::selectValue(db, QStringLiteral("select count(distinct Note) from TEST")).toInt(),
            added);
        // The shared testees carry exactly the applied saves (each raised the age by one and counted the
        // version up by one); the bystander and every other field are as before.
        const auto after = TestSupport::selectRows(db, snapshotSql);
        QCOMPARE(after.size(), before.size());
        int raised = 0;
        for (int r = 0; r < after.size(); ++r) {
            for (int c : {0, 1, 2, 4, 5})
                QCOMPARE(after[r][c].toString(), before[r][c].toString());
            const int ages = after[r][3].toInt() - before[r][3].toInt();
            QCOMPARE(after[r][6].toInt() - before[r][6].toInt(), ages);
            if (after[r][0].toInt() == 3)
                QCOMPARE(ages, 0);
            raised += ages;
        }
        QCOMPARE(raised, applied);
        qInfo("%s: %d saves applied, %d refused, %d writes refused as busy",
              store == TestSupport::TStore::File ? "file" : "server", applied,
              results[0].refused + results[1].refused, results[0].busy + results[1].busy);
    }
};

QTEST_GUILESS_MAIN(TestConcurrency)
#include "tst_concurrency.moc"
