// Data module: schema, stored queries, datasets, collation, password cipher.
#include "StoreSupport.h"

#include "data/Collation.h"
#include "data/DataMod.h"
#include "data/LibPq.h"
#include "data/Password.h"
#include "data/RowOrder.h"
#include "data/Schema.h"
#include "data/Statements.h"
#include "platform/Cp1251.h"
#include "platform/Dialogs.h"

#include <QElapsedTimer>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <QtTest>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <thread>

using namespace TestSupport;

class TestData : public QObject {
    Q_OBJECT

    std::unique_ptr<TStoreFixture> m_fix;
    TMain_DataModule* m_dm = nullptr;

    void exec(const QString& sql) { execBound(m_dm->Main_Database(), sql); }
    // The first value of a select.
    QVariant scalar(const QString& sql) {
        Data::TQuery q(m_dm->Main_Database(), nullptr);
        q.SetSQL(sql);
        q.Open();
        return q.IsEmpty() ? QVariant() : q.Value(0, 0);
    }
    int addUser(int dbId, const QString& fio, int groupId, const QString& isDel = QString()) {
        ensureDatabase(m_dm->Main_Database(), dbId);
        qint64 id = 0;
        execBound(m_dm->Main_Database(),
                  QStringLiteral("insert into \"user\" (DB_ID, FIO, Sex, Age, Group_ID, IsDel) "
                                 "values (:db, :fio, 'М', 30, :group, :del)"),
                  {{QStringLiteral("db"), dbId},
                   {QStringLiteral("fio"), fio},
                   {QStringLiteral("group"), groupId},
                   {QStringLiteral("del"), isDel.isNull() ? QString(QLatin1String("")) : isDel}},
                  &id);
        return static_cast<int>(id);
    }
    QStringList menList(int dbId, const QString& orderBy = QString()) {
        Data::TQuery* q = m_dm->Men_Query;
        q->Close();
        q->SetSQL(m_dm->MenQueryBaseSQL() + orderBy);
        q->SetParam(QStringLiteral("DB_ID"), dbId);
        q->Open();
        QStringList names;
        for (int r = 1; r <= q->RecordCount(); ++r, q->Next())
            names << q->FieldByName(QStringLiteral("FIO")).AsString() + QLatin1Char('|') +
                         q->FieldByName(QStringLiteral("GROUP_NAME")).AsString();
        return names;
    }

private Q_SLOTS:
    void initTestCase_data() { addStoreRows(); }
    void init() {
        QFETCH_GLOBAL(TStore, store);
        pinRussianLocale();
        m_fix = std::make_unique<TStoreFixture>(store);
        QVERIFY2(m_fix->open(), qPrintable(m_fix->error));
        m_dm = m_fix->dm.get();
    }
    void cleanup() {
        m_dm = nullptr;
        m_fix.reset();
    }

    // The data layer shows nothing itself: the program shows the error (tst_startup).
    void missingDataDirIsATypedErrorAndNoModule() {
        ProgramDirFixture bare(false);
        Platform::MessageRecorder recorder;
        try {
            if (m_fix->store == TStore::Server)
                TMain_DataModule::CreateServer(bare.path(), m_fix->server->settings(), QString());
            else
                TMain_DataModule::Create(bare.path());
            QFAIL("no error");
        } catch (const Data::ENoDataDir& e) {
            QCOMPARE(e.message(), QStringLiteral("Не могу открыть базу данных! Не существует папки DB!"));
        }
        QVERIFY(recorder.messages.isEmpty());
    }

    // A system without libpq gets a message naming what to install; the loader's words are the detail.
    void missingClientLibraryIsReported() {
        try {
            Data::LoadLibPq("libpq-missing.so.5");
            QFAIL("no error");
        } catch (const Data::EDatabaseError& e) {
            QVERIFY(e.message().contains(QStringLiteral("libpq5")));
            QVERIFY(e.detail().contains(QStringLiteral("libpq-missing.so.5")));
        }
    }

