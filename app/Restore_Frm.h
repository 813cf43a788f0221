// The window "Восстановить из копии...": lists the copies of the table file with their date and size
// and restores the chosen one after checking it; the current data is kept as one more copy. At start,
// when the table file cannot be used, the window that offers the restore (or viewing the file).
#pragma once

#include "data/Backup.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

class TRestore_Form : public QDialog {
    Q_OBJECT
public:
    // The copies of `dataDir` (the open data module's when empty). With the open data module's table
    // file the data is restored through its connection; otherwise the table file is replaced.
    explicit TRestore_Form(QWidget* parent = nullptr, const QString& dataDir = QString());

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
    QString m_dataDir;
    QList<Data::TBackupInfo> m_copies;
};

// Shows the window; true when data was restored (the caller then asks for the database anew).
bool ShowRestore(QWidget* parent = nullptr);
// The same for the data directory `dataDir` while no store is open (at start, the table file unusable).
bool ShowRestoreAtStart(const QString& dataDir);

// At start, the table file that cannot be used: the reason, and the ways out.
class TFileProblem_Form : public QDialog {
    Q_OBJECT
public:
    enum class TChoice { Exit, Restore, View };
    TFileProblem_Form(const QString& reason, bool haveCopies, bool canView, QWidget* parent = nullptr);

    QLabel* Reason_Label;
    QPushButton* Restore_But;
    QPushButton* View_But;
    QPushButton* Exit_But;

    TChoice Choice() const { return m_choice; }

private:
    TChoice m_choice = TChoice::Exit;
};

// Asks what to do with a table file that cannot be used; Exit when the window is closed.
TFileProblem_Form::TChoice AskFileProblem(const QString& reason, bool haveCopies, bool canView);

// How many copies are kept: morvel.ini, section "Backup", key "Keep" (at least 1; 10 when absent).
int BackupsKept();
// Makes the copy of the day when none was made today; a failure is told and start-up goes on.
void MakeDailyBackup();
// Human-readable size of a copy: bytes below a kilobyte, kilobytes below a megabyte, then megabytes.
QString BackupSizeText(qint64 bytes);
