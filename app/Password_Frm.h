// The password dialog: checks a typed password against the stored one, or confirms a newly typed one.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TInputPassword_Form : public QDialog {
    Q_OBJECT
public:
    explicit TInputPassword_Form(QWidget* parent = nullptr);

    QLabel* Prompt_Label;
    QLineEdit* Password_Edit;
    QPushButton* Ok_But;
    QPushButton* Cancel_But;

    QString Expected;
    bool ConfirmMode = false;

public Q_SLOTS:
    void Ok_ButClick();
};

// Shows the password dialog; on OK the typed text (equal to the given one) is returned in password.
// A `dbName` names the database whose password is asked.
bool AskPassword(const QString& caption, QString& password, bool ConfirmMode,
                 const QString& dbName = QString());
