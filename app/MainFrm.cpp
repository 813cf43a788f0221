// Main window.
#include "app/MainFrm.h"

#include "app/About_Frm.h"
#include "app/AddTester_Frm.h"
#include "app/DBEdit_Frm.h"
#include "app/DB_Frm.h"
#include "app/Group_Frm.h"
#include "app/Help_Frm.h"
#include "app/OnDemand.h"
#include "app/Option_Frm.h"
#include "app/Restore_Frm.h"
#include "app/Sour_Frm.h"
#include "data/DataMod.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/IniFile.h"
#include "platform/ProgramDir.h"
#include "platform/Shell.h"
#include "platform/SysColors.h"
#include "widgets/DBGrid.h"
#include "widgets/GridSort.h"
#include "widgets/Icons.h"
#include "widgets/LiveList.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QScopeGuard>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

const int kDefaultFirstColor = Platform::clInfoBk;
const int kDefaultSecondColor = Platform::clWhite;

namespace {

const QString kSection = QStringLiteral("Interface");
const QString kInternetSection = QStringLiteral("Internet");
const QString kDefaultHomePage = QStringLiteral("https://www.example.org/morvel/");

// Field names of the grid columns, in grid order; they are also the ORDER BY entries.
const QStringList kGridFields = {QStringLiteral("FIO"), QStringLiteral("Age"), QStringLiteral("Sex"),
                                 QStringLiteral("Group_Name")};

QString field(const char* name) { return QString::fromLatin1(name); }

} // namespace

QString SettingsFilePath() { return Platform::SettingsPath(); }

TMain_Form::TMain_Form(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Тест Morvel"));
    resize(767, 516);
    if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    createActions();
    createGrid();
    m_live =
        new Widgets::TLiveList(this, TMain_DataModule::ChangeTables(), [this] { RefreshKeepingPlace(); });
    Refresh = m_live->RefreshAction();
    createMenus();
    statusBar();
    RefreshMenList();
    ReadColors();
    // Where the data live stays in sight: the same database name may exist in several places.
    // Made selectable by mouse after the first paint (see paintEvent).
    m_locationLabel = new QLabel(QStringLiteral("Данные: ") + Main_DataModule->Location(), statusBar());
    m_locationLabel->setObjectName(QStringLiteral("DataLocation_Label"));
    statusBar()->addWidget(m_locationLabel, 1);
    if (Main_DataModule->ReadOnly()) {
        // Said once at start; here the state stays in sight.
        auto* note = new QLabel(Main_DataModule->ReadOnlyStatus(), statusBar());
        note->setObjectName(QStringLiteral("ReadOnly_Label"));
        statusBar()->addPermanentWidget(note);
    }
    // Made when the server's change notices first stop coming (a table file's never do).
    connect(Main_DataModule, &TMain_DataModule::ChangeWatch, this, [this](bool working) {
        if (!m_staleLabel && working)
            return;
        if (!m_staleLabel) {
            m_staleLabel = new QLabel(
                QStringLiteral("Нет связи с сервером: список может быть устаревшим (F5 — обновить)"),
                statusBar());
            m_staleLabel->setObjectName(QStringLiteral("Stale_Label"));
            statusBar()->addWidget(m_staleLabel);
        }
        m_staleLabel->setVisible(!working);
    });
    if (Main_DataModule->IsServer() && !Main_DataModule->Store().IsLocalHost() &&
        !Data::LinkSecurity(Main_DataModule->Main_Database()).encrypted) {
        auto* note = new QLabel(QStringLiteral("Соединение с сервером не зашифровано"), statusBar());
        note->setObjectName(QStringLiteral("Unencrypted_Label"));
        note->setToolTip(QStringLiteral("Записи передаются по сети открытым текстом. Включите шифрование: "
                                        "«Настройка», страница «База данных», поле «Шифрование»."));
        statusBar()->addPermanentWidget(note);
    }
}

void TMain_Form::paintEvent(QPaintEvent* event) {
    QMainWindow::paintEvent(event);
    if (m_painted)
        return;
    m_painted = true;
    // A selectable label lays its text out as a document: made so once the window is on the screen, the
    // work does not delay the first picture of the list. It is painted again as a document.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_locationLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
            m_locationLabel->update();
        },
        Qt::QueuedConnection);
}

