// The password dialog: checks a typed password against the stored one, or confirms a newly typed one.
#pragma once

#include "data/Password.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class TInputPassword_Form : public QDialog {
    Q_OBJECT
public:
    explicit TInputPassword_Form(QWidget* parent = nullptr);

    QLabel* Prompt_Label;
    QLineEdit* Password_Edit;
    QPushButton* Ok_But;
    QPushButton* Cancel_But;

    // Check mode: the stored form of the password (Data::HashPassword), as Latin-1 text. Confirm mode:
    // the newly typed password.
    QString Expected;
    bool ConfirmMode = false;
    // The pause after wrong tries in check mode: the data module's, so that closing and reopening the
    // dialog does not shorten it; one of the dialog's own without a data module.
    Data::TRetryDelay* Delay;

public Q_SLOTS:
    // A try made while the pause lasts is not checked.
    void Ok_ButClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // "OK" stays off until the pause is over.
    void holdOk();
    Data::TRetryDelay m_ownDelay;
    QTimer* m_pause;
};

// Shows the password dialog; on OK the typed text is returned in password. In check mode `password` is
// the stored form, in confirm mode the text to type again. A `dbName` names the database whose password
// is asked.
bool AskPassword(const QString& caption, QString& password, bool ConfirmMode,
                 const QString& dbName = QString());
