// Database choice, creation and passwords, driven through the real dialogs.
#include "TestSupport.h"

#include "app/DBEdit_Frm.h"
#include "app/DB_Frm.h"
#include "app/Password_Frm.h"
#include "data/Password.h"
#include "platform/Dialogs.h"
#include "widgets/DBGrid.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace TestSupport;

namespace {

// Runs the action on the next modal window that appears.
void onNextModal(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w) {
            onNextModal(action);
            return;
        }
        action(w);
    });
}

void typePassword(QWidget* dialog, const QString& text) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("Password_Edit"));
    edit->setText(text);
}

} // namespace

class TestDBChoice : public QObject {
    Q_OBJECT

    std::unique_ptr<ProgramDirFixture> m_dir;
    std::unique_ptr<TMain_DataModule> m_dm;

    int addDB(const QString& name, const QString& password) {
        return m_dm->Repo().insertDatabase(name, Data::HashPassword(password));
    }
    int count(const QString& sql) { return TestSupport::selectValue(m_dm->Main_Database(), sql).toInt(); }

private Q_SLOTS:
    void init() {
        pinRussianLocale();
        m_dir = std::make_unique<ProgramDirFixture>();
        m_dm = m_dir->createDataModule();
    }
    void cleanup() {
        m_dm.reset();
        m_dir.reset();
    }

    // In check mode the dialog is given the stored form: the hash, or the shifted text of a file not yet
    // converted (opened read-only).
    void passwordChecks_data() {
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("message");
        const QString password = QStringLiteral("Секрет-Ёж");
        const QString hash = QString::fromLatin1(Data::HashPassword(password));
        const QString wrong = QStringLiteral("Неверный пароль! Повторите ввод.");
        QTest::newRow("right") << false << hash << password << true << "";
        QTest::newRow("Ё typed as Е and a combining mark")
            << false << hash << QStringLiteral("Секрет-Е\u0308ж") << true << "";
        QTest::newRow("right, shifted form")
            << false << QString::fromLatin1(Data::EncipherPassword(password)) << password << true << "";
        QTest::newRow("other case") << false << hash << "секрет-ёж" << false << wrong;
        QTest::newRow("wrong") << false << hash << "x" << false << wrong;
        QTest::newRow("the stored form typed") << false << hash << hash << false << wrong;
        QTest::newRow("confirm differs")
            << true << password << "Секрет-Ё" << false << "Пароли не совпадают! Повторите ввод.";
        QTest::newRow("confirm same") << true << password << password << true << "";
    }
    void passwordChecks() {
        QFETCH(bool, confirm);
        QFETCH(QString, expected);
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(QString, message);
        Platform::MessageRecorder recorder;
        TInputPassword_Form form;
        form.Expected = expected;
        form.ConfirmMode = confirm;
        form.show();
        form.Password_Edit->setText(typed);
        QTest::mouseClick(form.Ok_But, Qt::LeftButton);
        QCOMPARE(form.result() == QDialog::Accepted, accepted);
        QCOMPARE(form.isVisible(), !accepted);
        if (!accepted) {
            QCOMPARE(recorder.messages.size(), 1);
            QCOMPARE(recorder.messages[0].text, message);
            QCOMPARE(recorder.messages[0].caption, QStringLiteral("Ошибка ввода пароля"));
            QCOMPARE(form.Password_Edit->text(), typed); // kept for another try
        }
    }

    // Each wrong try doubles the pause before the next one is checked (0.5 s up to 8 s); a try within
    // the pause is not checked at all, and the right password clears it.
    void wrongTriesWaitLonger() {
        qint64 now = 0;
        m_dm->PasswordDelay = Data::TRetryDelay([&now] { return now; });
        Platform::MessageRecorder recorder;
        TInputPassword_Form form;
        form.Expected = QString::fromLatin1(Data::HashPassword(QStringLiteral("Секрет")));
        form.show();
        for (const qint64 pause : {500, 1000, 2000, 4000, 8000, 8000}) {
            form.Password_Edit->setText(QStringLiteral("x"));
            form.Ok_ButClick();
            QCOMPARE(m_dm->PasswordDelay.Remaining(), pause);
            QVERIFY(!form.Ok_But->isEnabled());
            form.Password_Edit->setText(QStringLiteral("Секрет"));
            now += pause - 1;
            form.Ok_ButClick();
            QVERIFY(form.isVisible());
            ++now;
        }
        QCOMPARE(recorder.messages.size(), 6);
        form.Ok_ButClick();
        QCOMPARE(form.result(), int(QDialog::Accepted));
        m_dm->PasswordDelay.Failed();
        QCOMPARE(m_dm->PasswordDelay.Remaining(), 500);
    }