    void newDataDirGetsSchemaAndReferenceRows() {
        QVERIFY(m_dm->CreatedTableFile());
        for (const auto& [table, rows] : {std::pair{"Symbols", 49}, {"DurMoll", 64}, {"Soz", 64}})
            QCOMPARE(scalar(QStringLiteral("select count(*) from %1").arg(QLatin1String(table))).toInt(),
                     rows);
        m_dm->Symbols_Table->Open();
        QVERIFY(m_dm->Symbols_Table->Locate(QStringLiteral("Posit_Select;Negat_Select"),
                                            {QStringLiteral("2"), QStringLiteral("2")}));
        QCOMPARE(m_dm->Symbols_Table->FieldByName(QStringLiteral("Type_Reaction")).AsString(),
                 QStringLiteral("±"));
        // A second module on the same store finds the tables and creates nothing.
        m_fix->dm.reset();
        QVERIFY2(m_fix->open(), qPrintable(m_fix->error));
        m_dm = m_fix->dm.get();
        QVERIFY(!m_dm->CreatedTableFile());
    }

    void storedQueryTexts() {
        QCOMPARE(QString::fromUtf8(Data::kMenQuerySQL.file).split(QLatin1Char('\n'))[1],
                 QStringLiteral("           \"GROUP\".Group_Name"));
        QCOMPARE(
            QString::fromUtf8(Data::kListTestQuerySQL.file).split(QLatin1Char('\n')).first(),
            QStringLiteral("select Test_ID, Date_Test, Time_Test, Result_Test, Result_Profil, Calc_Profil , "
                           "Calc_ProfilNapr , Note , 1 Numb"));
        QCOMPARE(QString::fromUtf8(Data::kTestsQuerySQL.file),
                 QStringLiteral("select distinct Men_ID\nfrom TEST\nwhere DB_ID = :DB_ID\norder by Men_ID"));
    }

    void listsOnlyLiveTesteesOfTheOpenDatabase() {
        exec(QStringLiteral("insert into \"group\" (Group_Name) values ('Общая')"));
        addUser(1, QStringLiteral("Живой Первый"), 1);
        const int deleted = addUser(1, QStringLiteral("Удалённый"), 1);
        addUser(1, QStringLiteral("Без Группы"), 77);
        addUser(2, QStringLiteral("Из Второй"), 1);
        // His test was written while he was live; deleting him keeps it.
        exec(QStringLiteral("insert into TEST (DB_ID, Men_ID) values (1, %1)").arg(deleted));
        exec(QStringLiteral("update \"user\" set IsDel = 'D' where Men_ID = %1").arg(deleted));
        QCOMPARE(menList(1, QStringLiteral(" ORDER BY FIO")),
                 (QStringList{QStringLiteral("Без Группы|"), QStringLiteral("Живой Первый|Общая")}));
        QCOMPARE(menList(2), QStringList{QStringLiteral("Из Второй|Общая")});
    }

    // Russian rules: case-insensitive, Ё with Е, lower case first on a tie, Cyrillic before Latin.
    void russianCollationOrdersNames() {
        for (const char* name : {"Жуков", "ёлкин", "Елин", "Ёлкин", "абрамов", "Яковлев", "Adams"})
            addUser(1, QString::fromUtf8(name), 0);
        QCOMPARE(menList(1, QStringLiteral(" ORDER BY FIO")),
                 (QStringList{QStringLiteral("абрамов|"), QStringLiteral("Елин|"), QStringLiteral("ёлкин|"),
                              QStringLiteral("Ёлкин|"), QStringLiteral("Жуков|"), QStringLiteral("Яковлев|"),
                              QStringLiteral("Adams|")}));
    }

