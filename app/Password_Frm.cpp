// Password dialog.
#include "app/Password_Frm.h"

#include "data/DataMod.h"
#include "platform/Dialogs.h"
#include "widgets/DialogLayout.h"
#include "widgets/TextLimit.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

TInputPassword_Form::TInputPassword_Form(QWidget* parent)
    : QDialog(parent), Delay(Main_DataModule ? &Main_DataModule->PasswordDelay : &m_ownDelay) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    auto* label = Prompt_Label = new QLabel(QStringLiteral("Пароль"), this);
    label->setObjectName(QStringLiteral("Prompt_Label"));
    Password_Edit = new QLineEdit(this);
    Password_Edit->setObjectName(QStringLiteral("Password_Edit"));
    Password_Edit->setEchoMode(QLineEdit::Password);
    Widgets::LimitChars(Password_Edit, Data::kMaxPasswordLength);
    label->setBuddy(Password_Edit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(Password_Edit);
    layout->addStretch();
    layout->addWidget(Widgets::ButtonRow(this, Ok_But, Cancel_But));
    Widgets::OpenAt(this, QSize(257, 137));
    m_pause = new QTimer(this);
    m_pause->setSingleShot(true);
    connect(m_pause, &QTimer::timeout, this, &TInputPassword_Form::holdOk);
    connect(Ok_But, &QPushButton::clicked, this, &TInputPassword_Form::Ok_ButClick);
    connect(Cancel_But, &QPushButton::clicked, this, &QDialog::reject);
    Password_Edit->setFocus();
}

void TInputPassword_Form::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!ConfirmMode)
        holdOk();
}

void TInputPassword_Form::holdOk() {
    const qint64 remaining = Delay->Remaining();
    Ok_But->setEnabled(remaining == 0);
    if (remaining > 0)
        m_pause->start(static_cast<int>(remaining));
}

void TInputPassword_Form::Ok_ButClick() {
    const QString typed = Password_Edit->text();
    if (ConfirmMode) {
        if (typed == Expected) {
            accept();
            return;
        }
    } else {
        if (Delay->Remaining() > 0)
            return;
        if (Data::PasswordMatches(Expected.toLatin1(), typed)) {
            Delay->Succeeded();
            accept();
            return;
        }
        Delay->Failed();
        holdOk();
    }
    Platform::messageBox(this,
                         ConfirmMode ? QStringLiteral("Пароли не совпадают! Повторите ввод.")
                                     : QStringLiteral("Неверный пароль! Повторите ввод."),
                         QStringLiteral("Ошибка ввода пароля"), Platform::MsgIcon::Information);
    Password_Edit->setFocus();
}

bool AskPassword(const QString& caption, QString& password, bool ConfirmMode, const QString& dbName) {
    TInputPassword_Form form;
    form.setWindowTitle(caption);
    if (!dbName.isEmpty()) {
        // The name on a line of its own; one too long for the dialog's width is shortened in the middle
        // and shown whole as a tip.
        QLabel* label = form.Prompt_Label;
        const QFontMetrics metrics = label->fontMetrics();
        form.layout()->activate();
        label->setText(
            QStringLiteral("Пароль базы данных\n«%1»:")
                .arg(metrics.elidedText(dbName, Qt::ElideMiddle,
                                        label->width() - metrics.horizontalAdvance(QStringLiteral("«»:")))));
        label->setToolTip(QStringLiteral("Пароль базы данных «%1»").arg(dbName));
    }
    form.Expected = password;
    form.ConfirmMode = ConfirmMode;
    if (form.exec() != QDialog::Accepted)
        return false;
    password = form.Password_Edit->text();
    return true;
}
