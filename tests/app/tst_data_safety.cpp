// Writes that fail, or that another program instance makes impossible, driven through the windows in
// which a user meets them: the window stays open with what was typed, nothing half-written remains,
// and the program goes on writing. Also the read-only data folder, copies and the first start.
#include "shell/ShellFixture.h"

#include "app/AddTester_Frm.h"
#include "app/DBEdit_Frm.h"
#include "app/DB_Frm.h"
#include "app/DemoData.h"
#include "app/Group_Frm.h"
#include "app/MainFrm.h"
#include "app/Restore_Frm.h"
#include "app/Startup.h"
#include "app/StoreStart.h"
#include "data/Backup.h"
#include "data/Engine.h"
#include "data/Store.h"
#include "platform/Dialogs.h"
#include "scoring/Calc_Records.h"
#include "testing/Blank_Frm.h"
#include "testing/ListTest_Frm.h"
#include "widgets/DBGrid.h"
#include "widgets/StringGrid.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>
#include <QtTest>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

using namespace ShellTest;

namespace {

const QString kSheet = QStringLiteral("135724681538264713457812"
                                      "264815372467381567285634");

// What another program instance does to the same file, through a connection of its own.
void otherInstance(const QString& file, const QString& sql) {
    QProcess p;
    p.start(QStringLiteral("python3"), {QStringLiteral("-c"),
                                        QStringLiteral("import sqlite3,sys\n"
                                                       "c=sqlite3.connect(sys.argv[1])\n"
                                                       "c.executescript(sys.argv[2])\n"
                                                       "c.commit()\n"),
                                        file, sql});
    QVERIFY(p.waitForFinished(20000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
}

// A value read back by an independent reader (Python's sqlite3), as text.
QString readBack(const QString& file, const QString& sql) {
    QProcess p;
    p.start(QStringLiteral("python3"), {QStringLiteral("-c"),
                                        QStringLiteral("import sqlite3,sys\n"
                                                       "c=sqlite3.connect(sys.argv[1])\n"
                                                       "sys.stdout.buffer.write(str(c.execute(sys.argv[2])"
                                                       ".fetchone()[0]).encode('utf-8'))\n"),
                                        file, sql});
    if (!p.waitForFinished(20000) || p.exitCode() != 0)
        return QStringLiteral("ERROR: ") + QString::fromUtf8(p.readAllStandardError());
    return QString::fromUtf8(p.readAllStandardOutput());
}

void fillSheet(TBlank_Form* form, const QString& sheet) {
    for (int i = 0; i < 48; ++i)
        form->Bl_Grid->SetCell(1 + i % 24, 2 + i / 24, QString(sheet[i]));
}

} // namespace

class TestDataSafety : public QObject {
    Q_OBJECT

    std::unique_ptr<Fixture> f;

    QString tableFile() const { return f->dm->TableFilePath(); }
    int count(const QString& sql) { return f->scalar(sql).toInt(); }

private Q_SLOTS:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { f.reset(); }

    // "Изменить данные..." on the demo database saves (its empty password was read back as NULL
    // before), and a write that fails keeps the dialog with what was typed, leaves the table browsable
    // and lets every later write through.
    void failedPostKeepsTheDialogAndLaterWritesWork() {
        Demo::CreateDemoDatabase(*f->dm);
        f->dm->DB_Table->Open();
        QVERIFY(f->dm->DB_Table->Locate(QStringLiteral("DB_Name"), QStringLiteral("Демонстрационная база")));
        TDB_Form form;
        form.show();
        Platform::MessageRecorder recorder;
        whenModal<TDBEdit_Form>([](TDBEdit_Form* edit) { QTest::mouseClick(edit->Ok_But, Qt::LeftButton); });
        form.Edit_Item->trigger();
        QVERIFY2(recorder.messages.isEmpty(), qPrintable(recorder.messages.value(0).text));

        TestSupport::execBound(f->dm->Main_Database(),
                               QStringLiteral("create trigger Refuse before update on DB begin "
                                              "select raise(abort, 'MORVEL: Диск переполнен.'); end"));
        bool keptOpen = false;
        whenModal<TDBEdit_Form>([&](TDBEdit_Form* edit) {
            edit->DB_Edit->setText(QStringLiteral("Переименованная"));
            QTest::mouseClick(edit->Ok_But, Qt::LeftButton);
            keptOpen = edit->isVisible() && edit->DB_Edit->text() == QStringLiteral("Переименованная");
            // The cause goes away; the same dialog saves on the next try.
            TestSupport::execBound(Main_DataModule->Main_Database(), QStringLiteral("drop trigger Refuse"));
            QTest::mouseClick(edit->Ok_But, Qt::LeftButton);
        });
        form.Edit_Item->trigger();
        QVERIFY(keptOpen);
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages[0].text, QStringLiteral("Ошибка записи в таблицу DB: Диск переполнен."));
        QCOMPARE(count(QStringLiteral("select count(*) from DB where DB_Name = 'Переименованная'")), 1);

        whenModal<TDBEdit_Form>([](TDBEdit_Form* edit) {
            edit->DB_Edit->setText(QStringLiteral("Ещё одна"));
            QTest::mouseClick(edit->Ok_But, Qt::LeftButton);
        });
        form.Create_Item->trigger();
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(count(QStringLiteral("select count(*) from DB where DB_Name = 'Ещё одна'")), 1);
    }

    // Another instance deletes the open database, or the testee: this one's writes are refused with a
    // message, its dialog stays open, and no row is left that nothing could reach.
    void writesForRemovedOwnersAreRefusedInTheWindows() {
        const int men = f->addTester(QStringLiteral("Петров"));
        TMain_Form main;
        main.show();
        otherInstance(tableFile(), QStringLiteral("delete from TEST; delete from \"user\"; delete from DB;"));
        Platform::MessageRecorder recorder;
        bool keptOpen = false;
        whenModal<TAddTester_Form>([&](TAddTester_Form* form) {
            form->FIO_Edit->setText(QStringLiteral("Сидоров"));
            form->Sex_ComboBox->setCurrentIndex(0);
            form->Age_Edit->setValue(30);
            QTest::mouseClick(form->Ok_But, Qt::LeftButton);
            keptOpen = form->isVisible() && form->FIO_Edit->text() == QStringLiteral("Сидоров");
        });
        main.AddTest->trigger();
        QVERIFY(keptOpen);
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY2(recorder.messages[0].text.startsWith(QStringLiteral("База данных не найдена")),
                 qPrintable(recorder.messages[0].text));
        QCOMPARE(count(QStringLiteral("select count(*) from \"user\"")), 0);
        Q_UNUSED(men);
    }

    void testForADeletedTesteeIsRefused() {
        const int men = f->addTester(QStringLiteral("Петров"));
        otherInstance(tableFile(),
                      QStringLiteral("update \"user\" set IsDel = 'D' where Men_ID = %1;").arg(men));
        Platform::MessageRecorder recorder;
        TBlank_Form form;
        form.MenID = men;
        form.Record = Data::NewTestRecord(Main_DataModule->Current_DB_ID, men);
        form.InitGrids();
        form.LoadRecord();
        form.show();
        fillSheet(&form, kSheet);
        QTest::mouseClick(form.Ok_But, Qt::LeftButton);
        QVERIFY(form.isVisible());
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY(recorder.messages[0].text.startsWith(QStringLiteral("Тестируемый не найден")));
        QCOMPARE(count(QStringLiteral("select count(*) from TEST")), 0);

        // Editing him from a list that still shows him is refused too.
        f->openMenQuery();
        otherInstance(tableFile(),
                      QStringLiteral("update \"user\" set IsDel = '' where Men_ID = %1;").arg(men));
        f->openMenQuery();
        const Data::Testee shown = *f->dm->Repo().testee(men);
        otherInstance(tableFile(),
                      QStringLiteral("update \"user\" set IsDel = 'D' where Men_ID = %1;").arg(men));
        TAddTester_Form edit;
        edit.Testee.dbId = Main_DataModule->Current_DB_ID;
        edit.FillGroups();
        edit.Men_ID = men;
        edit.Testee = shown;
        edit.LoadCurrentTester();
        edit.Sex_ComboBox->setCurrentIndex(0);
        edit.show();
        QTest::mouseClick(edit.Ok_But, Qt::LeftButton);
        QVERIFY(edit.isVisible());
        QCOMPARE(recorder.messages.size(), 2);
        QVERIFY2(recorder.messages[1].text.startsWith(QStringLiteral("Тестируемый не найден")),
                 qPrintable(recorder.messages[1].text));
    }

    // Characters no stored text may hold are refused with a message naming the field; line breaks and
    // tabs are fine in a note.
    void forbiddenCharactersAreRefused_data() {
        QTest::addColumn<bool>("note");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("control character in a name") << false << QStringLiteral("Иванов\x01") << false;
        QTest::newRow("line break in a name") << false << QStringLiteral("Иванов\nИван") << false;
        QTest::newRow("lone surrogate in a name") << false << QStringLiteral("Иван") + QChar(0xDC00) << false;
        QTest::newRow("U+FFFF in a name") << false << QStringLiteral("Иван") + QChar(0xFFFF) << false;
        QTest::newRow("DEL in a name") << false << QStringLiteral("Иван\x7F") << false;
        QTest::newRow("U+0080 in a name") << false << QStringLiteral("Иван") + QChar(0x80) << false;
        QTest::newRow("U+009F in a name") << false << QStringLiteral("Иван") + QChar(0x9F) << false;
        QTest::newRow("bell in a note") << true << QStringLiteral("звонок\x07") << false;
        QTest::newRow("surrogate statement in a note")
            << true << QStringLiteral("x") + QChar(0xD800) + QStringLiteral("' where 1=1 --") << false;
        QTest::newRow("lines and tabs in a note") << true << QStringLiteral("строка 1\n\tстрока 2\n") << true;
        QTest::newRow("statement text in a note") << true << QStringLiteral("x' where 1=1 --") << true;
    }
    void forbiddenCharactersAreRefused() {
        QFETCH(bool, note);
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        const int men = f->addTester(QStringLiteral("Петров"));
        TestSupport::insertTest(f->dm->Current_DB_ID, men, QDate(2026, 1, 1), QTime(9, 0),
                                QStringLiteral("другой"), TestSupport::compose(kSheet));
        Platform::MessageRecorder recorder;
        if (note) {
            TBlank_Form form;
            form.MenID = men;
            form.Record = Data::NewTestRecord(Main_DataModule->Current_DB_ID, men);
            form.InitGrids();
            form.LoadRecord();
            form.show();
            fillSheet(&form, kSheet);
            form.NoteTest_Edit->setPlainText(text);
            QTest::mouseClick(form.Ok_But, Qt::LeftButton);
            QCOMPARE(form.isVisible(), !accepted);
            if (accepted)
                QCOMPARE(f->scalar(QStringLiteral("select Note from TEST order by Test_ID desc limit 1"))
                             .toString(),
                         text);
        } else {
            f->openMenQuery();
            TAddTester_Form form;
            form.Testee.dbId = Main_DataModule->Current_DB_ID;
            form.FillGroups();
            form.Men_ID = men;
            form.LoadCurrentTester();
            form.Sex_ComboBox->setCurrentIndex(0);
            form.FIO_Edit->setText(text);
            form.show();
            QTest::mouseClick(form.Ok_But, Qt::LeftButton);
            QCOMPARE(form.isVisible(), !accepted);
        }
        QCOMPARE(recorder.messages.size(), accepted ? 0 : 1);
        if (!accepted)
            QVERIFY2(recorder.messages[0].text.contains(note ? QStringLiteral("«Примечание»")
                                                             : QStringLiteral("«Фамилия, имя, отчество»")),
                     qPrintable(recorder.messages[0].text));
        // Nothing else changed: the other record and the name are as they were.
        QCOMPARE(f->scalar(QStringLiteral("select Note from TEST order by Test_ID limit 1")).toString(),
                 QStringLiteral("другой"));
        QCOMPARE(count(QStringLiteral("select count(*) from TEST")), accepted ? 2 : 1);
        QCOMPARE(f->scalar(QStringLiteral("select FIO from \"user\" where Men_ID = %1").arg(men)).toString(),
                 QStringLiteral("Петров"));
    }

    // A name at its limit that ends in a character outside the 16-bit range is stored whole, as valid
    // UTF-8 that another reader takes as it is.
    void wideCharactersAreStoredWhole() {
        TMain_Form main;
        main.show();
        const QString name = QString(199, u'Я') + QString::fromUcs4(U"\U0001F642");
        whenModal<TAddTester_Form>([&](TAddTester_Form* form) {
            form->FIO_Edit->insert(name + QStringLiteral("лишнее"));
            form->Sex_ComboBox->setCurrentIndex(1);
            form->Age_Edit->setValue(44);
            QTest::mouseClick(form->Ok_But, Qt::LeftButton);
        });
        main.AddTest->trigger();
        QCOMPARE(readBack(tableFile(), QStringLiteral("select FIO from \"user\"")), name);
        QCOMPARE(readBack(tableFile(), QStringLiteral("select length(FIO) from \"user\"")),
                 QStringLiteral("200"));
    }

    // A password typed longer than the limit is cut alike in the box and in its confirmation.
    void longPasswordMatchesItsConfirmation() {
        const QString typed(300, u'ж');
        f->dm->DB_Table->Open();
        Platform::MessageRecorder recorder;
        whenModal<TDBEdit_Form>([&](TDBEdit_Form* edit) {
            edit->DB_Edit->setText(QStringLiteral("С паролем"));
            edit->Password_Edit->insert(typed);
            whenModal<QDialog>([&](QDialog* confirm) {
                confirm->findChild<QLineEdit*>(QStringLiteral("Password_Edit"))->insert(typed);
                confirm->findChild<QPushButton*>(QString(), Qt::FindDirectChildrenOnly);
                QMetaObject::invokeMethod(confirm, "Ok_ButClick");
            });
            QTest::mouseClick(edit->Ok_But, Qt::LeftButton);
        });
        Data::Database db;
        db.id = -1;
        QVERIFY(EditDBData(db));
        QVERIFY(recorder.messages.isEmpty());
        f->dm->DB_Table->Close();
    }

    // A data folder that cannot be written: the data is there to see, every writing command is off.
    void readOnlyFolderOffersOnlyViewing() {
        const int men = f->addTester(QStringLiteral("Петров"));
        TestSupport::insertTest(f->dm->Current_DB_ID, men, QDate(2026, 1, 1), QTime(9, 0), {},
                                TestSupport::compose(kSheet));
        const int db = f->dm->Current_DB_ID;
        f->dm.reset();
        TestSupport::TReadOnlyFolder lock(f->dir.path() + QStringLiteral("/DB"));
        QVERIFY2(lock.ok(), qPrintable(lock.error()));
        f->dm = f->dir.createDataModule();
        QVERIFY(f->dm->ReadOnly());
        f->dm->Current_DB_ID = db;
        TMain_Form main;
        main.show();
        QCOMPARE(main.Data_Grid->Model()->rowCount(), 1);
        for (QAction* a : {main.NewDB, main.AddTest, main.EditTest, main.DelTest, main.RestoreDB})
            QVERIFY2(!a->isEnabled(), qPrintable(a->text()));
        for (QAction* a : {main.OpenDB, main.SeekTest, main.Input_Test, main.ResultTest})
            QVERIFY2(a->isEnabled(), qPrintable(a->text()));
        QVERIFY(main.statusBar()->findChild<QLabel*>(QStringLiteral("ReadOnly_Label")));
        QVERIFY(main.statusBar()
                    ->findChild<QLabel*>(QStringLiteral("DataLocation_Label"))
                    ->text()
                    .contains(QDir::toNativeSeparators(tableFile())));

        f->dm->DB_Table->Open();
        {
            TDB_Form choice;
            QVERIFY(choice.Ok_But->isEnabled());
            QVERIFY(!choice.Create_Item->isEnabled() && !choice.Edit_Item->isEnabled() &&
                    !choice.Delete_Item->isEnabled());
        }
        f->dm->DB_Table->Close();
        {
            TListTest_Form list;
            list.MenID = men;
            list.RefreshList();
            list.show();
            QVERIFY(list.Result_But->isEnabled());
            for (QPushButton* b : {list.Test_But, list.AddBlank_But, list.EditBlank_But, list.DelTest_But})
                QVERIFY(!b->isEnabled());
        }
        f->dm->Group_Table->Open();
        {
            TGroup_Form groups;
            QVERIFY(!groups.Add_But->isEnabled() && !groups.Edit_But->isEnabled() &&
                    !groups.Del_But->isEnabled());
        }
        f->dm->Group_Table->Close();
        f->dm.reset(); // before the folder is writable again
    }

    // "Восстановить из копии...": the copies with date and size, the chosen one checked and restored,
    // the data before it kept as a copy, and the database chosen anew.
    void restoreFromTheWindow() {
        f->addTester(QStringLiteral("До копии"));
        Data::MakeBackup(f->dm->Main_Database(), f->dm->DataDir(), 10);
        f->addTester(QStringLiteral("После копии"));
        TMain_Form main;
        main.show();
        QCOMPARE(main.Data_Grid->Model()->rowCount(), 2);
        Platform::MessageRecorder recorder;
        recorder.answers = {Platform::MsgAnswer::Yes};
        whenModal<TRestore_Form>([](TRestore_Form* form) {
            QCOMPARE(form->Copies_List->topLevelItemCount(), 1);
            QVERIFY(form->Copies_List->topLevelItem(0)->text(0).contains(
                QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"))));
            // Sizes in Russian units ("64 КБ"), not the locale's "KiB".
            const QString size = form->Copies_List->topLevelItem(0)->text(1);
            QVERIFY2(size.endsWith(QStringLiteral(" КБ")) && size.at(0).isDigit(), qPrintable(size));
            // An empty file is not rounded up to a kilobyte it does not have.
            QCOMPARE(BackupSizeText(0), QStringLiteral("0 байт"));
            whenModal<TDB_Form>([](TDB_Form* choice) { choice->Ok_But->click(); });
            QTest::mouseClick(form->Restore_But, Qt::LeftButton);
        });
        main.RestoreDB->trigger();
        QCOMPARE(recorder.messages.size(), 2); // the question, then the outcome
        QVERIFY(recorder.messages[1].text.startsWith(QStringLiteral("Данные восстановлены")));
        QCOMPARE(main.Data_Grid->Model()->rowCount(), 1);
        QCOMPARE(f->currentFIO(), QStringLiteral("До копии"));
        QCOMPARE(Data::ListBackups(f->dm->DataDir()).size(), 2);
    }

    // A table file that cannot be used at start is no dead end: the reason comes with the restore
    // window, which brings a copy back (the unusable file kept aside), or, where the file can still be
    // read, with viewing it.
    void unusableFileAtStartOffersTheRestore_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("restore");
        QTest::newRow("no database any more") << "noise" << true;
        QTest::newRow("data table of another shape") << "drop table USER; create table USER (a)" << true;
        QTest::newRow("reference table of another shape") << "drop table Soz; create table Soz (a)" << false;
    }
    void unusableFileAtStartOffersTheRestore() {
        QFETCH(QString, damage);
        QFETCH(bool, restore);
        f->addTester(QStringLiteral("Из копии"));
        Data::MakeBackup(f->dm->Main_Database(), f->dm->DataDir(), 10);
        const QString file = tableFile();
        const QString backups = Data::BackupDir(f->dm->DataDir());
        f->dm.reset();
        if (damage == QLatin1String("noise")) {
            QFile noise(file);
            QVERIFY(noise.open(QIODevice::WriteOnly));
            noise.write(QByteArray(8192, 'Z'));
        } else {
            otherInstance(file, damage);
        }
        Platform::MessageRecorder recorder;
        recorder.answers = {Platform::MsgAnswer::Yes};
        whenModal<TFileProblem_Form>([&](TFileProblem_Form* form) {
            QCOMPARE(form->View_But->isVisibleTo(form), !restore);
            if (!restore)
                return form->View_But->click();
            whenModal<TRestore_Form>([](TRestore_Form* copies) { copies->Restore_But->click(); });
            form->Restore_But->click();
        });
        // As the program starts: the file opened on a second thread, its failure met where it is taken.
        f->dm =
            Startup::OpenStoreAtStart(f->dir.path(), {}, Startup::OpenFileStoreMeanwhile(f->dir.path(), {}));
        QVERIFY(f->dm);
        QCOMPARE(f->dm->ReadOnly(), !restore);
        QCOMPARE(f->scalar(QStringLiteral("select FIO from \"user\"")).toString(),
                 QStringLiteral("Из копии"));
        QCOMPARE(QDir(backups).entryList({QStringLiteral("damaged-*.db")}).size(), restore ? 1 : 0);
    }

    // A table file opened on a second thread at start is then this thread's, with all it holds, and
    // notices another program's changes.
    void storeOpenedMeanwhileIsHandedOver() {
        f->dm.reset();
        f->dm =
            Startup::OpenStoreAtStart(f->dir.path(), {}, Startup::OpenFileStoreMeanwhile(f->dir.path(), {}));
        QVERIFY(f->dm);
        QCOMPARE(f->dm->thread(), QThread::currentThread());
        for (const QObject* child : f->dm->children())
            QCOMPARE(child->thread(), QThread::currentThread());
        QSignalSpy changed(f->dm.get(), &TMain_DataModule::StoreChanged);
        otherInstance(tableFile(), QStringLiteral("insert into DB (DB_Name) values ('Другая')"));
        QVERIFY(changed.wait(5000));
    }

    void deletingADatabaseKeepsACopyFirst() {
        const int other = [this] {
            qint64 id = 0;
            TestSupport::execBound(f->dm->Main_Database(),
                                   QStringLiteral("insert into DB (DB_Name) values ('Лишняя')"), {}, &id);
            return int(id);
        }();
        f->dm->DB_Table->Open();
        QVERIFY(f->dm->DB_Table->Locate(QStringLiteral("DB_ID"), other));
        TDB_Form form;
        Platform::MessageRecorder recorder;
        recorder.answers = {Platform::MsgAnswer::Yes};
        form.Delete_Item->trigger();
        QCOMPARE(count(QStringLiteral("select count(*) from DB where DB_ID = %1").arg(other)), 0);
        const QList<Data::TBackupInfo> copies = Data::ListBackups(f->dm->DataDir());
        QCOMPARE(copies.size(), 1);
        QCOMPARE(readBack(copies[0].path,
                          QStringLiteral("select count(*) from DB where DB_Name = 'Лишняя' collate binary")),
                 QStringLiteral("1"));
        f->dm->DB_Table->Close();
    }

    // The first start with the real demo data: all of it, or (killed half-way) none of it and all of it
    // at the next start.
    void firstStartGivesTheWholeDemo() {
        f.reset();
        TestSupport::ProgramDirFixture dir;
        QFile(dir.path() + QStringLiteral("/DB/morvel.db")).open(QIODevice::WriteOnly); // zero bytes
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            try {
                TMain_DataModule::Create(dir.path(), [](TMain_DataModule& dm) {
                    Demo::CreateDemoDatabase(dm);
                    ::kill(::getpid(), SIGKILL);
                });
            } catch (...) {
            }
            ::_exit(3);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status));
        const QString file = dir.path() + QStringLiteral("/DB/morvel.db");
        for (int start = 0; start < 2; ++start) {
            auto dm = TMain_DataModule::Create(dir.path(), Demo::CreateDemoDatabase);
            QCOMPARE(dm->CreatedTableFile(), start == 0);
        }
        QCOMPARE(readBack(file, QStringLiteral("select group_concat(DB_Name) from DB")),
                 QStringLiteral("Демонстрационная база"));
        QCOMPARE(readBack(file, QStringLiteral("select count(*) from \"user\"")), QStringLiteral("8"));
        QCOMPARE(readBack(file, QStringLiteral("select count(*) from TEST")), QStringLiteral("28"));
    }

