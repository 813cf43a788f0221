// Restoring the table file from a copy, and the copy of the day made at start.
#include "app/Restore_Frm.h"

#include "data/DataMod.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/IniFile.h"
#include "platform/Locale.h"
#include "platform/ProgramDir.h"

#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>

namespace {

QString madeText(const QDateTime& made) {
    return Platform::DateToStr(made.date()) + QLatin1Char(' ') +
           made.time().toString(QStringLiteral("HH:mm"));
}

// Size in the Russian units a user reads: kilobytes under a megabyte, megabytes with one decimal above.
QString sizeText(qint64 bytes) {
    const QLocale locale;
    constexpr double kKilo = 1024.0;
    if (bytes < kKilo * kKilo)
        return locale.toString(std::max<qint64>(1, qRound64(bytes / kKilo))) + QStringLiteral(" КБ");
    return locale.toString(bytes / (kKilo * kKilo), 'f', 1) + QStringLiteral(" МБ");
}

} // namespace

int BackupsKept() {
    const Platform::TIniFile ini(Platform::SettingsPath());
    return std::max(
        1, ini.ReadInteger(QStringLiteral("Backup"), QStringLiteral("Keep"), Data::kDefaultBackupsKept));
}

void MakeDailyBackup() {
    TMain_DataModule* dm = Main_DataModule;
    // Copies are of the table file (the server keeps its own); a file made at this start holds nothing
    // worth a copy yet.
    if (!dm || dm->ReadOnly() || dm->IsServer() || dm->CreatedTableFile() ||
        !Data::DailyBackupDue(dm->DataDir()))
        return;
    try {
        Data::MakeBackup(dm->Connection(), dm->DataDir(), BackupsKept());
    } catch (const std::exception& e) {
        Platform::messageBox(nullptr,
                             QStringLiteral("Резервная копия данных за сегодня не сделана: %1")
                                 .arg(QString::fromUtf8(e.what())),
                             QStringLiteral("Предупреждение"), Platform::MsgIcon::Warning);
    }
}

TRestore_Form::TRestore_Form(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Восстановление из резервной копии"));
    setProperty("helpPage", QStringLiteral("safety"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(420, 300);
    auto* label = new QLabel(QStringLiteral("Резервные копии базы данных"), this);
    label->setGeometry(12, 8, 396, 20);
    Copies_List = new QTreeWidget(this);
    Copies_List->setObjectName(QStringLiteral("Copies_List"));
    Copies_List->setGeometry(12, 30, 396, 212);
    Copies_List->setRootIsDecorated(false);
    Copies_List->setHeaderLabels({QStringLiteral("Дата копии"), QStringLiteral("Размер")});
    Copies_List->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    Copies_List->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    label->setBuddy(Copies_List);
    Restore_But = new QPushButton(QStringLiteral("&Восстановить"), this);
    Restore_But->setGeometry(214, 258, 100, 28);
    Restore_But->setDefault(true);
    Cancel_But = new QPushButton(QStringLiteral("&Отмена"), this);
    Cancel_But->setGeometry(322, 258, 86, 28);
    connect(Restore_But, &QPushButton::clicked, this,
            [this] { Platform::guarded([this] { Restore_ButClick(); }); });
    connect(Cancel_But, &QPushButton::clicked, this, &QDialog::reject);
    connect(Copies_List, &QTreeWidget::itemDoubleClicked, this,
            [this] { Platform::guarded([this] { Restore_ButClick(); }); });
    connect(Copies_List, &QTreeWidget::currentItemChanged, this,
            [this] { Restore_But->setEnabled(CurrentCopy() != nullptr); });
    FillList();
}

void TRestore_Form::FillList() {
    m_copies = Data::ListBackups(Main_DataModule->DataDir());
    Copies_List->clear();
    for (const Data::TBackupInfo& copy : std::as_const(m_copies)) {
        auto* item = new QTreeWidgetItem(Copies_List, {madeText(copy.made), sizeText(copy.size)});
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    }
    if (!m_copies.isEmpty())
        Copies_List->setCurrentItem(Copies_List->topLevelItem(0));
    Restore_But->setEnabled(CurrentCopy() != nullptr);
}

const Data::TBackupInfo* TRestore_Form::CurrentCopy() const {
    const int row = Copies_List->indexOfTopLevelItem(Copies_List->currentItem());
    return row >= 0 && row < m_copies.size() ? &m_copies[row] : nullptr;
}

void TRestore_Form::Restore_ButClick() {
    const Data::TBackupInfo* copy = CurrentCopy();
    if (!copy)
        return;
    const QString when = madeText(copy->made);
    if (Platform::messageBox(
            this,
            QStringLiteral("Заменить все данные копией от %1? Текущие данные будут сохранены "
                           "отдельной резервной копией.")
                .arg(when),
            QStringLiteral("Подтверждение восстановления"), Platform::MsgIcon::Question,
            Platform::MsgButtons::YesNo, Platform::MsgAnswer::No) != Platform::MsgAnswer::Yes)
        return;
    TMain_DataModule* dm = Main_DataModule;
    // Nothing may hold rows of the old data while the pages are replaced.
    for (Data::TDataset* ds : dm->findChildren<Data::TDataset*>(Qt::FindDirectChildrenOnly))
        ds->Close();
    Data::RestoreBackup(dm->Connection(), dm->DataDir(), copy->path, BackupsKept());
    Platform::messageBox(this, QStringLiteral("Данные восстановлены из копии от %1.").arg(when),
                         QStringLiteral("Информация"), Platform::MsgIcon::Information);
    accept();
}

bool ShowRestore(QWidget* parent) {
    TRestore_Form form(parent);
    if (form.Copies_List->topLevelItemCount() == 0) {
        Platform::messageBox(parent, QStringLiteral("Резервных копий пока нет."),
                             QStringLiteral("Информация"), Platform::MsgIcon::Information);
        return false;
    }
    return form.exec() == QDialog::Accepted;
}
