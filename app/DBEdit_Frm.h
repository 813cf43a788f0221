// The dialog that creates a database record or changes its name and password.
#pragma once

#include "data/Records.h"

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
    // The database as the caller shows it: what is shown of one deleted meanwhile.
    Data::Database Database;

    // Fills the name from the stored record DB_ID, sets "Без пароля" when it has no password, and notes
    // its version and password (what a save may replace); a record deleted meanwhile is shown as the
    // caller had it.
    void LoadRecord();

public Q_SLOTS:
    void Ok_ButClick();

private:
    qint64 m_version = -1;      // Row_Version of the record when the dialog read it
    QByteArray m_password;      // its stored password, kept by a save that does not change it
    bool m_hadPassword = false; // the record had a password when the dialog read it
};

// A database with id -1 is created; any other is edited. True with the database's DB_ID and name on OK.
bool EditDBData(Data::Database& db);
