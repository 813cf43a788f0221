// The window "Восстановить из копии...": lists the copies of the table file with their date and size
// and restores the chosen one after checking it; the current data is kept as one more copy.
#pragma once

#include "data/Backup.h"

#include <QDialog>

class QPushButton;
class QTreeWidget;

class TRestore_Form : public QDialog {
    Q_OBJECT
public:
    explicit TRestore_Form(QWidget* parent = nullptr);

    QTreeWidget* Copies_List;
    QPushButton* Restore_But;
    QPushButton* Cancel_But;

    // Fills the list from the backup folder, newest first.
    void FillList();
    // The copy of the current row, or null.
    const Data::TBackupInfo* CurrentCopy() const;

public Q_SLOTS:
    void Restore_ButClick();

private:
    QList<Data::TBackupInfo> m_copies;
};

// Shows the window; true when data was restored (the caller then asks for the database anew).
bool ShowRestore(QWidget* parent = nullptr);

// How many copies are kept: morvel.ini, section "Backup", key "Keep" (at least 1; 10 when absent).
int BackupsKept();
// Makes the copy of the day when none was made today; a failure is told and start-up goes on.
void MakeDailyBackup();
