// Prompt dialog.
#include "app/Input_Frm.h"

#include "widgets/RestoreEdits.h"
#include "widgets/TextLimit.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TInput_Form::TInput_Form(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(322, 138);
    Promt_Label = new QLabel(this);
    Promt_Label->setObjectName(QStringLiteral("Promt_Label"));
    QFont bold = Promt_Label->font();
    bold.setBold(true);
    Promt_Label->setFont(bold);
    Promt_Label->setGeometry(16, 14, 290, 18);
    Text_Edit = new QLineEdit(this);
    Text_Edit->setObjectName(QStringLiteral("Text_Edit"));
    Text_Edit->setGeometry(16, 36, 290, 24);
    Promt_Label->setBuddy(Text_Edit);
    Ok_But = new QPushButton(QStringLiteral("OK"), this);
    Ok_But->setGeometry(118, 92, 90, 28);
    Ok_But->setDefault(true);
    Cancel_But = new QPushButton(QStringLiteral("Отмена"), this);
    Cancel_But->setGeometry(216, 92, 90, 28);
    Restore_But = new Widgets::TRestoreEdits_But(this);
    connect(Ok_But, &QPushButton::clicked, this, [this] {
        if (Widgets::CheckTypedText(this, Text_Edit, Text_Edit->text(), Promt_Label->text()))
            accept();
    });
    connect(Cancel_But, &QPushButton::clicked, this, &QDialog::reject);
}

bool InputText(const QString& caption, const QString& prompt, const QString& initial, QString& result,
               int maxLength, QWidget* parent, const QString& unsaved) {
    TInput_Form form(parent);
    form.setWindowTitle(caption);
    form.Promt_Label->setText(prompt);
    Widgets::LimitChars(form.Text_Edit, maxLength);
    form.Text_Edit->setText(initial);
    form.Text_Edit->selectAll();
    if (!unsaved.isEmpty()) {
        QLineEdit* edit = form.Text_Edit;
        form.Restore_But->AddField(
            prompt, [edit] { return edit->text(); }, [edit](const QString& v) { edit->setText(v); });
        form.Restore_But->Keep(0, unsaved);
        form.Restore_But->Offer();
    }
    const bool confirmed = form.exec() == QDialog::Accepted;
    result = confirmed ? form.Text_Edit->text() : initial;
    return confirmed;
}
