// The chart window: the ППП and ЭКП profiles of one test record as bar charts, plus counts up in red and
// minus counts down in blue in the same factor category.
#pragma once

#include "data/Records.h"

#include <QDialog>

class QPushButton;
class QBarSet;
class QChartView;

class TGraph_Form : public QDialog {
    Q_OBJECT
public:
    explicit TGraph_Form(QWidget* parent = nullptr);

    // Adds the bars of `record`; a record with neither choices nor counts leaves the charts empty. Throws
    // Calc::EConvertError for a malformed record.
    void FillCharts(const Data::TestRecord& record);

    QChartView* Sel1_Chart; // ППП
    QChartView* Sel2_Chart; // ЭКП
    QPushButton* Ok_But;

    // Series 0 (plus counts) and series 1 (negated minus counts) of a chart, one value per factor.
    QBarSet* PlusSet(QChartView* chart) const;
    QBarSet* MinusSet(QChartView* chart) const;

private:
    QChartView* createChart();
};

// The caption of the chart window: whose test it shows, its number among his tests and its date.
QString ChartsCaption(const Data::Testee& testee, const Data::TestRecord& record, int number);
// Shows the charts of `record`, test `number` (from 1, the oldest) of `testee`, modally.
void ShowCharts(const Data::Testee& testee, const Data::TestRecord& record, int number,
                QWidget* parent = nullptr);
