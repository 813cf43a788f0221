// Database choice dialog.
#include "app/DB_Frm.h"

#include "app/DBEdit_Frm.h"
#include "app/Password_Frm.h"
#include "app/Restore_Frm.h"
#include "data/Backup.h"
#include "data/DataMod.h"
#include "data/FileEngine.h"
#include "data/Password.h"
#include "data/Schema.h"
#include "data/Transfer.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "widgets/DBGrid.h"
#include "widgets/DialogLayout.h"
#include "widgets/LiveList.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kBasesColor = 14024703; // pale yellow, 0x00BBGGRR

QString field(const char* name) { return QString::fromLatin1(name); }

// The database of the list's current row.
Data::Database currentDatabase() {
    Data::TTable* table = Main_DataModule->DB_Table;
    return {table->FieldByName(field("DB_ID")).AsInteger(), table->FieldByName(field("DB_Name")).AsString(),
            table->FieldByName(field("Password")).Value().toByteArray(),
            table->FieldByName(Data::kRowVersion).Value().toLongLong()};
}

// Reads the list again and makes the database current.
void showDatabase(int id) {
    Data::TTable* table = Main_DataModule->DB_Table;
    table->Close();
    table->Open();
    table->Locate(field("DB_ID"), id);
}

} // namespace

TDB_Form::TDB_Form(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Выбор базы данных"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* frame = new QGroupBox(QStringLiteral("Базы данных"), this);
    auto* label = new QLabel(QStringLiteral("Доступные базы данных"), frame);

    Work_But = new QToolButton(frame);
    Work_But->setText(QStringLiteral("Работа с БД"));
    Work_But->setAutoRaise(true);
    Work_But->setPopupMode(QToolButton::InstantPopup);
    Work_But->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto* menu = new QMenu(Work_But);
    menu->setToolTipsVisible(true);
    Create_Item = menu->addAction(QStringLiteral("&Создать..."));
    Create_Item->setToolTip(QStringLiteral("Создать новую базу данных"));
    Edit_Item = menu->addAction(QStringLiteral("Изменить данные..."));
    Edit_Item->setToolTip(QStringLiteral("Изменить данные базы данных"));
    menu->addSeparator();
    Delete_Item = menu->addAction(QStringLiteral("Удалить..."));
    Delete_Item->setToolTip(QStringLiteral("Удалить существующую базу данных"));
    Work_But->setMenu(menu);

    Main_DataModule->DB_Table->Open();
    Bases_Grid = new Widgets::TDBGrid(Main_DataModule->DB_Table,
                                      {Widgets::TColumn{field("DB_Name"), QString(), 340}}, frame);
    Bases_Grid->setObjectName(QStringLiteral("Bases_Grid"));
    Bases_Grid->horizontalHeader()->hide();
    Bases_Grid->horizontalHeader()->setStretchLastSection(true);
    Bases_Grid->setWordWrap(true);
    // Rows as high as their wrapped names: two long names that differ at the end stay distinguishable.
    Bases_Grid->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Bases_Grid->setShowGrid(false);
    QPalette pal = Bases_Grid->palette();
    const int c = kBasesColor;
    pal.setColor(QPalette::Base, QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
    Bases_Grid->setPalette(pal);

    // Shown over the empty list.
    Empty_Label = new QLabel(frame);
    Empty_Label->setObjectName(QStringLiteral("Empty_Label"));
    Empty_Label->setWordWrap(true);
    Empty_Label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    CreateDB_But = new QPushButton(QStringLiteral("Создать базу..."), frame);
    CreateDB_But->setObjectName(QStringLiteral("CreateDB_But"));
    TransferDB_But = new QPushButton(QStringLiteral("Перенести на сервер..."), frame);
    TransferDB_But->setObjectName(QStringLiteral("TransferDB_But"));
    TransferDB_But->setToolTip(
        QStringLiteral("Скопировать базы данных, группы, тестируемых и тесты локального "
                       "файла в эту базу данных на сервере"));

    auto* grid = new QGridLayout(frame);
    grid->addWidget(label, 0, 0);
    grid->addWidget(Work_But, 0, 1);
    grid->addWidget(Bases_Grid, 1, 0, 1, 2);
    // A layout over the list's cell, not a widget: it takes no clicks from the list.
    auto* empty = new QGridLayout;
    empty->setContentsMargins(12, 12, 12, 12);
    empty->addWidget(Empty_Label, 0, 0, 1, 2);
    empty->addWidget(CreateDB_But, 1, 0);
    empty->addWidget(TransferDB_But, 1, 1);
    empty->setRowStretch(0, 1);
    grid->addLayout(empty, 1, 0, 1, 2);

    QDialogButtonBox* buttons =
        Widgets::ButtonRow(this, Ok_But, Cancel_But, QStringLiteral("&OK"), QStringLiteral("&Отмена"));
    Cancel_But->setToolTip(QStringLiteral("Выйти из программы"));
    QFont bold = Ok_But->font();
    bold.setBold(true);
    Ok_But->setFont(bold);
    Cancel_But->setFont(bold);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame, 1);
    layout->addWidget(buttons);
    Widgets::OpenAt(this, QSize(400, 266));

    connect(Ok_But, &QPushButton::clicked, this, [this] { Platform::guarded([this] { Ok_ButClick(); }); });
    connect(Cancel_But, &QPushButton::clicked, this, &QDialog::reject);
    connect(Create_Item, &QAction::triggered, this,
            [this] { Platform::guarded([this] { Create_ItemClick(); }); });
    connect(Edit_Item, &QAction::triggered, this,
            [this] { Platform::guarded([this] { Edit_ItemClick(); }); });
    connect(Delete_Item, &QAction::triggered, this,
            [this] { Platform::guarded([this] { Delete_ItemClick(); }); });
    connect(Bases_Grid, &Widgets::TDBGrid::RowDoubleClicked, this, [this] {
        if (!Main_DataModule->DB_Table->IsEmpty())
            Platform::guarded([this] { Ok_ButClick(); });
    });
    connect(CreateDB_But, &QPushButton::clicked, this,
            [this] { Platform::guarded([this] { Create_ItemClick(); }); });
    connect(TransferDB_But, &QPushButton::clicked, this,
            [this] { Platform::guarded([this] { TransferDB_ButClick(); }); });

    // Databases made or renamed on other workstations show up; the selection stays on its database.
    m_live = new Widgets::TLiveList(this, {QStringLiteral("DB")}, [] {
        Widgets::ReopenKeepingRow(*Main_DataModule->DB_Table, field("DB_ID"));
    });
    menu->addSeparator();
    menu->addAction(m_live->RefreshAction());

    connect(Main_DataModule->DB_Table, &Data::TDataset::DataChange, this, &TDB_Form::UpdateButtons);
    connect(Main_DataModule->DB_Table, &Data::TDataset::DataReset, this, &TDB_Form::UpdateButtons);
    UpdateButtons();
    Bases_Grid->setFocus();
}