void TMain_Form::createActions() {
    struct Spec {
        QAction*& action;
        QString caption;
        QString hint;
        QKeySequence shortcut;
        Icons::Kind icon;
        void (TMain_Form::*slot)();
    };
    const QString olvena = QStringLiteral("\"Olvena\" в ");
    const Spec specs[] = {
        {NewDB, QStringLiteral("&Создать..."), QStringLiteral("Создать новую базу данных"),
         QKeySequence(Qt::CTRL | Qt::Key_N), Icons::Kind::NewDB, &TMain_Form::NewDBExecute},
        {OpenDB, QStringLiteral("&Открыть..."), QStringLiteral("Открыть базу данных"),
         QKeySequence(Qt::CTRL | Qt::Key_O), Icons::Kind::OpenDB, &TMain_Form::OpenDBExecute},
        {Exit, QStringLiteral("&Выход"), QStringLiteral("Выход"), QKeySequence(), Icons::Kind::Exit,
         &TMain_Form::ExitExecute},
        {AddTest, QStringLiteral("&Добавить..."), QStringLiteral("Добавить нового тестируемого"),
         QKeySequence(Qt::Key_Insert), Icons::Kind::AddTest, &TMain_Form::AddTestExecute},
        {EditTest, QStringLiteral("&Изменить..."), QStringLiteral("Редактировать данные тестируемого"),
         QKeySequence(Qt::CTRL | Qt::Key_Insert), Icons::Kind::EditTest, &TMain_Form::EditTestExecute},
        {DelTest, QStringLiteral("&Удалить..."), QStringLiteral("Удалить тестируемого"),
         QKeySequence(Qt::Key_Delete), Icons::Kind::DelTest, &TMain_Form::DelTestExecute},
        {SeekTest, QStringLiteral("&Найти..."), QStringLiteral("Найти тестируемого в текущей базе данных"),
         QKeySequence(Qt::CTRL | Qt::Key_F), Icons::Kind::SeekTest, &TMain_Form::SeekTestExecute},
        {Input_Test, QStringLiteral("&Ввод данных..."), QStringLiteral("Ввод данных"), QKeySequence(),
         Icons::Kind::InputTest, &TMain_Form::Input_TestExecute},
        {ResultTest, QStringLiteral("&Результаты..."), QStringLiteral("Результаты"), QKeySequence(),
         Icons::Kind::ResultTest, &TMain_Form::ResultTestExecute},
        {Option, QStringLiteral("&Настройка..."), QStringLiteral("Настройка"), QKeySequence(),
         Icons::Kind::Option, &TMain_Form::OptionExecute},
        {Group, QStringLiteral("&Группы..."), QString(), QKeySequence(), Icons::Kind::Group,
         &TMain_Form::GroupExecute},
        {Help, QStringLiteral("&Содержание"), QStringLiteral("Помощь по Olvena Shell"),
         QKeySequence(Qt::Key_F1), Icons::Kind::Help, &TMain_Form::HelpExecute},
        {InternetHelp, olvena + QStringLiteral("&Интернете"), olvena + QStringLiteral("Интернете"),
         QKeySequence(), Icons::Kind::InternetHelp, &TMain_Form::InternetHelpExecute},
        {About, QStringLiteral("&О программе..."), QStringLiteral("О программе и ее авторах"), QKeySequence(),
         Icons::Kind::About, &TMain_Form::AboutExecute},
    };
    for (const Spec& s : specs) {
        s.action = new QAction(Icons::icon(s.icon), s.caption, this);
        s.action->setToolTip(s.hint.isEmpty() ? QString(s.caption).remove(QLatin1Char('&')) : s.hint);
        s.action->setStatusTip(s.hint);
        if (!s.shortcut.isEmpty()) {
            s.action->setShortcut(s.shortcut);
            s.action->setShortcutContext(Qt::WindowShortcut);
        }
        const auto slot = s.slot;
        connect(s.action, &QAction::triggered, this,
                [this, slot] { Platform::guarded([this, slot] { (this->*slot)(); }); });
        addAction(s.action);
    }
}

