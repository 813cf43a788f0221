// Two workstations on one store (two connections to one table file, or to one server database): a save
// over a record that the other changed meanwhile is refused with a message, the dialog shows the record
// as now stored and stays open, "Вернуть мои изменения" puts back what the user changed, and a second
// save then succeeds. Deleting what the other deleted already is no error.
#include "shell/ShellFixture.h"

#include "app/AddTester_Frm.h"
#include "app/DBEdit_Frm.h"
#include "app/Group_Frm.h"
#include "app/Input_Frm.h"
#include "data/Store.h"
#include "platform/Dialogs.h"
#include "scoring/Calc_Records.h"
#include "testing/Blank_Frm.h"
#include "widgets/RestoreEdits.h"
#include "widgets/StringGrid.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <functional>

using namespace ShellTest;

namespace {

const QString kSheet = QStringLiteral("135724681538264713457812"
                                      "264815372467381567285634");

// The other workstation: a connection of its own to the same store.
class TOtherWorkstation {
public:
    explicit TOtherWorkstation(const TestSupport::TStoreFixture& store)
        : m_engine(store.connectAnother(&m_error)) {}
    bool ok() const { return m_engine != nullptr; }
    const QString& error() const { return m_error; }
    bool exec(const QString& sql, const QVariantMap& params = {}) {
        return TestSupport::execBound(*m_engine, sql, params);
    }

private:
    QString m_error;
    std::unique_ptr<Data::TEngine> m_engine;
};

// Runs `work` on the next prompt window once it shows (a prompt other than `previous`).
void onPrompt(const std::function<void(TInput_Form*)>& work, QPointer<TInput_Form> previous = {}) {
    QTimer::singleShot(10, [=] {
        auto* prompt = qobject_cast<TInput_Form*>(QApplication::activeModalWidget());
        if (!prompt || prompt == previous.data() || !prompt->isVisible())
            return onPrompt(work, previous);
        work(prompt);
    });
}

} // namespace

class TestLostUpdates : public QObject {
    Q_OBJECT

    std::unique_ptr<Fixture> f;
    std::unique_ptr<TOtherWorkstation> other;

    QString stored(const QString& sql, const QVariantMap& params) {
        return TestSupport::selectValue(f->dm->Main_Database(), sql, params).toString();
    }

private Q_SLOTS:
    void initTestCase_data() { TestSupport::addStoreRows(); }
    void init() {
        f = std::make_unique<Fixture>(Fixture::currentStore());
        QVERIFY(f->dm);
        other = std::make_unique<TOtherWorkstation>(f->store);
        QVERIFY2(other->ok(), qPrintable(other->error()));
    }
    void cleanup() {
        other.reset();
        f.reset();
    }

    // The testee dialog: the other renames him while the dialog is open.
    void testeeChangedElsewhere() {
        const int men = f->addTester(QStringLiteral("Петров"), 30);
        f->openMenQuery();
        Platform::MessageRecorder recorder;
        TAddTester_Form form;
        form.Testee.dbId = Main_DataModule->Current_DB_ID;
        form.FillGroups();
        form.Men_ID = men;
        form.LoadCurrentTester();
        form.show();
        QVERIFY(
            other->exec(QStringLiteral("update \"user\" set FIO = 'Сидоров', Age = 41 where Men_ID = :men"),
                        {{QStringLiteral("men"), men}}));
        form.FIO_Edit->setText(QStringLiteral("Иванов"));
        QTest::mouseClick(form.Ok_But, Qt::LeftButton);
        QVERIFY(form.isVisible());
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages[0].text, Data::kRecordChanged);
        QCOMPARE(form.FIO_Edit->text(), QStringLiteral("Сидоров"));
        const QString sql = QStringLiteral("select FIO || ' ' || Age from \"user\" where Men_ID = :men");
        const QVariantMap key{{QStringLiteral("men"), men}};
        QCOMPARE(stored(sql, key), QStringLiteral("Сидоров 41"));
        // The user's change comes back over the stored record (his age was not his change), and saves.
        QVERIFY(form.Restore_But->isVisible());
        QTest::mouseClick(form.Restore_But, Qt::LeftButton);
        QCOMPARE(form.FIO_Edit->text(), QStringLiteral("Иванов"));
        QCOMPARE(form.Age_Edit->value(), 41);
        QVERIFY(!form.Restore_But->isVisible());
        QTest::mouseClick(form.Ok_But, Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(stored(sql, key), QStringLiteral("Иванов 41"));
    }

    // The database dialog: the other renames the database entry.
    void databaseChangedElsewhere() {
        const int db = f->dm->Current_DB_ID;
        Platform::MessageRecorder recorder;
        Main_DataModule->DB_Table->Open();
        QVERIFY(Main_DataModule->DB_Table->Locate(QStringLiteral("DB_ID"), db));
        TDBEdit_Form form;
        form.DB_ID = db;
        form.LoadRecord();
        form.show();
        QVERIFY(other->exec(QStringLiteral("update DB set DB_Name = 'Чужая' where DB_ID = :db"),
                            {{QStringLiteral("db"), db}}));
        form.DB_Edit->setText(QStringLiteral("Моя"));
        QTest::mouseClick(form.Ok_But, Qt::LeftButton);
        QVERIFY(form.isVisible());
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages[0].text, Data::kRecordChanged);
        QCOMPARE(form.DB_Edit->text(), QStringLiteral("Чужая"));
        const QString sql = QStringLiteral("select DB_Name from DB where DB_ID = :db");
        QCOMPARE(stored(sql, {{QStringLiteral("db"), db}}), QStringLiteral("Чужая"));
        QTest::mouseClick(form.Restore_But, Qt::LeftButton);
        QCOMPARE(form.DB_Edit->text(), QStringLiteral("Моя"));
        QTest::mouseClick(form.Ok_But, Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QCOMPARE(stored(sql, {{QStringLiteral("db"), db}}), QStringLiteral("Моя"));
        Main_DataModule->DB_Table->Close();
    }