void TDB_Form::UpdateButtons() {
    const bool any = Main_DataModule->DB_Table->Active() && !Main_DataModule->DB_Table->IsEmpty();
    Ok_But->setEnabled(any);
    const bool writable = !Main_DataModule->ReadOnly();
    Create_Item->setEnabled(writable);
    Edit_Item->setEnabled(any && writable);
    Delete_Item->setEnabled(any && writable);

    const bool server = Main_DataModule->IsServer();
    // A hidden button keeps no focus: Enter would press it unseen.
    if (any && (focusWidget() == CreateDB_But || focusWidget() == TransferDB_But))
        Bases_Grid->setFocus();
    for (QWidget* w : std::initializer_list<QWidget*>{Empty_Label, CreateDB_But})
        w->setVisible(!any);
    TransferDB_But->setVisible(!any && server);
    CreateDB_But->setEnabled(writable);
    TransferDB_But->setEnabled(writable);
    if (any)
        return;
    if (!writable)
        Empty_Label->setText(
            server ? QStringLiteral("На сервере нет ни одной базы данных, а у пользователя сервера нет прав "
                                    "их создавать. Обратитесь к администратору сервера.")
                   : QStringLiteral("Нет ни одной базы данных, а папка данных доступна только для чтения."));
    else if (server)
        Empty_Label->setText(
            QStringLiteral("На сервере ещё нет ни одной базы данных. Создайте новую базу данных "
                           "или перенесите на сервер данные локального файла."));
    else
        Empty_Label->setText(QStringLiteral("Нет ни одной базы данных. Создайте новую базу данных."));
}

bool TDB_Form::CheckPassword() {
    const QByteArray stored = Main_DataModule->DB_Table->FieldByName(field("Password")).Value().toByteArray();
    if (stored.isEmpty())
        return true;
    QString password = QString::fromLatin1(stored);
    return AskPassword(QStringLiteral("Ввод пароля"), password, false,
                       Main_DataModule->DB_Table->FieldByName(field("DB_Name")).AsString());
}

void TDB_Form::Ok_ButClick() {
    Data::TTable* table = Main_DataModule->DB_Table;
    if (table->IsEmpty() || !CheckPassword())
        return;
    DB_ID = table->FieldByName(field("DB_ID")).AsInteger();
    DBName = table->FieldByName(field("DB_Name")).AsString();
    accept();
}

void TDB_Form::Create_ItemClick() {
    Data::Database db;
    db.id = -1;
    if (EditDBData(db))
        showDatabase(db.id);
}

