// Shared set-up of the shell tests: a program directory with a data module, one open database, and
// helpers to insert testees and groups and to answer modal windows.
#pragma once

#include "TestSupport.h"

#include <QApplication>
#include <QSqlQuery>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace ShellTest {

class Fixture {
public:
    Fixture() {
        TestSupport::pinRussianLocale();
        dm = dir.createDataModule();
        QSqlQuery q(dm->Connection());
        q.exec(QStringLiteral("insert into DB (DB_Name) values ('Основная')"));
        dm->Current_DB_ID = q.lastInsertId().toInt();
    }

    int addGroup(const QString& name) {
        QSqlQuery q(dm->Connection());
        q.prepare(QStringLiteral("insert into \"GROUP\" (Group_Name) values (?)"));
        q.addBindValue(name);
        q.exec();
        return q.lastInsertId().toInt();
    }
    int addTester(const QString& fio, int age = 30, const QString& sex = QStringLiteral("М"),
                  int groupId = 0) {
        QSqlQuery q(dm->Connection());
        q.prepare(QStringLiteral(
            "insert into USER (DB_ID, FIO, Sex, Age, Group_ID, IsDel) values (?, ?, ?, ?, ?, '')"));
        q.addBindValue(dm->Current_DB_ID);
        q.addBindValue(fio);
        q.addBindValue(sex);
        q.addBindValue(age);
        q.addBindValue(groupId);
        q.exec();
        return q.lastInsertId().toInt();
    }
    QVariant scalar(const QString& sql) {
        QSqlQuery q(dm->Connection());
        q.exec(sql);
        return q.next() ? q.value(0) : QVariant();
    }
    // Opens Men_Query in its natural order.
    void openMenQuery(const QString& orderBy = QString()) {
        Data::TQuery* q = dm->Men_Query;
        q->Close();
        q->SetSQL(dm->MenQueryBaseSQL() + orderBy);
        q->SetParam(QStringLiteral("DB_ID"), dm->Current_DB_ID);
        q->Open();
    }
    QString currentFIO() { return dm->Men_Query->FieldByName(QStringLiteral("FIO")).AsString(); }

    TestSupport::ProgramDirFixture dir;
    std::unique_ptr<TMain_DataModule> dm;
};

// Types the text as key presses (also letters that QTest's own key clicks do not know).
inline void typeText(QWidget* w, const QString& text) {
    for (QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &release);
    }
}

// Runs the step on the modal window of the given class once it is shown (from the event loop of its
// exec()); a window of another class on top is waited out.
template <class Form> void whenModal(std::function<void(Form*)> step, int tries = 500) {
    QTimer::singleShot(tries == 500 ? 0 : 10, [step, tries] {
        auto* form = qobject_cast<Form*>(QApplication::activeModalWidget());
        if (form && form->isVisible()) {
            step(form);
            // A step that failed half-way leaves its window open: close it so the test ends.
            if (form->isVisible())
                form->reject();
            return;
        }
        if (tries > 0)
            whenModal<Form>(step, tries - 1);
        else
            qWarning("no modal %s appeared", Form::staticMetaObject.className());
    });
}

} // namespace ShellTest
