// The table file at start: new, empty, half-made, older, damaged or foreign files; guards against
// orphan rows; values always bound; online copies made, checked and restored while another
// connection writes.
#include "TestSupport.h"

#include "data/Backup.h"
#include "data/DataMod.h"
#include "data/Engine.h"
#include "data/FileEngine.h"
#include "data/Password.h"
#include "data/Schema.h"
#include "platform/Cp1251.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/Log.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <optional>
#include <thread>

using namespace TestSupport;

namespace {

// The tables of the program as an earlier version made them: no guards, schema version 0.
const char* const kOldSchema[] = {
    "create table DB (DB_ID integer primary key autoincrement, DB_Name varchar(100) not null default '', "
    "Password blob not null default x'')",
    "create table USER (Men_ID integer primary key autoincrement, DB_ID integer not null, FIO varchar(200) "
    "not null default '', Sex varchar(1) not null default '', Age smallint, Group_ID integer not null "
    "default 0, IsDel varchar(1) not null default '')",
    "create table \"GROUP\" (Group_ID integer primary key autoincrement, Group_Name varchar(50) not null "
    "default '')",
    "create table TEST (Test_ID integer primary key autoincrement, DB_ID integer not null, Men_ID integer "
    "not null, Date_Test date, Time_Test time, Note varchar(250) not null default '', Result_Test "
    "varchar(48) not null default '', Result_Profil varchar(32) not null default '', Calc_Profil "
    "varchar(16) not null default '', Calc_ProfilNapr varchar(50) not null default '')",
};

// Runs statements on a file with a plain engine connection of its own (another program, or an
// earlier version of this one).
void rawExec(const QString& file, const QStringList& statements) {
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
    for (const QString& sql : statements) {
        char* error = nullptr;
        const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error);
        const QString text = QString::fromUtf8(error ? error : "");
        sqlite3_free(error);
        QVERIFY2(rc == SQLITE_OK, qPrintable(sql + QStringLiteral(": ") + text));
    }
    sqlite3_close(db);
}

QStringList oldSchema() {
    QStringList list;
    for (const char* s : kOldSchema)
        list << QString::fromUtf8(s);
    return list;
}

QByteArray digest(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// A seed like the demo data: one database, one testee, one test.
void seed(TMain_DataModule& dm) {
    Data::TEngine& db = dm.Main_Database();
    qint64 dbId = 0, menId = 0;
    db.Exec(QStringLiteral("insert into DB (DB_Name) values ('Демо')"), {}, &dbId);
    db.Exec(QStringLiteral("insert into USER (DB_ID, FIO, IsDel) values (:DB, 'Первый', '')"),
            {{QStringLiteral("DB"), dbId}}, &menId);
    db.Exec(QStringLiteral("insert into TEST (DB_ID, Men_ID) values (:DB, :Men)"),
            {{QStringLiteral("DB"), dbId}, {QStringLiteral("Men"), menId}});
}

// The live table file with its log, as a digest: what a refused restore must leave as it was.
QByteArray liveDigest(const QString& file) { return digest(file) + digest(file + QStringLiteral("-wal")); }

// Leaves a testee in the file's write-ahead log, as a program killed before it took the log into the
// file does, without the shared-memory file.
void testeeInLog(const QString& file) {
    const pid_t child = fork();
    if (child == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(file).constData(), &db);
        sqlite3_exec(db,
                     "pragma wal_autocheckpoint = 0; insert into USER (DB_ID, FIO, IsDel) values (1, 'Из "
                     "журнала', '')",
                     nullptr, nullptr, nullptr);
        ::_exit(0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(QFileInfo(file + QStringLiteral("-wal")).size() > 32);
    QVERIFY(QFile::remove(file + QStringLiteral("-shm")));
}

} // namespace

class TestSchema : public QObject {
    Q_OBJECT

    std::unique_ptr<ProgramDirFixture> m_dir;

    QString tableFile() const { return m_dir->path() + QStringLiteral("/DB/morvel.db"); }
    QVariant scalar(TMain_DataModule& dm, const QString& sql) {
        try {
            return TestSupport::selectValue(dm.Main_Database(), sql);
        } catch (const Data::EDatabaseError&) {
            return {};
        }
    }
    QString counts(TMain_DataModule& dm) {
        return QStringLiteral("%1/%2/%3/%4")
            .arg(scalar(dm, QStringLiteral("select count(*) from DB")).toInt())
            .arg(scalar(dm, QStringLiteral("select count(*) from USER")).toInt())
            .arg(scalar(dm, QStringLiteral("select count(*) from TEST")).toInt())
            .arg(scalar(dm, QStringLiteral("select count(*) from Symbols")).toInt());
    }

    // Overwrites the root page of a table with noise; the schema stays readable, so the file passes the
    // start-up check and the damage shows when the table is read.
    void damageTable(const char* table) {
        sqlite3* raw = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(tableFile()).constData(), &raw), SQLITE_OK);
        int pageSize = 0;
        int rootPage = 0;
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(raw, "pragma page_size", -1, &stmt, nullptr);
        QCOMPARE(sqlite3_step(stmt), SQLITE_ROW);
        pageSize = sqlite3_column_int(stmt, 0);
        sqlite3_finalize(stmt);
        sqlite3_prepare_v2(raw, "select rootpage from sqlite_master where name = ?", -1, &stmt, nullptr);
        sqlite3_bind_text(stmt, 1, table, -1, SQLITE_STATIC);
        QCOMPARE(sqlite3_step(stmt), SQLITE_ROW);
        rootPage = sqlite3_column_int(stmt, 0);
        sqlite3_finalize(stmt);
        sqlite3_close(raw);
        QVERIFY(pageSize > 0 && rootPage > 1);
        QFile file(tableFile());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(qint64(rootPage - 1) * pageSize));
        file.write(QByteArray(pageSize, 'Z'));
    }

