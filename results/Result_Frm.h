// The results window: all tests of one testee as three profile tables (ППП, ЭКП and the derived ТКП)
// with their footer indices, the testee's particulars with the formula picture, and one page of bar
// charts per test. It shows a results model and keeps it for the reports; it reads no database.
#pragma once

#include "results/ResultsModel.h"

#include <QDialog>
#include <QImage>
#include <QVector>

#include <functional>

class QLabel;
class QLineEdit;
class QStackedWidget;
class QTabBar;
class QTabWidget;
class QToolButton;
class QWidget;

namespace Widgets {
class TStringGrid;
}

// A page control whose pages are built when first shown: a testee may have hundreds of tests, and only
// the pages looked at (or asked for) need their widgets. The current page is known before the tab bar
// carries the pages, and their captions are made when first asked for.
class TChartPageControl : public QWidget {
    Q_OBJECT
public:
    explicit TChartPageControl(QWidget* parent = nullptr);

    // `count` pages in place of those there were, the first one current; `captions` gives their captions.
    void SetPages(int count, std::function<QStringList()> captions);
    void Clear();
    int count() const;
    QString tabText(int index) const;
    int currentIndex() const;
    void setCurrentIndex(int index);
    // The page widget, built (and filled through BuildPage) on first use.
    QWidget* Page(int index);

    std::function<void(int index, QWidget* page)> BuildPage;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Tabs are put on the bar when the control shows: a bar of hundreds of tabs costs time to build.
    void syncTabs();
    void tabChanged(int index);
    void showPage(int index);
    const QStringList& captions() const;
    QTabBar* m_tabs;
    QStackedWidget* m_stack;
    std::function<QStringList()> m_makeCaptions;
    mutable QStringList m_captions; // made on first use
    QVector<QWidget*> m_pages;
    int m_current = -1;
};

class TResult_Form : public QDialog {
    Q_OBJECT
public:
    explicit TResult_Form(QWidget* parent = nullptr);

    // Fills the whole window from `model` and keeps it, in place of anything shown before; a balance that a
    // missing reference row stopped is shown as an error message.
    void LoadResults(Results::TResultsModel model);
    // Gives back the results shown: the window then holds no more than a newly built one, on its first tab.
    // Closing the window does this.
    void ClearResults();
    // What the window shows, for the reports.
    const Results::TResultsModel& Model() const { return m_model; }
    // The grids of the three table tabs are built and filled when their tab is first shown: until then
    // PPP_Grid to TKP_FooterGrid are null. This builds them all now.
    void BuildTableTabs();

    QToolButton* Excel_But;
    QToolButton* Print_But;
    QToolButton* Pdf_But;
    QToolButton* ToolButton2;
    QTabWidget* PageControl1;
    QWidget* InfoTest_Tab;
    QWidget* Row_Tab;
    QWidget* Table_Tab;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    QLineEdit* FIO_Edit;
    QLineEdit* Group_Edit;
    QLineEdit* Sex_Edit;
    QLineEdit* Age_Sex;
    QLabel* Image;
    Widgets::TStringGrid* PPP_Grid = nullptr;
    Widgets::TStringGrid* EKP_Grid = nullptr;
    Widgets::TStringGrid* TKP_Grid = nullptr;
    Widgets::TStringGrid* PPP_FooterGrid = nullptr;
    Widgets::TStringGrid* EKP_FooterGrid = nullptr;
    Widgets::TStringGrid* TKP_FooterGrid = nullptr;
    TChartPageControl* Profil_PageControl;
    // The chart grids of the pages of Profil_PageControl, indexed like the pages; a page's entries are
    // null until the page is built. PPPChart and EKPChart build it when needed.
    QVector<Widgets::TStringGrid*> PPPCharts;
    QVector<Widgets::TStringGrid*> EKPCharts;
    Widgets::TStringGrid* PPPChart(int page);
    Widgets::TStringGrid* EKPChart(int page);
    // While an export runs in the background the window cannot be closed, nor a second export started.
    void SetExporting(bool exporting);
    bool Exporting() const { return m_exporting; }

    // The formula picture (649 x 257), shown by Image.
    QImage& Picture() { return m_picture; }

    // Grid callbacks.
    Qt::Alignment PPP_GridGetAlignment(int col, int row) const;
    Qt::Alignment Chart_GridGetAlignment(int col, int row) const;
    void Chart_GridGetCellColor(const Widgets::TStringGrid& sender, int col, int row, QColor& color) const;

public Q_SLOTS:
    void ToolButton2Click();
    void Print_ButClick();
    void Pdf_ButClick();

private:
    void createWidgets();
    QWidget* createInfoTab();
    // Builds the grids of table tab `profile` if they are not built yet, and fills them from the model.
    void buildTableTab(Results::TProfile profile);
    Widgets::TStringGrid* SetupChartGrid(QWidget* page);

    void DrawFormulas();
    void FillProfileCharts();
    void BuildChartPage(int index, QWidget* page);

    Results::TResultsModel m_model;
    QImage m_picture;
    bool m_exporting = false;

protected:
    void closeEvent(QCloseEvent* event) override;

public:
    void reject() override;
    void done(int result) override;
};

// The results window of `parent`: built at its first opening and kept, hidden and empty, for the next.
TResult_Form& ResultsWindowOf(QWidget& parent);

// Opens the results window of `testee` with his `tests` (oldest first), that of `parent` when there is one;
// without tests only a message shows. A malformed record ends the call before the window shows (the error
// propagates to the caller).
void ShowResults(const Data::Testee& testee, const QVector<Data::TestRecord>& tests,
                 QWidget* parent = nullptr);