void TMain_Form::createMenus() {
    QMenuBar* bar = menuBar();
    QMenu* db = bar->addMenu(QStringLiteral("База данных"));
    db->addActions({NewDB, OpenDB});
    db->addSeparator();
    RestoreDB = db->addAction(QStringLiteral("Восстановить из копии..."));
    RestoreDB->setObjectName(QStringLiteral("RestoreDB"));
    RestoreDB->setStatusTip(QStringLiteral("Восстановить все данные из резервной копии"));
    connect(RestoreDB, &QAction::triggered, this,
            [this] { Platform::guarded([this] { RestoreDBExecute(); }); });
    db->addSeparator();
    StatExport = db->addAction(QStringLiteral("Экспорт для статистики..."));
    StatExport->setStatusTip(
        QStringLiteral("Все тестирования базы данных в файл CSV для программ статистики"));
    connect(StatExport, &QAction::triggered, this,
            [this] { Platform::guarded([this] { StatExportExecute(); }); });
    db->addSeparator();
    db->addAction(Exit);
    QMenu* testees = bar->addMenu(QStringLiteral("Тестируемые"));
    testees->addActions({AddTest, EditTest, DelTest});
    testees->addSeparator();
    testees->addAction(SeekTest);
    testees->addSeparator();
    testees->addAction(Refresh);
    QMenu* testing = bar->addMenu(QStringLiteral("Тестирование"));
    testing->addActions({Input_Test, ResultTest});
    GroupTesting = testing->addAction(QStringLiteral("&Групповое тестирование..."));
    GroupTesting->setObjectName(QStringLiteral("GroupTesting"));
    GroupTesting->setStatusTip(
        QStringLiteral("Тестирование выбранных тестируемых или группы в браузерах по сети"));
    connect(GroupTesting, &QAction::triggered, this,
            [this] { Platform::guarded([this] { GroupTestingExecute(); }); });
    QMenu* service = bar->addMenu(QStringLiteral("Сервис"));
    service->addActions({Option, Group});
    QMenu* help = bar->addMenu(QStringLiteral("Помощь"));
    help->addActions({Help, InternetHelp});
    help->addSeparator();
    help->addAction(About);
    for (QMenu* m : {db, testees, testing, service, help})
        m->setToolTipsVisible(false);

    Main_ToolBar = addToolBar(QStringLiteral("Панель инструментов"));
    Main_ToolBar->setObjectName(QStringLiteral("Main_ToolBar"));
    Main_ToolBar->setMovable(false);
    Main_ToolBar->setIconSize(QSize(16, 16));
    Main_ToolBar->addActions({NewDB, OpenDB});
    Main_ToolBar->addSeparator();
    Main_ToolBar->addActions({AddTest, EditTest, DelTest});
    Main_ToolBar->addSeparator();
    Main_ToolBar->addAction(SeekTest);
    Main_ToolBar->addSeparator();
    Main_ToolBar->addAction(ResultTest);

    Grid_PopupMenu = new QMenu(this);
    Grid_PopupMenu->addAction(AddTest);
    Grid_PopupMenu->addAction(EditTest);
    Grid_PopupMenu->setDefaultAction(EditTest);
    Grid_PopupMenu->addSeparator();
    Grid_PopupMenu->addAction(DelTest);
    Grid_PopupMenu->addSeparator();
    Grid_PopupMenu->addAction(ResultTest);
    Grid_PopupMenu->addSeparator();
    Grid_PopupMenu->addAction(Refresh);
}

