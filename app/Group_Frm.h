// The group dialog: lists the groups of testees (shared by all databases) and adds, renames and
// deletes them.
#pragma once

#include <QDialog>

class QPushButton;
namespace Widgets {
class TDBGrid;
}

class TGroup_Form : public QDialog {
    Q_OBJECT
public:
    explicit TGroup_Form(QWidget* parent = nullptr);

    Widgets::TDBGrid* Group_DBGrid;
    QPushButton* Add_But;
    QPushButton* Edit_But;
    QPushButton* Del_But;
    QPushButton* Ok_But;

    // "&Изменить..." and "&Удалить" need a group to work on.
    void UpdateButtons();

public Q_SLOTS:
    void Add_ButClick();
    void Edit_ButClick();
    void Del_ButClick();
};

// Shows the group dialog with Group_Table open; the table is closed again afterwards.
void ShowGroups(QWidget* parent = nullptr);

// Longest group name.
constexpr int kMaxGroupNameLength = 50;
