// Database edit dialog.
#include "app/DBEdit_Frm.h"

#include "app/Password_Frm.h"
#include "data/DataMod.h"
#include "data/Password.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "widgets/DialogLayout.h"
#include "widgets/RestoreEdits.h"
#include "widgets/TextLimit.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr int kMaxNameLength = 100;
}

TDBEdit_Form::TDBEdit_Form(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    auto* nameLabel = new QLabel(QStringLiteral("Название базы данных"), this);
    DB_Edit = new QLineEdit(this);
    DB_Edit->setObjectName(QStringLiteral("DB_Edit"));
    Widgets::LimitChars(DB_Edit, kMaxNameLength);
    nameLabel->setBuddy(DB_Edit);
    const QString passwordText = QStringLiteral("Пароль");
    Password_Edit = new QLineEdit(this);
    Password_Edit->setObjectName(QStringLiteral("Password_Edit"));
    Password_Edit->setEchoMode(QLineEdit::Password);
    Widgets::LimitChars(Password_Edit, Data::kMaxPasswordLength);
    NoPassword_CheckBox = new QCheckBox(QStringLiteral("Без пароля"), this);
    NoPassword_CheckBox->setObjectName(QStringLiteral("NoPassword_CheckBox"));
    NoPassword_CheckBox->hide(); // a new database without a password simply leaves the box empty
    Restore_But = new Widgets::TRestoreEdits_But(this);
    auto* password = new QFormLayout;
    password->addRow(passwordText, Password_Edit);
    password->addRow(nullptr, NoPassword_CheckBox);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(nameLabel);
    layout->addWidget(DB_Edit);
    layout->addLayout(password);
    layout->addStretch();
    layout->addWidget(Restore_But, 0, Qt::AlignLeft);
    layout->addWidget(Widgets::ButtonRow(this, Ok_But, Cancel_But));
    Widgets::OpenAt(this, QSize(290, 169));
    Restore_But->AddField(
        nameLabel->text(), [this] { return DB_Edit->text(); },
        [this](const QString& v) { DB_Edit->setText(v); });
    Restore_But->AddField(
        passwordText, [this] { return Password_Edit->text(); },
        [this](const QString& v) { Password_Edit->setText(v); }, false);
    connect(Password_Edit, &QLineEdit::textChanged, this, [this] { PasswordChanged = true; });
    connect(NoPassword_CheckBox, &QCheckBox::toggled, this, [this](bool none) {
        if (none)
            Password_Edit->clear();
        Password_Edit->setEnabled(!none);
        PasswordChanged = true;
    });
    connect(Ok_But, &QPushButton::clicked, this, [this] { Platform::guarded([this] { Ok_ButClick(); }); });
    connect(Cancel_But, &QPushButton::clicked, this, &QDialog::reject);
}

void TDBEdit_Form::Ok_ButClick() {
    const QString name = DB_Edit->text().trimmed();
    if (name.isEmpty()) {
        Platform::messageBox(this, QStringLiteral("Введите название базы данных."),
                             QStringLiteral("Информация"), Platform::MsgIcon::Information);
        DB_Edit->setFocus();
        return;
    }
    if (const QString problem = Widgets::TypedTextProblem(name, QStringLiteral("Название базы данных"));
        !problem.isEmpty()) {
        Platform::messageBox(this, problem, QStringLiteral("Информация"), Platform::MsgIcon::Information);
        DB_Edit->setFocus();
        return;
    }
    const bool none = NoPassword_CheckBox->isChecked();
    QString password = none ? QString() : Password_Edit->text();
    if (DB_ID != -1 && !none && password.isEmpty() && !m_hadPassword) {
        Platform::messageBox(this, QStringLiteral("Введите новый пароль или отметьте «Без пароля»."),
                             QStringLiteral("Информация"), Platform::MsgIcon::Information);
        Password_Edit->setFocus();
        return;
    }
    if (!password.isEmpty() && !AskPassword(QStringLiteral("Подтверждение пароля"), password, true)) {
        Password_Edit->setFocus();
        return;
    }
    // An empty box keeps the stored password ("не менять").
    const bool writePassword = DB_ID == -1 || (PasswordChanged && (none || !password.isEmpty()));
    const QByteArray stored = writePassword ? Data::HashPassword(password) : m_password;
    Data::Repository& repo = Main_DataModule->Repo();
    if (DB_ID == -1) {
        DB_ID = repo.insertDatabase(name, stored);
    } else {
        try {
            repo.updateDatabase({DB_ID, name, stored, m_version});
        } catch (const Data::ERecordChanged&) {
            // Changed (or deleted) on another workstation: the list and the dialog show it as stored, and
            // the user's own changes wait behind "Вернуть мои изменения".
            if (Data::TTable* table = Main_DataModule->DB_Table; table->Active()) {
                table->Close();
                table->Open();
                table->Locate(QStringLiteral("DB_ID"), DB_ID);
            }
            Restore_But->KeepChanges();
            LoadRecord();
            if (m_version < 0)
                Restore_But->Withdraw();
            else
                Restore_But->Offer();
            throw;
        }
    }
    DBName = name;
    accept();
}

void TDBEdit_Form::LoadRecord() {
    const std::optional<Data::Database> stored = Main_DataModule->Repo().database(DB_ID);
    const Data::Database& db = stored ? *stored : Database;
    m_version = stored ? stored->version : -1;
    m_password = db.password;
    DB_Edit->setText(db.name);
    m_hadPassword = !db.password.isEmpty();
    Password_Edit->clear();
    // An empty box keeps the password; a database without one gets one only when it is typed.
    Password_Edit->setPlaceholderText(m_hadPassword ? QStringLiteral("не менять") : QString());
    NoPassword_CheckBox->setChecked(!m_hadPassword);
    NoPassword_CheckBox->show();
    Password_Edit->setEnabled(m_hadPassword);
    PasswordChanged = false;
    Restore_But->NoteLoaded();
}

bool EditDBData(Data::Database& db) {
    TDBEdit_Form form;
    form.DB_ID = db.id;
    form.DBName = db.name;
    form.Database = db;
    if (db.id == -1) {
        form.setWindowTitle(QStringLiteral("Создание базы данных"));
    } else {
        form.setWindowTitle(QStringLiteral("Изменение данных базы данных"));
        form.LoadRecord();
    }
    if (form.exec() != QDialog::Accepted)
        return false;
    db.id = form.DB_ID;
    db.name = form.DBName;
    return true;
}