    void openWithoutPasswordAsksNothing() {
        addDB(QStringLiteral("Открытая"), QString());
        const int second = addDB(QStringLiteral("Вторая"), QString());
        Platform::MessageRecorder recorder;
        onNextModal([](QWidget* w) {
            auto* form = qobject_cast<TDB_Form*>(w);
            QVERIFY(form);
            QCOMPARE(Main_DataModule->DB_Table->RecNo(), 2); // preselected
            form->Ok_But->click();
        });
        int id = second;
        QString name;
        QVERIFY(ChooseDB(id, name));
        QCOMPARE(id, second);
        QCOMPARE(name, QStringLiteral("Вторая"));
        QVERIFY(recorder.messages.isEmpty());
        QVERIFY(!m_dm->DB_Table->Active());
    }

    void wrongPasswordKeepsTheChoiceOpen() {
        addDB(QStringLiteral("Закрытая"), QStringLiteral("Пароль"));
        Platform::MessageRecorder recorder;
        bool stillOpen = false;
        onNextModal([&](QWidget* w) {
            auto* form = qobject_cast<TDB_Form*>(w);
            onNextModal([&, form](QWidget* ask) {
                // The prompt says whose password it asks.
                QCOMPARE(qobject_cast<TInputPassword_Form*>(ask)->Prompt_Label->text(),
                         QStringLiteral("Пароль базы данных\n«Закрытая»:"));
                typePassword(ask, QStringLiteral("пароль"));
                qobject_cast<TInputPassword_Form*>(ask)->Ok_But->click(); // refused
                qobject_cast<TInputPassword_Form*>(ask)->Cancel_But->click();
                QTimer::singleShot(0, [&, form] {
                    stillOpen = form->isVisible();
                    form->Cancel_But->click();
                });
            });
            form->Ok_But->click();
        });
        int id = 0;
        QString name = QStringLiteral("до");
        QVERIFY(!ChooseDB(id, name));
        QVERIFY(stillOpen);
        QCOMPARE(name, QStringLiteral("до"));
        QCOMPARE(recorder.messages.size(), 1);
    }

    void emptyTableEnablesOnlyCreate() {
        m_dm->DB_Table->Open();
        TDB_Form form;
        QVERIFY(!form.Ok_But->isEnabled());
        QVERIFY(!form.Edit_Item->isEnabled());
        QVERIFY(!form.Delete_Item->isEnabled());
        QVERIFY(form.Create_Item->isEnabled());
        QVERIFY(form.Cancel_But->isEnabled());
    }

    // Long names wrap onto further lines of their row instead of being cut off.
    void longNamesWrap() {
        addDB(QStringLiteral("Короткая"), QString());
        const QString stem = QStringLiteral("Школа номер пять, параллель десятых классов, весенний поток ");
        addDB(stem + QStringLiteral("2025"), QString());
        addDB(stem + QStringLiteral("2026"), QString());
        m_dm->DB_Table->Open();
        TDB_Form form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const int oneLine = form.Bases_Grid->rowHeight(0);
        QVERIFY(form.Bases_Grid->rowHeight(1) > oneLine);
        QVERIFY(form.Bases_Grid->rowHeight(2) > oneLine);
    }

    void createdDatabaseIsSelectedNotOpened() {
        m_dm->DB_Table->Open();
        TDB_Form form;
        form.show();
        onNextModal([](QWidget* w) {
            auto* edit = qobject_cast<TDBEdit_Form*>(w);
            QCOMPARE(edit->windowTitle(), QStringLiteral("Создание базы данных"));
            edit->DB_Edit->setText(QStringLiteral("Новая"));
            edit->Ok_But->click();
        });
        form.Create_Item->trigger();
        QVERIFY(form.isVisible());
        QVERIFY(form.Ok_But->isEnabled());
        QCOMPARE(m_dm->DB_Table->FieldByName(QStringLiteral("DB_Name")).AsString(), QStringLiteral("Новая"));
        QCOMPARE(m_dm->DB_Table->FieldByName(QStringLiteral("Password")).Value().toByteArray(), QByteArray());
    }

