// The main window: the testee list of the open database and every command of the program.
#pragma once

#include "data/Records.h"

#include <QMainWindow>
#include <QSet>

class QAction;
class QLabel;
class QMenu;
class QToolBar;
namespace Widgets {
class TDBGrid;
class TLiveList;
} // namespace Widgets

class TMain_Form : public QMainWindow {
    Q_OBJECT
public:
    explicit TMain_Form(QWidget* parent = nullptr);

    // Actions.
    QAction* NewDB;
    QAction* OpenDB;
    QAction* Exit;
    QAction* AddTest;
    QAction* EditTest;
    QAction* DelTest;
    QAction* SeekTest;
    QAction* Input_Test;
    QAction* ResultTest;
    QAction* Option;
    QAction* Group;
    QAction* Help;
    QAction* InternetHelp;
    QAction* About;
    QAction* StatExport;
    QAction* RestoreDB;
    QAction* Refresh; // "Обновить" (F5): the list read again, keeping the current row and selection
    QAction* GroupTesting; // "Групповое тестирование...": the selected testees or a group in browsers

    QToolBar* Main_ToolBar;
    QMenu* Grid_PopupMenu;
    Widgets::TDBGrid* Data_Grid;

    // Row colours of the testee list (settings file values).
    int FirstColor;
    int SecondColor;

    // Sets the caption for the open database.
    void SetDBCaption(const QString& name);
    // Re-runs the testee queries and sorts the list by the sort markers (testees of equal values in
    // Men_ID order, which is also the order of an unsorted list).
    void RefreshMenList();
    // RefreshMenList keeping the current testee and the selected ones (other workstations' changes, F5).
    void RefreshKeepingPlace();
    // Makes the testee current; false when he is not in the list.
    bool LocateMen(int menId);
    // Men_ID of the current row, or 0.
    int CurrentMenID() const;
    // The testee of the current row as the list shows him (id 0 when the list is empty).
    Data::Testee CurrentTestee() const;
    // Reads both row colours from the settings file.
    void ReadColors();
    // Enables the actions for the current row and the content of the list.
    void UpdateActions();
    // True when the DB table holds this database.
    bool DatabaseExists(int dbId) const;

    // True when the window was closed to connect to the store chosen in the settings.
    bool ReconnectRequested() const { return m_reconnect; }

public Q_SLOTS:
    void NewDBExecute();
    void OpenDBExecute();
    void ExitExecute();
    void AddTestExecute();
    void EditTestExecute();
    void DelTestExecute();
    void SeekTestExecute();
    void Input_TestExecute();
    void ResultTestExecute();
    void OptionExecute();
    void GroupExecute();
    void HelpExecute();
    void InternetHelpExecute();
    void AboutExecute();
    void StatExportExecute();
    void RestoreDBExecute();
    void GroupTestingExecute();
    void Data_GridTitleClick(int column, bool ctrl);
    void Data_GridDblClick();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createGrid();
    QColor rowColor(int row) const;

    QSet<int> m_testedMen; // Men_IDs of Tests_Query
    bool m_reconnect = false;
    Widgets::TLiveList* m_live = nullptr;
    QLabel* m_staleLabel = nullptr; // the server's change notices do not come: the list may be old
    QLabel* m_locationLabel = nullptr;
    bool m_painted = false;
};

// The settings file (beside the program, or in the user's folders), and the row colours' defaults.
QString SettingsFilePath();
extern const int kDefaultFirstColor;
extern const int kDefaultSecondColor;
