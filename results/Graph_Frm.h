// The chart window: the ППП and ЭКП profiles of the current record of ListTest_Query as bar charts,
// plus counts up in red and minus counts down in blue in the same factor category.
#pragma once

#include <QDialog>

class QPushButton;
class QBarSet;
class QChartView;

class TGraph_Form : public QDialog {
    Q_OBJECT
public:
    explicit TGraph_Form(QWidget* parent = nullptr);

    // Adds the bars of the current record of ListTest_Query; a record with neither choices nor counts
    // leaves the charts empty. Throws Calc::EConvertError for a malformed record.
    void FillCharts();

    QChartView* Sel1_Chart; // ППП
    QChartView* Sel2_Chart; // ЭКП
    QPushButton* Ok_But;

    // Series 0 (plus counts) and series 1 (negated minus counts) of a chart, one value per factor.
    QBarSet* PlusSet(QChartView* chart) const;
    QBarSet* MinusSet(QChartView* chart) const;

private:
    QChartView* createChart();
};

// The caption of the chart window: whose test it shows, its number and date (current record of
// ListTest_Query).
QString ChartsCaption(int menId);
// Shows the charts of the current record of ListTest_Query, a test of testee `menId`, modally.
void ShowCharts(int menId, QWidget* parent = nullptr);