    void emptyNameIsRefused() {
        m_dm->DB_Table->Open();
        Platform::MessageRecorder recorder;
        TDBEdit_Form form;
        form.DB_ID = -1;
        form.show();
        form.DB_Edit->setText(QStringLiteral("   "));
        form.Ok_But->click();
        QVERIFY(form.isVisible());
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages[0].icon, Platform::MsgIcon::Information);
        QCOMPARE(count(QStringLiteral("select count(*) from DB")), 0);
    }

    // The edit dialog cannot show the stored password: its box starts empty, and an empty box keeps the
    // password; a typed one replaces it after the second typing; "Без пароля" removes it.
    void editKeepsChangesOrRemovesThePassword_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("none");
        QTest::addColumn<QString>("typed");
        QTest::newRow("keep") << "Старый1" << false << "";
        QTest::newRow("change") << "Старый1" << false << "Ёж1";
        QTest::newRow("remove") << "Старый1" << true << "";
        QTest::newRow("set one") << "" << false << "Ёж1";
    }
    void editKeepsChangesOrRemovesThePassword() {
        QFETCH(QString, before);
        QFETCH(bool, none);
        QFETCH(QString, typed);
        const QString after = none ? QString() : typed.isEmpty() ? before : typed;
        const int id = addDB(QStringLiteral("База"), before);
        const auto stored = [&] {
            const QVariant v =
                TestSupport::selectValue(m_dm->Main_Database(), QStringLiteral("select Password from DB"));
            return v.isValid() ? v.toByteArray() : QByteArray("no row");
        };
        const QByteArray old = stored();
        m_dm->DB_Table->Open();
        QVERIFY(m_dm->DB_Table->Locate(QStringLiteral("DB_ID"), id));
        TDBEdit_Form form;
        form.DB_ID = id;
        form.LoadRecord();
        form.show();
        QVERIFY(form.Password_Edit->text().isEmpty());
        QCOMPARE(form.Password_Edit->placeholderText(),
                 before.isEmpty() ? QString() : QStringLiteral("не менять"));
        QCOMPARE(form.NoPassword_CheckBox->isChecked(), before.isEmpty());
        if (form.NoPassword_CheckBox->isChecked() != none)
            QTest::mouseClick(form.NoPassword_CheckBox, Qt::LeftButton, {}, QPoint(4, 4));
        if (!typed.isEmpty()) {
            form.Password_Edit->insert(typed);
            onNextModal([&typed](QWidget* confirm) {
                typePassword(confirm, typed);
                qobject_cast<TInputPassword_Form*>(confirm)->Ok_But->click();
            });
        }
        Platform::MessageRecorder recorder;
        form.Ok_But->click();
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QVERIFY(recorder.messages.isEmpty());
        QVERIFY(after != before || stored() == old);
        QCOMPARE(stored().isEmpty(), after.isEmpty());
        QVERIFY(Data::PasswordMatches(stored(), after));
        QCOMPARE(Data::PasswordMatches(stored(), before), before == after);
    }

    void deletingTakesTestesAndTestsAlong() {
        const int keep = addDB(QStringLiteral("Остаётся"), QString());
        const int gone = addDB(QStringLiteral("Удаляется"), QString());
        Data::TEngine& q = m_dm->Main_Database();
        TestSupport::execBound(
            q, QStringLiteral("insert into USER (DB_ID, FIO, IsDel) values (%1, 'a', ''), (%2, 'b', '')")
                   .arg(keep)
                   .arg(gone));
        TestSupport::execBound(
            q,
            QStringLiteral("insert into TEST (DB_ID, Men_ID) values (%1, 1), (%2, 2)").arg(keep).arg(gone));
        m_dm->Current_DB_ID = keep;
        m_dm->DB_Table->Open();
        TDB_Form form;
        form.show();
        Platform::MessageRecorder recorder;
        // The open database is refused.
        QVERIFY(m_dm->DB_Table->Locate(QStringLiteral("DB_ID"), keep));
        form.Delete_Item->trigger();
        QCOMPARE(count(QStringLiteral("select count(*) from DB")), 2);
        QCOMPARE(recorder.messages.last().icon, Platform::MsgIcon::Information);
        // "No" keeps it, "Yes" removes the database with its testees and tests.
        QVERIFY(m_dm->DB_Table->Locate(QStringLiteral("DB_ID"), gone));
        recorder.answers = {Platform::MsgAnswer::No};
        form.Delete_Item->trigger();
        QCOMPARE(recorder.messages.last().defaultAnswer, Platform::MsgAnswer::No);
        QCOMPARE(count(QStringLiteral("select count(*) from DB")), 2);
        recorder.answers = {Platform::MsgAnswer::Yes};
        form.Delete_Item->trigger();
        QCOMPARE(
            recorder.messages.last().text,
            QStringLiteral("Удалить базу данных «Удаляется» вместе со всеми тестируемыми и результатами?"));
        QCOMPARE(count(QStringLiteral("select count(*) from DB")), 1);
        QCOMPARE(count(QStringLiteral("select count(*) from USER")), 1);
        QCOMPARE(count(QStringLiteral("select count(*) from TEST")), 1);
        QCOMPARE(m_dm->DB_Table->RecordCount(), 1);
    }
};

QTEST_MAIN(TestDBChoice)
#include "tst_dbchoice.moc"
