// Restoring the table file from a copy, and the copy of the day made at start.
#include "app/Restore_Frm.h"

#include "data/DataMod.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/IniFile.h"
#include "platform/Locale.h"
#include "platform/Log.h"
#include "platform/ProgramDir.h"
#include "platform/SystemError.h"
#include "widgets/DialogLayout.h"

#include <QBoxLayout>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>

namespace {

QString madeText(const QDateTime& made) {
    return Platform::DateToStr(made.date()) + QLatin1Char(' ') +
           made.time().toString(QStringLiteral("HH:mm"));
}

} // namespace

QString BackupSizeText(qint64 bytes) {
    // Russian units a user reads; an empty or tiny file is not rounded up to a kilobyte it does not have.
    const QLocale locale;
    constexpr double kKilo = 1024.0;
    if (bytes < kKilo)
        return locale.toString(bytes) + QStringLiteral(" байт");
    if (bytes < kKilo * kKilo)
        return locale.toString(qRound64(bytes / kKilo)) + QStringLiteral(" КБ");
    return locale.toString(bytes / (kKilo * kKilo), 'f', 1) + QStringLiteral(" МБ");
}

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
        Data::MakeBackup(dm->Main_Database(), dm->DataDir(), BackupsKept());
    } catch (const std::exception& e) {
        const QString message = QStringLiteral("Резервная копия данных за сегодня не сделана: %1")
                                    .arg(Platform::RussianSystemTexts(QString::fromUtf8(e.what())));
        if (const auto* error = dynamic_cast<const Platform::EError*>(&e);
            error && !error->detail().isEmpty())
            Platform::LogError(message, error->detail());
        Platform::messageBox(nullptr, message, QStringLiteral("Предупреждение"), Platform::MsgIcon::Warning);
    }
}

TRestore_Form::TRestore_Form(QWidget* parent, const QString& dataDir)
    : QDialog(parent),
      m_dataDir(dataDir.isEmpty() && Main_DataModule ? Main_DataModule->DataDir() : dataDir) {
    setWindowTitle(QStringLiteral("Восстановление из резервной копии"));
    setProperty("helpPage", QStringLiteral("safety"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    auto* label = new QLabel(QStringLiteral("Резервные копии базы данных"), this);
    Copies_List = new QTreeWidget(this);
    Copies_List->setObjectName(QStringLiteral("Copies_List"));
    Copies_List->setRootIsDecorated(false);
    Copies_List->setHeaderLabels({QStringLiteral("Дата копии"), QStringLiteral("Размер")});
    Copies_List->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    Copies_List->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    label->setBuddy(Copies_List);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(Copies_List, 1);
    layout->addWidget(Widgets::ButtonRow(this, Restore_But, Cancel_But, QStringLiteral("&Восстановить"),
                                         QStringLiteral("&Отмена")));
    Widgets::OpenAt(this, QSize(420, 300));
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
    m_copies = Data::ListBackups(m_dataDir);
    Copies_List->clear();
    for (const Data::TBackupInfo& copy : std::as_const(m_copies)) {
        auto* item = new QTreeWidgetItem(Copies_List, {madeText(copy.made), BackupSizeText(copy.size)});
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
    TMain_DataModule* dm = Main_DataModule;
    const bool online = dm && !dm->IsServer() && QFileInfo(dm->DataDir()) == QFileInfo(m_dataDir);
    if (Platform::messageBox(
            this,
            QStringLiteral("Заменить все данные копией от %1? ").arg(when) +
                (online ? QStringLiteral("Текущие данные будут сохранены отдельной резервной "
                                         "копией.")
                        : QStringLiteral("Текущий файл базы данных будет сохранён в папке "
                                         "резервных копий.")),
            QStringLiteral("Подтверждение восстановления"), Platform::MsgIcon::Question,
            Platform::MsgButtons::YesNo, Platform::MsgAnswer::No) != Platform::MsgAnswer::Yes)
        return;
    QString note;
    if (online) {
        // Nothing may hold rows of the old data while the pages are replaced.
        for (Data::TDataset* ds : dm->findChildren<Data::TDataset*>(Qt::FindDirectChildrenOnly))
            ds->Close();
        Data::RestoreBackup(dm->Main_Database(), dm->DataDir(), copy->path, BackupsKept());
    } else {
        const QString kept = Data::RestoreTableFile(m_dataDir, copy->path);
        if (!kept.isEmpty())
            note = QStringLiteral(" Прежний файл сохранён как «%1».").arg(QDir::toNativeSeparators(kept));
    }
    Platform::messageBox(this, QStringLiteral("Данные восстановлены из копии от %1.").arg(when) + note,
                         QStringLiteral("Информация"), Platform::MsgIcon::Information);
    accept();
}

namespace {

bool showRestore(QWidget* parent, const QString& dataDir) {
    TRestore_Form form(parent, dataDir);
    if (form.Copies_List->topLevelItemCount() == 0) {
        Platform::messageBox(parent, QStringLiteral("Резервных копий пока нет."),
                             QStringLiteral("Информация"), Platform::MsgIcon::Information);
        return false;
    }
    return form.exec() == QDialog::Accepted;
}

} // namespace

bool ShowRestore(QWidget* parent) { return showRestore(parent, QString()); }

bool ShowRestoreAtStart(const QString& dataDir) { return showRestore(nullptr, dataDir); }

// ---- TFileProblem_Form ----

TFileProblem_Form::TFileProblem_Form(const QString& reason, bool haveCopies, bool canView, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Базу данных нельзя открыть"));
    setProperty("helpPage", QStringLiteral("safety"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    QString text = reason;
    if (!haveCopies)
        text += QStringLiteral("\n\nРезервных копий в папке данных нет.");
    Reason_Label = new QLabel(text, this);
    Reason_Label->setObjectName(QStringLiteral("Reason_Label"));
    Reason_Label->setWordWrap(true);
    Reason_Label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Reason_Label->setMinimumWidth(420);
    auto* buttons = new QDialogButtonBox(this);
    Restore_But =
        buttons->addButton(QStringLiteral("&Восстановить из копии..."), QDialogButtonBox::AcceptRole);
    Restore_But->setEnabled(haveCopies);
    View_But =
        buttons->addButton(QStringLiteral("Открыть только для &просмотра"), QDialogButtonBox::AcceptRole);
    Exit_But = buttons->addButton(QStringLiteral("В&ыход"), QDialogButtonBox::RejectRole);
    View_But->setVisible(canView); // after the box has placed (and shown) its buttons
    (haveCopies ? Restore_But : Exit_But)->setDefault(true);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(Reason_Label, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addWidget(buttons);

    const auto choose = [this](TChoice choice) {
        m_choice = choice;
        accept();
    };
    connect(Restore_But, &QPushButton::clicked, this, [choose] { choose(TChoice::Restore); });
    connect(View_But, &QPushButton::clicked, this, [choose] { choose(TChoice::View); });
    connect(Exit_But, &QPushButton::clicked, this, &QDialog::reject);
}

TFileProblem_Form::TChoice AskFileProblem(const QString& reason, bool haveCopies, bool canView) {
    TFileProblem_Form form(reason, haveCopies, canView);
    return form.exec() == QDialog::Accepted ? form.Choice() : TFileProblem_Form::TChoice::Exit;
}
