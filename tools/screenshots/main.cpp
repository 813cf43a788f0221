// make-screenshots <out dir>: the pictures of the user's manual, made from the program's own windows
// under the offscreen platform on a demo database, so the manual always shows the windows as they are.
// Each picture is taken of the window class it is meant to show, and no two pictures may be the same.
// With QT_SCALE_FACTOR set it shows how the windows look on a high-density screen; it also saves the
// help window itself ("help-window.png"). With "--all" it saves every other dialog too, for looking at
// their layouts; on a display with a window manager (tools/screenshots/dialogs.sh) with their title bars.
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
#include "app/Startup.h"
#include "data/Backup.h"
#include "data/DataMod.h"
#include "group/GroupTest_Frm.h"
#include "platform/ErrorDisplay.h"
#include "platform/ProgramDir.h"
#include "results/Result_Frm.h"
#include "results/WaitingFrm.h"
#include "testing/Instr_Frm.h"
#include "testing/ListTest_Frm.h"
#include "testing/Test_Frm.h"
#include "tools/portraits/PortraitArt.h"
#include "widgets/DBGrid.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <functional>

namespace {

int failures = 0;
QStringList saved; // the pictures of this run

// The window as the screen shows it, with the frame and title bar of a window manager when there is one.
QPixmap shot(QWidget* w) {
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !w->isWindow() ||
        w->windowFlags().testFlag(Qt::FramelessWindowHint))
        return w->grab();
    // The window manager frames and paints a window some moments after it is shown (and the server may
    // refuse a grab while it does).
    QPixmap framed;
    for (int tries = 0; tries < 10 && framed.isNull(); ++tries) {
        QElapsedTimer framing;
        framing.start();
        while (framing.elapsed() < 400)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        const QRect frame = w->frameGeometry();
        framed = w->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    }
    if (!framed.isNull())
        return framed;
    std::fprintf(stderr, "make-screenshots: %s taken without its frame\n", w->metaObject()->className());
    std::fprintf(stderr, "DBG fg %d %d %d %d g %d %d %d %d wh %d %d %d %d exp %d\n", w->frameGeometry().x(),
                 w->frameGeometry().y(), w->frameGeometry().width(), w->frameGeometry().height(),
                 w->geometry().x(), w->geometry().y(), w->width(), w->height(),
                 w->windowHandle()->frameGeometry().x(), w->windowHandle()->frameGeometry().y(),
                 w->windowHandle()->frameGeometry().width(), w->windowHandle()->frameGeometry().height(),
                 w->windowHandle()->isExposed());
    return w->grab();
}

bool save(QWidget* w, const QString& out, const QString& name) {
    QApplication::processEvents();
    const QString path = out + QLatin1Char('/') + name;
    if (!shot(w).save(path)) {
        std::fprintf(stderr, "make-screenshots: cannot write %s\n", qPrintable(path));
        ++failures;
        return false;
    }
    saved << path;
    // The help window of this run shows the pictures too.
    QFile::remove(Platform::ProgramPath(QStringLiteral("/help/")) + name);
    QFile::copy(path, Platform::ProgramPath(QStringLiteral("/help/")) + name);
    return true;
}

// Once the modal window of class `className` is up: saves it as `name` (unless empty), runs `then` on
// it, and closes it, then `owner` (the window it was opened from) when one is given. `then` returns true
// when it opens a window of its own from it, which then closes it when done. A window of another class
// is a failure: the manual would show the wrong window under the name.
void whenModal(const QString& out, const char* className, const QString& name,
               std::function<bool(QWidget*)> then = {}, QPointer<QWidget> owner = {}, int tries = 200) {
    QTimer::singleShot(20, [=] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w == owner.data() || !w->inherits(className)) {
            if (tries > 0)
                return whenModal(out, className, name, then, owner, tries - 1);
            std::fprintf(stderr, "make-screenshots: %s never showed (%s)\n", className, qPrintable(name));
            ++failures;
            if (w)
                w->close();
            if (owner)
                owner->close();
            return;
        }
        if (!name.isEmpty())
            save(w, out, name);
        if (then && then(w))
            return;
        w->close();
        if (owner)
            QTimer::singleShot(0, owner.data(), &QWidget::close);
    });
}

void clickLater(QWidget* window, const char* button) {
    if (auto* b = window->findChild<QPushButton*>(QLatin1String(button)))
        QTimer::singleShot(0, b, &QPushButton::click);
}

