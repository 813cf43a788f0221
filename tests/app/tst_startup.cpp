// What start-up sets for every window: Qt's own dialogs and menus in Russian, the colour dialog with
// both default row colours as custom colours, and window titles exactly as each window sets them.
#include "TestSupport.h"

#include "app/About_Frm.h"
#include "app/DB_Frm.h"
#include "app/Help_Frm.h"
#include "app/MainFrm.h"
#include "app/Option_Frm.h"
#include "app/ServerLogin.h"
#include "app/Splash_Frm.h"
#include "app/Startup.h"
#include "platform/SysColors.h"
#include "results/Result_Frm.h"
#include "testing/Blank_Frm.h"
#include "testing/ListTest_Frm.h"
#include "widgets/ColorButton.h"

#include <QColorDialog>
#include <QFileIconProvider>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <QtTest>

using namespace TestSupport;

namespace {

// The title a desktop shows for a window: Qt's platform windows add " — " and the application's display
// name to a title that does not end in it, when a display name of its own was set.
QString desktopTitle(const QWidget& w) {
    const QString title = w.windowHandle() ? w.windowHandle()->title() : QString();
    const QString display = QGuiApplication::applicationDisplayName();
    if (display == QGuiApplication::applicationName() || title.endsWith(display))
        return title;
    return title + QStringLiteral(" — ") + display;
}

struct TColorDialogSeen {
    QString title;
    QStringList texts;
    QList<QColor> custom;
};

// Opens the colour dialog of a colour button through its "Другой..." entry and reads it.
TColorDialogSeen readColorDialog(Widgets::TColorButton* button) {
    TColorDialogSeen seen;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen.title = dialog->windowTitle();
        for (QLabel* l : dialog->findChildren<QLabel*>())
            seen.texts << l->text();
        for (QPushButton* b : dialog->findChildren<QPushButton*>())
            seen.texts << b->text();
        for (int i = 0; i < 3; ++i)
            seen.custom << QColorDialog::customColor(i);
        dialog->reject();
    });
    button->OtherColor();
    return seen;
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramDirFixture> m_dir;
    std::unique_ptr<TMain_DataModule> m_dm;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(Startup::SetupApplication(*qApp),
                 "Qt's Russian translation qtbase_ru.qm is missing (Debian package qt6-translations-l10n)");
    }
    void init() {
        pinRussianLocale();
        m_dir = std::make_unique<ProgramDirFixture>();
        m_dm = m_dir->createDataModule();
        Data::TEngine& q = m_dm->Main_Database();
        QVERIFY(TestSupport::execBound(q, QStringLiteral("insert into DB (DB_Name) values ('Первая')")));
        QVERIFY(TestSupport::execBound(
            q, QStringLiteral("insert into USER (DB_ID, FIO, Sex, Age, Group_ID, IsDel) values "
                              "(1, 'Борисов', 'М', 40, 0, '')")));
        m_dm->Current_DB_ID = 1;
    }
    void cleanup() {
        m_dm.reset();
        m_dir.reset();
    }

    // The colour dialog behind "Другой..." speaks Russian and offers both default row colours, the
    // button's own first; slots left over from an earlier dialog are cleared.
    void colorDialog_data() {
        QTest::addColumn<bool>("first");
        QTest::newRow("odd rows") << true;
        QTest::newRow("even rows") << false;
    }
    void colorDialog() {
        QFETCH(bool, first);
        QColorDialog::setCustomColor(2, Qt::red);
        TOptions_Form form;
        form.ReadSettings();
        const TColorDialogSeen seen = readColorDialog(first ? form.FirstColor_Edit : form.SecondColor_Edit);
        QCOMPARE(seen.title, QStringLiteral("Выбор цвета"));
        for (const char* text :
             {"&Основные цвета", "&Пользовательские цвета", "&Взять цвет с экрана", "Отмена"})
            QVERIFY2(seen.texts.contains(QString::fromUtf8(text)), text);
        for (const char* english : {"&Basic colors", "&Custom colors", "&Pick Screen Color", "Cancel"})
            QVERIFY2(!seen.texts.contains(QLatin1String(english)), english);
        const QColor infoBk = Platform::ColorToQColor(kDefaultFirstColor);
        const QColor white = Platform::ColorToQColor(kDefaultSecondColor);
        QCOMPARE(seen.custom.size(), 3);
        QCOMPARE(seen.custom[0], first ? infoBk : white);
        QCOMPARE(seen.custom[1], first ? white : infoBk);
        QCOMPARE(seen.custom[2], QColor(Qt::white));
    }

    // The context menu of every text field: Russian commands.
    void lineEditContextMenu() {
        QLineEdit edit;
        std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList texts;
        for (QAction* a : menu->actions())
            if (!a->isSeparator())
                texts << a->text().section(QLatin1Char('\t'), 0, 0);
        QCOMPARE(texts, (QStringList{QStringLiteral("&Отменить действие"),
                                     QStringLiteral("&Повторить действие"), QStringLiteral("&Вырезать"),
                                     QStringLiteral("&Копировать"), QStringLiteral("В&ставить"),
                                     QStringLiteral("Удалить"), QStringLiteral("Выделить всё")}));
    }

    // The type column of the file dialogs (reports, PDF, CSV): a folder is "Папка", not "Folder".
    void fileDialogTypeColumn() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Отчёты")));
        const QFileInfo folder(dir.path() + QStringLiteral("/Отчёты"));
        QCOMPARE(QFileIconProvider().type(folder), QStringLiteral("Папка"));
        QFileSystemModel model;
        const QModelIndex index = model.index(folder.absoluteFilePath(), 2);
        QCOMPARE(model.data(index).toString(), QStringLiteral("Папка"));
    }

    // The splash stays on top of everything, so it steps aside for good when another window shows
    // while the store opens (the server's password prompt, a question, the settings).
    void splashStepsAsideForAnyWindow() {
        TSplash_Form splash;
        splash.show();
        QVERIFY(QTest::qWaitForWindowExposed(&splash));
        bool splashHidden = false;
        QTimer::singleShot(0, [&splash, &splashHidden] {
            splashHidden = !splash.isVisible();
            QApplication::activeModalWidget()->close();
        });
        TServerPassword_Form(nullptr).exec();
        QVERIFY(splashHidden);
        splash.StepIt();
        QVERIFY(!splash.isVisible());
    }

    void windowTitles_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("title");
        QTest::newRow("main") << "main"
                              << "Тест Morvel - Первая";
        QTest::newRow("database choice") << "db"
                                         << "Выбор базы данных";
        QTest::newRow("settings") << "options"
                                  << "Настройка";
        QTest::newRow("about") << "about"
                               << "О программе";
        QTest::newRow("help") << "help"
                              << "Справка";
        QTest::newRow("test list") << "testlist"
                                   << "Список тестирований";
        QTest::newRow("answer sheet") << "blank"
                                      << "Ввод с бланка";
        QTest::newRow("results") << "results"
                                 << "Результаты тестирования";
    }
    // Each top-level window shows exactly the title it sets, with no application name after it.
    void windowTitles() {
        QFETCH(QString, window);
        QFETCH(QString, title);
        std::unique_ptr<QWidget> w;
        if (window == QLatin1String("main")) {
            auto main = std::make_unique<TMain_Form>();
            main->SetDBCaption(QStringLiteral("Первая"));
            w = std::move(main);
        } else if (window == QLatin1String("db")) {
            w = std::make_unique<TDB_Form>();
        } else if (window == QLatin1String("options")) {
            w = std::make_unique<TOptions_Form>();
        } else if (window == QLatin1String("about")) {
            w = std::make_unique<TAbout_Form>();
        } else if (window == QLatin1String("help")) {
            w = std::make_unique<THelp_Form>();
        } else if (window == QLatin1String("testlist")) {
            w = std::make_unique<TListTest_Form>();
        } else if (window == QLatin1String("blank")) {
            w = std::make_unique<TBlank_Form>();
        } else {
            w = std::make_unique<TResult_Form>();
        }
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(w->windowTitle(), title);
        QCOMPARE(desktopTitle(*w), title);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
