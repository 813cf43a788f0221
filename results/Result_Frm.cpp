// Results window: builds the tabs, loads every test of the testee from ListTest_Query in a fixed order
// (headers, rows, ТКП, footers, formulas, charts, balances), and the opening function ShowResults.
#include "results/Result_Frm.h"

#include "data/DataMod.h"
#include "data/Testee.h"
#include "platform/Dialogs.h"
#include "platform/Locale.h"
#include "platform/SysColors.h"
#include "results/ExportExcel.h"
#include "results/FormulaLines.h"
#include "results/PrintReport.h"
#include "results/Result_Calc.h"
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

#include <array>
#include <memory>

using Widgets::TStringGrid;
using namespace Results;

namespace {

const QSize kOpeningSize(705, 552);
constexpr int kPictureWidth = 649;
constexpr int kPictureHeight = 257;
constexpr int kTableRowHeight = 21;
constexpr int kTableColWidths[kTableCols] = {25, 69, 40, 40, 40, 40, 40, 40, 40, 40, 45, 45, 40, 84};
constexpr int kFooterColWidths[kFooterCols] = {94, 40, 40, 40, 40, 40, 40, 40, 40, 45, 45, 40, 84};
// Chart pages: two grids side by side under their labels.
constexpr int kChartColWidth = 40;
constexpr int kChartRowHeight = 25;
// Vector pairs classified by the balance rows only from this many tests on.
constexpr int kBalanceMinTests = 8;

QFont tahoma(bool bold) {
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSize(8);
    f.setBold(bold);
    return f;
}

// The date of a record as the tables show it; the format is worked out once per walk.
QString dateText(const QVariant& value, const Platform::TDateFormat& format) {
    if (value.isNull())
        return {};
    const QDate date =
        value.metaType().id() == QMetaType::QDate ? value.toDate() : Platform::IsoToDate(value.toString());
    return format.Text(date);
}

// Field positions of ListTest_Query, looked up once per walk.
struct TestFields {
    explicit TestFields(const Data::TDataset& q)
        : date(q.FieldIndex(QStringLiteral("Date_Test"))),
          resultTest(q.FieldIndex(QStringLiteral("Result_Test"))),
          resultProfil(q.FieldIndex(QStringLiteral("Result_Profil"))),
          calcProfil(q.FieldIndex(QStringLiteral("Calc_Profil"))),
          calcProfilNapr(q.FieldIndex(QStringLiteral("Calc_ProfilNapr"))),
          note(q.FieldIndex(QStringLiteral("Note"))) {
        for (int f : {date, resultTest, resultProfil, calcProfil, calcProfilNapr, note})
            if (f < 0)
                throw Data::EDatabaseError(QStringLiteral("Список тестирований не содержит нужных полей"));
    }
    int date, resultTest, resultProfil, calcProfil, calcProfilNapr, note;
};

// The texts of the factor cells: a reaction type followed by the marks of its intensity, made once per
// walk, so that the cells of every row share them.
class TFactorCells {
public:
    TFactorCells() {
        for (std::size_t t = 0; t < Calc::ReactionSigns.size(); ++t)
            for (std::size_t m = 0; m < MarkStrings.size(); ++m)
                m_cells[t][m] = Calc::ReactionSigns[t] + MarkStrings[m];
    }