private Q_SLOTS:
    void init() {
        pinRussianLocale();
        m_dir = std::make_unique<ProgramDirFixture>();
    }
    void cleanup() { m_dir.reset(); }

    // A zero-byte file (left by a start that died at once) gets the schema and the seed.
    void emptyFileGetsSchemaAndSeed() {
        QFile(tableFile()).open(QIODevice::WriteOnly);
        auto dm = TMain_DataModule::Create(m_dir->path(), seed);
        QVERIFY(dm && dm->CreatedTableFile());
        QCOMPARE(counts(*dm), QStringLiteral("1/1/1/49"));
        QCOMPARE(scalar(*dm, QStringLiteral("pragma user_version")).toInt(), Data::kSchemaVersion);
        dm.reset();
        // The next start finds it complete and adds nothing.
        dm = TMain_DataModule::Create(m_dir->path(), seed);
        QVERIFY(!dm->CreatedTableFile());
        QCOMPARE(counts(*dm), QStringLiteral("1/1/1/49"));
    }

    // A first start killed while it writes leaves nothing behind: the next start makes everything.
    void killedFirstStartLeavesNothingOrEverything() {
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            // The child is a program that dies in the middle of its first start.
            try {
                TMain_DataModule::Create(m_dir->path(), [](TMain_DataModule& dm) {
                    seed(dm);
                    ::kill(::getpid(), SIGKILL);
                });
            } catch (...) {
            }
            ::_exit(3);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        QVERIFY(QFileInfo::exists(tableFile()));
        auto dm = TMain_DataModule::Create(m_dir->path(), seed);
        QVERIFY(dm->CreatedTableFile());
        QCOMPARE(counts(*dm), QStringLiteral("1/1/1/49"));
    }

    // Files of an earlier version: killed between its tables and its demo data, it gets the seed;
    // with data, it is brought to the new schema in place, keeping every row, and gets no seed.
    void earlierVersionsAreBroughtUpToDate() {
        rawExec(tableFile(), oldSchema());
        auto dm = TMain_DataModule::Create(m_dir->path(), seed);
        QCOMPARE(counts(*dm), QStringLiteral("1/1/1/49"));
        dm.reset();

        m_dir = std::make_unique<ProgramDirFixture>();
        QStringList withRows = oldSchema();
        withRows << QStringLiteral("insert into DB (DB_Name) values ('Старая')")
                 << QStringLiteral("insert into USER (DB_ID, FIO) values (1, 'Иванов')")
                 << QStringLiteral("insert into TEST (DB_ID, Men_ID, Note) values (1, 1, 'a'), (1, 99, 'b')");
        rawExec(tableFile(), withRows);
        dm = TMain_DataModule::Create(m_dir->path(), seed);
        QVERIFY(!dm->CreatedTableFile());
        QCOMPARE(counts(*dm), QStringLiteral("1/1/2/49")); // the orphan of the old file is kept, too
        QCOMPARE(scalar(*dm, QStringLiteral("pragma user_version")).toInt(), Data::kSchemaVersion);
        // Four write guards and the four counters of row versions.
        QCOMPARE(
            scalar(*dm, QStringLiteral("select count(*) from sqlite_master where type = 'trigger'")).toInt(),
            8);
        // Every kept row starts at version 1, and an update counts it up.
        QCOMPARE(scalar(*dm, QStringLiteral("select group_concat(Row_Version) from TEST")).toString(),
                 QStringLiteral("1,1"));
        dm->Main_Database().Exec(QStringLiteral("update USER set FIO = 'Петров' where Men_ID = 1"));
        QCOMPARE(scalar(*dm, QStringLiteral("select Row_Version from USER where Men_ID = 1")).toInt(), 2);
    }

    // A group table made without a key counter (by another tool) gets one in place, keeping every row and
    // column; no key in use, also one that testees of a deleted group still hold, is handed out again.
    void groupKeysAreNeverHandedOutAgain() {
        QStringList statements = oldSchema();
        statements[2] =
            QStringLiteral("create table \"GROUP\" (Group_ID integer primary key, Group_Name text, X text)");
        statements << QStringLiteral("insert into \"GROUP\" values (1, 'А', 'x'), (2, 'Б', 'y')")
                   << QStringLiteral("insert into USER (DB_ID, FIO, Group_ID) values (1, 'Иванов', 5)");
        rawExec(tableFile(), statements);
        auto dm = TMain_DataModule::Create(m_dir->path(), seed);
        qint64 id = 0;
        dm->Main_Database().Exec(QStringLiteral("insert into \"GROUP\" (Group_Name) values ('В')"), {}, &id);
        QCOMPARE(id, 6);
        QCOMPARE(scalar(*dm, QStringLiteral("select group_concat(Group_ID || Group_Name || X || Row_Version) "
                                            "from \"GROUP\" where Group_ID < 6"))
                     .toString(),
                 QStringLiteral("1Аx1,2Бy1"));
    }

    // Reference tables and rows are the program's own: what is missing comes back at start.
    void missingReferenceDataIsRestored_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("table");
        QTest::newRow("Symbols dropped") << "drop table Symbols"
                                         << "Symbols";
        QTest::newRow("DurMoll rows lost") << "delete from DurMoll where Vector > 1"
                                           << "DurMoll";
        QTest::newRow("one Soz row lost") << "delete from Soz where ID_Rec = 7"
                                          << "Soz";
    }
    void missingReferenceDataIsRestored() {
        QFETCH(QString, damage);
        QFETCH(QString, table);
        TMain_DataModule::Create(m_dir->path()).reset();
        rawExec(tableFile(), {damage});
        auto dm = TMain_DataModule::Create(m_dir->path());
        QCOMPARE(dm->RepairedTables(), QStringList{table});
        QCOMPARE(scalar(*dm, QStringLiteral("select count(*) from ") + table).toInt(),
                 table == "Symbols" ? 49 : 64);
        // The rows classify again: the pair (2, 2) is ambivalent.
        dm->Symbols_Table->Open();
        QVERIFY(dm->Symbols_Table->Locate(QStringLiteral("Posit_Select;Negat_Select"),
                                          {QStringLiteral("2"), QStringLiteral("2")}));
    }

    // Files that are not ours, or lack data tables or columns, are refused with a message that names
    // the problem, and are left exactly as they were.
    void damagedOrForeignFilesAreNeverChanged_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<QString>("message");
        QByteArray noise;
        for (int i = 0; i < 8192; ++i)
            noise += char((i * 7919) % 251);
        QTest::newRow("not a database") << noise << QStringList() << "не является базой данных программы";
        QTest::newRow("text file") << QByteArray("SQLite format 2\nhello\n") << QStringList()
                                   << "не является базой данных программы";
        QTest::newRow("another program's tables")
            << QByteArray() << QStringList{"create table Invoices (id integer)"}
            << "таблицы другой программы";
        QStringList noNote = oldSchema();
        noNote[3] =
            QStringLiteral("create table TEST (Test_ID integer primary key, DB_ID integer, Men_ID integer)");
        QTest::newRow("TEST without columns") << QByteArray() << noNote << "TEST.Date_Test";
        QStringList noUser = oldSchema();
        noUser.removeAt(1);
        QTest::newRow("USER missing") << QByteArray() << noUser << ": USER.";
    }
    void damagedOrForeignFilesAreNeverChanged() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, statements);
        QFETCH(QString, message);
        if (!bytes.isEmpty()) {
            QFile f(tableFile());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        } else {
            rawExec(tableFile(), statements);
        }
        const QByteArray before = digest(tableFile());
        QString error;
        try {
            TMain_DataModule::Create(m_dir->path(), seed);
        } catch (const Data::EDatabaseError& e) {
            error = e.message();
        }
        QVERIFY2(error.contains(message), qPrintable(error));
        QCOMPARE(digest(tableFile()), before);
        QVERIFY(!QFileInfo::exists(tableFile() + QStringLiteral("-wal")) ||
                QFileInfo(tableFile() + QStringLiteral("-wal")).size() == 0);
    }

    // Another program instance deletes the database (or the testee) this one works in: its writes
    // are refused with a message instead of leaving rows nothing can reach.
    void writesIntoRemovedOwnersAreRefused_data() {
        QTest::addColumn<QString>("removal");
        QTest::addColumn<QString>("write");
        QTest::addColumn<QString>("message");
        QTest::newRow("testee into a deleted database")
            << "delete from TEST where DB_ID = 1; delete from USER where DB_ID = 1; delete from DB where "
               "DB_ID = 1"
            << "insert into USER (DB_ID, FIO, IsDel) values (1, 'Новый', '')"
            << "База данных не найдена";
        QTest::newRow("test of a deleted database") << "delete from TEST where DB_ID = 1; delete from USER "
                                                       "where DB_ID = 1; delete from DB where DB_ID = 1"
                                                    << "insert into TEST (DB_ID, Men_ID) values (1, 1)"
                                                    << "База данных не найдена";
        QTest::newRow("test of a deleted testee") << "update USER set IsDel = 'D' where Men_ID = 1"
                                                  << "insert into TEST (DB_ID, Men_ID) values (1, 1)"
                                                  << "Тестируемый не найден";
        QTest::newRow("test under another database") << ""
                                                     << "insert into TEST (DB_ID, Men_ID) values (2, 1)"
                                                     << "Тестируемый не найден";
        QTest::newRow("testee moved to no database") << ""
                                                     << "update USER set DB_ID = 77 where Men_ID = 1"
                                                     << "База данных не найдена";
    }
    void writesIntoRemovedOwnersAreRefused() {
        QFETCH(QString, removal);
        QFETCH(QString, write);
        QFETCH(QString, message);
        auto dm = TMain_DataModule::Create(m_dir->path());
        ensureTestee(dm->Main_Database(), 1, 1);
        ensureDatabase(dm->Main_Database(), 2);
        if (!removal.isEmpty())
            rawExec(tableFile(), removal.split(QStringLiteral("; ")));
        const QString before = counts(*dm);
        QString error;
        try {
            dm->Main_Database().Exec(write);
        } catch (const Data::EDatabaseError& e) {
            error = e.message();
        }
        QVERIFY2(error.startsWith(message), qPrintable(error));
        QCOMPARE(counts(*dm), before);
    }

    // No value is spliced into a statement: a parameter without a value is an error (never NULL), and
    // text that has no UTF-8 form is refused before it reaches the file.
    void valuesAreAlwaysBound() {
        auto dm = TMain_DataModule::Create(m_dir->path());
        ensureTestee(dm->Main_Database(), 1, 1);
        QVERIFY_THROWS_EXCEPTION(Data::EDatabaseError, dm->Main_Database().Exec(QStringLiteral(
                                                           "update USER set FIO = :FIO where Men_ID = 1")));
        const QString lone = QStringLiteral("x") + QChar(0xD800) + QStringLiteral("' where 1=1 --");
        QVERIFY_THROWS_EXCEPTION(
            Data::EDatabaseError,
            dm->Main_Database().Exec(QStringLiteral("update USER set FIO = :FIO where Men_ID = 1"),
                                     {{QStringLiteral("FIO"), lone}}));
        const QString quote = QStringLiteral("x' where 1=1 --");
        QCOMPARE(dm->Main_Database().Exec(QStringLiteral("update USER set FIO = :FIO where Men_ID = 1"),
                                          {{QStringLiteral("FIO"), quote}}),
                 1);
        QCOMPARE(scalar(*dm, QStringLiteral("select FIO from USER where Men_ID = 1")).toString(), quote);
    }

    // Passwords in the shifted form of the previous schema, in the file and in a copy that version made:
    // after the first open no byte sequence of the data folder is or deciphers to any of them, and each
    // still opens its database (in the copies as well).
    void shiftedPasswordsLeaveNoTrace() {
        const QStringList passwords{QStringLiteral("secret1"), QStringLiteral("Пароль-Ёж"),
                                    QString(70, u'ж')};
        QStringList old = QStringList{QStringLiteral("pragma journal_mode = wal")} + oldSchema();
        for (const QString& p : passwords)
            old << QStringLiteral("insert into DB (DB_Name, Password) values ('База', x'%1')")
                       .arg(QString::fromLatin1(Data::EncipherPassword(p).toHex()));
        rawExec(tableFile(), old << QStringLiteral("pragma user_version = 3"));
        const QString copies = m_dir->path() + QStringLiteral("/DB/Backups/");
        QVERIFY(QDir().mkpath(copies));
        QVERIFY(QFile::copy(tableFile(), copies + QStringLiteral("morvel-2025-01-01-120000.db")));
        auto dm = TMain_DataModule::Create(m_dir->path(), seed);
        Data::MakeBackup(dm->Main_Database(), dm->DataDir(), 10);
        QStringList files;
        for (QDirIterator it(m_dir->path() + QStringLiteral("/DB"), QDir::Files,
                             QDirIterator::Subdirectories);
             it.hasNext();) {
            QFile file(it.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            for (const QString& p : passwords)
                for (const QByteArray& form : {Cp1251::encode(p), p.toUtf8(), Data::EncipherPassword(p)})
                    QVERIFY2(!bytes.contains(form), qPrintable(file.fileName() + QStringLiteral(": ") + p));
            if (file.fileName().endsWith(QStringLiteral(".db")))
                files << file.fileName();
        }
        QCOMPARE(files.size(), 3);
        for (const QString& path : std::as_const(files)) {
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr),
                     SQLITE_OK);
            sqlite3_stmt* stmt = nullptr;
            sqlite3_prepare_v2(db, "select Password from DB order by DB_ID", -1, &stmt, nullptr);
            for (const QString& p : passwords) {
                QCOMPARE(sqlite3_step(stmt), SQLITE_ROW);
                const QByteArray stored(static_cast<const char*>(sqlite3_column_blob(stmt, 0)),
                                        sqlite3_column_bytes(stmt, 0));
                QVERIFY2(Data::IsPasswordHash(stored) && Data::PasswordMatches(stored, p), qPrintable(path));
            }
            sqlite3_finalize(stmt);
            sqlite3_close(db);
        }
    }

    // Copies: made while another connection writes, listed newest first, checked, and restored into
    // the live file while the writer goes on; the current data is kept as one more copy.
    void backupsWhileAnotherConnectionWrites() {
        auto dm = TMain_DataModule::Create(m_dir->path(), seed);
        QVERIFY(Data::DailyBackupDue(dm->DataDir()));
        std::atomic<bool> stop = false;
        std::atomic<int> written = 0;
        std::thread writer([&] {
            sqlite3* db = nullptr;
            sqlite3_open(QFile::encodeName(tableFile()).constData(), &db);
            sqlite3_busy_timeout(db, 5000);
            while (!stop) {
                if (sqlite3_exec(db, "insert into \"GROUP\" (Group_Name) values ('поток')", nullptr, nullptr,
                                 nullptr) == SQLITE_OK)
                    ++written;
                // Another workstation saving now and then, not a process that holds the lock for good.
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            sqlite3_close(db);
        });
        const auto finish = qScopeGuard([&] {
            stop = true;
            writer.join();
        });
        while (written < 20)
            QThread::msleep(5);
        // Copies are named to the second: two of one second are listed in the order they were made.
        const QDateTime now = QDateTime::currentDateTime();
        const QString first = Data::MakeBackup(dm->Main_Database(), dm->DataDir(), 3, now);
        const int after = dm->Repo().insertDatabase(QStringLiteral("После копии"), {});
        QVERIFY(dm->Repo().database(after)); // a statement the engine keeps prepared
        const QString second = Data::MakeBackup(dm->Main_Database(), dm->DataDir(), 3, now);
        QVERIFY(!Data::DailyBackupDue(dm->DataDir()));
        const QList<Data::TBackupInfo> list = Data::ListBackups(dm->DataDir());
        QCOMPARE(list.size(), 2);
        QCOMPARE(list[0].path, second);
        QCOMPARE(list[1].path, first);
        QVERIFY(list[1].size > 0);
        Data::VerifyBackup(first);
        QVERIFY(!QFileInfo::exists(first + QStringLiteral(".part")));

        const QString kept = Data::RestoreBackup(dm->Main_Database(), dm->DataDir(), first, 3);
        QCOMPARE(scalar(*dm, QStringLiteral("select count(*) from DB")).toInt(), 1);
        QCOMPARE(scalar(*dm, QStringLiteral("select count(*) from DB where DB_Name = 'После копии'")).toInt(),
                 0);
        QVERIFY(!dm->Repo().database(after)); // the kept statement reads the restored file
        // The data before the restore is in the copy kept of it.
        Data::VerifyBackup(kept);
        sqlite3* copy = nullptr;
        sqlite3_open_v2(QFile::encodeName(kept).constData(), &copy, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(copy, "select count(*) from DB", -1, &stmt, nullptr);
        QCOMPARE(sqlite3_step(stmt), SQLITE_ROW);
        QCOMPARE(sqlite3_column_int(stmt, 0), 2);
        sqlite3_finalize(stmt);
        sqlite3_close(copy);
        const int before = written;
        while (written < before + 20)
            QThread::msleep(5);
        QCOMPARE(scalar(*dm, QStringLiteral("pragma integrity_check")).toString(), QStringLiteral("ok"));
    }

    void damagedCopiesAreNotUsed_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QTest::newRow("noise") << QByteArray(5000, 'x') << "повреждена";
        QTest::newRow("empty") << QByteArray() << "не является резервной копией";
    }
    void damagedCopiesAreNotUsed() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        auto dm = TMain_DataModule::Create(m_dir->path(), seed);
        QDir().mkpath(Data::BackupDir(dm->DataDir()));
        const QString path = Data::BackupDir(dm->DataDir()) + QStringLiteral("morvel-2026-01-01-100000.db");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        QString error;
        try {
            Data::RestoreBackup(dm->Main_Database(), dm->DataDir(), path, 10);
        } catch (const Data::EDatabaseError& e) {
            error = e.message();
        }
        QVERIFY2(error.contains(message), qPrintable(error));
        QCOMPARE(counts(*dm), QStringLiteral("1/1/1/49"));
        QCOMPARE(Data::ListBackups(dm->DataDir()).size(), 1); // no copy of the current data was needed
    }

    // A data folder that cannot be written opens read-only: the data can be read, nothing written.
    void readOnlyFolderOpensForViewing() {
        TMain_DataModule::Create(m_dir->path(), seed).reset();
        const QString dataDir = m_dir->path() + QStringLiteral("/DB");
        TReadOnlyFolder lock(dataDir);
        QVERIFY2(lock.ok(), qPrintable(lock.error()));
        auto dm = TMain_DataModule::Create(m_dir->path(), seed);
        QVERIFY(dm && dm->ReadOnly());
        QCOMPARE(counts(*dm), QStringLiteral("1/1/1/49"));
        dm->Men_Query->SetParam(QStringLiteral("DB_ID"), 1);
        dm->Men_Query->Open();
        QCOMPARE(dm->Men_Query->FieldByName(QStringLiteral("FIO")).AsString(), QStringLiteral("Первый"));
        QVERIFY_THROWS_EXCEPTION(Data::EDatabaseError, dm->Main_Database().Exec(QStringLiteral(
                                                           "update USER set FIO = 'x' where Men_ID = 1")));
    }

    // A table file damaged beyond the schema passes the start-up check; its copy of the day must not
    // push the good copies out of the folder.
    void damagedTableFileKeepsOldCopies() {
        QString backups;
        {
            auto dm = TMain_DataModule::Create(m_dir->path(), seed);
            backups = Data::BackupDir(dm->DataDir());
        }
        QDir().mkpath(backups);
        const QString good = backups + QStringLiteral("morvel-2025-01-01-120000.db");
        QVERIFY(QFile::copy(tableFile(), good));
        damageTable("TEST");
        QVERIFY(!QTest::currentTestFailed());

        auto dm = TMain_DataModule::Create(m_dir->path(), seed);
        QVERIFY(dm);
        QString error;
        try {
            Data::MakeBackup(dm->Main_Database(), dm->DataDir(), 1);
        } catch (const Data::EDatabaseError& e) {
            error = e.message();
        }
        QVERIFY2(error.contains(QStringLiteral("повреждён")), qPrintable(error));
        const QList<Data::TBackupInfo> list = Data::ListBackups(dm->DataDir());
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0].path, good);
        QCOMPARE(QDir(backups).entryList(QDir::Files).size(), 1);
    }

    // Reading or writing a damaged table says so in Russian and names the way out, for the list of
    // tests and for a test written.
    void damagedTableIsNamed_data() {
        QTest::addColumn<bool>("write");
        QTest::newRow("read") << false;
        QTest::newRow("write") << true;
    }
    void damagedTableIsNamed() {
        QFETCH(bool, write);
        TMain_DataModule::Create(m_dir->path(), seed).reset();
        damageTable("TEST");
        QVERIFY(!QTest::currentTestFailed());
        auto dm = TMain_DataModule::Create(m_dir->path(), seed);
        QVERIFY(dm);
        QString error;
        try {
            if (write) {
                dm->Main_Database().Exec(
                    QStringLiteral("insert into TEST (DB_ID, Men_ID, Result_Test) values (1, 1, '')"));
            } else {
                dm->ListTest_Query->SetParam(QStringLiteral("Men_ID"), 1);
                dm->ListTest_Query->Open();
            }
        } catch (const Data::EDatabaseError& e) {
            error = e.message();
        }
        QVERIFY2(error.contains(QStringLiteral("файл базы данных повреждён")), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("Восстановить из копии")), qPrintable(error));
        QVERIFY2(!error.contains(QStringLiteral("malformed")), qPrintable(error));
    }

    // A copy is checked before anything is written: one that does not fit is refused and the live file
    // stays as it was, byte for byte; a good one restores whatever its page size or log mode and leaves
    // nothing beside it; a full disk is not taken for a damaged copy.
    void restoreChecksTheCopyFirst_data() {
        QTest::addColumn<QStringList>("copy");
        QTest::addColumn<bool>("fullDisk");
        QTest::addColumn<QString>("refusal"); // empty: restored
        const QStringList withRow = oldSchema()
                                    << QStringLiteral("insert into DB (DB_Name) values ('Из копии')");
        QTest::newRow("pages of 1,024 bytes")
            << (QStringList{"pragma page_size = 1024"} + withRow) << false << "";
        QTest::newRow("write-ahead log mode")
            << (QStringList{"pragma journal_mode = wal"} + withRow) << false << "";
        QTest::newRow("our tables, another program's columns")
            << QStringList{"create table DB (a)", "create table USER (a)", "create table \"GROUP\" (a)",
                           "create table TEST (a)"}
            << false << "не подходит";
        QTest::newRow("good copy, full disk") << withRow << true << "не хватает места";
    }
    void restoreChecksTheCopyFirst() {
        QFETCH(QStringList, copy);
        QFETCH(bool, fullDisk);
        QFETCH(QString, refusal);
        auto dm = TMain_DataModule::Create(m_dir->path(), seed);
        const QString backups = Data::BackupDir(dm->DataDir());
        QDir().mkpath(backups);
        const QString path = backups + QStringLiteral("morvel-2026-01-01-100000.db");
        rawExec(path, copy);
        const QByteArray before = liveDigest(tableFile());
        QString error;
        try {
            std::optional<TFileSizeLimit> limit;
            if (fullDisk)
                limit.emplace(1);
            Data::RestoreBackup(dm->Main_Database(), dm->DataDir(), path, 10);
        } catch (const Data::EDatabaseError& e) {
            error = e.message();
        }
        if (refusal.isEmpty()) {
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QCOMPARE(scalar(*dm, QStringLiteral("select group_concat(DB_Name) from DB")).toString(),
                     QStringLiteral("Из копии"));
        } else {
            QVERIFY2(error.contains(refusal) && !error.contains(QStringLiteral("поврежд")),
                     qPrintable(error));
            QCOMPARE(liveDigest(tableFile()), before);
        }
        // No scratch file is left, nor a log or shared memory beside the copy.
        QCOMPARE(QDir(backups).entryList(
                     {QStringLiteral("*.part*"), QStringLiteral("*-wal"), QStringLiteral("*-shm")}),
                 QStringList());
    }

    // What a killed copy or restore left is removed at the next start; a log with data beside a copy
    // placed by hand, and anything just written (a copy being made elsewhere), stay.
    void leftoversAreRemovedAtStart_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("minutesAgo");
        QTest::addColumn<bool>("removed");
        QTest::newRow("unfinished copy") << "morvel-2026-01-01-100000.db.part" << 8192 << 60 << true;
        QTest::newRow("shared memory beside a copy")
            << "morvel-2026-01-01-100000.db-shm" << 32768 << 60 << true;
        QTest::newRow("log with data beside a copy")
            << "morvel-2026-01-01-100000.db-wal" << 4096 << 60 << false;
        QTest::newRow("copy being made now") << "morvel-2026-01-01-100000.db.part" << 8192 << 1 << false;
        QTest::newRow("log of an unfinished copy")
            << "morvel-2026-01-01-100000.db.part-wal" << 4096 << 60 << true;
        QTest::newRow("empty log beside a copy") << "morvel-2026-01-01-100000.db-wal" << 0 << 60 << true;
        QTest::newRow("a file of the user's") << "notes.db.txt" << 10 << 60 << false;
    }

    // Copies are known by their names alone: the moment made, a number when the second was taken.
    void copyNamesAreRead_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("listed");
        QTest::newRow("copy") << "morvel-2026-01-01-100000.db" << true;
        QTest::newRow("second of a second") << "morvel-2026-01-01-100000-12.db" << true;
        QTest::newRow("no number after the dash") << "morvel-2026-01-01-100000-.db" << false;
        QTest::newRow("letter in the moment") << "morvel-2026-01-0a-100000.db" << false;
        QTest::newRow("no such day") << "morvel-2026-02-30-100000.db" << false;
        QTest::newRow("no such hour") << "morvel-2026-01-01-250000.db" << false;
        QTest::newRow("leap day") << "morvel-2028-02-29-235959.db" << true;
        QTest::newRow("short moment") << "morvel-2026-01-01-1000.db" << false;
        QTest::newRow("other prefix") << "copy-2026-01-01-100000.db" << false;
    }
    void copyNamesAreRead() {
        QFETCH(QString, name);
        QFETCH(bool, listed);
        const QString dataDir = m_dir->path() + QStringLiteral("/DB/");
        QVERIFY(QDir().mkpath(Data::BackupDir(dataDir)));
        QFile file(Data::BackupDir(dataDir) + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QList<Data::TBackupInfo> list = Data::ListBackups(dataDir);
        QCOMPARE(list.size(), listed ? 1 : 0);
    }
    void leftoversAreRemovedAtStart() {
        QFETCH(QString, name);
        QFETCH(int, size);
        QFETCH(int, minutesAgo);
        QFETCH(bool, removed);
        const QString backups = Data::BackupDir(m_dir->path() + QStringLiteral("/DB/"));
        QDir().mkpath(backups);
        QFile file(backups + name);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(size, 'x')) == size && file.flush());
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-60 * minutesAgo),
                                 QFileDevice::FileModificationTime));
        TMain_DataModule::Create(m_dir->path(), seed).reset();
        QCOMPARE(!QFileInfo::exists(backups + name), removed);
    }

    // A file that can only be read shows every committed row: a log without its shared-memory file is
    // read from a private copy, and where even that cannot be made the notice says recent changes are
    // not shown. A disk too full to write opens for viewing instead of not at all.
    void fileThatCannotBeWrittenIsViewed_data() {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<int>("testees");
        QTest::addColumn<QString>("notice");
        QTest::newRow("read-only folder, log without shared memory")
            << "folder" << 2 << "недоступна для записи";
        QTest::newRow("read-only folder, no room for a copy") << "no temp" << 1 << "показать их нельзя";
        QTest::newRow("full disk") << "full disk" << 1 << "не хватает места";
    }
    void fileThatCannotBeWrittenIsViewed() {
        QFETCH(QString, obstacle);
        QFETCH(int, testees);
        QFETCH(QString, notice);
        TMain_DataModule::Create(m_dir->path(), seed).reset();
        std::unique_ptr<TMain_DataModule> dm;
        if (obstacle == QLatin1String("full disk")) {
            TFileSizeLimit limit(1);
            dm = TMain_DataModule::Create(m_dir->path(), seed);
        } else {
            testeeInLog(tableFile());
            const QByteArray temp = qgetenv("TMPDIR");
            TReadOnlyFolder lock(m_dir->path() + QStringLiteral("/DB"));
            QVERIFY2(lock.ok(), qPrintable(lock.error()));
            if (obstacle == QLatin1String("no temp"))
                qputenv("TMPDIR", QFile::encodeName(m_dir->path() + QStringLiteral("/DB")));
            dm = TMain_DataModule::Create(m_dir->path(), seed);
            qputenv("TMPDIR", temp);
        }
        QVERIFY(dm && dm->ReadOnly());
        QCOMPARE(scalar(*dm, QStringLiteral("select count(*) from USER")).toInt(), testees);
        QVERIFY2(dm->ReadOnlyNotice().contains(notice), qPrintable(dm->ReadOnlyNotice()));
        QVERIFY_THROWS_EXCEPTION(Data::EDatabaseError, dm->Main_Database().Exec(QStringLiteral(
                                                           "update USER set FIO = 'x' where Men_ID = 1")));
    }

    // Engine and system errors reach the user in Russian with what to do; the engine's or the system's
    // own words go to the log.
    void errorsAreShownInRussian_data() {
        QTest::addColumn<QString>("russian");
        QTest::addColumn<QString>("raw");
        QTest::newRow("locked") << "занята"
                                << "database is locked";
        QTest::newRow("read-only") << "только для чтения"
                                   << "readonly database";
        QTest::newRow("full disk") << "не хватает места"
                                   << "disk I/O error";
        QTest::newRow("damaged copy") << "повреждена"
                                      << "malformed";
        QTest::newRow("long file name") << "Слишком длинное имя файла"
                                        << "File name too long";
    }
    void errorsAreShownInRussian() {
        QFETCH(QString, russian);
        QFETCH(QString, raw);
        const QByteArray failure = QTest::currentDataTag();
        auto dm = TMain_DataModule::Create(m_dir->path(), seed);
        sqlite3* other = nullptr;
        const auto close = qScopeGuard([&other] { sqlite3_close(other); });
        sqlite3_open_v2(QFile::encodeName(tableFile()).constData(), &other,
                        failure == "read-only" ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE, nullptr);
        try {
            std::optional<TFileSizeLimit> limit;
            if (failure == "locked")
                sqlite3_exec(other, "begin immediate", nullptr, nullptr, nullptr);
            else if (failure == "full disk")
                limit.emplace(1);
            if (failure == "locked" || failure == "full disk") {
                dm->Main_Database().Exec(QStringLiteral("insert into \"GROUP\" (Group_Name) values (:n)"),
                                         {{QStringLiteral("n"), QString(100000, u'ж')}});
            } else if (failure == "read-only") {
                Data::TFileEngine::Open(tableFile(), Data::TFileEngine::TAccess::Read)
                    ->Exec(QStringLiteral("insert into DB (DB_Name) values ('x')"));
            } else if (failure == "damaged copy") {
                damageTable("TEST");
                Data::VerifyBackup(tableFile());
            } else {
                QFile file(m_dir->path() + QLatin1Char('/') + QString(300, u'x'));
                QVERIFY(!file.open(QIODevice::WriteOnly));
                throw Platform::EError(QStringLiteral("Не удается создать файл:\n") + file.errorString());
            }
            QFAIL("no error");
        } catch (const std::exception& e) {
            // Shown as the program shows it: the text to the user, the raw words to the log.
            Platform::MessageRecorder recorder;
            Platform::showException(e);
            const QString shown = recorder.messages.value(0).text;
            QFile log(Platform::LogFilePath());
            QVERIFY(log.open(QIODevice::ReadOnly));
            QVERIFY2(shown.contains(russian) && !shown.contains(raw), qPrintable(shown));
            QVERIFY2(log.readAll().contains(raw.toUtf8()), qPrintable(shown));
        }
    }

    void oldCopiesArePruned() {
        auto dm = TMain_DataModule::Create(m_dir->path(), seed);
        QDir().mkpath(Data::BackupDir(dm->DataDir()));
        for (int day = 1; day <= 5; ++day)
            QFile::copy(tableFile(), Data::BackupDir(dm->DataDir()) +
                                         QStringLiteral("morvel-2025-01-0%1-120000.db").arg(day));
        Data::MakeBackup(dm->Main_Database(), dm->DataDir(), 3);
        const QList<Data::TBackupInfo> list = Data::ListBackups(dm->DataDir());
        QCOMPARE(list.size(), 3);
        QCOMPARE(list[1].made.date(), QDate(2025, 1, 5));
        QCOMPARE(list[2].made.date(), QDate(2025, 1, 4));
    }
};

QTEST_GUILESS_MAIN(TestSchema)
#include "tst_schema.moc"
