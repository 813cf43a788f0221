// Server password prompt and the log-in loop.
#include "app/ServerLogin.h"

#include "widgets/DialogLayout.h"

#include <QFormLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Passwords the server accepted in this run, by the server, database and user they are for.
QHash<QString, QString>& acceptedPasswords() {
    static QHash<QString, QString> passwords;
    return passwords;
}

} // namespace

TServerPassword_Form::TServerPassword_Form(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Вход на сервер базы данных"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    Prompt_Label = new QLabel(this);
    Prompt_Label->setWordWrap(true);
    Prompt_Label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Password_Edit = new QLineEdit(this);
    Password_Edit->setObjectName(QStringLiteral("Password_Edit"));
    Password_Edit->setEchoMode(QLineEdit::Password);
    auto* password = new QFormLayout;
    password->addRow(QStringLiteral("Пароль"), Password_Edit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Prompt_Label, 1);
    layout->addLayout(password);
    layout->addWidget(Widgets::ButtonRow(this, Ok_But, Cancel_But));
    Widgets::OpenAt(this, QSize(360, 170));
    connect(Ok_But, &QPushButton::clicked, this, &QDialog::accept);
    connect(Cancel_But, &QPushButton::clicked, this, &QDialog::reject);
}

bool AskServerPassword(QWidget* parent, const Data::TStoreSettings& settings, const QString& reason,
                       QString& password) {
    TServerPassword_Form form(parent);
    form.Prompt_Label->setText(reason +
                               QStringLiteral("\n\nВведите пароль для %1.").arg(settings.Describe()));
    if (form.exec() != QDialog::Accepted)
        return false;
    password = form.Password_Edit->text();
    return true;
}

Data::TConnectResult
WithServerPassword(QWidget* parent, const Data::TStoreSettings& settings,
                   const std::function<Data::TConnectResult(const QString& password)>& attempt) {
    const QString key = settings.Describe();
    QString password = acceptedPasswords().value(key);
    for (;;) {
        const Data::TConnectResult result = attempt(password);
        if (result.failure == Data::TConnectFailure::None && !password.isEmpty())
            acceptedPasswords().insert(key, password);
        if (result.failure != Data::TConnectFailure::PasswordNeeded &&
            result.failure != Data::TConnectFailure::PasswordWrong)
            return result;
        acceptedPasswords().remove(key);
        if (!AskServerPassword(parent, settings, result.message, password))
            return result;
    }
}