    // File system types as statfs reports them: only network folders count.
    void networkFileSystemTypes_data() {
        QTest::addColumn<long>("type");
        QTest::addColumn<bool>("network");
        QTest::newRow("NFS") << 0x6969L << true;
        QTest::newRow("SMB") << 0x517BL << true;
        QTest::newRow("CIFS") << 0xFF534D42L << true;
        QTest::newRow("SMB2") << 0xFE534D42L << true;
        QTest::newRow("ext4") << 0xEF53L << false;
        QTest::newRow("tmpfs") << 0x01021994L << false;
        QTest::newRow("overlay") << 0x794C7630L << false;
    }
    void networkFileSystemTypes() {
        QFETCH(long, type);
        QFETCH(bool, network);
        QCOMPARE(Data::IsNetworkFileSystemType(type), network);
    }

    // A data folder on a network file system: the table file keeps a rollback journal (no write-ahead
    // log, which needs shared memory), and the start says once that shared use there is unsafe.
    void networkFolderGetsRollbackJournalAndOneNotice() {
        QCOMPARE(readBack(tableFile(), QStringLiteral("pragma journal_mode")), QStringLiteral("wal"));
        QVERIFY(!Data::IsNetworkFolder(f->dir.path()));
        const QString file = tableFile();
        f->dm.reset();
        auto dm = TMain_DataModule::Create(f->dir.path(), {}, [](const QString&) { return true; });
        QVERIFY(dm);
        QVERIFY(dm->NetworkFolder());
        QCOMPARE(
            TestSupport::selectValue(dm->Main_Database(), QStringLiteral("pragma journal_mode")).toString(),
            QStringLiteral("delete"));
        Platform::MessageRecorder recorder;
        ShowStoreNotices(*dm);
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY(recorder.messages[0].text.contains(QStringLiteral("сетевом диске")));
        QVERIFY(recorder.messages[0].text.contains(QStringLiteral("PostgreSQL")));
        // Writes go on as before.
        QVERIFY(TestSupport::execBound(dm->Main_Database(),
                                       QStringLiteral("insert into DB (DB_Name) values ('Сеть')")));
        dm.reset();
        QCOMPARE(readBack(file, QStringLiteral("select DB_Name from DB order by DB_ID desc limit 1")),
                 QStringLiteral("Сеть"));
    }
};

QTEST_MAIN(TestDataSafety)
#include "tst_data_safety.moc"