    // Reaction type `i` of Calc_Profil with intensity digit `i` of Calc_ProfilNapr. A record whose
    // strings do not hold a known type and a digit 0 to 3 there cannot be shown. `type` receives the
    // type's place in ReactionSigns.
    const QString& Cell(const QString& types, const QString& intensities, int i, const QString& date,
                        int& type) const {
        const QStringView sign = QStringView(types).mid(i, 1);
        const auto found = std::find(Calc::ReactionSigns.begin(), Calc::ReactionSigns.end(), sign);
        if (sign.isEmpty() || found == Calc::ReactionSigns.end())
            throw Calc::EConvertError(QStringLiteral("Неверный тип реакции «%1» в записи тестирования от %2")
                                          .arg(sign.toString(), date));
        const QStringView digit = QStringView(intensities).mid(i, 1);
        const int marks = digit.isEmpty() ? -1 : digit[0].unicode() - '0';
        if (marks < 0 || marks >= static_cast<int>(MarkStrings.size()))
            throw Calc::EConvertError(
                QStringLiteral("Неверная интенсивность реакции «%1» в записи тестирования от %2")
                    .arg(digit.toString(), date));
        type = static_cast<int>(found - Calc::ReactionSigns.begin());
        return m_cells[static_cast<std::size_t>(type)][static_cast<std::size_t>(marks)];
    }

private:
    std::array<std::array<QString, std::tuple_size_v<decltype(MarkStrings)>>,
               std::tuple_size_v<decltype(Calc::ReactionSigns)>>
        m_cells;
};

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

// Header texts and merges of a profile table.
void tableHeaders(TStringGrid* grid, bool texts) {
    grid->ClearMerges();
    for (int c : {0, 1, kSumZeroCol, kSumAmbCol, kSntCol, kNoteCol})
        grid->Merge(c, 0, c, 1);
    for (int v = 0; v < 4; ++v)
        grid->Merge(2 * v + 2, 0, 2 * v + 3, 0);
    if (!texts)
        return;
    grid->SetCell(0, 0, QStringLiteral("№"));
    grid->SetCell(1, 0, QStringLiteral("Дата"));
    for (int v = 0; v < 4; ++v)
        grid->SetCell(2 * v + 2, 0, Calc::VectorNames[v]);
    for (int f = 1; f <= Calc::kFactorCount; ++f)
        grid->SetCell(f + 1, 1, Calc::FactorNames[f - 1]);
    grid->SetCell(kSumZeroCol, 0, QStringLiteral("Sum 0"));
    grid->SetCell(kSumAmbCol, 0, QStringLiteral("Sum ±"));
    grid->SetCell(kSntCol, 0, QStringLiteral("СНТ"));
    grid->SetCell(kNoteCol, 0, QStringLiteral("Примечание"));
}

// Labels and merges of a footer; the ТКП footer has no Dur and Moll rows.
void footerLayout(TStringGrid* grid, bool theoretical) {
    grid->ClearMerges();
    grid->ClearCells();
    const int rows = grid->RowCount();
    for (int r = 0; r < rows; ++r)
        grid->SetCell(0, r, FooterLabels[theoretical && r >= 4 ? r + 2 : r]);
    for (int v = 0; v < 4; ++v)
        grid->Merge(2 * v + 1, 3, 2 * v + 2, 3);
    for (int r = 3; r < rows; ++r)
        grid->Merge(kFooterTotalCol, r, kFooterTotalCol + 2, r);
    grid->Merge(kFooterQuotientCol, 0, kFooterQuotientCol, 1);
    // Balance rows come in pairs: 4-5 and 6-7 (ТКП: 4-5).
    for (int r = 4; r + 1 < rows; r += 2) {
        grid->Merge(kFooterQuotientCol, r, kFooterQuotientCol, r + 1);
        for (int c = 2; c <= 8; c += 2)
            grid->Merge(c, r, c, r + 1);
    }
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

void TChartPageControl::AddPage(const QString& caption) {
    m_captions.append(caption);
    m_pages.append(nullptr);
    if (isVisible())
        syncTabs();
    if (m_current < 0)
        setCurrentIndex(0);
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
    m_current = -1;
}

int TChartPageControl::count() const { return static_cast<int>(m_captions.size()); }
QString TChartPageControl::tabText(int index) const { return m_captions.value(index); }
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
    for (int i = m_tabs->count(); i < count(); ++i)
        m_tabs->addTab(m_captions[i]);
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
    setWindowTitle(QStringLiteral("Результаты тестирования"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    createWidgets();
    Widgets::RememberSize(this, QStringLiteral("Results"), kOpeningSize);
    if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
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
    Row_Tab = createTableTab(PPP_Grid, PPP_FooterGrid, kFooterRows);
    Table_Tab = createTableTab(EKP_Grid, EKP_FooterGrid, kFooterRows);
    TabSheet1 = createTableTab(TKP_Grid, TKP_FooterGrid, kTkpFooterRows);
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

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBar);
    layout->addWidget(PageControl1);

    PPP_Grid->setObjectName(QStringLiteral("PPP_Grid"));
    EKP_Grid->setObjectName(QStringLiteral("EKP_Grid"));
    TKP_Grid->setObjectName(QStringLiteral("TKP_Grid"));
    PPP_FooterGrid->setObjectName(QStringLiteral("PPP_FooterGrid"));
    EKP_FooterGrid->setObjectName(QStringLiteral("EKP_FooterGrid"));
    TKP_FooterGrid->setObjectName(QStringLiteral("TKP_FooterGrid"));
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

QWidget* TResult_Form::createTableTab(TStringGrid*& table, TStringGrid*& footer, int footerRows) {
    auto* tab = new QWidget;
    table = new TStringGrid(tab);
    footer = new TStringGrid(tab);
    setupTable(table);
    setupFooter(footer, footerRows);
    table->GetAlignment = [this](int c, int r) { return PPP_GridGetAlignment(c, r); };
    footer->GetAlignment = table->GetAlignment;
    TStringGrid* grid = table;
    table->GetHint = [grid](int c, int r) {
        return c == kNoteCol && r >= kHeaderRows ? grid->Cell(c, r) : QString();
    };
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(0);
    layout->addWidget(table, 1);
    layout->addWidget(footer);
    return tab;
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

void TResult_Form::ShowTestee(int menId) {
    Data::TQuery* men = Main_DataModule->Men_Query;
    if (!men->Active())
        return;
    // The main window's list shows this query: its current row stays where it was.
    Data::TWalkGuard guard(*men);
    if (!men->Locate(QStringLiteral("Men_ID"), menId))
        return;
    FIO_Edit->setText(men->FieldByName(QStringLiteral("FIO")).AsString());
    Group_Edit->setText(men->FieldByName(QStringLiteral("GROUP_NAME")).AsString());
    Age_Sex->setText(men->FieldByName(QStringLiteral("AGE")).AsString());
    const QString sex = men->FieldByName(QStringLiteral("Sex")).AsString();
    if (sex == QStringLiteral("М"))
        Sex_Edit->setText(QStringLiteral("Мужской"));
    else if (sex == QStringLiteral("Ж"))
        Sex_Edit->setText(QStringLiteral("Женский"));
}

void TResult_Form::LoadResults() {
    // Every step reads rows by position; the guard keeps the caller's row and list also on errors.
    Data::TWalkGuard guard(*Main_DataModule->ListTest_Query);
    InitPicture();
    InitTableHeaders();
    FillProfileRows();
    DeriveTheoretical(*PPP_Grid, *TKP_Grid);
    CountFooter(*TKP_Grid, *TKP_FooterGrid);
    CountFooter(*PPP_Grid, *PPP_FooterGrid);
    CountFooter(*EKP_Grid, *EKP_FooterGrid);
    DrawFormulas();
    FillProfileCharts();
    CountBalances();
}

void TResult_Form::InitPicture() {
    m_picture = QImage(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
    m_picture.fill(Platform::ColorToQColor(Platform::clInfoBk));
}

void TResult_Form::InitTableHeaders() {
    const int rows = Main_DataModule->ListTest_Query->RecordCount() + kHeaderRows;
    for (TStringGrid* grid : {PPP_Grid, EKP_Grid, TKP_Grid}) {
        grid->ClearCells();
        grid->SetRowCount(rows);
        tableHeaders(grid, grid != TKP_Grid);
    }
    footerLayout(PPP_FooterGrid, false);
    footerLayout(EKP_FooterGrid, false);
    footerLayout(TKP_FooterGrid, true);
}

void TResult_Form::FillProfileRows() {
    Data::TQuery* query = Main_DataModule->ListTest_Query;
    const TestFields fields(*query);
    const int count = query->RecordCount();
    const Platform::TDateFormat dateFormat;
    const TFactorCells factorCells;
    // The texts of the sums of a half row (0 to 8 factors).
    std::array<QString, Calc::kFactorCount + 1> counts;
    for (std::size_t n = 0; n < counts.size(); ++n)
        counts[n] = QString::number(n);
    m_dateTexts.resize(count);
    // The query lists the newest test first; the tables list the oldest first.
    for (int k = 1; k <= count; ++k) {
        const int record = count - k;
        const int row = k + 1;
        const QString& date = m_dateTexts[record] = dateText(query->Value(record, fields.date), dateFormat);
        const QString types = query->Value(record, fields.calcProfil).toString();
        const QString intensities = query->Value(record, fields.calcProfilNapr).toString();
        const QString note = query->Value(record, fields.note).toString();
        const QString number = QString::number(k);
        for (int half = 0; half < 2; ++half) {
            TStringGrid* grid = half == 0 ? PPP_Grid : EKP_Grid;
            grid->SetCell(0, row, number);
            grid->SetCell(1, row, date);
            int zeros = 0;
            int ambivalents = 0;
            for (int i = 0; i < Calc::kFactorCount; ++i) {
                int type = 0;
                grid->SetCell(
                    i + 2, row,
                    factorCells.Cell(types, intensities, half * Calc::kFactorCount + i, date, type));
                if (type == 0)
                    ++zeros;
                else if (type == 1)
                    ++ambivalents;
            }
            grid->SetCell(kSumZeroCol, row, counts[static_cast<std::size_t>(zeros)]);
            grid->SetCell(kSumAmbCol, row, counts[static_cast<std::size_t>(ambivalents)]);
            grid->SetCell(kSntCol, row, counts[static_cast<std::size_t>(zeros + ambivalents)]);
            grid->SetCell(kNoteCol, row, note);
        }
    }
}

void TResult_Form::DrawFormulas() {
    // The drive formula and the latency proportion, read from the filled ППП table and its footer.
    DrawFormulaLines(m_picture, *PPP_Grid, *PPP_FooterGrid);
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
    QImage sharp(m_picture.size() * ratio, m_picture.format());
    sharp.setDevicePixelRatio(ratio);
    sharp.fill(Platform::ColorToQColor(Platform::clInfoBk));
    DrawFormulaLines(sharp, *PPP_Grid, *PPP_FooterGrid);
    Image->setPixmap(QPixmap::fromImage(sharp));
}

void TResult_Form::FillProfileCharts() {
    Data::TQuery* query = Main_DataModule->ListTest_Query;
    const TestFields fields(*query);
    const int count = query->RecordCount();
    Profil_PageControl->Clear();
    m_chartCounts.clear();
    PPPCharts.fill(nullptr, count);
    EKPCharts.fill(nullptr, count);
    // The counts are checked here, so that a malformed record ends the loading; the grids of a page are
    // built when the page is first shown.
    for (int j = 0; j < count; ++j)
        m_chartCounts.append(ProfileCounts(query->Value(j, fields.resultTest).toString(),
                                           query->Value(j, fields.resultProfil).toString()));
    for (int j = 0; j < count; ++j)
        Profil_PageControl->AddPage(QString::number(count - j) + QStringLiteral(" - ") +
                                    m_dateTexts.value(j));
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
    const QStringView digits(m_chartCounts[index]);
    if (digits.isEmpty())
        return;
    FillChartBars(*ppp, digits.mid(0, 8), digits.mid(8, 8));
    FillChartBars(*ekp, digits.mid(16, 8), digits.mid(24, 8));
}

TStringGrid* TResult_Form::PPPChart(int page) {
    Profil_PageControl->Page(page);
    return PPPCharts.value(page);
}

TStringGrid* TResult_Form::EKPChart(int page) {
    Profil_PageControl->Page(page);
    return EKPCharts.value(page);
}

void TResult_Form::CountBalances() {
    if (Main_DataModule->ListTest_Query->RecordCount() < kBalanceMinTests)
        return;
    // Each call ends on its own at a missing reference row; the next one still runs.
    CountDurMoll(*PPP_Grid, *PPP_FooterGrid, 4, this);
    CountDurMoll(*EKP_Grid, *EKP_FooterGrid, 4, this);
    CountSoz(*PPP_Grid, *PPP_FooterGrid, 6, this);
    CountSoz(*EKP_Grid, *EKP_FooterGrid, 6, this);
    CountSoz(*TKP_Grid, *TKP_FooterGrid, 4, this);
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

void ShowResults(int MenID, bool ListOpen, QWidget* parent) {
    Data::TQuery* query = Main_DataModule->ListTest_Query;
    // Closes the query that this call opened, also when loading fails.
    struct CloseOwnQuery {
        Data::TQuery* query;
        bool own;
        ~CloseOwnQuery() {
            if (own && query->Active())
                query->Close();
        }
    } closeOwnQuery{query, !ListOpen};
    if (!ListOpen) {
        query->Close();
        query->SetParam(QStringLiteral("Men_ID"), MenID);
        query->Open();
    }
    // The list that offered the command may be older than the tests: another copy of the program can
    // have deleted them since. A window of no tests would show zero indices and formulas as results.
    if (query->IsEmpty()) {
        Platform::messageBox(parent, QStringLiteral("У тестируемого нет тестирований."),
                             QStringLiteral("Информация"), Platform::MsgIcon::Information);
        return;
    }
    auto form = std::make_unique<TResult_Form>(parent);
    form->setWindowTitle(Data::TesteeCaption(form->windowTitle(), MenID));
    form->ShowTestee(MenID);
    form->LoadResults();
    form->PageControl1->setCurrentIndex(0);
    form->exec();
}
