// The prompt dialog: one line of text under a prompt, for names typed in other dialogs.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
namespace Widgets {
class TRestoreEdits_But;
}

class TInput_Form : public QDialog {
    Q_OBJECT
public:
    explicit TInput_Form(QWidget* parent = nullptr);

    QLabel* Promt_Label;
    QLineEdit* Text_Edit;
    QPushButton* Ok_But;
    QPushButton* Cancel_But;
    Widgets::TRestoreEdits_But* Restore_But;
};

// Shows the prompt with the initial text; result is the typed text when the user confirms, the initial
// text otherwise. maxLength limits the text box. `unsaved`, when given, is a text of the user's that a
// refused save did not keep: "Вернуть мои изменения" puts it back. Returns true when confirmed.
bool InputText(const QString& caption, const QString& prompt, const QString& initial, QString& result,
               int maxLength = 32767, QWidget* parent = nullptr, const QString& unsaved = {});
