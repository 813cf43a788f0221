// The help window and F1: the page of the window in use, also over a modal dialog; contents, back and
// forward, search within the page; every page the program opens exists in the manual; addresses that
// nothing can open are shown to the user.
#include "TestSupport.h"

#include "app/About_Frm.h"
#include "app/Help_Frm.h"
#include "app/MainFrm.h"
#include "app/Option_Frm.h"
#include "platform/Dialogs.h"
#include "platform/Shell.h"
#include "testing/ListTest_Frm.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using namespace TestSupport;

namespace {

const QString kManual = QStringLiteral(MORVEL_RESOURCES_DIR "/help/morvel.html");

THelp_Form* helpOf(QWidget* window) { return window->findChild<THelp_Form*>(); }

} // namespace

class TestHelp : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramDirFixture> m_dir;
    std::unique_ptr<TMain_DataModule> m_dm;

private Q_SLOTS:
    void initTestCase() { InstallHelpKey(*qApp); }
    void init() {
        pinRussianLocale();
        m_dir = std::make_unique<ProgramDirFixture>();
        QVERIFY(QFile::copy(kManual, m_dir->path() + QStringLiteral("/morvel.html")));
        m_dm = m_dir->createDataModule();
        Data::TEngine& q = m_dm->Main_Database();
        QVERIFY(TestSupport::execBound(q, QStringLiteral("insert into DB (DB_Name) values ('Первая')")));
        m_dm->Current_DB_ID = 1;
    }
    void cleanup() {
        m_dm.reset();
        m_dir.reset();
    }

    // F1 in the main window: the help window at the main window's page.
    void f1InMainWindow() {
        TMain_Form main;
        main.show();
        main.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QTest::keyClick(&main, Qt::Key_F1);
        THelp_Form* help = helpOf(&main);
        QVERIFY(help);
        QVERIFY(help->isVisible());
        QCOMPARE(help->CurrentPage(), QStringLiteral("main"));
        QVERIFY(help->Help_Browser->document()->toPlainText().contains(QStringLiteral("Главное окно")));
        // F1 again reuses the window.
        main.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QTest::keyClick(&main, Qt::Key_F1);
        QCOMPARE(main.findChildren<THelp_Form*>().size(), 1);
    }

    // F1 in modal dialogs: the dialog's page, in the one help window of the program, which the dialog
    // does not block, which outlives the dialog and which fits on the screen.
    void f1InModalDialog() {
        TMain_Form main;
        main.show();
        QPointer<THelp_Form> first;
        for (int round = 0; round < 2; ++round) {
            QString page;
            THelp_Form* shown = nullptr;
            QTimer::singleShot(0, [&] {
                QWidget* dialog = QApplication::activeModalWidget();
                if (!dialog)
                    return;
                QWidget* focus = dialog->focusWidget() ? dialog->focusWidget() : dialog;
                QTest::keyClick(focus, Qt::Key_F1);
                if (THelp_Form* help = helpOf(dialog); help && help->isVisible()) {
                    // The page shown, and the page the contents stand at.
                    const QTreeWidgetItem* item = help->Contents_Tree->currentItem();
                    page = help->CurrentPage() + QLatin1Char('/') +
                           (item ? item->data(0, Qt::UserRole).toString() : QString());
                    shown = help;
                }
                dialog->close();
            });
            ShowOptions(&main);
            QCOMPARE(page, QStringLiteral("settings/settings"));
            QVERIFY(shown);
            if (round == 0)
                first = shown;
            QCOMPARE(shown, first.data());
        }
        QVERIFY(first && first->isVisible());
        QCOMPARE(first->parentWidget(), &main);
        QVERIFY(first->screen()->availableGeometry().contains(first->frameGeometry()));
    }

    void pageOfWindow_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("page");
        QTest::newRow("settings") << "options"
                                  << "settings";
        QTest::newRow("about") << "about"
                               << "about";
        QTest::newRow("test list") << "testlist"
                                   << "testlist";
        QTest::newRow("own property wins") << "property"
                                           << "safety";
        QTest::newRow("unknown window: the top") << "plain"
                                                 << "";
    }
    void pageOfWindow() {
        QFETCH(QString, window);
        QFETCH(QString, page);
        std::unique_ptr<QWidget> w;
        if (window == QLatin1String("options"))
            w = std::make_unique<TOptions_Form>();
        else if (window == QLatin1String("about"))
            w = std::make_unique<TAbout_Form>();
        else if (window == QLatin1String("testlist"))
            w = std::make_unique<TListTest_Form>();
        else
            w = std::make_unique<QWidget>();
        if (window == QLatin1String("property"))
            w->setProperty("helpPage", QStringLiteral("safety"));
        QCOMPARE(HelpPageFor(w.get()), page);
    }

    // Every page F1 can ask for is an anchor of the manual, and every anchor is in the contents.
    void everyPageExistsInManual() {
        THelp_Form help;
        QStringList anchors;
        for (QTreeWidgetItemIterator it(help.Contents_Tree); *it; ++it)
            anchors << (*it)->data(0, Qt::UserRole).toString();
        QVERIFY(!anchors.contains(QString()));
        for (const char* page : {"main", "databases", "passwords", "testees", "search", "groups", "settings",
                                 "about", "testlist", "blank", "testrun", "results", "charts", "safety",
                                 "reports", "tables", "indices", "formulas"})
            QVERIFY2(anchors.contains(QLatin1String(page)), page);
    }

    // Contents, back and forward move between pages and keep the contents in step.
    void contentsBackAndForward() {
        THelp_Form help;
        help.show();
        help.OpenPage(QStringLiteral("main"));
        QTreeWidgetItem* settings = nullptr;
        for (QTreeWidgetItemIterator it(help.Contents_Tree); *it; ++it)
            if ((*it)->data(0, Qt::UserRole).toString() == QLatin1String("settings"))
                settings = *it;
        QVERIFY(settings);
        const QRect rect = help.Contents_Tree->visualItemRect(settings);
        QTest::mouseClick(help.Contents_Tree->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
        QCOMPARE(help.CurrentPage(), QStringLiteral("settings"));
        QVERIFY(help.Back_Action->isEnabled());
        help.Back_Action->trigger();
        QCOMPARE(help.CurrentPage(), QStringLiteral("main"));
        QCOMPARE(help.Contents_Tree->currentItem()->data(0, Qt::UserRole).toString(), QStringLiteral("main"));
        QVERIFY(help.Forward_Action->isEnabled());
        help.Forward_Action->trigger();
        QCOMPARE(help.CurrentPage(), QStringLiteral("settings"));
    }

    // Escape closes the help window; every heading shows whole in its contents row.
    void escapeClosesAndHeadingsFit() {
        THelp_Form help;
        help.resize(1000, 700);
        help.show();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        const QFontMetrics metrics(help.Contents_Tree->font());
        for (QTreeWidgetItemIterator it(help.Contents_Tree); *it; ++it) {
            const QRect row = help.Contents_Tree->visualItemRect(*it);
            const QString text = (*it)->text(0);
            QVERIFY2(metrics.horizontalAdvance(text) + 8 <= row.width(), qPrintable(text));
            QVERIFY2(row.right() <= help.Contents_Tree->viewport()->width(), qPrintable(text));
            QCOMPARE((*it)->toolTip(0), text);
        }
        QTest::keyClick(help.Help_Browser, Qt::Key_Escape);
        QVERIFY(!help.isVisible());
    }

    void findOnPage_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("found");
        QTest::newRow("heading") << "Сохранность данных" << true;
        QTest::newRow("other case") << "сохранность ДАННЫХ" << true;
        QTest::newRow("absent") << "абракадабра" << false;
    }
    // Enter in the search field finds the text, from the top again after the last match.
    void findOnPage() {
        QFETCH(QString, text);
        QFETCH(bool, found);
        THelp_Form help;
        help.show();
        help.Find_Edit->setText(text);
        for (int round = 0; round < 3; ++round) {
            QTest::keyClick(help.Find_Edit, Qt::Key_Return);
            const QTextCursor cursor = help.Help_Browser->textCursor();
            QCOMPARE(cursor.hasSelection(), found);
            if (found)
                QCOMPARE(cursor.selectedText().toLower(), text.toLower());
            QCOMPARE(help.Find_Label->text().isEmpty(), found);
        }
    }

    // A missing manual is said in the window, not shown as an empty page.
    void missingManual() {
        QFile::remove(m_dir->path() + QStringLiteral("/morvel.html"));
        THelp_Form help;
        QVERIFY(help.Help_Browser->toPlainText().contains(QStringLiteral("Справка не найдена")));
    }

    void addressNobodyOpens_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("shown");
        QTest::newRow("web page, no launcher") << "web" << false << "https://www.example.org/morvel/";
        QTest::newRow("mail, no launcher") << "mail" << false << "morvel@example.org";
        QTest::newRow("web page opened") << "web" << true << "";
        QTest::newRow("mail opened") << "mail" << true << "";
    }
    // A web or mail address that no program can open is shown for copying; one that opens says nothing.
    void addressNobodyOpens() {
        QFETCH(QString, how);
        QFETCH(bool, opens);
        QFETCH(QString, shown);
        QStringList asked;
        const auto previous = Platform::setShellHandler([&](const QString& url) {
            asked << url;
            return opens;
        });
        Platform::MessageRecorder recorder;
        if (how == QLatin1String("web")) {
            TMain_Form main;
            main.InternetHelp->trigger();
        } else {
            TAbout_Form about;
            about.show();
            QTest::mouseClick(about.EMailLabel, Qt::LeftButton);
        }
        Platform::setShellHandler(previous);
        QCOMPARE(asked.size(), 1);
        if (opens) {
            QCOMPARE(recorder.messages.size(), 0);
            return;
        }
        QCOMPARE(recorder.messages.size(), 1);
        const QString text = recorder.messages.first().text;
        QVERIFY2(text.contains(shown), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("mailto:")), qPrintable(text));
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
