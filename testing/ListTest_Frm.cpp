// Test list window.
#include "testing/ListTest_Frm.h"

#include "data/DataMod.h"
#include "data/Testee.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/Locale.h"
#include "platform/SysColors.h"
#include "results/Graph_Frm.h"
#include "results/Result_Frm.h"
#include "testing/Blank_Frm.h"
#include "testing/Instr_Frm.h"
#include "testing/Test_Frm.h"
#include "widgets/DBGrid.h"
#include "widgets/DialogLayout.h"
#include "widgets/LiveList.h"

#include <QBoxLayout>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QPushButton>
#include <QScopeGuard>

#include <algorithm>
#include <memory>

namespace {

const QSize kOpeningSize(720, 330);
// Rows tall enough for two lines of the note.
constexpr int kNoteLines = 2;

const QColor kLightYellow(255, 255, 225);
const QColor kNavy(0, 0, 128);

} // namespace

TListTest_Form::TListTest_Form(QWidget* parent)
    : QDialog(parent), m_tests(new Data::TValueSet({QStringLiteral("Test_ID"), QStringLiteral("Date_Test"),
                                                    QStringLiteral("Time_Test"), QStringLiteral("Note"),
                                                    QStringLiteral("Numb")},
                                                   this)) {
    setWindowTitle(QStringLiteral("Список тестирований"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    createWidgets();
    createConnections();
    ListTest_DataSourceDataChange();
}

TListTest_Form::~TListTest_Form() = default;

void TListTest_Form::createWidgets() {
    using Widgets::TColumn;
    QFont title = font();
    title.setBold(true);
    // The date and time columns are as wide as their bold titles.
    const QFontMetrics titleMetrics(title);
    const auto titleWidth = [&](const QString& text) { return titleMetrics.horizontalAdvance(text) + 16; };
    const QString dateTitle = QStringLiteral("Дата тестирования");
    const QString timeTitle = QStringLiteral("Время тестирования");
    const QList<TColumn> columns = {
        TColumn{QStringLiteral("Numb"), QStringLiteral("№"), 36, Qt::AlignCenter, true},
        TColumn{QStringLiteral("Date_Test"), dateTitle, titleWidth(dateTitle), Qt::AlignCenter, true,
                TColumn::Kind::Date},
        TColumn{QStringLiteral("Time_Test"), timeTitle, titleWidth(timeTitle), Qt::AlignCenter, true,
                TColumn::Kind::Time},
        TColumn{QStringLiteral("Note"), QStringLiteral("Примечание"), 150, Qt::AlignLeft | Qt::AlignVCenter,
                false, TColumn::Kind::Text, true},
    };
    Tests_Grid = new Widgets::TDBGrid(tests(), columns, this);
    Tests_Grid->setObjectName(QStringLiteral("Tests_Grid"));
    Tests_Grid->horizontalHeader()->setStretchLastSection(true);
    Tests_Grid->setWordWrap(true);
    Tests_Grid->setTextElideMode(Qt::ElideRight);
    Tests_Grid->verticalHeader()->setDefaultSectionSize(kNoteLines * Tests_Grid->fontMetrics().lineSpacing() +
                                                        6);
    QPalette pal = Tests_Grid->palette();
    pal.setColor(QPalette::Base, kLightYellow);
    Tests_Grid->setPalette(pal);
    Tests_Grid->Model()->titleFont = title;
    Tests_Grid->Model()->titleColor = kNavy;

    // The list takes the room; the buttons stand in a column at its right, "Закрыть" at the bottom.
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(Tests_Grid, 1);
    auto* column = new QVBoxLayout;
    layout->addLayout(column);
    auto button = [&](const QString& text, const char* name) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        QFont bold = b->font();
        bold.setBold(true);
        b->setFont(bold);
        b->setAutoDefault(false);
        column->addWidget(b);
        return b;
    };
    Test_But = button(QStringLiteral("Тестирование..."), "Test_But");
    AddBlank_But = button(QStringLiteral("Ввод с бланка..."), "AddBlank_But");
    EditBlank_But = button(QStringLiteral("Изменить..."), "EditBlank_But");
    DelTest_But = button(QStringLiteral("Удалить"), "DelTest_But");
    column->addSpacing(column->spacing());
    Result_But = button(QStringLiteral("Результаты..."), "Result_But");
    Graph_But = button(QStringLiteral("График..."), "Graph_But");
    // It cancels nothing: the window's changes are stored as they are made.
    column->addStretch();
    Cancel_But = button(QStringLiteral("Закрыть"), "Cancel_But");
    Cancel_But->setDefault(true);
    Widgets::RememberSize(this, QStringLiteral("TestList"), kOpeningSize);

    m_recordButtons = {EditBlank_But, DelTest_But, Result_But, Graph_But};
    for (QPushButton* b : m_recordButtons)
        b->setEnabled(false);
}

void TListTest_Form::createConnections() {
    auto wire = [this](QPushButton* b, void (TListTest_Form::*slot)()) {
        connect(b, &QPushButton::clicked, this,
                [this, slot] { Platform::guarded([this, slot] { (this->*slot)(); }); });
    };
    wire(Test_But, &TListTest_Form::Test_ButClick);
    wire(AddBlank_But, &TListTest_Form::AddBlank_ButClick);
    wire(EditBlank_But, &TListTest_Form::EditBlank_ButClick);
    wire(DelTest_But, &TListTest_Form::DelTest_ButClick);
    wire(Result_But, &TListTest_Form::Result_ButClick);
    wire(Graph_But, &TListTest_Form::WatchBlank_ButClick);
    wire(Cancel_But, &TListTest_Form::Cancel_ButClick);
    connect(Tests_Grid, &Widgets::TDBGrid::RowDoubleClicked, this,
            [this] { Platform::guarded([this] { Tests_GridDblClick(); }); });
    // Records added or deleted on other workstations show up; the selection stays on its record.
    auto* live = new Widgets::TLiveList(this, {QStringLiteral("TEST")}, [this] {
        const QVariant id = tests()->Active() && !tests()->IsEmpty()
                                ? tests()->FieldByName(QStringLiteral("Test_ID")).Value()
                                : QVariant();
        RefreshList();
        if (id.isValid())
            tests()->Locate(QStringLiteral("Test_ID"), id);
    });
    Tests_Grid->setContextMenuPolicy(Qt::ActionsContextMenu);
    Tests_Grid->addAction(live->RefreshAction());
    connect(tests(), &Data::TDataset::DataChange, this, &TListTest_Form::ListTest_DataSourceDataChange);
    connect(tests(), &Data::TDataset::DataReset, this, &TListTest_Form::ListTest_DataSourceDataChange);
    // A click below the rows clears the highlight: the record buttons then have nothing to act on.
    connect(Tests_Grid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TListTest_Form::ListTest_DataSourceDataChange);
}

bool TListTest_Form::HasRecords() const {
    // A record to act on: the list holds one and its row is the highlighted one.
    return tests()->Active() && !tests()->IsEmpty() && Tests_Grid->selectionModel()->hasSelection();
}

void TListTest_Form::RefreshList() {
    Records = Main_DataModule->Repo().testsOf(MenID);
    std::reverse(Records.begin(), Records.end());
    QVector<QVector<QVariant>> rows;
    int n = static_cast<int>(Records.size());
    for (const Data::TestRecord& r : std::as_const(Records))
        rows.append({r.id, Platform::DateToIso(r.date), Platform::TimeToIso(r.time), r.note, n--});
    m_tests->SetRows(std::move(rows));
}

const Data::TestRecord* TListTest_Form::CurrentRecord() const {
    const int row = m_tests->CurrentRow();
    return row >= 0 && row < Records.size() ? &Records[row] : nullptr;
}

void TListTest_Form::Test_ButClick() {
    // Escape or the close button on the instruction go back to the list.
    if (!ShowInstruction(kFirstInstruction, this))
        return;
    RunTest(Testee, this);
    RefreshList();
}

void TListTest_Form::AddBlank_ButClick() {
    if (EditBlank(Testee, nullptr, this))
        RefreshList();
}

void TListTest_Form::EditBlank_ButClick() {
    if (!HasRecords())
        return;
    const int testId = CurrentRecord()->id;
    if (EditBlank(Testee, CurrentRecord(), this)) {
        RefreshList();
        tests()->Locate(QStringLiteral("Test_ID"), testId);
    }
}

void TListTest_Form::DelTest_ButClick() {
    if (!HasRecords())
        return;
    Data::TValueSet* q = tests();
    const QString date = Platform::DateToStr(CurrentRecord()->date);
    if (Platform::messageBox(this, QStringLiteral("Удалить результаты тестирования от %1?").arg(date),
                             QStringLiteral("Подтверждение удаления"), Platform::MsgIcon::Question,
                             Platform::MsgButtons::YesNo,
                             Platform::MsgAnswer::No) != Platform::MsgAnswer::Yes)
        return;
    const int recNo = q->RecNo();
    Main_DataModule->Repo().deleteTest(CurrentRecord()->id);
    RefreshList();
    // The cursor stays where it was: on the next older test, or on the last row when the oldest went.
    if (!q->IsEmpty())
        q->SetRecNo(std::min(recNo, q->RecordCount()));
}

void TListTest_Form::Result_ButClick() {
    if (!HasRecords())
        return;
    const Data::Repository& repo = Main_DataModule->Repo();
    ShowResults(repo.testee(MenID).value_or(Data::Testee{}), repo.testsOf(MenID), this);
}

void TListTest_Form::WatchBlank_ButClick() {
    if (!HasRecords())
        return;
    const Data::Repository& repo = Main_DataModule->Repo();
    const int testId = CurrentRecord()->id;
    // The record as stored now, numbered among the testee's tests; one deleted meanwhile shows nothing.
    const QVector<Data::TestRecord> records = repo.testsOf(MenID);
    for (int i = 0; i < records.size(); ++i)
        if (records[i].id == testId)
            ShowCharts(repo.testee(MenID).value_or(Data::Testee{}), records[i], i + 1, this);
}

void TListTest_Form::Tests_GridDblClick() {
    if (HasRecords())
        Result_ButClick();
}

void TListTest_Form::Cancel_ButClick() { reject(); }

void TListTest_Form::ListTest_DataSourceDataChange() {
    const bool any = HasRecords();
    for (QPushButton* b : m_recordButtons)
        b->setEnabled(any);
    // A data folder that cannot be written is only viewed: results, yes; new or changed records, no.
    if (Main_DataModule->ReadOnly())
        for (QPushButton* b : {Test_But, AddBlank_But, EditBlank_But, DelTest_But})
            b->setEnabled(false);
}

void ShowTestList(const Data::Testee& testee, QWidget* parent) {
    auto form = std::make_unique<TListTest_Form>(parent);
    form->Testee = testee;
    form->MenID = testee.id;
    form->setWindowTitle(Data::TesteeCaption(form->windowTitle(), testee));
    form->RefreshList();
    form->exec();
}
