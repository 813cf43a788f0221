// The database choice: lists the databases of the data directory, opens one (asking its password),
// creates, edits and deletes databases.
#pragma once

#include <QDialog>

class QPushButton;
class QToolButton;
class QAction;
namespace Widgets {
class TDBGrid;
}

class TDB_Form : public QDialog {
    Q_OBJECT
public:
    explicit TDB_Form(QWidget* parent = nullptr);

    Widgets::TDBGrid* Bases_Grid;
    QToolButton* Work_But;
    QAction* Create_Item;
    QAction* Edit_Item;
    QAction* Delete_Item;
    QPushButton* Ok_But;
    QPushButton* Cancel_But;

    int DB_ID = 0;
    QString DBName;

    // True when the current record of DB_Table may be used: it has no password or the user typed it.
    bool CheckPassword();
    // Enables the commands that need a record.
    void UpdateButtons();

public Q_SLOTS:
    void Ok_ButClick();
    void Create_ItemClick();
    void Edit_ItemClick();
    void Delete_ItemClick();
};

// Shows the database choice with DB_ID preselected (0: none). True with the chosen DB_ID and name.
bool ChooseDB(int& DB_ID, QString& name);
