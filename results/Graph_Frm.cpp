// Chart window on Qt Charts: each chart is one stacked bar series whose two sets share the categories,
// so the plus bar rises above zero and the negated minus bar falls below it in the same place.
#include "results/Graph_Frm.h"

#include "platform/Locale.h"
#include "results/Result_Calc.h"
#include "scoring/Calc_Unit.h"
#include "widgets/DialogLayout.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QVBoxLayout>
#include <QValueAxis>

#include <memory>

namespace {

constexpr int kAxisLimit = 6;

QStackedBarSeries* seriesOf(QChartView* view) {
    const QList<QAbstractSeries*> all = view->chart()->series();
    return all.isEmpty() ? nullptr : qobject_cast<QStackedBarSeries*>(all.first());
}

} // namespace

TGraph_Form::TGraph_Form(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Graph_Form"));
    setWindowTitle(QStringLiteral("График"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    Sel1_Chart = createChart();
    Sel2_Chart = createChart();
    Sel1_Chart->setObjectName(QStringLiteral("Sel1_Chart"));
    Sel2_Chart->setObjectName(QStringLiteral("Sel2_Chart"));
    auto* buttons = new QDialogButtonBox(this);
    Ok_But = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    Ok_But->setObjectName(QStringLiteral("Ok_But"));
    Ok_But->setDefault(true);
    connect(Ok_But, &QPushButton::clicked, this, &QDialog::accept);

    QFont bold = font();
    bold.setBold(true);
    auto* left = new QLabel(QStringLiteral("Профиль ППП"), this);
    auto* right = new QLabel(QStringLiteral("Профиль ЭКП"), this);
    for (QLabel* l : {left, right}) {
        l->setFont(bold);
        l->setAlignment(Qt::AlignCenter);
    }
    auto* grid = new QGridLayout;
    grid->addWidget(left, 0, 0);
    grid->addWidget(right, 0, 1);
    grid->addWidget(Sel1_Chart, 1, 0);
    grid->addWidget(Sel2_Chart, 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addWidget(buttons);
    Widgets::OpenAt(this, QSize(760, 440));
}

QChartView* TGraph_Form::createChart() {
    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(2, 2, 2, 2));
    QFont bold = font();
    bold.setBold(true);

    auto* series = new QStackedBarSeries;
    series->setBarWidth(1.0);
    auto* plus = new QBarSet(QStringLiteral("+"));
    auto* minus = new QBarSet(QStringLiteral("-"));
    plus->setColor(QColor(255, 0, 0));
    minus->setColor(QColor(0, 0, 255));
    series->append(plus);
    series->append(minus);
    chart->addSeries(series);

    auto* factors = new QBarCategoryAxis;
    for (const QString& name : Calc::FactorNames)
        factors->append(name);
    factors->setLabelsFont(bold);
    factors->setGridLineVisible(true);
    auto* counts = new QValueAxis;
    counts->setRange(-kAxisLimit, kAxisLimit);
    counts->setTickCount(2 * kAxisLimit + 1);
    counts->setLabelFormat(QStringLiteral("%d"));
    counts->setLabelsFont(bold);
    chart->addAxis(factors, Qt::AlignBottom);
    chart->addAxis(counts, Qt::AlignLeft);
    series->attachAxis(factors);
    series->attachAxis(counts);

    auto* view = new QChartView(chart, this);
    view->setRenderHint(QPainter::Antialiasing, false);
    return view;
}

QBarSet* TGraph_Form::PlusSet(QChartView* chart) const {
    QStackedBarSeries* s = seriesOf(chart);
    return s ? s->barSets().value(0) : nullptr;
}

QBarSet* TGraph_Form::MinusSet(QChartView* chart) const {
    QStackedBarSeries* s = seriesOf(chart);
    return s ? s->barSets().value(1) : nullptr;
}

void TGraph_Form::FillCharts(const Data::TestRecord& record) {
    const QString counts = Results::ProfileCounts(record.resultTest, record.resultProfil);
    if (counts.isEmpty())
        return;
    for (int i = 0; i < Calc::kFactorCount; ++i) {
        auto digit = [&](int block) { return counts[block * Calc::kFactorCount + i].unicode() - '0'; };
        PlusSet(Sel1_Chart)->append(digit(0));
        MinusSet(Sel1_Chart)->append(-digit(1));
        PlusSet(Sel2_Chart)->append(digit(2));
        MinusSet(Sel2_Chart)->append(-digit(3));
    }
}

QString ChartsCaption(const Data::Testee& testee, const Data::TestRecord& record, int number) {
    const QString name = testee.fio.simplified();
    return QStringLiteral("График") + (name.isEmpty() ? QString() : QStringLiteral(" - ") + name) +
           QStringLiteral(", тестирование %1 от %2").arg(number).arg(Platform::DateToStr(record.date));
}

void ShowCharts(const Data::Testee& testee, const Data::TestRecord& record, int number, QWidget* parent) {
    auto form = std::make_unique<TGraph_Form>(parent);
    form->setWindowTitle(ChartsCaption(testee, record, number));
    form->FillCharts(record);
    form->exec();
}