void TMain_Form::createGrid() {
    using Widgets::TColumn;
    const Qt::Alignment centre = Qt::AlignCenter;
    QList<TColumn> columns = {
        TColumn{kGridFields[0], QStringLiteral("Ф.И.О."), 302, Qt::AlignLeft | Qt::AlignVCenter, true},
        TColumn{kGridFields[1], QStringLiteral("Возраст"), 63, centre},
        TColumn{kGridFields[2], QStringLiteral("Пол"), 37, centre},
        TColumn{kGridFields[3], QStringLiteral("Группа"), 228, Qt::AlignLeft | Qt::AlignVCenter},
    };
    Data_Grid = new Widgets::TDBGrid(Main_DataModule->Men_Query, columns, this);
    Data_Grid->setObjectName(QStringLiteral("Data_Grid"));
    Data_Grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Data_Grid->SetTitleSorting(true);
    Data_Grid->SetScaleColumns(true);
    QFont titleFont = Data_Grid->font();
    titleFont.setBold(true);
    Data_Grid->Model()->titleFont = titleFont;
    Data_Grid->Model()->titleColor = QColor(0, 0, 128);
    Data_Grid->Model()->rowColor = [this](int row) { return rowColor(row); };
    Data_Grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Data_Grid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { Grid_PopupMenu->popup(Data_Grid->viewport()->mapToGlobal(pos)); });
    connect(Data_Grid, &Widgets::TDBGrid::TitleClick, this,
            [this](int column, bool ctrl) { Platform::guarded([&] { Data_GridTitleClick(column, ctrl); }); });
    connect(Data_Grid, &Widgets::TDBGrid::RowDoubleClicked, this,
            [this] { Platform::guarded([this] { Data_GridDblClick(); }); });
    connect(Main_DataModule->Men_Query, &Data::TDataset::DataChange, this, &TMain_Form::UpdateActions);
    setCentralWidget(Data_Grid);
}

QColor TMain_Form::rowColor(int row) const {
    // Record number row + 1: odd rows (1st, 3rd, ...) take the first colour.
    return Platform::ColorToQColor(row % 2 == 0 ? FirstColor : SecondColor);
}

void TMain_Form::SetDBCaption(const QString& name) {
    setWindowTitle(QStringLiteral("Тест Morvel - ") + name);
}

void TMain_Form::RefreshMenList() {
    TMain_DataModule* dm = Main_DataModule;
    dm->Tests_Query->Close();
    dm->Tests_Query->SetParam(field("DB_ID"), dm->Current_DB_ID);
    dm->Tests_Query->Open();
    m_testedMen.clear();
    for (int r = 0; r < dm->Tests_Query->RecordCount(); ++r)
        m_testedMen.insert(dm->Tests_Query->Value(r, 0).toInt());

    // The store gives the list in Men_ID order; the sort markers order it in memory, with one comparator
    // for both stores, Men_ID deciding what they leave equal: every workstation shows the same order.
    dm->OpenMenQuery();
    if (Data_Grid->Markers().sortedCount() > 0)
        Widgets::SortByMarkers(*Data_Grid, kGridFields, field("Men_ID"));
    if (m_live)
        m_live->Refreshed();
    UpdateActions();
}

