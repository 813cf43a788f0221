// Every dialog and window opens large enough for what it holds, also at a screen scale of 2: its layout
// is not squeezed, its title fits its title bar, no label or button is cut, nothing lies outside its
// parent; and the windows the user resizes open again at the size he gave them.
#include "ResultsSupport.h"
#include "TestSupport.h"

#include "app/About_Frm.h"
#include "app/AddTester_Frm.h"
#include "app/DBEdit_Frm.h"
#include "app/DB_Frm.h"
#include "app/DemoData.h"
#include "app/Group_Frm.h"
#include "app/Help_Frm.h"
#include "app/Input_Frm.h"
#include "app/MainFrm.h"
#include "app/Option_Frm.h"
#include "app/Password_Frm.h"
#include "app/Restore_Frm.h"
#include "app/ServerLogin.h"
#include "app/ServerWait.h"
#include "app/Sour_Frm.h"
#include "app/Splash_Frm.h"
#include "results/Graph_Frm.h"
#include "results/Result_Frm.h"
#include "results/WaitingFrm.h"
#include "testing/Blank_Frm.h"
#include "testing/Instr_Frm.h"
#include "testing/ListTest_Frm.h"
#include "widgets/DialogLayout.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLayout>
#include <QTabWidget>
#include <QtTest>

#include <functional>

namespace {

using TFactory = std::function<std::unique_ptr<QWidget>()>;

// A window of class Form with the title its opening function gives it, prepared as it fills it.
template <class Form> TFactory made(const char* title = "", std::function<void(Form&)> prepare = {}) {
    return [title, prepare] {
        auto form = std::make_unique<Form>();
        if (*title)
            form->setWindowTitle(QString::fromUtf8(title));
        if (prepare)
            prepare(*form);
        return std::unique_ptr<QWidget>(std::move(form));
    };
}

// True when no ancestor of `w` up to its window cuts part of it off.
bool insideAncestors(const QWidget* w) {
    QRect r = w->rect();
    for (const QWidget* p = w; !p->isWindow(); p = p->parentWidget()) {
        r.translate(p->pos());
        if (!p->parentWidget()->rect().contains(r))
            return false;
    }
    return true;
}

// The text of a label or button that its widget shows only in part; empty when it shows whole.
QString cutText(const QWidget* w) {
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        const bool fits = label->wordWrap() ? label->heightForWidth(label->width()) <= label->height()
                                            : label->sizeHint().width() <= label->width() &&
                                                  label->minimumSizeHint().height() <= label->height();
        return fits ? QString() : label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(w))
        return button->sizeHint().width() <= button->width() ? QString() : button->text();
    return {};
}

} // namespace

class TestDialogLayouts : public QObject {
    Q_OBJECT

    std::unique_ptr<TestSupport::ProgramDirFixture> m_dir;
    std::unique_ptr<TMain_DataModule> m_dm;
    std::unique_ptr<TMain_Form> m_main;
    int m_menId = 0;

    // The test list and the results window of a testee of the demo database, filled.
    TFactory testList() {
        return made<TListTest_Form>("", [this](TListTest_Form& form) {
            form.MenID = m_menId;
            form.RefreshList();
        });
    }
    TFactory results() {
        return made<TResult_Form>(
            "", [this](TResult_Form& form) { form.LoadResults(TestSupport::resultsOf(m_menId)); });
    }

private Q_SLOTS:
    void initTestCase() {
        TestSupport::pinRussianLocale();
        m_dir = std::make_unique<TestSupport::ProgramDirFixture>();
        m_dm = m_dir->createDataModule();
        QVERIFY(m_dm);
        Demo::CreateDemoDatabase(*m_dm);
        m_dm->DB_Table->Open();
        m_dm->Current_DB_ID = m_dm->DB_Table->FieldByName(QStringLiteral("DB_ID")).AsInteger();
        m_main = std::make_unique<TMain_Form>();
        m_menId = m_dm->Men_Query->FieldByName(QStringLiteral("Men_ID")).AsInteger();
    }
    void cleanupTestCase() {
        m_main.reset();
        m_dm.reset();
    }