void TDB_Form::Edit_ItemClick() {
    if (Main_DataModule->DB_Table->IsEmpty() || !CheckPassword())
        return;
    Data::Database db = currentDatabase();
    if (EditDBData(db))
        showDatabase(db.id);
}

void TDB_Form::Delete_ItemClick() {
    Data::TTable* table = Main_DataModule->DB_Table;
    if (table->IsEmpty())
        return;
    const int id = table->FieldByName(field("DB_ID")).AsInteger();
    const QString name = table->FieldByName(field("DB_Name")).AsString();
    if (id == Main_DataModule->Current_DB_ID) {
        Platform::messageBox(this, QStringLiteral("Открытую базу данных удалить нельзя."),
                             QStringLiteral("Информация"), Platform::MsgIcon::Information);
        return;
    }
    if (!CheckPassword())
        return;
    const QString question =
        QStringLiteral("Удалить базу данных «%1» вместе со всеми тестируемыми и результатами?").arg(name);
    if (Platform::messageBox(this, question, QStringLiteral("Подтверждение удаления"),
                             Platform::MsgIcon::Question, Platform::MsgButtons::YesNo,
                             Platform::MsgAnswer::No) != Platform::MsgAnswer::Yes)
        return;
    // A copy first: a database deleted by mistake can be brought back. No copy, no deletion. The
    // server's data is kept by the server's own backups.
    if (!Main_DataModule->IsServer()) {
        try {
            Data::MakeBackup(Main_DataModule->Main_Database(), Main_DataModule->DataDir(), BackupsKept());
        } catch (const std::exception& e) {
            throw Data::EDatabaseError(QStringLiteral("База данных не удалена: ") +
                                       QString::fromUtf8(e.what()));
        }
    }
    // The database, its testees and their test records go together or not at all.
    try {
        Main_DataModule->Repo().deleteDatabase(id);
    } catch (const Data::EDatabaseError& e) {
        throw Data::EDatabaseError(QStringLiteral("Не удалось удалить базу данных: ") + e.message());
    }
    const int row = table->RecNo();
    table->Close();
    table->Open();
    table->SetRecNo(row);
}

void TDB_Form::TransferDB_ButClick() {
    const QString file = Main_DataModule->TableFilePath();
    if (!QFileInfo::exists(file)) {
        Platform::messageBox(
            this,
            QStringLiteral("Локального файла базы данных «%1» нет: переносить на сервер нечего.")
                .arg(QDir::toNativeSeparators(file)),
            QStringLiteral("Перенос на сервер"), Platform::MsgIcon::Information);
        return;
    }
    if (Platform::messageBox(
            this,
            QStringLiteral("Перенести на сервер %1 все базы данных, группы, тестируемых и тесты "
                           "локального файла «%2»? Файл останется без изменений.")
                .arg(Main_DataModule->Store().Describe(), QDir::toNativeSeparators(file)),
            QStringLiteral("Перенос на сервер"), Platform::MsgIcon::Question, Platform::MsgButtons::YesNo,
            Platform::MsgAnswer::Yes) != Platform::MsgAnswer::Yes)
        return;
    Data::TTransferReport report;
    {
        std::unique_ptr<Data::TFileEngine> source;
        try {
            source = Data::TFileEngine::Open(file, Data::TFileEngine::TAccess::Read);
        } catch (const Data::EDamagedFile&) {
            throw;
        } catch (const Data::EEngineError&) {
            throw;
        } catch (const Data::EDatabaseError& e) {
            throw Data::EDatabaseError(QStringLiteral("Не удалось открыть локальный файл базы данных «%1».")
                                           .arg(QDir::toNativeSeparators(file)),
                                       e.detail());
        }
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        report = Data::TransferToServer(*source, Main_DataModule->Main_Database());
    }
    Data::TTable* table = Main_DataModule->DB_Table;
    table->Close();
    table->Open();
    table->First();
    Platform::messageBox(
        this,
        QStringLiteral("Данные перенесены на сервер; локальный файл оставлен без изменений.\n\n") +
            report.Text(),
        QStringLiteral("Перенос на сервер"), Platform::MsgIcon::Information);
}

bool ChooseDB(int& DB_ID, QString& name) {
    Data::TTable* table = Main_DataModule->DB_Table;
    table->Open();
    bool chosen = false;
    {
        TDB_Form form;
        form.DB_ID = DB_ID;
        form.DBName = name;
        if (DB_ID != 0)
            table->Locate(field("DB_ID"), DB_ID);
        else
            table->First();
        if (form.exec() == QDialog::Accepted) {
            DB_ID = form.DB_ID;
            name = form.DBName;
            chosen = true;
        }
    }
    table->Close();
    return chosen;
}
