// Results window: builds the tabs, fills them from a results model (particulars, formula picture, tables
// and footers, chart pages), and the opening function ShowResults.
#include "results/Result_Frm.h"

#include "data/DataMod.h"
#include "platform/Dialogs.h"
#include "platform/SysColors.h"
#include "results/ExportExcel.h"
#include "results/FormulaLines.h"
#include "results/PrintReport.h"
#include "scoring/Calc_Unit.h"
#include "widgets/DialogLayout.h"
#include "widgets/Icons.h"
#include "widgets/StringGrid.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <memory>

using Widgets::TStringGrid;
using namespace Results;

namespace {

const QString kTitle = QStringLiteral("Результаты тестирования");
const QSize kOpeningSize(705, 552);
constexpr int kPictureWidth = 649;
constexpr int kPictureHeight = 257;
constexpr int kTableRowHeight = 21;
constexpr int kTableColWidths[kTableCols] = {25, 69, 40, 40, 40, 40, 40, 40, 40, 40, 45, 45, 40, 84};
constexpr int kFooterColWidths[kFooterCols] = {94, 40, 40, 40, 40, 40, 40, 40, 40, 45, 45, 40, 84};
// Chart pages: two grids side by side under their labels.
constexpr int kChartColWidth = 40;
constexpr int kChartRowHeight = 25;

void centerOnScreen(QWidget& window) {
    if (const QScreen* screen = QApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
}

QFont tahoma(bool bold) {
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSize(8);
    f.setBold(bold);
    return f;
}

void setupTable(TStringGrid* grid) {
    grid->SetColCount(kTableCols);
    grid->SetRowCount(kHeaderRows + 1);
    grid->SetFixedCols(0);
    grid->SetFixedRows(kHeaderRows);
    grid->SetDefaultRowHeight(kTableRowHeight);
    for (int c = 0; c < kTableCols; ++c)
        grid->SetColWidth(c, kTableColWidths[c]);
    grid->CellFont = tahoma(false);
    grid->SelectedFont = tahoma(false);
    grid->FixedFont = tahoma(true);
    grid->GetWordWrap = [](int col, int row) { return col == kNoteCol && row >= kHeaderRows; };
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void setupFooter(TStringGrid* grid, int rows) {
    grid->SetColCount(kFooterCols);
    grid->SetRowCount(rows);
    grid->SetFixedCols(0);
    grid->SetFixedRows(0);
    grid->SetDefaultRowHeight(kTableRowHeight);
    for (int c = 0; c < kFooterCols; ++c)
        grid->SetColWidth(c, kFooterColWidths[c]);
    grid->Color = Platform::ColorToQColor(Platform::clBtnFace);
    grid->CellFont = tahoma(true);
    grid->SelectedFont = tahoma(true);
    grid->ShowSelection = false;
    grid->setFocusPolicy(Qt::NoFocus);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setFixedHeight(grid->sizeHint().height());
}

// Cells and merged areas of a table (its header rows, then its data rows) or of a footer (no header rows):
// the grid shows the model's texts, shared rather than copied.
void fillGrid(TStringGrid* grid, const QVector<QStringList>& headers, const QVector<QStringList>& rows,
              const QVector<QRect>& merges) {
    grid->ClearMerges();
    QVector<QStringList> texts;
    texts.reserve(headers.size() + rows.size());
    texts << headers << rows;
    grid->SetRows(std::move(texts));
    for (const QRect& m : merges)
        grid->Merge(m.left(), m.top(), m.right(), m.bottom());
}

} // namespace

TChartPageControl::TChartPageControl(QWidget* parent) : QWidget(parent) {
    m_tabs = new QTabBar(this);
    m_tabs->setUsesScrollButtons(true);
    m_tabs->setExpanding(false);
    m_stack = new QStackedWidget(this);
    m_stack->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_tabs);
    layout->addWidget(m_stack, 1);
    connect(m_tabs, &QTabBar::currentChanged, this, &TChartPageControl::tabChanged);
}

void TChartPageControl::SetPages(int count, std::function<QStringList()> captions) {
    Clear();
    m_makeCaptions = std::move(captions);
    m_pages.fill(nullptr, count);
    setCurrentIndex(0);
    if (isVisible())
        syncTabs();
}

const QStringList& TChartPageControl::captions() const {
    if (m_captions.size() != m_pages.size() && m_makeCaptions)
        m_captions = m_makeCaptions();
    return m_captions;
}

void TChartPageControl::Clear() {
    {
        // No page is to be built while the tabs go.
        const QSignalBlocker blocker(m_tabs);
        while (m_tabs->count() > 0)
            m_tabs->removeTab(m_tabs->count() - 1);
    }
    qDeleteAll(m_pages);
    m_pages.clear();
    m_captions.clear();
    m_makeCaptions = nullptr;
    m_current = -1;
}

int TChartPageControl::count() const { return static_cast<int>(m_pages.size()); }
QString TChartPageControl::tabText(int index) const { return captions().value(index); }
int TChartPageControl::currentIndex() const { return m_current; }

void TChartPageControl::setCurrentIndex(int index) {
    if (index < 0 || index >= count())
        return;
    m_current = index;
    // A hidden control builds its page when it shows: a window filled before it shows may never show
    // the charts at all.
    if (isVisible())
        showPage(index);
    if (m_tabs->count() == count()) {
        const QSignalBlocker blocker(m_tabs);
        m_tabs->setCurrentIndex(index);
    }
}

QWidget* TChartPageControl::Page(int index) {
    if (index < 0 || index >= m_pages.size())
        return nullptr;
    if (!m_pages[index]) {
        // Built before it joins the stack: the first page of a shown stack is shown at once, and
        // children added to a widget that is already shown stay hidden.
        auto page = std::make_unique<QWidget>();
        if (BuildPage)
            BuildPage(index, page.get());
        m_pages[index] = page.get();
        m_stack->addWidget(page.release());
    }
    return m_pages[index];
}

void TChartPageControl::showEvent(QShowEvent* event) {
    syncTabs();
    if (m_current >= 0)
        showPage(m_current);
    QWidget::showEvent(event);
}

void TChartPageControl::syncTabs() {
    if (m_tabs->count() == count())
        return;
    // Adding a tab lays out the whole bar again; with the bar hidden that happens once, when it shows.
    const QSignalBlocker blocker(m_tabs);
    m_tabs->hide();
    const QStringList& texts = captions();
    for (int i = m_tabs->count(); i < count(); ++i)
        m_tabs->addTab(texts.value(i));
    m_tabs->setCurrentIndex(m_current);
    m_tabs->show();
}

void TChartPageControl::tabChanged(int index) {
    m_current = index;
    showPage(index);
}

void TChartPageControl::showPage(int index) {
    if (QWidget* page = Page(index))
        m_stack->setCurrentWidget(page);
}

TResult_Form::TResult_Form(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Result_Form"));
    setWindowTitle(kTitle);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    createWidgets();
    Widgets::RememberSize(this, QStringLiteral("Results"), kOpeningSize);
    centerOnScreen(*this);
}

void TResult_Form::createWidgets() {
    // The tool bar is a row of flat buttons (a QToolBar would build a menu extension and its icons that
    // this window, as wide as its buttons at least, never needs).
    auto* toolBar = new QWidget(this);
    auto* toolRow = new QHBoxLayout(toolBar);
    toolRow->setContentsMargins(2, 2, 2, 2);
    toolRow->setSpacing(0);
    const auto toolButton = [toolBar, toolRow](const QString& text, const QString& tip, Icons::Kind icon) {
        auto* button = new QToolButton(toolBar);
        button->setText(text);
        button->setToolTip(tip);
        button->setIcon(Icons::icon(icon));
        button->setIconSize(QSize(24, 24));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        toolRow->addWidget(button);
        return button;
    };
    Excel_But = toolButton(QStringLiteral("Экспорт в Excel"),
                           QStringLiteral("Экспортировать результаты в Excel"), Icons::Kind::Spreadsheet);
    Print_But = toolButton(QStringLiteral("Печать..."), QStringLiteral("Напечатать результаты тестирования"),
                           Icons::Kind::Print);
    Pdf_But = toolButton(QStringLiteral("Сохранить в PDF..."),
                         QStringLiteral("Сохранить результаты тестирования в файл PDF"), Icons::Kind::Pdf);
    ToolButton2 =
        toolButton(QStringLiteral("Закрыть"),
                   QStringLiteral("Закрыть окно просмотра результатов тестирования"), Icons::Kind::Close);
    toolRow->addStretch();
    connect(ToolButton2, &QToolButton::clicked, this, &TResult_Form::ToolButton2Click);
    connect(Excel_But, &QToolButton::clicked, this, [this] { Results::Excel_ButClick(*this); });
    connect(Print_But, &QToolButton::clicked, this, &TResult_Form::Print_ButClick);
    connect(Pdf_But, &QToolButton::clicked, this, &TResult_Form::Pdf_ButClick);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    QFont bold = PageControl1->tabBar()->font();
    bold.setBold(true);
    PageControl1->tabBar()->setFont(bold);
    InfoTest_Tab = createInfoTab();
    // The table tabs get their grids when first shown: a window opened to look at the formulas or the
    // charts never builds them.
    Row_Tab = new QWidget;
    Table_Tab = new QWidget;
    TabSheet1 = new QWidget;
    TabSheet2 = new QWidget;
    Profil_PageControl = new TChartPageControl(TabSheet2);
    Profil_PageControl->setObjectName(QStringLiteral("Profil_PageControl"));
    Profil_PageControl->BuildPage = [this](int index, QWidget* page) { BuildChartPage(index, page); };
    auto* chartsLayout = new QVBoxLayout(TabSheet2);
    chartsLayout->setContentsMargins(4, 4, 4, 4);
    chartsLayout->addWidget(Profil_PageControl);
    PageControl1->addTab(InfoTest_Tab, QStringLiteral("Тестируемый"));
    PageControl1->addTab(Row_Tab, QStringLiteral("ППП"));
    PageControl1->addTab(Table_Tab, QStringLiteral("ЭКП"));
    PageControl1->addTab(TabSheet1, QStringLiteral("ТКП"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Профили"));
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        const QWidget* tab = PageControl1->widget(index);
        if (tab == Row_Tab)
            buildTableTab(kPpp);
        else if (tab == Table_Tab)
            buildTableTab(kEkp);
        else if (tab == TabSheet1)
            buildTableTab(kTkp);
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBar);
    layout->addWidget(PageControl1);
}

QWidget* TResult_Form::createInfoTab() {
    auto* tab = new QWidget;
    auto* box = new QGroupBox(QStringLiteral("Информация о тестируемом "), tab);
    (new QVBoxLayout(tab))->addWidget(box);
    QFont valueFont = font();
    valueFont.setBold(true);
    QPalette valuePalette = palette();
    valuePalette.setColor(QPalette::Text, QColor(0, 0, 128));
    // Each value under its label: the name across the box, then the group, the sex and the age.
    auto* grid = new QGridLayout(box);
    auto edit = [&](const char* name, const QString& label, int row, int col, int span) {
        auto* e = new QLineEdit(box);
        e->setObjectName(QString::fromLatin1(name));
        e->setReadOnly(true);
        e->setFont(valueFont);
        e->setPalette(valuePalette);
        grid->addWidget(new QLabel(label, box), row, col, 1, span);
        grid->addWidget(e, row + 1, col, 1, span);
        return e;
    };
    FIO_Edit = edit("FIO_Edit", QStringLiteral("Фамилия, имя, отчество:"), 0, 0, 3);
    Group_Edit = edit("Group_Edit", QStringLiteral("Группа:"), 2, 0, 1);
    Sex_Edit = edit("Sex_Edit", QStringLiteral("Пол:"), 2, 1, 1);
    Age_Sex = edit("Age_Sex", QStringLiteral("Возраст:"), 2, 2, 1);
    grid->setRowMinimumHeight(4, grid->verticalSpacing() * 6);
    grid->addWidget(new QLabel(QStringLiteral("Формулы:"), box), 5, 0, 1, 3);
    Image = new QLabel(box);
    grid->addWidget(Image, 6, 0, 1, 3, Qt::AlignLeft | Qt::AlignTop);
    grid->setRowStretch(6, 1);
    grid->setColumnStretch(0, 1);
    Image->setObjectName(QStringLiteral("Image"));
    return tab;
}

void TResult_Form::buildTableTab(TProfile profile) {
    struct TTableTab {
        QWidget* tab;
        TStringGrid*& table;
        TStringGrid*& footer;
        const char* tableName;
        const char* footerName;
    };
    const std::array<TTableTab, 3> tabs = {
        {{Row_Tab, PPP_Grid, PPP_FooterGrid, "PPP_Grid", "PPP_FooterGrid"},
         {Table_Tab, EKP_Grid, EKP_FooterGrid, "EKP_Grid", "EKP_FooterGrid"},
         {TabSheet1, TKP_Grid, TKP_FooterGrid, "TKP_Grid", "TKP_FooterGrid"}}};
    const TTableTab& t = tabs[std::size_t(profile)];
    if (t.table)
        return;
    auto* table = new TStringGrid(t.tab);
    auto* footer = new TStringGrid(t.tab);
    table->setObjectName(QString::fromLatin1(t.tableName));
    footer->setObjectName(QString::fromLatin1(t.footerName));
    setupTable(table);
    setupFooter(footer, profile == kTkp ? kTkpFooterRows : kFooterRows);
    table->GetAlignment = [this](int c, int r) { return PPP_GridGetAlignment(c, r); };
    footer->GetAlignment = table->GetAlignment;
    table->GetHint = [table](int c, int r) {
        return c == kNoteCol && r >= kHeaderRows ? table->Cell(c, r) : QString();
    };
    auto* layout = new QVBoxLayout(t.tab);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(0);
    layout->addWidget(table, 1);
    layout->addWidget(footer);
    t.table = table;
    t.footer = footer;
    const QVector<QStringList>& footerRows = m_model.Tables[std::size_t(profile)].Footer;
    fillGrid(table, TableHeaders(), TableRows(m_model, profile), TableMerges());
    fillGrid(footer, {}, footerRows, FooterMerges(int(footerRows.size())));
    // A tab being shown shows its new grids now rather than at the event loop's next pass.
    if (t.tab->isVisible()) {
        table->show();
        footer->show();
    }
}

void TResult_Form::BuildTableTabs() {
    for (TProfile profile : {kPpp, kEkp, kTkp})
        buildTableTab(profile);
}

TStringGrid* TResult_Form::SetupChartGrid(QWidget* page) {
    auto* grid = new TStringGrid(page);
    grid->SetColCount(Calc::kFactorCount);
    grid->SetRowCount(kChartRows);
    grid->SetFixedCols(0);
    grid->SetFixedRows(kHeaderRows);
    grid->SetDefaultColWidth(kChartColWidth);
    grid->SetDefaultRowHeight(kChartRowHeight);
    grid->Flat = true;
    grid->ShowSelection = false;
    grid->setFocusPolicy(Qt::NoFocus);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->GetAlignment = [this](int c, int r) { return Chart_GridGetAlignment(c, r); };
    grid->GetCellColor = [this, grid](int c, int r, QColor& color) {
        Chart_GridGetCellColor(*grid, c, r, color);
    };
    for (int v = 0; v < 4; ++v) {
        grid->Merge(2 * v, 0, 2 * v + 1, 0);
        grid->SetCell(2 * v, 0, Calc::VectorNames[v]);
    }
    for (int c = 0; c < Calc::kFactorCount; ++c)
        grid->SetCell(c, 1, Calc::FactorNames[c]);
    // As large as its cells with their grid lines.
    grid->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return grid;
}

void TResult_Form::LoadResults(TResultsModel model) {
    ClearResults();
    m_model = std::move(model);
    const std::array<QLineEdit*, 4> edits = {FIO_Edit, Group_Edit, Sex_Edit, Age_Sex};
    for (std::size_t i = 0; i < edits.size(); ++i)
        edits[i]->setText(m_model.Particulars[i]);
    DrawFormulas();
    FillProfileCharts();
    for (qsizetype i = 0; i < m_model.Failures.size(); ++i)
        Platform::messageBox(this, QStringLiteral("Неверный номер вектора или реакции!"),
                             QStringLiteral("Ошибка расчета мажорно-минорных реакций"),
                             Platform::MsgIcon::Error);
}

void TResult_Form::ClearResults() {
    PageControl1->setCurrentIndex(0);
    setWindowTitle(kTitle);
    for (QLineEdit* edit : {FIO_Edit, Group_Edit, Sex_Edit, Age_Sex})
        edit->clear();
    Image->clear();
    m_picture = QImage();
    // The table tabs and the chart pages are built again when they are shown.
    for (Widgets::TStringGrid** grid :
         {&PPP_Grid, &PPP_FooterGrid, &EKP_Grid, &EKP_FooterGrid, &TKP_Grid, &TKP_FooterGrid}) {
        delete *grid;
        *grid = nullptr;
    }
    for (QWidget* tab : {Row_Tab, Table_Tab, TabSheet1})
        delete tab->layout();
    Profil_PageControl->Clear();
    PPPCharts.clear();
    EKPCharts.clear();
    m_model = TResultsModel();
    // The next opening starts where a new window starts, not in a widget of this one.
    if (QWidget* focused = focusWidget())
        focused->clearFocus();
}

void TResult_Form::DrawFormulas() {
    m_picture = FormulaPicture(m_model.Formulas);
    // The report takes the picture as it is; the window shows the formulas drawn once more at the
    // screen's pixel density, so that they stay sharp on a high-density screen.
    const qreal ratio = Image->devicePixelRatioF();
    if (ratio <= 1.0) {
        // The pixmap takes over the picture's pixels and shares them back: no copy of the picture.
        const QPixmap shown = QPixmap::fromImage(std::move(m_picture));
        m_picture = shown.toImage();
        Image->setPixmap(shown);
        return;
    }
    Image->setPixmap(QPixmap::fromImage(FormulaPicture(m_model.Formulas, ratio)));
}

void TResult_Form::FillProfileCharts() {
    const int count = int(m_model.ChartCounts.size());
    PPPCharts.fill(nullptr, count);
    EKPCharts.fill(nullptr, count);
    // The grids of a page are built when the page is first shown, the captions when the tabs are.
    Profil_PageControl->SetPages(count, [this] { return ChartCaptions(m_model); });
}

void TResult_Form::BuildChartPage(int index, QWidget* page) {
    TStringGrid* ppp = SetupChartGrid(page);
    TStringGrid* ekp = SetupChartGrid(page);
    // The two charts side by side under their labels, at the page's top left.
    auto* layout = new QGridLayout(page);
    layout->addWidget(new QLabel(QStringLiteral("ППП"), page), 0, 0);
    layout->addWidget(new QLabel(QStringLiteral("ЭКП"), page), 0, 1);
    layout->addWidget(ppp, 1, 0);
    layout->addWidget(ekp, 1, 1);
    layout->setRowStretch(2, 1);
    layout->setColumnStretch(2, 1);
    PPPCharts[index] = ppp;
    EKPCharts[index] = ekp;
    // A record with neither choices nor counts keeps empty charts.
    const QStringView digits(m_model.ChartCounts[index]);
    if (digits.isEmpty())
        return;
    for (TStringGrid* grid : {ppp, ekp}) {
        const int first = grid == ppp ? 0 : 2 * Calc::kFactorCount;
        const QVector<QStringList> bars =
            ChartBarTexts(digits.mid(first, Calc::kFactorCount),
                          digits.mid(first + Calc::kFactorCount, Calc::kFactorCount));
        for (int r = 0; r < bars.size(); ++r)
            for (int c = 0; c < Calc::kFactorCount; ++c)
                if (!bars[r][c].isEmpty())
                    grid->SetCell(c, kHeaderRows + r, bars[r][c]);
    }
}

TStringGrid* TResult_Form::PPPChart(int page) {
    Profil_PageControl->Page(page);
    return PPPCharts.value(page);
}

TStringGrid* TResult_Form::EKPChart(int page) {
    Profil_PageControl->Page(page);
    return EKPCharts.value(page);
}

Qt::Alignment TResult_Form::PPP_GridGetAlignment(int, int) const { return Qt::AlignCenter; }

Qt::Alignment TResult_Form::Chart_GridGetAlignment(int, int) const {
    return Qt::AlignHCenter | Qt::AlignVCenter;
}

void TResult_Form::Chart_GridGetCellColor(const TStringGrid& sender, int col, int row, QColor& color) const {
    const QString text = sender.Cell(col, row);
    if (text == kPlusBar)
        color = QColor(255, 0, 0);
    else if (text == kMinusBar)
        color = QColor(0, 0, 255);
}

void TResult_Form::ToolButton2Click() { close(); }

void TResult_Form::Print_ButClick() { Results::Print_ButClick(*this); }

void TResult_Form::Pdf_ButClick() { Results::Pdf_ButClick(*this); }

void TResult_Form::SetExporting(bool exporting) {
    m_exporting = exporting;
    Excel_But->setEnabled(!exporting);
    ToolButton2->setEnabled(!exporting);
    Print_But->setEnabled(!exporting);
    Pdf_But->setEnabled(!exporting);
}

void TResult_Form::closeEvent(QCloseEvent* event) {
    // The export still reads nothing from the window, but it reports to it when it ends.
    if (m_exporting) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TResult_Form::reject() {
    if (!m_exporting)
        QDialog::reject();
}

void TResult_Form::done(int result) {
    QDialog::done(result);
    // A window kept for the next opening keeps nothing of this testee, and opens as a new one does: at its
    // last normal size, in the middle of the screen.
    ClearResults();
    setWindowState(Qt::WindowNoState);
    centerOnScreen(*this);
}

TResult_Form& ResultsWindowOf(QWidget& parent) {
    if (auto* form = parent.findChild<TResult_Form*>(QString(), Qt::FindDirectChildrenOnly))
        return *form;
    return *new TResult_Form(&parent); // the parent owns it
}

void ShowResults(const Data::Testee& testee, const QVector<Data::TestRecord>& tests, QWidget* parent) {
    // The command may have been offered while the testee had tests: another copy of the program can have
    // deleted them since. A window of no tests would show zero indices and formulas as results.
    if (tests.isEmpty()) {
        Platform::messageBox(parent, QStringLiteral("У тестируемого нет тестирований."),
                             QStringLiteral("Информация"), Platform::MsgIcon::Information);
        return;
    }
    TResultsModel model = ComputeResults(testee, tests, Main_DataModule->Repo().references());
    // A window without a parent lives for this opening only.
    std::unique_ptr<TResult_Form> own;
    TResult_Form& form = parent ? ResultsWindowOf(*parent) : *(own = std::make_unique<TResult_Form>());
    form.LoadResults(std::move(model));
    if (const QString name = testee.fio.simplified(); !name.isEmpty())
        form.setWindowTitle(kTitle + QStringLiteral(" - ") + name);
    form.exec();
}