// Two pictures of one run with the same bytes show one window under two names.
void refuseIdenticalPictures() {
    QHash<QByteArray, QString> seen;
    for (const QString& path : std::as_const(saved)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            ++failures;
            continue;
        }
        const QByteArray digest = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
        if (seen.contains(digest)) {
            std::fprintf(stderr, "make-screenshots: %s and %s are the same picture\n",
                         qPrintable(seen.value(digest)), qPrintable(path));
            ++failures;
        }
        seen.insert(digest, path);
    }
}

// The dialogs the manual shows no picture of, each through its opening function, and the other pages of
// the results window.
void saveOtherDialogs(const QString& out, TMain_Form& main, int menId) {
    const auto modal = [&](const char* className, const char* name, const std::function<void()>& open,
                           std::function<bool(QWidget*)> then = {}) {
        whenModal(out, className, *name ? QString::fromLatin1(name) + QStringLiteral(".png") : QString(),
                  std::move(then));
        open();
    };
    Data::Database db;
    db.id = -1;
    QString text;
    modal("TDBEdit_Form", "db-create", [&] { EditDBData(db); });
    db = Main_DataModule->Repo().database(Main_DataModule->Current_DB_ID).value_or(Data::Database{});
    modal("TDBEdit_Form", "db-edit", [&] { EditDBData(db); });
    modal("TInputPassword_Form", "password", [&] { AskPassword(QStringLiteral("Ввод пароля"), text, true); });
    modal("TInputPassword_Form", "password-db", [&] {
        AskPassword(QStringLiteral("Ввод пароля"), text, true,
                    QStringLiteral("Кафедра психологии развития и акмеологии, набор весны этого года"));
    });
    modal("TInput_Form", "input", [&] {
        InputText(QStringLiteral("Изменить название группы"), QStringLiteral("Группа"),
                  QStringLiteral("Студенты"), text);
    });
    modal("TGroup_Form", "groups", [&] { ShowGroups(&main); });
    modal("TGroupTest_Form", "group-testing",
          [&] { ShowGroupTesting(Group::ListedTestees(*Main_DataModule->Men_Query), {}, menId, &main); });
    modal("TSearch_Form", "search", [&] { ShowSearch(&main); });
    modal("TAbout_Form", "about", [&] { ShowAbout(&main); });
    modal("TInstr_Form", "instruction",
          [&] { ShowInstruction(QStringLiteral("/First_Instruct.rtf"), &main); });
    Data::MakeBackup(Main_DataModule->Main_Database(), Main_DataModule->DataDir(), 2);
    modal("TRestore_Form", "restore", [&] { ShowRestore(&main); });
    modal("TFileProblem_Form", "file-problem", [&] {
        AskFileProblem(QStringLiteral("Файл базы данных повреждён и не может быть открыт."), true, true);
    });
    Data::TStoreSettings server;
    server.kind = Data::TStoreSettings::Kind::Server;
    server.host = QStringLiteral("db.example.org");
    server.database = QStringLiteral("morvel");
    server.user = QStringLiteral("psychologist");
    modal("TServerPassword_Form", "server-password",
          [&] { AskServerPassword(&main, server, QStringLiteral("Сервер требует пароль."), text); });
    // The pages of the results window after the first.
    modal(
        "TResult_Form", "",
        [&] {
            const Data::Repository& repo = Main_DataModule->Repo();
            ShowResults(repo.testee(menId).value_or(Data::Testee{}), repo.testsOf(menId), &main);
        },
        [&](QWidget* w) {
            for (int i = 1; i < static_cast<TResult_Form*>(w)->PageControl1->count(); ++i) {
                static_cast<TResult_Form*>(w)->PageControl1->setCurrentIndex(i);
                save(w, out, QStringLiteral("results-%1.png").arg(i));
            }
            return false;
        });
    TServerWait_Form wait(&main);
    wait.show();
    save(&wait, out, QStringLiteral("server-wait.png"));
    ShowWaiting(QStringLiteral("Подождите, идет экспорт в Excel..."));
    save(WaitingForm(), out, QStringLiteral("waiting.png"));
    HideWaiting();
    TSplash_Form splash;
    splash.show();
    save(&splash, out, QStringLiteral("splash.png"));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Platform::TApplication app(argc, argv);
    Startup::SetupApplication(app);
    if (argc < 3) {
        std::fprintf(stderr, "usage: make-screenshots <out dir> <resources dir> [--all]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString resources = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);

    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("DB"));
    QDir(dir.path()).mkpath(QStringLiteral("help"));
    for (const char* name : {"/First_Instruct.rtf", "/Second_Instruct.rtf"})
        QFile::copy(resources + QLatin1String(name), dir.path() + QLatin1String(name));
    QFile::copy(resources + QStringLiteral("/help/morvel.html"), dir.path() + QStringLiteral("/morvel.html"));
    Portraits::WritePortraitSet(dir.path() + QStringLiteral("/DB/Images"));
    Platform::SetProgramDir(dir.path());

    auto dm = TMain_DataModule::Create(dir.path());
    if (!dm)
        return 1;
    Demo::CreateDemoDatabase(*dm);
    dm->DB_Table->Open();
    if (dm->DB_Table->IsEmpty())
        return 1;
    dm->Current_DB_ID = dm->DB_Table->FieldByName(QStringLiteral("DB_ID")).AsInteger();
    const QString dbName = dm->DB_Table->FieldByName(QStringLiteral("DB_Name")).AsString();
    dm->DB_Table->Close();
    // The testee with the most tests shows full tables, indices and charts.
    dm->OpenMenQuery();
    int menId = 0;
    qsizetype most = 0;
    for (int r = 0; r < dm->Men_Query->RecordCount(); ++r) {
        const int id = dm->Men_Query->Value(r, 0).toInt();
        if (const qsizetype tests = dm->Repo().testsOf(id).size(); tests > most) {
            most = tests;
            menId = id;
        }
    }
    if (menId == 0)
        return 1;

    try {
        TMain_Form main;
        main.SetDBCaption(dbName);
        main.show();
        main.LocateMen(menId);
        // No hint of a button that happens to lie under the pointer.
        main.statusBar()->clearMessage();
        save(&main, out, QStringLiteral("main.png"));
        // The list sorted by age, then by sex (Ctrl): arrows and places in the titles.
        main.Data_GridTitleClick(1, false);
        main.Data_GridTitleClick(2, true);
        main.LocateMen(menId);
        QApplication::processEvents();
        const int top = main.Data_Grid->mapTo(&main, QPoint(0, 0)).y();
        if (!main.grab(QRect(0, top, main.width(), main.Data_Grid->horizontalHeader()->height() + 4 * 20))
                 .save(out + QStringLiteral("/sorting.png")))
            ++failures;
        main.Data_GridTitleClick(2, true);
        main.Data_GridTitleClick(2, true);
        main.Data_GridTitleClick(1, false);
        main.Data_GridTitleClick(1, false);

        int id = dm->Current_DB_ID;
        QString name;
        whenModal(out, "TDB_Form", QStringLiteral("databases.png"));
        ChooseDB(id, name);

        main.LocateMen(menId);
        Data::Testee testee = main.CurrentTestee();
        whenModal(out, "TAddTester_Form", QStringLiteral("testee.png"));
        EditTester(testee, &main);

        whenModal(out, "TListTest_Form", QStringLiteral("testlist.png"), [out](QWidget* list) {
            whenModal(out, "TGraph_Form", QStringLiteral("charts.png"), {}, list);
            clickLater(list, "Graph_But");
            return true;
        });
        ShowTestList(testee, &main);

        // The answer sheet of a stored test, opened from the test list (no picture of the list again).
        whenModal(out, "TListTest_Form", QString(), [out](QWidget* list) {
            whenModal(out, "TBlank_Form", QStringLiteral("blank.png"), {}, list);
            clickLater(list, "EditBlank_But");
            return true;
        });
        ShowTestList(testee, &main);

        whenModal(out, "TResult_Form", QStringLiteral("results.png"));
        ShowResults(*dm->Repo().testee(menId), dm->Repo().testsOf(menId), &main);

        whenModal(out, "TOptions_Form", QStringLiteral("settings.png"));
        ShowOptions(&main);
        whenModal(out, "TOptions_Form", QStringLiteral("settings-database.png"));
        ShowOptions(&main, TOptions_Form::kDatabasePage);

        TTest_Form test;
        test.MenID = menId;
        test.ShowSeries(1);
        test.show();
        save(&test, out, QStringLiteral("test.png"));
        test.hide();

        THelp_Form* help = ShowHelp(QStringLiteral("main"), &main);
        help->resize(1040, 700);
        save(help, out, QStringLiteral("help-window.png"));
        if (argc > 3 && qstrcmp(argv[3], "--all") == 0)
            saveOtherDialogs(out, main, menId);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-screenshots: %s\n", e.what());
        return 1;
    }
    for (const char* name : {"main", "databases", "testee", "testlist", "charts", "blank", "results",
                             "settings", "settings-database", "test"})
        if (!QFile::exists(out + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png")))
            ++failures;
    refuseIdenticalPictures();
    return failures == 0 ? 0 : 1;
}
