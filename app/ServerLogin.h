// Logging in to the PostgreSQL server: the password is asked only when the server wants one that
// ~/.pgpass does not give, is kept for the run in memory (asked once per server, database and user,
// whichever part of the program connects) and never written anywhere.
#pragma once

#include "data/Store.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

// The password prompt for the server.
class TServerPassword_Form : public QDialog {
    Q_OBJECT
public:
    explicit TServerPassword_Form(QWidget* parent = nullptr);
    QLabel* Prompt_Label;
    QLineEdit* Password_Edit;
    QPushButton* Ok_But;
    QPushButton* Cancel_But;
};

// Asks for the password of `settings`, telling why (`reason`: the server's refusal). False when cancelled.
bool AskServerPassword(QWidget* parent, const Data::TStoreSettings& settings, const QString& reason,
                       QString& password);

// Runs `attempt` with the password kept for these settings, or none (libpq then reads ~/.pgpass), and,
// while the server asks for a password or refuses the one given, again with the one the user types; a
// password the server accepted is kept. Returns the last attempt's result; a cancelled prompt returns
// that refusal.
Data::TConnectResult
WithServerPassword(QWidget* parent, const Data::TStoreSettings& settings,
                   const std::function<Data::TConnectResult(const QString& password)>& attempt);
