// The database choice: lists the databases of the data directory, opens one (asking its password),
// creates, edits and deletes databases.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QToolButton;
class QAction;
namespace Widgets {
class TDBGrid;
class TLiveList;
} // namespace Widgets

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
    // Shown instead of an empty list: what to do when there is no database yet.
    QLabel* Empty_Label;
    QPushButton* CreateDB_But; // "Создать базу..."
    QPushButton* TransferDB_But; // "Перенести на сервер...": the local file's data, on the server store

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
    // Copies the data of the local table file into the server's empty database.
    void TransferDB_ButClick();

private:
    Widgets::TLiveList* m_live;
};

// Shows the database choice with DB_ID preselected (0: none). True with the chosen DB_ID and name.
bool ChooseDB(int& DB_ID, QString& name);
