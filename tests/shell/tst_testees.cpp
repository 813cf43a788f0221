// Testees and groups: the testee dialog, the group and prompt dialogs, and the main window's add, edit,
// delete and group actions.
#include "ShellFixture.h"

#include "app/AddTester_Frm.h"
#include "app/Group_Frm.h"
#include "app/Input_Frm.h"
#include "app/MainFrm.h"
#include "platform/Dialogs.h"
#include "widgets/DBGrid.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

using namespace ShellTest;
using Platform::MsgAnswer;

class TestTestees : public QObject {
    Q_OBJECT

    std::unique_ptr<Fixture> f;

    static void typeInto(QWidget* w, const QString& text) {
        w->setFocus();
        QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(w, Qt::Key_Delete);
        typeText(w, text);
    }
    // Fills the open testee dialog and confirms it.
    static void fillTester(TAddTester_Form* form, const QString& fio, int sexIndex, const QString& age,
                           const QString& group) {
        typeInto(form->FIO_Edit, fio);
        form->Sex_ComboBox->setCurrentIndex(sexIndex);
        typeInto(form->Age_Edit, age);
        form->Group_ComboBox->setEditText(group);
        QTest::mouseClick(form->Ok_But, Qt::LeftButton);
    }
    QStringList groupNames() {
        QStringList names;
        Data::TQuery q(f->dm->Main_Database(), nullptr);
        q.SetSQL(QStringLiteral("select Group_Name from \"group\" order by Group_ID"));
        q.Open();
        for (int r = 0; r < q.RecordCount(); ++r)
            names << q.Value(r, 0).toString();
        return names;
    }

private Q_SLOTS:
    void initTestCase_data() { TestSupport::addStoreRows(); }
    void init() { f = std::make_unique<Fixture>(Fixture::currentStore()); }
    void cleanup() { f.reset(); }

    void addTesterShowsAndSelectsHim() {
        f->addTester(QStringLiteral("Андреев Андрей"));
        f->addGroup(QStringLiteral("Первая"));
        const int group = f->addGroup(QStringLiteral("Вторая"));
        TMain_Form main;
        main.show();
        whenModal<TAddTester_Form>([](TAddTester_Form* form) {
            QCOMPARE(form->windowTitle(), QStringLiteral("Добавление нового тестируемого"));
            QCOMPARE(form->Group_ComboBox->count(), 2);
            QVERIFY(form->FIO_Edit->text().isEmpty());
            QCOMPARE(form->Sex_ComboBox->currentIndex(), -1);
            fillTester(form, QStringLiteral("  Яковлева Ольга  "), 1, QStringLiteral("27"),
                       QStringLiteral("Вторая"));
        });
        main.AddTest->trigger();
        QCOMPARE(main.Data_Grid->Model()->rowCount(), 2);
        QCOMPARE(f->currentFIO(), QStringLiteral("Яковлева Ольга"));
        const int id = main.CurrentMenID();
        QCOMPARE(main.Data_Grid->currentIndex().row(), f->dm->Men_Query->CurrentRow());
        QCOMPARE(
            f->scalar(QStringLiteral("select Sex || '/' || Age || '/' || Group_ID || '/' || DB_ID || '/' || "
                                     "IsDel from \"user\" where Men_ID = %1")
                          .arg(id))
                .toString(),
            QStringLiteral("Ж/27/%1/%2/").arg(group).arg(f->dm->Current_DB_ID));
    }

    void editTesterKeepsHimCurrent() {
        f->addGroup(QStringLiteral("Общая"));
        const int g2 = f->addGroup(QStringLiteral("Общая")); // same name, other group
        f->addTester(QStringLiteral("Белов"), 40, QStringLiteral("М"), g2);
        const int id = f->addTester(QStringLiteral("Вдовин"), 50, QStringLiteral("X"), g2);
        f->addTester(QStringLiteral("Гусев"));
        TMain_Form main;
        main.show();
        QVERIFY(main.LocateMen(id));
        whenModal<TAddTester_Form>([](TAddTester_Form* form) {
            QCOMPARE(form->windowTitle(), QStringLiteral("Корректировка данных тестируемого"));
            QCOMPARE(form->FIO_Edit->text(), QStringLiteral("Вдовин"));
            QCOMPARE(form->Age_Edit->value(), 50);
            QCOMPARE(form->Sex_ComboBox->currentIndex(), -1);  // neither "М" nor "Ж"
            QCOMPARE(form->Group_ComboBox->currentIndex(), 1); // his own group, not the first of that name
            form->Sex_ComboBox->setCurrentIndex(0);
            typeInto(form->FIO_Edit, QStringLiteral("Вдовин-О'Нил Петр"));
            QTest::mouseClick(form->Ok_But, Qt::LeftButton);
        });
        main.EditTest->trigger();
        QCOMPARE(main.CurrentMenID(), id);
        QCOMPARE(f->currentFIO(), QStringLiteral("Вдовин-О'Нил Петр"));
        QCOMPARE(f->scalar(QStringLiteral("select Sex || Group_ID from \"user\" where Men_ID = %1").arg(id))
                     .toString(),
                 QStringLiteral("М%1").arg(g2));
        QCOMPARE(f->scalar(QStringLiteral("select count(*) from \"user\"")).toInt(), 3);
    }