void TMain_Form::RefreshKeepingPlace() {
    Data::TQuery* q = Main_DataModule->Men_Query;
    const int current = CurrentMenID();
    const int idField = q->FieldIndex(field("Men_ID"));
    QSet<int> selected;
    if (q->Active())
        for (const QModelIndex& index : Data_Grid->selectionModel()->selectedRows())
            selected.insert(q->Value(index.row(), idField).toInt());
    RefreshMenList();
    if (current != 0)
        LocateMen(current);
    if (selected.size() < 2)
        return;
    QItemSelection selection;
    const int last = Data_Grid->model()->columnCount() - 1;
    for (int r = 0; r < q->RecordCount(); ++r)
        if (selected.contains(q->Value(r, idField).toInt()))
            selection.select(Data_Grid->model()->index(r, 0), Data_Grid->model()->index(r, last));
    Data_Grid->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

bool TMain_Form::LocateMen(int menId) { return Main_DataModule->Men_Query->Locate(field("Men_ID"), menId); }

int TMain_Form::CurrentMenID() const {
    Data::TQuery* q = Main_DataModule->Men_Query;
    if (!q->Active() || q->IsEmpty())
        return 0;
    return q->FieldByName(field("Men_ID")).AsInteger();
}

Data::Testee TMain_Form::CurrentTestee() const {
    Data::TQuery* q = Main_DataModule->Men_Query;
    Data::Testee t;
    if (!q->Active() || q->IsEmpty())
        return t;
    const auto text = [q](const char* name) { return q->FieldByName(field(name)).AsString(); };
    t.id = q->FieldByName(field("Men_ID")).AsInteger();
    t.dbId = Main_DataModule->Current_DB_ID;
    t.fio = text("FIO");
    t.sex = text("Sex");
    t.age = q->FieldByName(field("Age")).AsInteger();
    t.groupId = q->FieldByName(field("Group_ID")).AsInteger();
    t.groupName = text("Group_Name");
    t.version = -1; // not read with the list: the edit dialog reads the stored one
    return t;
}

void TMain_Form::ReadColors() {
    const Platform::TIniFile ini(SettingsFilePath());
    FirstColor = ini.ReadInteger(kSection, QStringLiteral("FirstColor"), kDefaultFirstColor);
    SecondColor = ini.ReadInteger(kSection, QStringLiteral("SecondColor"), kDefaultSecondColor);
    Data_Grid->viewport()->update();
}

void TMain_Form::UpdateActions() {
    Data::TQuery* q = Main_DataModule->Men_Query;
    const bool any = q->Active() && !q->IsEmpty();
    for (QAction* a : {EditTest, DelTest, SeekTest, Input_Test, ResultTest, GroupTesting})
        a->setEnabled(any);
    ResultTest->setEnabled(any && m_testedMen.contains(CurrentMenID()));
    // A data folder that cannot be written is only viewed.
    if (Main_DataModule->ReadOnly())
        for (QAction* a : {NewDB, AddTest, EditTest, DelTest, RestoreDB, GroupTesting})
            a->setEnabled(false);
    // Copies of the day are of the table file; the server keeps its own.
    if (Main_DataModule->IsServer())
        RestoreDB->setEnabled(false);
}

bool TMain_Form::DatabaseExists(int dbId) const { return Main_DataModule->Repo().database(dbId).has_value(); }

void TMain_Form::RestoreDBExecute() {
    bool restored = false;
    {
        // The restore closes every list first; they are read again however it ended.
        const auto refresh = qScopeGuard([this] { Platform::guarded([this] { RefreshMenList(); }); });
        restored = ShowRestore(this);
    }
    if (!restored)
        return;
    // The restored data may not hold the open database: the choice is made anew, as at start.
    int id = Main_DataModule->Current_DB_ID;
    QString name;
    if (ChooseDB(id, name)) {
        Main_DataModule->Current_DB_ID = id;
        SetDBCaption(name);
        RefreshMenList();
    } else if (!DatabaseExists(Main_DataModule->Current_DB_ID)) {
        close();
    }
}

void TMain_Form::NewDBExecute() {
    Data::Database db;
    db.id = -1;
    if (EditDBData(db)) {
        Main_DataModule->Current_DB_ID = db.id;
        SetDBCaption(db.name);
        RefreshMenList();
    }
}

void TMain_Form::OpenDBExecute() {
    int id = Main_DataModule->Current_DB_ID;
    QString name;
    if (ChooseDB(id, name)) {
        Main_DataModule->Current_DB_ID = id;
        SetDBCaption(name);
        RefreshMenList();
    }
}

void TMain_Form::ExitExecute() { close(); }

void TMain_Form::AddTestExecute() {
    Data::Testee testee;
    testee.id = -1;
    testee.dbId = Main_DataModule->Current_DB_ID;
    if (EditTester(testee, this)) {
        RefreshMenList();
        LocateMen(testee.id);
    }
}

void TMain_Form::EditTestExecute() {
    Data::Testee testee = CurrentTestee();
    if (testee.id == 0)
        return;
    if (EditTester(testee, this)) {
        RefreshMenList();
        LocateMen(testee.id);
    }
}

void TMain_Form::DelTestExecute() {
    // The current row only, also when several rows are selected.
    const int menId = CurrentMenID();
    if (menId == 0)
        return;
    const QString fio = Main_DataModule->Men_Query->FieldByName(QStringLiteral("FIO")).AsString();
    if (Platform::messageBox(this, QStringLiteral("Удалить тестируемого «%1»?").arg(fio),
                             QStringLiteral("Подтверждение удаления"), Platform::MsgIcon::Question,
                             Platform::MsgButtons::YesNo,
                             Platform::MsgAnswer::No) != Platform::MsgAnswer::Yes)
        return;
    DeleteTester(menId);
    RefreshMenList();
}

void TMain_Form::SeekTestExecute() {
    if (!Main_DataModule->Men_Query->IsEmpty())
        ShowSearch(this);
}

void TMain_Form::Input_TestExecute() {
    const Data::Testee testee = CurrentTestee();
    if (testee.id == 0)
        return;
    OnDemand().ShowTestList(testee, this);
    // A run or a deletion may change who has tests; the list comes back to the same testee.
    RefreshMenList();
    LocateMen(testee.id);
}

void TMain_Form::ResultTestExecute() {
    const int menId = CurrentMenID();
    if (menId == 0)
        return;
    const Data::Repository& repo = Main_DataModule->Repo();
    OnDemand().ShowResults(repo.testee(menId).value_or(Data::Testee{}), repo.testsOf(menId), this);
}

void TMain_Form::OptionExecute() {
    if (!ShowOptions(this))
        return;
    ReadColors();
    if (SameStore(Data::ReadStoreSettings(SettingsFilePath()), Main_DataModule->Store()))
        return;
    if (Platform::messageBox(
            this,
            QStringLiteral("Выбрано другое хранилище данных. Подключиться к нему сейчас? Все "
                           "окна будут закрыты, затем будет предложен выбор базы данных."),
            QStringLiteral("Подтверждение"), Platform::MsgIcon::Question, Platform::MsgButtons::YesNo,
            Platform::MsgAnswer::Yes) != Platform::MsgAnswer::Yes)
        return;
    m_reconnect = true;
    close();
}

void TMain_Form::GroupExecute() { ShowGroups(this); }

void TMain_Form::HelpExecute() { ShowHelp(HelpPageFor(this), this); }

void TMain_Form::InternetHelpExecute() {
    const Platform::TIniFile ini(SettingsFilePath());
    OpenAddress(this, ini.ReadString(kInternetSection, QStringLiteral("HomePage"), kDefaultHomePage));
}

void TMain_Form::AboutExecute() { ShowAbout(this); }

void TMain_Form::StatExportExecute() {
    // Several selected testees narrow the export to them; one selected row is just the current one.
    QList<int> menIds;
    const QModelIndexList selected = Data_Grid->selectionModel()->selectedRows();
    if (selected.size() > 1) {
        const Data::TQuery* men = Main_DataModule->Men_Query;
        const int field = men->FieldIndex(QStringLiteral("Men_ID"));
        for (const QModelIndex& index : selected)
            menIds << men->Value(index.row(), field).toInt();
    }
    OnDemand().ShowStatExport(menIds, this);
}

void TMain_Form::GroupTestingExecute() {
    const Data::TQuery* men = Main_DataModule->Men_Query;
    const int field = men->FieldIndex(QStringLiteral("Men_ID"));
    QList<int> selected;
    for (const QModelIndex& index : Data_Grid->selectionModel()->selectedRows())
        selected << men->Value(index.row(), field).toInt();
    OnDemand().ShowGroupTesting(*men, selected, CurrentMenID(), this);
    // Finished runs change who has tests.
    RefreshKeepingPlace();
}

void TMain_Form::Data_GridTitleClick(int column, bool ctrl) {
    const int menId = CurrentMenID();
    Data_Grid->Markers().click(column, ctrl);
    Data_Grid->horizontalHeader()->viewport()->update();
    // The rows in memory are re-sorted; the user keeps his place and his selection.
    Widgets::SortByMarkers(*Data_Grid, kGridFields, field("Men_ID"));
    Data_Grid->FitColumns();
    if (menId != 0 && menId != CurrentMenID())
        LocateMen(menId);
}

void TMain_Form::Data_GridDblClick() {
    if (!Main_DataModule->Men_Query->IsEmpty())
        Input_TestExecute();
}
