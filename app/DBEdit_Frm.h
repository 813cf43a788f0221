// The dialog that creates a database record or changes its name and password.
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
namespace Widgets {
class TRestoreEdits_But;
}

class TDBEdit_Form : public QDialog {
    Q_OBJECT
public:
    explicit TDBEdit_Form(QWidget* parent = nullptr);

    QLineEdit* DB_Edit;
    // The stored password cannot be shown: for an existing database the box starts empty ("не менять")
    // and takes a new password; "Без пароля" removes it.
    QLineEdit* Password_Edit;
    QCheckBox* NoPassword_CheckBox;
    QPushButton* Ok_But;
    QPushButton* Cancel_But;
    // Shown after a save refused because the record was changed elsewhere: puts the user's changes back.
    Widgets::TRestoreEdits_But* Restore_But;

    int DB_ID = -1;
    QString DBName;
    bool PasswordChanged = false;

    // Fills the name from the stored record DB_ID, sets "Без пароля" when it has no password, and notes
    // its version (what a save may replace); a record deleted meanwhile is shown from the current row of
    // DB_Table.
    void LoadRecord();

public Q_SLOTS:
    void Ok_ButClick();

private:
    qint64 m_version = -1;      // Row_Version of the record when the dialog read it
    bool m_hadPassword = false; // the record had a password when the dialog read it
};

// DB_ID -1 creates a database; any other value edits the current record of DB_Table (positioned on it
// by the caller, who keeps the table open). True with the database's DB_ID and name on OK.
bool EditDBData(int& DB_ID, QString& name);