    void collationPairs_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order");
        QTest::newRow("е before ё only on a tie") << "Ежов"
                                                  << "Ёжиков" << 1;
        QTest::newRow("е then ё") << "ель"
                                  << "ёль" << -1;
        QTest::newRow("ё before ж") << "Ёлкин"
                                    << "Жуков" << -1;
        QTest::newRow("case only breaks ties") << "иванов"
                                               << "Иванова" << -1;
        QTest::newRow("lower before upper") << "иванов"
                                            << "Иванов" << -1;
        QTest::newRow("space before letters") << "Иванов Иван"
                                              << "Иванова" << -1;
        QTest::newRow("digits before letters") << "9"
                                               << "а" << -1;
        QTest::newRow("cyrillic before latin") << "я"
                                               << "a" << -1;
        QTest::newRow("prefix first") << "Иван"
                                      << "Иванов" << -1;
        QTest::newRow("equal") << "Ёж"
                               << "Ёж" << 0;
        QTest::newRow("я last of the alphabet") << "Яков"
                                                << "Эдуард" << 1;
        // The order of the server's collation: punctuation by its own order, Ґ, Ї and Ў as marked Г, І
        // and У, Є and І letters of their own after Е and И.
        QTest::newRow("space, hyphen, apostrophe") << "Д-р"
                                                   << "Д'Артаньян" << -1;
        QTest::newRow("space before hyphen") << "Д р"
                                             << "Д-р" << -1;
        QTest::newRow("plain apostrophe before typographic") << "Д'Артаньян"
                                                             << "Д’Арт" << -1;
        QTest::newRow("ґ with г") << "Ґава"
                                  << "Ганна" << -1;
        QTest::newRow("є after е") << "Ежов"
                                   << "Єва" << -1;
        QTest::newRow("і after и") << "Игорь"
                                   << "Іван" << -1;
        QTest::newRow("ї with і, before й") << "Їжак"
                                            << "Йод" << -1;
        QTest::newRow("ў with у") << "Ўладзь"
                                  << "Уля" << -1;
        // 140 bytes of UTF-8: the stored length takes a second byte, the short name beside it one.
        QTest::newRow("a long name beside a short one") << QString(70, u'Ж') << "Жук" << -1;
    }
    void collationPairs() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        const auto sign = [](int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; };
        QCOMPARE(sign(Data::CompareRussian(a, b)), order);
        QCOMPARE(sign(Data::CompareRussian(b, a)), -order);
        const QByteArray ua = a.toUtf8(), ub = b.toUtf8();
        QCOMPARE(
            sign(Data::CompareRussianUtf8(ua.constData(), int(ua.size()), ub.constData(), int(ub.size()))),
            order);
        // The store sorts the list alike: the table file through the comparator, the server through its
        // collation.
        addUser(1, b, 0);
        addUser(1, a, 0);
        const QStringList ascending = menList(1, QStringLiteral(" ORDER BY FIO"));
        QCOMPARE(ascending.size(), 2);
        if (order != 0)
            QCOMPARE(ascending.first(), (order < 0 ? a : b) + QLatin1Char('|'));
        const QStringList descending = menList(1, QStringLiteral(" ORDER BY FIO DESC"));
        if (order != 0)
            QCOMPARE(descending.first(), (order < 0 ? b : a) + QLatin1Char('|'));
    }

    // Sixty names of the letters and punctuation above: the store sorts them as the comparator does (on
    // the server through its own collation).
    void sixtyNamesSortAsTheComparator() {
        QStringList names;
        for (const char* base :
             {"Д-р",  "Д'Артаньян", "Д’Арт", "Д р",  "Да",    "Ґава", "Ганна", "Гусев",  "Єва", "Ева",
              "Ежов", "Ёжик",       "Іван",  "Иван", "Игорь", "Їжак", "Йод",   "Ўладзь", "Уля", "Ухов"})
            for (const char* tail : {"", " Ґанна", "-Ёлкин"})
                names << QString::fromUtf8(base) + QString::fromUtf8(tail);
        for (const QString& name : std::as_const(names))
            addUser(1, name, 0);
        std::sort(names.begin(), names.end(),
                  [](const QString& a, const QString& b) { return Data::CompareRussian(a, b) < 0; });
        QStringList stored = menList(1, QStringLiteral(" ORDER BY FIO"));
        for (QString& name : stored)
            name.chop(1); // "|": no group
        QCOMPARE(stored, names);
    }

    // Ten thousand random names of the hard letters, many repeated: the in-memory sort orders them as
    // the store's ORDER BY does (on the server through its own collation).
    void memorySortMatchesStoreOrder_data() {
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("name") << QStringList{QStringLiteral("FIO")};
        QTest::newRow("name descending") << QStringList{QStringLiteral("FIO DESC")};
        QTest::newRow("age, name descending")
            << QStringList{QStringLiteral("Age"), QStringLiteral("FIO DESC")};
    }
    void memorySortMatchesStoreOrder() {
        QFETCH(QStringList, fields);
        // A combining accent and a letter beyond the comparator's table go through the collation itself.
        const QStringList pieces =
            QString::fromUtf8("а|Б|в|е|Е|ё|Ё|ж|и|И|й|я|Я|ґ|Ґ|є|Є|і|І|ї|Ї|ў|Ў|'|’|-| |ъ|ь|a|Z|7|Ꙗ").split(u'|')
            << QString(QChar(0x0301));
        QRandomGenerator random(26);
        ensureDatabase(m_dm->Main_Database(), 1);
        QStringList values;
        for (int i = 0; i < 10000; ++i) {
            QString name;
            for (int n = 1 + random.bounded(6); n > 0; --n)
                name += pieces[random.bounded(pieces.size())];
            values << QStringLiteral("(1, '%1', 'М', %2, 0, '')")
                          .arg(name.replace(u'\'', QStringLiteral("''")))
                          .arg(random.bounded(3));
            if (values.size() == 500) {
                exec(QStringLiteral("insert into \"user\" (DB_ID, FIO, Sex, Age, Group_ID, IsDel) values ") +
                     values.join(u','));
                values.clear();
            }
        }
        const auto menIds = [](const Data::TDataset& q, const std::vector<int>& order) {
            QList<int> ids;
            for (int row : order)
                ids << q.Value(row, 0).toInt();
            return ids;
        };
        Data::TQuery* q = m_dm->Men_Query;
        menList(1, QStringLiteral(" ORDER BY ") + fields.join(u',') + QStringLiteral(", Men_ID"));
        std::vector<int> rows(static_cast<size_t>(q->RecordCount()));
        std::iota(rows.begin(), rows.end(), 0);
        const QList<int> stored = menIds(*q, rows);
        menList(1, QStringLiteral(" ORDER BY Men_ID"));
        std::vector<Data::TSortColumn> columns;
        for (const QString& f : fields)
            columns.push_back({q->FieldIndex(f.section(u' ', 0, 0)), f.endsWith(QStringLiteral("DESC"))});
        columns.push_back({0, false});
        QCOMPARE(stored.size(), 10000);
        QCOMPARE(menIds(*q, Data::SortedRows(q->Rows(), columns)), stored);
    }

    void locateIsExactAndKeepsCursorWhenNotFound() {
        addUser(1, QStringLiteral("Иванов"), 0);
        addUser(1, QStringLiteral("ИВАНОВ"), 0);
        menList(1);
        Data::TQuery* q = m_dm->Men_Query;
        QVERIFY(q->Locate(QStringLiteral("FIO"), QStringLiteral("ИВАНОВ")));
        QCOMPARE(q->RecNo(), 2);
        QVERIFY(!q->Locate(QStringLiteral("FIO"), QStringLiteral("иванов")));
        QCOMPARE(q->RecNo(), 2);
        const auto mark = q->GetBookmark();
        q->First();
        q->GotoBookmark(mark);
        QCOMPARE(q->RecNo(), 2);
    }

    void walkGuardRestoresRowAndNotifiesOnce() {
        for (int i = 0; i < 5; ++i)
            addUser(1, QStringLiteral("Т%1").arg(i), 0);
        menList(1);
        Data::TQuery* q = m_dm->Men_Query;
        q->SetRecNo(3);
        QSignalSpy changes(q, &Data::TDataset::DataChange);
        {
            Data::TWalkGuard guard(*q);
            for (int r = 1; r <= q->RecordCount(); ++r)
                q->SetRecNo(r);
        }
        QCOMPARE(q->RecNo(), 3);
        QCOMPARE(changes.size(), 1);
    }

    // A second program on the same data directory waits for a lock and then proceeds, or after the
    // retries reports the conflict as an error.
    void lockRetries_data() {
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("released in time") << 400 << true;
        QTest::newRow("held too long") << 4000 << false;
    }
    void lockRetries() {
        QFETCH(int, holdMs);
        QFETCH(bool, succeeds);
        const QByteArray file = (m_dm->DataDir() + Data::kTableFileName).toUtf8();
        std::atomic<bool> locked{false};
        // The other side keeps its lock for holdMs, or until this side's statement has returned.
        std::mutex mutex;
        std::condition_variable returned;
        bool done = false;
        const auto hold = [&] {
            std::unique_lock lock(mutex);
            returned.wait_for(lock, std::chrono::milliseconds(holdMs), [&] { return done; });
        };
        // On the server, another session holds the group table for a while in the same way.
        std::thread other(
            m_fix->store == TStore::Server
                ? std::function<void()>([&] {
                      const QByteArray info = "host='" + QByteArray(MORVEL_TEST_PG_DIR) +
                                              "' user=postgres dbname=" + m_fix->server->name().toUtf8();
                      PGconn* conn = PQconnectdb(info.constData());
                      PQclear(PQexec(conn, "begin; lock table \"group\" in exclusive mode"));
                      locked = true;
                      hold();
                      PQclear(PQexec(conn, "commit"));
                      PQfinish(conn);
                  })
                : std::function<void()>([&] {
                      sqlite3* db = nullptr;
                      sqlite3_open(file.constData(), &db);
                      sqlite3_exec(db,
                                   "begin immediate; insert into \"group\" (Group_Name) values ('чужая');",
                                   nullptr, nullptr, nullptr);
                      locked = true;
                      hold();
                      sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
                      sqlite3_close(db);
                  }));
        while (!locked)
            std::this_thread::yield();
        QElapsedTimer timer;
        timer.start();
        bool ok = true;
        try {
            m_dm->Main_Database().Exec(QStringLiteral("insert into \"group\" (Group_Name) values ('своя')"));
        } catch (const Data::EDatabaseError&) {
            ok = false;
        }
        const qint64 waited = timer.elapsed();
        {
            const std::lock_guard lock(mutex);
            done = true;
        }
        returned.notify_all();
        other.join();
        QCOMPARE(ok, succeeds);
        if (!succeeds)
            QVERIFY2(waited >= 1400, qPrintable(QString::number(waited))); // it retried before giving up
    }

    void passwordCipher_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("shift");
        QTest::newRow("five latin") << QStringLiteral("abcde") << 5;
        QTest::newRow("cyrillic") << QStringLiteral("Пароль") << 6;
        QTest::newRow("bytes wrap to zero") << QStringLiteral("ыыыыы") << 5;
        QTest::newRow("256 unchanged") << QString(256, QLatin1Char('x')) << 0;
        QTest::newRow("empty") << QString() << 0;
    }
    void passwordCipher() {
        QFETCH(QString, password);
        QFETCH(int, shift);
        const QByteArray stored = Data::EncipherPassword(password);
        const QByteArray plain = Cp1251::encode(password);
        QCOMPARE(stored.size(), plain.size());
        for (int i = 0; i < plain.size(); ++i)
            QCOMPARE(static_cast<unsigned char>(stored[i]),
                     static_cast<unsigned char>((static_cast<unsigned char>(plain[i]) + shift) & 0xFF));
        QCOMPARE(Data::DecipherPassword(stored), password);
        // Through the table as well: the stored bytes come back exactly.
        QVERIFY(execBound(m_dm->Main_Database(),
                          QStringLiteral("insert into DB (DB_Name, Password) values ('x', :p)"),
                          {{QStringLiteral("p"), stored}}));
        m_dm->DB_Table->Open();
        m_dm->DB_Table->Last();
        QCOMPARE(m_dm->DB_Table->FieldByName(QStringLiteral("Password")).Value().toByteArray(), stored);
    }
};

QTEST_GUILESS_MAIN(TestData)
#include "tst_data.moc"