    void opensLargeEnough_data() {
        QTest::addColumn<TFactory>("make");
        QTest::newRow("about") << made<TAbout_Form>();
        QTest::newRow("testee") << made<TAddTester_Form>("Корректировка данных тестируемого");
        QTest::newRow("databases") << made<TDB_Form>();
        QTest::newRow("database edit") << made<TDBEdit_Form>("Изменение данных базы данных", [](auto& form) {
            form.DB_ID = Main_DataModule->Current_DB_ID;
            form.LoadRecord();
        });
        QTest::newRow("groups") << made<TGroup_Form>();
        QTest::newRow("prompt") << made<TInput_Form>("Изменить название группы");
        QTest::newRow("settings") << made<TOptions_Form>("", [](auto& form) { form.ReadSettings(); });
        QTest::newRow("password") << made<TInputPassword_Form>("Подтверждение пароля");
        QTest::newRow("restore") << made<TRestore_Form>();
        QTest::newRow("file problem") << TFactory([] {
            return std::make_unique<TFileProblem_Form>(QStringLiteral("Файл повреждён."), true, true);
        });
        QTest::newRow("server password") << made<TServerPassword_Form>();
        QTest::newRow("server wait") << made<TServerWait_Form>();
        QTest::newRow("search") << made<TSearch_Form>();
        QTest::newRow("instruction") << made<TInstr_Form>();
        QTest::newRow("answer sheet") << made<TBlank_Form>("Изменение записи тестирования");
        QTest::newRow("test list") << testList();
        QTest::newRow("results") << results();
        QTest::newRow("charts") << made<TGraph_Form>();
        QTest::newRow("help") << made<THelp_Form>();
        QTest::newRow("splash") << made<TSplash_Form>();
        QTest::newRow("waiting") << made<TWaiting_Form>("", [](auto& form) {
            form.StaticText1->setText(QStringLiteral("Подождите, идет экспорт данных в Excel..."));
        });
    }
    void opensLargeEnough() {
        QFETCH(TFactory, make);
        const std::unique_ptr<QWidget> window = make();
        window->show();
        QVERIFY(window->layout());
        // The size it shows at, before the event loop could grow it.
        const QSize shown = window->size();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->size(), shown);
        QCOMPARE(window->size().expandedTo(window->layout()->totalMinimumSize()), window->size());
        QVERIFY2(window->width() >= Widgets::TitleWidth(window->windowTitle()),
                 qPrintable(window->windowTitle()));
        // Every page of a window with pages.
        const QList<QTabWidget*> tabs = window->findChildren<QTabWidget*>();
        for (int page = 0; page < (tabs.isEmpty() ? 1 : tabs.first()->count()); ++page) {
            if (!tabs.isEmpty())
                tabs.first()->setCurrentIndex(page);
            QApplication::processEvents();
            for (const QWidget* w : window->findChildren<QWidget*>()) {
                if (!w->isVisible())
                    continue;
                QVERIFY2(insideAncestors(w), qPrintable(w->metaObject()->className() + w->objectName()));
                QVERIFY2(cutText(w).isEmpty(), qPrintable(cutText(w)));
            }
        }
    }

    void resizedWindowsOpenAtTheirSize_data() {
        QTest::addColumn<TFactory>("make");
        QTest::newRow("results") << results();
        QTest::newRow("test list") << testList();
        QTest::newRow("help") << made<THelp_Form>();
    }
    void resizedWindowsOpenAtTheirSize() {
        QFETCH(TFactory, make);
        QFile::remove(Platform::SettingsPath());
        std::unique_ptr<QWidget> window = make();
        window->show();
        const QSize opened = window->size();
        window->hide();
        // Closed at the size it opened at: the settings file is not written (nor made).
        QVERIFY(!QFileInfo::exists(Platform::SettingsPath()));
        window->show();
        window->resize(opened + QSize(60, 40));
        window->hide();
        window = make();
        window->show();
        QCOMPARE(window->size(), opened + QSize(60, 40));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // A font larger than the desktop's usual one: the windows must grow with it.
    QFont font = QApplication::font();
    font.setPointSize(12);
    QApplication::setFont(font);
    TestDialogLayouts test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dialog_layouts.moc"
