// The test list of one testee: his test records, newest first and numbered in time order, and the
// buttons that run a test, enter or correct an answer sheet and delete a record.
#pragma once

#include "data/Records.h"

#include <QDialog>
#include <QList>

class QPushButton;
namespace Data {
class TValueSet;
}
namespace Widgets {
class TDBGrid;
}

class TListTest_Form : public QDialog {
    Q_OBJECT
public:
    explicit TListTest_Form(QWidget* parent = nullptr);
    ~TListTest_Form() override;

    // Testee of the list (his Men_ID in MenID), set before RefreshList.
    Data::Testee Testee;
    int MenID = 0;
    // His test records as the list shows them, newest first.
    QVector<Data::TestRecord> Records;

    Widgets::TDBGrid* Tests_Grid;
    QPushButton* Test_But;
    QPushButton* AddBlank_But;
    QPushButton* EditBlank_But;
    QPushButton* DelTest_But;
    QPushButton* Result_But;
    QPushButton* Graph_But; // the chart window of the current record (WatchBlank_ButClick)
    QPushButton* Cancel_But;

    // Reads the records of MenID and shows them numbered n ... 1 from the top.
    void RefreshList();
    // The record of the current row; null when the list is empty.
    const Data::TestRecord* CurrentRecord() const;
    // The rows the grid shows: Test_ID, Date_Test, Time_Test, Note, Numb.
    Data::TValueSet* tests() const { return m_tests; }

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
    Data::TValueSet* m_tests;
};

// Shows the test list of `testee` modally.
void ShowTestList(const Data::Testee& testee, QWidget* parent = nullptr);