    void cancelWritesNothing() {
        f->addTester(QStringLiteral("Белов"));
        TMain_Form main;
        whenModal<TAddTester_Form>([](TAddTester_Form* form) {
            typeInto(form->FIO_Edit, QStringLiteral("Новый"));
            QTest::mouseClick(form->Cancel_But, Qt::LeftButton);
        });
        main.AddTest->trigger();
        QCOMPARE(f->scalar(QStringLiteral("select count(*) from \"user\"")).toInt(), 1);
    }

    void refusals_data() {
        QTest::addColumn<QString>("fio");
        QTest::addColumn<int>("sex");
        QTest::addColumn<QString>("age");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("empty name") << "" << 0 << "30"
                                    << ""
                                    << "Введите фамилию, имя и отчество тестируемого."
                                    << "FIO_Edit";
        QTest::newRow("blank name") << "   " << 0 << "30"
                                    << ""
                                    << "Введите фамилию, имя и отчество тестируемого."
                                    << "FIO_Edit";
        QTest::newRow("no sex") << "Иванов" << -1 << "30"
                                << ""
                                << "Укажите пол тестируемого."
                                << "Sex_ComboBox";
        QTest::newRow("no age") << "Иванов" << 1 << ""
                                << ""
                                << "Укажите возраст тестируемого."
                                << "Age_Edit";
        QTest::newRow("unknown group") << "Иванов" << 1 << "30"
                                       << "Нет такой"
                                       << "Выберите группу из списка."
                                       << "Group_ComboBox";
        QTest::newRow("group in other case") << "Иванов" << 1 << "30"
                                             << "первая"
                                             << "Выберите группу из списка."
                                             << "Group_ComboBox";
    }
    void refusals() {
        QFETCH(QString, fio);
        QFETCH(int, sex);
        QFETCH(QString, age);
        QFETCH(QString, group);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        f->addGroup(QStringLiteral("Первая"));
        Platform::MessageRecorder recorder;
        TAddTester_Form form;
        form.Testee.dbId = Main_DataModule->Current_DB_ID;
        form.FillGroups();
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        fillTester(&form, fio, sex, age, group);
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages[0].text, message);
        QCOMPARE(recorder.messages[0].icon, Platform::MsgIcon::Information);
        QVERIFY(form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Rejected));
        QVERIFY(form.focusWidget());
        QVERIFY(form.focusWidget() == form.findChild<QWidget*>(focus) ||
                form.focusWidget()->parentWidget() == form.findChild<QWidget*>(focus));
        QCOMPARE(f->scalar(QStringLiteral("select count(*) from \"user\"")).toInt(), 0);
    }

    void noGroupIsStoredAsZero() {
        TAddTester_Form form;
        form.Testee.dbId = Main_DataModule->Current_DB_ID;
        form.FillGroups();
        form.show();
        fillTester(&form, QStringLiteral("Иванов"), 0, QStringLiteral("33"), QString());
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(f->scalar(QStringLiteral("select Group_ID from \"user\" where Men_ID = %1").arg(form.Men_ID))
                     .toInt(),
                 0);
        f->openMenQuery();
        QCOMPARE(f->dm->Men_Query->FieldByName(QStringLiteral("GROUP_NAME")).AsString(), QString());
    }

    void ageBroughtToNearerBound_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("age");
        QTest::newRow("inside") << "45" << 45;
        QTest::newRow("lowest") << "3" << 3;
        QTest::newRow("below") << "1" << 3;
        QTest::newRow("zero") << "0" << 3;
        QTest::newRow("highest") << "120" << 120;
        QTest::newRow("above") << "150" << 120;
        QTest::newRow("far above") << "99999" << 120;
    }
    void ageBroughtToNearerBound() {
        QFETCH(QString, typed);
        QFETCH(int, age);
        TAddTester_Form form;
        form.Testee.dbId = Main_DataModule->Current_DB_ID;
        form.show();
        typeInto(form.Age_Edit, typed);
        form.Age_Edit->interpretText();
        QCOMPARE(form.Age_Edit->value(), age);
    }

    void ageArrowsStayInRange_data() {
        QTest::addColumn<int>("start"); // 0: empty box
        QTest::addColumn<int>("steps");
        QTest::addColumn<int>("age");
        QTest::newRow("up from empty") << 0 << 1 << 3;
        QTest::newRow("down from empty") << 0 << -1 << 3;
        QTest::newRow("down at lowest") << 3 << -1 << 3;
        QTest::newRow("up at highest") << 120 << 1 << 120;
        QTest::newRow("up") << 40 << 1 << 41;
    }
    void ageArrowsStayInRange() {
        QFETCH(int, start);
        QFETCH(int, steps);
        QFETCH(int, age);
        TAgeSpinBox box;
        if (start == 0)
            box.Clear();
        else
            box.setValue(start);
        box.stepBy(steps);
        QCOMPARE(box.value(), age);
        QVERIFY(!box.IsEmpty());
    }

    // Limits count characters: one outside the 16-bit range is one character and is kept whole or
    // left out whole, never cut in half.
    void textLengthsAreLimited_data() {
        QTest::addColumn<bool>("group");
        QTest::addColumn<int>("limit");
        QTest::newRow("name") << false << 200;
        QTest::newRow("group") << true << 50;
    }
    void textLengthsAreLimited() {
        QFETCH(bool, group);
        QFETCH(int, limit);
        const QString wide = QString::fromUcs4(U"\U0001F600");
        TAddTester_Form form;
        form.Testee.dbId = Main_DataModule->Current_DB_ID;
        QLineEdit* edit = group ? form.Group_ComboBox->lineEdit() : form.FIO_Edit;
        const QString fits = QString(limit - 1, u'а') + wide;
        edit->insert(fits + QStringLiteral("б"));
        QCOMPARE(edit->text(), fits);
        edit->clear();
        edit->insert(QString(limit, u'а') + wide);
        QCOMPARE(edit->text(), QString(limit, u'а'));
    }

    void groupAddedThroughPlusIsOfferedAtOnce() {
        f->addGroup(QStringLiteral("Первая"));
        TAddTester_Form form;
        form.Testee.dbId = Main_DataModule->Current_DB_ID;
        form.FillGroups();
        form.show();
        whenModal<TGroup_Form>([](TGroup_Form* groups) {
            whenModal<TInput_Form>([](TInput_Form* input) {
                QCOMPARE(input->windowTitle(), QStringLiteral("Добавить группу"));
                typeText(input->Text_Edit, QStringLiteral("Новая"));
                QTest::mouseClick(input->Ok_But, Qt::LeftButton);
            });
            QTest::mouseClick(groups->Add_But, Qt::LeftButton);
            QTest::mouseClick(groups->Ok_But, Qt::LeftButton);
        });
        QTest::mouseClick(form.Group_But, Qt::LeftButton);
        QCOMPARE(form.Group_ComboBox->count(), 2);
        QCOMPARE(form.Group_ComboBox->itemText(1), QStringLiteral("Новая"));
        QVERIFY(!f->dm->Group_Table->Active());
    }

    void groupDialogAdd_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QStringList>("groups");
        QTest::newRow("name") << "Вторая" << true << QStringList{"Первая", "Вторая"};
        QTest::newRow("empty name") << "" << true << QStringList{"Первая"};
        QTest::newRow("cancelled") << "Вторая" << false << QStringList{"Первая"};
    }
    void groupDialogAdd() {
        QFETCH(QString, typed);
        QFETCH(bool, confirm);
        QFETCH(QStringList, groups);
        f->addGroup(QStringLiteral("Первая"));
        TGroup_Form form;
        f->dm->Group_Table->Open();
        form.show();
        whenModal<TInput_Form>([typed, confirm](TInput_Form* input) {
            typeText(input->Text_Edit, typed);
            QTest::mouseClick(confirm ? input->Ok_But : input->Cancel_But, Qt::LeftButton);
        });
        QTest::mouseClick(form.Add_But, Qt::LeftButton);
        QCOMPARE(groupNames(), groups);
        QCOMPARE(form.Group_DBGrid->Model()->rowCount(), groups.size());
    }

    void groupDialogRename_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("writes");
        QTest::newRow("new name") << "Вторая" << true << "Вторая" << 1;
        QTest::newRow("same name") << "Первая" << true << "Первая" << 0;
        QTest::newRow("other case") << "ПЕРВАЯ" << true << "ПЕРВАЯ" << 1;
        QTest::newRow("empty") << "" << true << "" << 1;
        QTest::newRow("cancelled") << "Вторая" << false << "Первая" << 0;
    }
    void groupDialogRename() {
        QFETCH(QString, typed);
        QFETCH(bool, confirm);
        QFETCH(QString, stored);
        QFETCH(int, writes);
        f->addGroup(QStringLiteral("Первая"));
        TGroup_Form form;
        f->dm->Group_Table->Open();
        form.show();
        // Every write counts the row's version up.
        const qint64 version = f->scalar(QStringLiteral("select Row_Version from \"group\"")).toLongLong();
        whenModal<TInput_Form>([typed, confirm](TInput_Form* input) {
            QCOMPARE(input->windowTitle(), QStringLiteral("Изменить название группы"));
            QCOMPARE(input->Text_Edit->text(), QStringLiteral("Первая"));
            input->Text_Edit->setText(typed);
            QTest::mouseClick(confirm ? input->Ok_But : input->Cancel_But, Qt::LeftButton);
        });
        QTest::mouseClick(form.Edit_But, Qt::LeftButton);
        QCOMPARE(f->scalar(QStringLiteral("select Row_Version from \"group\"")).toLongLong() - version,
                 writes);
        QCOMPARE(groupNames(), QStringList{stored});
    }

    void groupDialogDeleteKeepsTestees_data() {
        QTest::addColumn<int>("members");
        QTest::addColumn<QString>("said");
        QTest::newRow("none") << 0 << "нет тестируемых";
        QTest::newRow("one") << 1 << "1 тестируемый";
        QTest::newRow("four") << 4 << "4 тестируемых";
        QTest::newRow("eleven") << 11 << "11 тестируемых";
        QTest::newRow("twenty-one") << 21 << "21 тестируемый";
    }
    // The question says how many testees are in the group; they stay, listed without a group, and the
    // group's key is never given to a new group, which would take them in.
    void groupDialogDeleteKeepsTestees() {
        QFETCH(int, members);
        QFETCH(QString, said);
        f->addGroup(QStringLiteral("Первая"));
        const int g = f->addGroup(QStringLiteral("Вторая"));
        for (int i = 0; i < members; ++i)
            f->addTester(QStringLiteral("Иванов %1").arg(i), 30, QStringLiteral("М"), g);
        // A deleted testee is no longer in the group.
        const int gone = f->addTester(QStringLiteral("Удалённый"), 30, QStringLiteral("М"), g);
        TestSupport::execBound(f->dm->Main_Database(),
                               QStringLiteral("update \"user\" set IsDel = 'D' where Men_ID = :men"),
                               {{QStringLiteral("men"), gone}});
        Platform::MessageRecorder recorder;
        recorder.answers = {MsgAnswer::No, MsgAnswer::Yes};
        TGroup_Form form;
        f->dm->Group_Table->Open();
        f->dm->Group_Table->Locate(QStringLiteral("Group_ID"), g);
        form.show();
        QTest::mouseClick(form.Del_But, Qt::LeftButton);
        QCOMPARE(groupNames().size(), 2);
        // Del in the list does what the button does.
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.Group_DBGrid->setFocus();
        QTest::keyClick(form.Group_DBGrid, Qt::Key_Delete);
        QCOMPARE(groupNames(), QStringList{QStringLiteral("Первая")});
        QCOMPARE(recorder.messages.size(), 2);
        const Platform::MessageRequest& ask = recorder.messages[0];
        QCOMPARE(ask.text,
                 QStringLiteral("В группе «Вторая» %1.\nВы действительно хотите удалить группу?").arg(said));
        QCOMPARE(ask.caption, QStringLiteral("Подтверждение удаления"));
        QCOMPARE(ask.defaultAnswer, MsgAnswer::No);
        QVERIFY(ask.owner == &form);
        whenModal<TInput_Form>([](TInput_Form* input) {
            typeText(input->Text_Edit, QStringLiteral("Новая"));
            QTest::mouseClick(input->Ok_But, Qt::LeftButton);
        });
        QTest::mouseClick(form.Add_But, Qt::LeftButton);
        QVERIFY(
            f->scalar(QStringLiteral("select Group_ID from \"group\" where Group_Name = 'Новая'")).toInt() >
            g);
        f->openMenQuery();
        QCOMPARE(f->dm->Men_Query->RecordCount(), members);
        if (members > 0) {
            QCOMPARE(f->dm->Men_Query->FieldByName(QStringLiteral("Group_ID")).AsInteger(), g);
            QCOMPARE(f->dm->Men_Query->FieldByName(QStringLiteral("GROUP_NAME")).AsString(), QString());
        }
    }

    void groupActionOpensDialogAndClosesTable() {
        f->addGroup(QStringLiteral("Первая"));
        TMain_Form main;
        bool seen = false;
        whenModal<TGroup_Form>([&seen](TGroup_Form* form) {
            seen = form->Group_DBGrid->Model()->rowCount() == 1 && form->focusWidget() == form->Ok_But;
            QTest::mouseClick(form->Ok_But, Qt::LeftButton);
        });
        main.Group->trigger();
        QVERIFY(seen);
        QVERIFY(!f->dm->Group_Table->Active());
    }

    void inputTextResult_data() {
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QString>("result");
        QTest::newRow("confirmed") << true << "новое";
        QTest::newRow("cancelled") << false << "старое";
    }
    void inputTextResult() {
        QFETCH(bool, confirm);
        QFETCH(QString, result);
        whenModal<TInput_Form>([confirm](TInput_Form* input) {
            QCOMPARE(input->Promt_Label->text(), QStringLiteral("Подсказка"));
            input->Text_Edit->setText(QStringLiteral("новое"));
            QTest::mouseClick(confirm ? input->Ok_But : input->Cancel_But, Qt::LeftButton);
        });
        QString text;
        QCOMPARE(InputText(QStringLiteral("Заголовок"), QStringLiteral("Подсказка"), QStringLiteral("старое"),
                           text),
                 confirm);
        QCOMPARE(text, result);
    }

    void deleteTester_data() {
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("yes") << MsgAnswer::Yes << QStringList{"Андреев", "Гусев"};
        QTest::newRow("no") << MsgAnswer::No << QStringList{"Андреев", "Борисов", "Гусев"};
    }
    void deleteTester() {
        QFETCH(MsgAnswer, answer);
        QFETCH(QStringList, listed);
        f->addTester(QStringLiteral("Андреев"));
        const int id = f->addTester(QStringLiteral("Борисов"));
        f->addTester(QStringLiteral("Гусев"));
        TestSupport::execBound(f->dm->Main_Database(),
                               QStringLiteral("insert into TEST (DB_ID, Men_ID) values (%1, %2)")
                                   .arg(f->dm->Current_DB_ID)
                                   .arg(id));
        TMain_Form main;
        main.show();
        // Several rows selected: only the current one goes.
        main.Data_Grid->selectAll();
        QVERIFY(main.LocateMen(id));
        Platform::MessageRecorder recorder;
        recorder.answers = {answer};
        main.DelTest->trigger();
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages[0].text, QStringLiteral("Удалить тестируемого «Борисов»?"));
        QCOMPARE(recorder.messages[0].buttons, Platform::MsgButtons::YesNo);
        QCOMPARE(recorder.messages[0].defaultAnswer, MsgAnswer::No);
        QStringList names;
        Data::TQuery* q = f->dm->Men_Query;
        for (int r = 0; r < q->RecordCount(); ++r)
            names << q->Value(r, q->FieldIndex(QStringLiteral("FIO"))).toString();
        QCOMPARE(names, listed);
        QCOMPARE(f->scalar(QStringLiteral("select count(*) from \"user\"")).toInt(), 3);
        QCOMPARE(f->scalar(QStringLiteral("select count(*) from TEST where Men_ID = %1").arg(id)).toInt(), 1);
    }
};

QTEST_MAIN(TestTestees)
#include "tst_testees.moc"