    // The test record dialog: the other changes the note, or deletes the record.
    void testRecordChangedElsewhere_data() {
        QTest::addColumn<bool>("deleted");
        QTest::newRow("changed") << false;
        QTest::newRow("deleted") << true;
    }
    void testRecordChangedElsewhere() {
        QFETCH(bool, deleted);
        const int men = f->addTester(QStringLiteral("Петров"));
        const int test = TestSupport::insertTest(f->dm->Current_DB_ID, men, QDate(2026, 1, 1), QTime(9, 0),
                                                 QStringLiteral("было"), TestSupport::compose(kSheet));
        Platform::MessageRecorder recorder;
        TBlank_Form form;
        form.MenID = men;
        form.EditMode = true;
        form.Record = *f->dm->Repo().test(test);
        form.InitGrids();
        form.LoadRecord();
        form.show();
        QVERIFY(other->exec(deleted ? QStringLiteral("delete from TEST where Test_ID = :id")
                                    : QStringLiteral("update TEST set Note = 'чужое' where Test_ID = :id"),
                            {{QStringLiteral("id"), test}}));
        form.NoteTest_Edit->setPlainText(QStringLiteral("моё"));
        QTest::mouseClick(form.Ok_But, Qt::LeftButton);
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages[0].text, deleted ? Data::kRecordGone : Data::kRecordChanged);
        const QString sql = QStringLiteral("select count(*) || ' ' || max(Note) from TEST");
        if (deleted) {
            // Nothing to save over: the dialog closes, and no record came back.
            QVERIFY(!form.isVisible());
            QCOMPARE(stored(QStringLiteral("select count(*) from TEST"), {}), QStringLiteral("0"));
            return;
        }
        QVERIFY(form.isVisible());
        QCOMPARE(form.NoteTest_Edit->toPlainText(), QStringLiteral("чужое"));
        QCOMPARE(stored(sql, {}), QStringLiteral("1 чужое"));
        QTest::mouseClick(form.Restore_But, Qt::LeftButton);
        QCOMPARE(form.NoteTest_Edit->toPlainText(), QStringLiteral("моё"));
        QTest::mouseClick(form.Ok_But, Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(stored(sql, {}), QStringLiteral("1 моё"));
    }

    // The group dialog: the other renames the group while the user types a new name; the name is asked
    // for again with the stored one shown and the user's one behind the button.
    void groupRenamedElsewhereWhileTyping() {
        const int id = f->addGroup(QStringLiteral("Первая"));
        const QVariantMap key{{QStringLiteral("id"), id}};
        Platform::MessageRecorder recorder;
        f->dm->Group_Table->Open();
        QVERIFY(f->dm->Group_Table->Locate(QStringLiteral("Group_ID"), id));
        TGroup_Form form;
        form.show();
        QString shownAgain;
        onPrompt([&](TInput_Form* prompt) {
            QVERIFY(other->exec(
                QStringLiteral("update \"group\" set Group_Name = 'Чужая' where Group_ID = :id"), key));
            prompt->Text_Edit->setText(QStringLiteral("Моя"));
            onPrompt(
                [&](TInput_Form* again) {
                    shownAgain = again->Text_Edit->text();
                    QTest::mouseClick(again->Restore_But, Qt::LeftButton);
                    QTest::mouseClick(again->Ok_But, Qt::LeftButton);
                },
                prompt);
            QTest::mouseClick(prompt->Ok_But, Qt::LeftButton);
        });
        form.Edit_ButClick();
        f->dm->Group_Table->Close();
        QCOMPARE(shownAgain, QStringLiteral("Чужая"));
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages[0].text, Data::kRecordChanged);
        QCOMPARE(stored(QStringLiteral("select Group_Name from \"group\" where Group_ID = :id"), key),
                 QStringLiteral("Моя"));
    }

    // Groups through the repository: a rename over the other's rename is refused; deleting a group the
    // other deleted already is no error.
    void groupChangedOrDeletedElsewhere() {
        const int kept = f->addGroup(QStringLiteral("Первая"));
        const int gone = f->addGroup(QStringLiteral("Вторая"));
        const qint64 version =
            TestSupport::selectValue(f->dm->Main_Database(),
                                     QStringLiteral("select Row_Version from \"group\" where Group_ID = :id"),
                                     {{QStringLiteral("id"), kept}})
                .toLongLong();
        QVERIFY(other->exec(QStringLiteral("update \"group\" set Group_Name = 'Чужая' where Group_ID = :id"),
                            {{QStringLiteral("id"), kept}}));
        QVERIFY(other->exec(QStringLiteral("delete from \"group\" where Group_ID = :id"),
                            {{QStringLiteral("id"), gone}}));
        QVERIFY_THROWS_EXCEPTION(Data::ERecordChanged,
                                 f->dm->Repo().renameGroup({kept, QStringLiteral("Моя"), version}));
        f->dm->Repo().deleteGroup(gone);
        const auto rows = TestSupport::selectRows(
            f->dm->Main_Database(),
            QStringLiteral("select Group_ID, Group_Name from \"group\" where Group_ID in "
                           "(:kept, :gone)"),
            {{QStringLiteral("kept"), kept}, {QStringLiteral("gone"), gone}});
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][1].toString(), QStringLiteral("Чужая"));
    }
};

QTEST_MAIN(TestLostUpdates)
#include "tst_lost_updates.moc"
