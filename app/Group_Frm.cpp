// Group dialog.
#include "app/Group_Frm.h"

#include "app/Input_Frm.h"
#include "data/DataMod.h"
#include "data/Testee.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/Locale.h"
#include "widgets/DBGrid.h"
#include "widgets/DialogLayout.h"
#include "widgets/LiveList.h"

#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

const QString kGroupName = QStringLiteral("Group_Name");

Data::TTable* groups() { return Main_DataModule->Group_Table; }

} // namespace

TGroup_Form::TGroup_Form(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Группы тестируемых"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    QFont bold = font();
    bold.setBold(true);

    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Raised);
    auto* label = new QLabel(QStringLiteral("Группы"), panel);
    label->setFont(bold);

    Group_DBGrid = new Widgets::TDBGrid(groups(), {Widgets::TColumn{kGroupName, QString(), 220}}, panel);
    Group_DBGrid->setObjectName(QStringLiteral("Group_DBGrid"));
    Group_DBGrid->horizontalHeader()->hide();
    Group_DBGrid->horizontalHeader()->setStretchLastSection(true);
    Group_DBGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    Group_DBGrid->setShowGrid(false);
    Group_DBGrid->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    label->setBuddy(Group_DBGrid);
    // Groups made, renamed or deleted on other workstations show up; the selection stays on its group.
    auto* live = new Widgets::TLiveList(this, {QStringLiteral("GROUP")}, [] {
        Widgets::ReopenKeepingRow(*groups(), QStringLiteral("Group_ID"));
    });
    Group_DBGrid->setContextMenuPolicy(Qt::ActionsContextMenu);
    Group_DBGrid->addAction(live->RefreshAction());

    Add_But = new QPushButton(QStringLiteral("&Добавить..."), panel);
    Edit_But = new QPushButton(QStringLiteral("&Изменить..."), panel);
    Del_But = new QPushButton(QStringLiteral("&Удалить"), panel);
    // The list on the left, its buttons on the right.
    auto* grid = new QGridLayout(panel);
    grid->addWidget(label, 0, 0);
    grid->addWidget(Group_DBGrid, 1, 0, 4, 1);
    int row = 1;
    for (QPushButton* b : {Add_But, Edit_But, Del_But}) {
        b->setFont(bold);
        b->setAutoDefault(false);
        grid->addWidget(b, row++, 1);
    }
    grid->setRowStretch(row, 1);
    auto* buttons = new QDialogButtonBox(this);
    Ok_But = buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
    Ok_But->setDefault(true);
    Ok_But->setFocus();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel, 1);
    layout->addWidget(buttons);
    Widgets::OpenAt(this, QSize(383, 225));

    connect(Add_But, &QPushButton::clicked, this, [this] { Platform::guarded([this] { Add_ButClick(); }); });
    connect(Edit_But, &QPushButton::clicked, this,
            [this] { Platform::guarded([this] { Edit_ButClick(); }); });
    connect(Del_But, &QPushButton::clicked, this, [this] { Platform::guarded([this] { Del_ButClick(); }); });
    connect(Group_DBGrid, &Widgets::TDBGrid::RowDoubleClicked, this, [this] {
        if (groups()->Active() && !groups()->IsEmpty())
            Platform::guarded([this] { Edit_ButClick(); });
    });
    connect(Ok_But, &QPushButton::clicked, this, &QDialog::accept);
    // Del in the list deletes the current group, as the button does (when it may).
    auto* del = new QShortcut(QKeySequence::Delete, Group_DBGrid);
    del->setContext(Qt::WidgetShortcut);
    connect(del, &QShortcut::activated, this, [this] {
        if (Del_But->isEnabled())
            Del_But->click();
    });
    connect(groups(), &Data::TDataset::DataChange, this, &TGroup_Form::UpdateButtons);
    UpdateButtons();
}

void TGroup_Form::UpdateButtons() {
    const bool any = groups()->Active() && !groups()->IsEmpty();
    Edit_But->setEnabled(any);
    Del_But->setEnabled(any);
    if (Main_DataModule->ReadOnly())
        for (QPushButton* b : {Add_But, Edit_But, Del_But})
            b->setEnabled(false);
}

void TGroup_Form::Add_ButClick() {
    QString name;
    InputText(QStringLiteral("Добавить группу"), QStringLiteral("Группа"), QString(), name,
              kMaxGroupNameLength, this);
    if (name.isEmpty())
        return;
    const int id = Main_DataModule->Repo().insertGroup(name);
    Widgets::ReopenKeepingRow(*groups(), QStringLiteral("Group_ID"));
    groups()->Locate(QStringLiteral("Group_ID"), id);
}

void TGroup_Form::Edit_ButClick() {
    Data::TTable* table = groups();
    const QVariant id = table->FieldByName(QStringLiteral("Group_ID")).Value();
    QString current = table->FieldByName(kGroupName).AsString();
    QString unsaved; // the user's name that a refused save did not keep
    for (;;) {
        QString name;
        InputText(QStringLiteral("Изменить название группы"), QStringLiteral("Группа"), current, name,
                  kMaxGroupNameLength, this, unsaved);
        if (name == current)
            return;
        try {
            Main_DataModule->Repo().renameGroup(
                {id.toInt(), name, table->FieldByName(Data::kRowVersion).Value().toLongLong()});
            Widgets::ReopenKeepingRow(*table, QStringLiteral("Group_ID"));
            return;
        } catch (const Data::ERecordChanged& e) {
            // Renamed or deleted on another workstation since the list was read: show the groups as
            // stored. A renamed group is asked for again with its stored name, the user's name kept.
            table->Close();
            table->Open();
            if (!table->Locate(QStringLiteral("Group_ID"), id))
                throw;
            Platform::messageBox(this, e.message(), QStringLiteral("Ошибка"), Platform::MsgIcon::Error);
            current = table->FieldByName(kGroupName).AsString();
            unsaved = name;
        }
    }
}

void TGroup_Form::Del_ButClick() {
    Data::TTable* table = groups();
    const int id = table->FieldByName(QStringLiteral("Group_ID")).AsInteger();
    const int members = Main_DataModule->Repo().groupMemberCount(id);
    const QString name = table->FieldByName(kGroupName).AsString();
    // Its testees stay, listed without a group; its key is never given to another group.
    const QString question =
        members == 0
            ? QStringLiteral("В группе «%1» нет тестируемых.").arg(name)
            : QStringLiteral("В группе «%1» %2 %3.")
                  .arg(name, QString::number(members),
                       Platform::RussianPlural(members, QStringLiteral("тестируемый"),
                                               QStringLiteral("тестируемых"), QStringLiteral("тестируемых")));
    if (Platform::messageBox(this, question + QStringLiteral("\nВы действительно хотите удалить группу?"),
                             QStringLiteral("Подтверждение удаления"), Platform::MsgIcon::Question,
                             Platform::MsgButtons::YesNo,
                             Platform::MsgAnswer::No) != Platform::MsgAnswer::Yes)
        return;
    const int row = table->RecNo();
    Main_DataModule->Repo().deleteGroup(id);
    table->Close();
    table->Open();
    if (!table->IsEmpty())
        table->SetRecNo(std::min(row, table->RecordCount()));
}

void ShowGroups(QWidget* parent) {
    TGroup_Form form(parent);
    groups()->Open();
    struct CloseTable {
        ~CloseTable() { groups()->Close(); }
    } closeTable;
    form.exec();
}
