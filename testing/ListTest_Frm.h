// The test list of one testee: his test records, newest first and numbered in time order, and the
// buttons that run a test, enter or correct an answer sheet and delete a record.
#pragma once

#include <QDialog>
#include <QList>

class QPushButton;
namespace Widgets {
class TDBGrid;
}

class TListTest_Form : public QDialog {
    Q_OBJECT
public:
    explicit TListTest_Form(QWidget* parent = nullptr);
    ~TListTest_Form() override;

    // Testee of the list (Men_ID), set before RefreshList.
    int MenID = 0;

    Widgets::TDBGrid* Tests_Grid;
    QPushButton* Test_But;
    QPushButton* AddBlank_But;
    QPushButton* EditBlank_But;
    QPushButton* DelTest_But;
    QPushButton* Result_But;
    QPushButton* Graph_But; // the chart window of the current record (WatchBlank_ButClick)
    QPushButton* Cancel_But;

    // Reopens ListTest_Query for MenID and numbers the rows n ... 1 from the top.
    void RefreshList();

public Q_SLOTS:
    void Test_ButClick();
    void AddBlank_ButClick();
    void EditBlank_ButClick();
    void DelTest_ButClick();
    void Result_ButClick();
    void WatchBlank_ButClick();
    void Tests_GridDblClick();
    void Cancel_ButClick();
    void ListTest_DataSourceDataChange();

protected:
    // Buttons that act on the current record: enabled only while the list holds one.
    QList<QPushButton*> m_recordButtons;

private:
    void createWidgets();
    void createConnections();
    bool HasRecords() const;
};

// Shows the test list of testee `menId` modally; ListTest_Query is closed again afterwards.
void ShowTestList(int menId, QWidget* parent = nullptr);
