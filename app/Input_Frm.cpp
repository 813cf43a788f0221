// Prompt dialog.
#include "app/Input_Frm.h"

#include "platform/Dialogs.h"
#include "widgets/DialogLayout.h"
#include "widgets/RestoreEdits.h"
#include "widgets/TextLimit.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TInput_Form::TInput_Form(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    Promt_Label = new QLabel(this);
    Promt_Label->setObjectName(QStringLiteral("Promt_Label"));
    QFont bold = Promt_Label->font();
    bold.setBold(true);
    Promt_Label->setFont(bold);
    Text_Edit = new QLineEdit(this);
    Text_Edit->setObjectName(QStringLiteral("Text_Edit"));
    Promt_Label->setBuddy(Text_Edit);
    Restore_But = new Widgets::TRestoreEdits_But(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Promt_Label);
    layout->addWidget(Text_Edit);
    layout->addStretch();
    layout->addWidget(Restore_But, 0, Qt::AlignLeft);
    layout->addWidget(Widgets::ButtonRow(this, Ok_But, Cancel_But));
    Widgets::OpenAt(this, QSize(322, 138));
    connect(Ok_But, &QPushButton::clicked, this, [this] {
        if (const QString problem = Widgets::TypedTextProblem(Text_Edit->text(), Promt_Label->text());
            !problem.isEmpty()) {
            Platform::messageBox(this, problem, QStringLiteral("Информация"), Platform::MsgIcon::Information);
            Text_Edit->setFocus();
            return;
        }
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
