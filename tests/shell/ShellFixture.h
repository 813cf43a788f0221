// Shared set-up of the shell tests: a program directory with a data module on the store of the test
// row (the table file or the server), one open database, and helpers to insert testees and groups and
// to answer modal windows.
#pragma once

#include "StoreSupport.h"

#include <QApplication>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace ShellTest {

class Fixture {
public:
    Fixture() : Fixture(TestSupport::TStore::File) {}
    explicit Fixture(TestSupport::TStore kind, const QString& clusterDir = TestSupport::kClusterDir)
        : store(kind, clusterDir) {
        TestSupport::pinRussianLocale();
        if (!store.open())
            QTest::qFail(qPrintable(QStringLiteral("The store cannot be opened: ") + store.error), __FILE__,
                         __LINE__);
        if (!dm)
            return;
        qint64 id = 0;
        TestSupport::execBound(dm->Main_Database(),
                               QStringLiteral("insert into DB (DB_Name) values ('Основная')"), {}, &id);
        dm->Current_DB_ID = static_cast<int>(id);
    }
    // The store of the suite's global data row ("file" or "server").
    static TestSupport::TStore currentStore() {
        QFETCH_GLOBAL(TestSupport::TStore, store);
        return store;
    }

    int addGroup(const QString& name) {
        qint64 id = 0;
        TestSupport::execBound(dm->Main_Database(),
                               QStringLiteral("insert into \"group\" (Group_Name) values (:name)"),
                               {{QStringLiteral("name"), name}}, &id);
        return static_cast<int>(id);
    }
    int addTester(const QString& fio, int age = 30, const QString& sex = QStringLiteral("М"),
                  int groupId = 0) {
        qint64 id = 0;
        TestSupport::execBound(dm->Main_Database(),
                               QStringLiteral("insert into \"user\" (DB_ID, FIO, Sex, Age, Group_ID, IsDel) "
                                              "values (:db, :fio, :sex, :age, :group, '')"),
                               {{QStringLiteral("db"), dm->Current_DB_ID},
                                {QStringLiteral("fio"), fio},
                                {QStringLiteral("sex"), sex},
                                {QStringLiteral("age"), age},
                                {QStringLiteral("group"), groupId}},
                               &id);
        return static_cast<int>(id);
    }
    QVariant scalar(const QString& sql) {
        Data::TQuery q(dm->Main_Database(), nullptr);
        q.SetSQL(sql);
        q.Open();
        return q.IsEmpty() ? QVariant() : q.Value(0, 0);
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

    TestSupport::TStoreFixture store;
    TestSupport::ProgramDirFixture& dir = store.dir;
    std::unique_ptr<TMain_DataModule>& dm = store.dm;
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
