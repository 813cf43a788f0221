// Answer-sheet window.
#include "testing/Blank_Frm.h"

#include "data/DataMod.h"
#include "data/Testee.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/Locale.h"
#include "scoring/Calc_Records.h"
#include "widgets/DateEdit.h"
#include "widgets/DialogLayout.h"
#include "widgets/RestoreEdits.h"
#include "widgets/StringGrid.h"
#include "widgets/TextLimit.h"

#include <QDateEdit>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocument>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <memory>

namespace {

// Answer sheet: the "Выбор" column, then 6 series x 4 slots; the headers take two rows, the passes
// are rows 2 and 3.
constexpr int kSheetCols = 1 + Calc::kPassLength;
constexpr int kSheetRows = 4;
constexpr int kFirstPassRow = 2;
constexpr int kSecondPassRow = 3;
// Profile grid: "Профили" and "Реакция", then the 8 factors; rows 2 to 5 are ППП +, ППП -, ЭКП +, ЭКП -.
constexpr int kProfilCols = 2 + Calc::kFactorCount;
constexpr int kProfilRows = 6;
constexpr int kProfilDataCol0 = 2;
constexpr int kProfilDataRow0 = 2;
constexpr int kHeaderWidth = 80;
constexpr int kSheetColWidth = 27;
constexpr int kProfilColWidth = 60;
constexpr int kRowHeight = 21;
// Lines of the note shown at once.
constexpr int kNoteLines = 3;
// Each row of the profile grid holds 12 choices: two per series.
constexpr int kChoicesPerRow = 2 * Calc::kSeriesCount;

const QColor kNavy(0, 0, 128);
const QString kCaption = QStringLiteral("Ввод с бланка");
const QString kSeriesNames[Calc::kSeriesCount] = {QStringLiteral("I серия"),   QStringLiteral("II серия"),
                                                  QStringLiteral("III серия"), QStringLiteral("IV серия"),
                                                  QStringLiteral("V серия"),   QStringLiteral("VI серия")};

// A plus position of a pass: slots 1 and 2 of every series.
bool isPlusColumn(int col) { return (col - 1) % Calc::kSlotsPerSeries < 2; }
int seriesOfColumn(int col) { return (col - 1) / Calc::kSlotsPerSeries; }

void setupGrid(Widgets::TStringGrid* grid, int cols, int rows, int fixedCols, int fixedRows) {
    grid->SetColCount(cols);
    grid->SetRowCount(rows);
    grid->SetFixedCols(fixedCols);
    grid->SetFixedRows(fixedRows);
    grid->SetDefaultRowHeight(kRowHeight);
    QFont fixed = grid->font();
    fixed.setBold(true);
    grid->FixedFont = fixed;
    grid->FixedFontColor = kNavy;
    grid->SelectedFont = fixed;
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

// Takes a typed character when it is a digit of [low, high]: the cell gets it and the cursor moves on
// (to `firstCol` of the next row after the last column; it stays in the very last cell).
bool typeDigit(Widgets::TStringGrid* grid, QKeyEvent* event, QChar low, QChar high, int firstCol) {
    if (event->key() == Qt::Key_Backspace) {
        grid->SetCell(grid->Col(), grid->Row(), QString());
        return true;
    }
    const QString text = event->text();
    // Keys without a printable character (arrows, Tab, Enter, Escape) keep their usual meaning.
    if (text.size() != 1 || !text[0].isPrint())
        return false;
    const QChar ch = text[0];
    if (ch < low || ch > high)
        return true;
    grid->SetCell(grid->Col(), grid->Row(), QString(ch));
    if (grid->Col() < grid->ColCount() - 1)
        grid->SetCurrent(grid->Col() + 1, grid->Row());
    else if (grid->Row() < grid->RowCount() - 1)
        grid->SetCurrent(firstCol, grid->Row() + 1);
    return true;
}

} // namespace

TBlank_Form::TBlank_Form(QWidget* parent) : QDialog(parent) {
    setWindowTitle(kCaption);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    createWidgets();
    createLayout();
    createConnections();
}

void TBlank_Form::createWidgets() {
    QFont bold = font();
    bold.setBold(true);

    Info_GroupBox = new QGroupBox(QStringLiteral("Информация о тестировании"), this);
    DateTest_Edit = new Widgets::TDateEdit(Info_GroupBox);
    DateTest_Edit->setObjectName(QStringLiteral("DateTest_Edit"));
    DateTest_Edit->setCalendarPopup(true);
    DateTest_Edit->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    TimeTest_Edit = new QTimeEdit(Info_GroupBox);
    TimeTest_Edit->setObjectName(QStringLiteral("TimeTest_Edit"));
    TimeTest_Edit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    NoteTest_Edit = new QPlainTextEdit(Info_GroupBox);
    NoteTest_Edit->setObjectName(QStringLiteral("NoteTest_Edit"));
    NoteTest_Edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    NoteTest_Edit->setTabChangesFocus(true);

    Grid_Panel = new QFrame(this);
    Grid_Panel->setFrameShape(QFrame::StyledPanel);
    Grid_Panel->setFrameShadow(QFrame::Raised);
    Blank_RB = new QRadioButton(QStringLiteral("Ввод данных с бланка"), Grid_Panel);
    Blank_RB->setObjectName(QStringLiteral("Blank_RB"));
    Blank_RB->setFont(bold);
    Blank_RB->setChecked(true);
    Profil_RB = new QRadioButton(QStringLiteral("Ввод профиля"), Grid_Panel);
    Profil_RB->setObjectName(QStringLiteral("Profil_RB"));
    Profil_RB->setFont(bold);

    Bl_Grid = new Widgets::TStringGrid(Grid_Panel);
    Bl_Grid->setObjectName(QStringLiteral("Bl_Grid"));
    setupGrid(Bl_Grid, kSheetCols, kSheetRows, 1, 2);
    Bl_Grid->SetDefaultColWidth(kSheetColWidth);
    Bl_Grid->SetColWidth(0, kHeaderWidth);
    Bl_Grid->SetCurrent(1, kFirstPassRow);

    Pr_Grid = new Widgets::TStringGrid(Grid_Panel);
    Pr_Grid->setObjectName(QStringLiteral("Pr_Grid"));
    setupGrid(Pr_Grid, kProfilCols, kProfilRows, 2, 2);
    Pr_Grid->SetDefaultColWidth(kProfilColWidth);
    Pr_Grid->SetColWidth(0, kHeaderWidth);
    Pr_Grid->SetColWidth(1, kHeaderWidth);
    Pr_Grid->SetCurrent(kProfilDataCol0, kProfilDataRow0);

    Ok_But = new QPushButton(QStringLiteral("OK"), this);
    Ok_But->setObjectName(QStringLiteral("Ok_But"));
    Ok_But->setDefault(true);
    Cancel_But = new QPushButton(QStringLiteral("Отмена"), this);
    Cancel_But->setObjectName(QStringLiteral("Cancel_But"));
    for (QPushButton* b : {Ok_But, Cancel_But}) {
        b->setFont(bold);
        b->setAutoDefault(false);
    }
    Ok_But->setDefault(true);
    Restore_But = new Widgets::TRestoreEdits_But(this);
}

void TBlank_Form::createLayout() {
    // Date, time and note side by side, each under its label; the note three lines high.
    auto* info = new QGridLayout(Info_GroupBox);
    const auto labelled = [&](const QString& text, QWidget* field, int col) {
        auto* label = new QLabel(text, Info_GroupBox);
        label->setBuddy(field);
        info->addWidget(label, 0, col);
        info->addWidget(field, 1, col, Qt::AlignTop);
    };
    labelled(QStringLiteral("Дата тестирования"), DateTest_Edit, 0);
    labelled(QStringLiteral("Время тестирования"), TimeTest_Edit, 1);
    labelled(QStringLiteral("Примечание"), NoteTest_Edit, 2);
    info->setColumnStretch(2, 1);
    NoteTest_Edit->setFixedHeight(
        kNoteLines * NoteTest_Edit->fontMetrics().lineSpacing() +
        2 * (NoteTest_Edit->frameWidth() + qRound(NoteTest_Edit->document()->documentMargin())));

    // The grids as large as their cells, each under its radio button.
    auto* panel = new QVBoxLayout(Grid_Panel);
    for (QWidget* w : std::initializer_list<QWidget*>{Blank_RB, Bl_Grid, Profil_RB, Pr_Grid}) {
        w->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        panel->addWidget(w, 0, Qt::AlignLeft);
    }
    panel->insertSpacing(2, panel->spacing());

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(Ok_But, QDialogButtonBox::AcceptRole);
    buttons->addButton(Cancel_But, QDialogButtonBox::RejectRole);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Info_GroupBox);
    layout->addWidget(Grid_Panel);
    layout->addStretch();
    layout->addWidget(Restore_But, 0, Qt::AlignLeft);
    layout->addWidget(buttons);
    Widgets::OpenAt(this, sizeHint());
}

void TBlank_Form::createConnections() {
    Bl_Grid->GetAlignment = [this](int col, int row) { return Bl_GridGetAlignment(col, row); };
    Pr_Grid->GetAlignment = [this](int col, int row) { return Pr_GridGetAlignment(col, row); };
    Bl_Grid->OnKeyPress = [this](QKeyEvent* event) { return Bl_GridKeyPress(event); };
    Pr_Grid->OnKeyPress = [this](QKeyEvent* event) { return Pr_GridKeyPress(event); };
    connect(Blank_RB, &QRadioButton::clicked, this, &TBlank_Form::Blank_RBClick);
    connect(Profil_RB, &QRadioButton::clicked, this, &TBlank_Form::Blank_RBClick);
    connect(Ok_But, &QPushButton::clicked, this, [this] { Platform::guarded([this] { Ok_ButClick(); }); });
    connect(Cancel_But, &QPushButton::clicked, this, &TBlank_Form::Cancel_ButClick);
    Widgets::LimitChars(NoteTest_Edit, kMaxNoteLength);

    // The fields a refused save keeps: a grid as its cells, separated by commas.
    const auto cells = [](Widgets::TStringGrid* grid, int col0, int row0) {
        return std::make_pair(
            [=] {
                QStringList texts;
                for (int r = row0; r < grid->RowCount(); ++r)
                    for (int c = col0; c < grid->ColCount(); ++c)
                        texts << grid->Cell(c, r);
                return texts.join(QLatin1Char(','));
            },
            [=](const QString& joined) {
                const QStringList texts = joined.split(QLatin1Char(','));
                int i = 0;
                for (int r = row0; r < grid->RowCount(); ++r)
                    for (int c = col0; c < grid->ColCount(); ++c)
                        grid->SetCell(c, r, texts.value(i++));
            });
    };
    Restore_But->AddField(
        QStringLiteral("Дата тестирования"), [this] { return Platform::DateToIso(DateTest_Edit->date()); },
        [this](const QString& v) { DateTest_Edit->setDate(Platform::IsoToDate(v)); });
    Restore_But->AddField(
        QStringLiteral("Время тестирования"), [this] { return Platform::TimeToIso(TimeTest_Edit->time()); },
        [this](const QString& v) { TimeTest_Edit->setTime(Platform::IsoToTime(v)); });
    Restore_But->AddField(
        QStringLiteral("Примечание"), [this] { return NoteTest_Edit->toPlainText(); },
        [this](const QString& v) { NoteTest_Edit->setPlainText(v); });
    const auto sheet = cells(Bl_Grid, 1, kFirstPassRow);
    Restore_But->AddField(QStringLiteral("Бланк"), sheet.first, sheet.second, false);
    const auto profile = cells(Pr_Grid, kProfilDataCol0, kProfilDataRow0);
    Restore_But->AddField(QStringLiteral("Профиль"), profile.first, profile.second, false);
}

void TBlank_Form::InitGrids() {
    Bl_Grid->ClearMerges();
    Bl_Grid->Merge(0, 0, 0, 1);
    Bl_Grid->SetCell(0, 0, QStringLiteral("Выбор"));
    for (int k = 1; k <= Calc::kSeriesCount; ++k) {
        Bl_Grid->Merge(4 * k - 3, 0, 4 * k, 0);
        Bl_Grid->SetCell(4 * k - 3, 0, kSeriesNames[k - 1]);
    }
    for (int c = 1; c < kSheetCols; ++c)
        Bl_Grid->SetCell(c, 1, isPlusColumn(c) ? QStringLiteral("+") : QStringLiteral("-"));
    Bl_Grid->SetCell(0, kFirstPassRow, QStringLiteral("Первый"));
    Bl_Grid->SetCell(0, kSecondPassRow, QStringLiteral("Второй"));

    Pr_Grid->ClearMerges();
    Pr_Grid->Merge(0, 0, 0, 1);
    Pr_Grid->SetCell(0, 0, QStringLiteral("Профили"));
    Pr_Grid->Merge(1, 0, 1, 1);
    Pr_Grid->SetCell(1, 0, QStringLiteral("Реакция"));
    for (int v = 1; v <= 4; ++v) {
        Pr_Grid->Merge(2 * v, 0, 2 * v + 1, 0);
        Pr_Grid->SetCell(2 * v, 0, Calc::VectorNames[v - 1]);
    }
    for (int c = kProfilDataCol0; c < kProfilCols; ++c)
        Pr_Grid->SetCell(c, 1, Calc::FactorNames[c - kProfilDataCol0]);
    Pr_Grid->Merge(0, 2, 0, 3);
    Pr_Grid->SetCell(0, 2, QStringLiteral("ППП"));
    Pr_Grid->Merge(0, 4, 0, 5);
    Pr_Grid->SetCell(0, 4, QStringLiteral("ЭКП"));
    for (int r = kProfilDataRow0; r < kProfilRows; ++r)
        Pr_Grid->SetCell(1, r, r % 2 == 0 ? QStringLiteral("+") : QStringLiteral("-"));
}

void TBlank_Form::LoadRecord() {
    if (!EditMode) {
        DateTest_Edit->setDate(QDate::currentDate());
        const QTime now = QTime::currentTime();
        TimeTest_Edit->setTime(QTime(now.hour(), now.minute(), now.second()));
        Blank_RB->setChecked(true);
        Blank_RBClick();
        return;
    }
    DateTest_Edit->setDate(Record.date);
    TimeTest_Edit->setTime(Record.time);
    NoteTest_Edit->setPlainText(Record.note);
    const QString& resultTest = Record.resultTest;
    const QString& resultProfil = Record.resultProfil;
    if (!resultTest.isEmpty()) {
        for (int i = 0; i < std::min<int>(resultTest.size(), Calc::kResultTestLength); ++i)
            Bl_Grid->SetCell(1 + i % Calc::kPassLength, kFirstPassRow + i / Calc::kPassLength,
                             resultTest.mid(i, 1));
        Blank_RB->setChecked(true);
        Blank_RBClick();
        Profil_RB->setEnabled(false);
    } else if (!resultProfil.isEmpty()) {
        for (int i = 0; i < std::min<int>(resultProfil.size(), Calc::kResultProfilLength); ++i)
            Pr_Grid->SetCell(kProfilDataCol0 + i % Calc::kFactorCount,
                             kProfilDataRow0 + i / Calc::kFactorCount, resultProfil.mid(i, 1));
        Profil_RB->setChecked(true);
        Blank_RBClick();
        Blank_RB->setEnabled(false);
    } else {
        // A record without choices or counts can be filled either way.
        Blank_RB->setChecked(true);
        Blank_RBClick();
    }
    Restore_But->NoteLoaded();
}

void TBlank_Form::Blank_RBClick() {
    const bool blank = Blank_RB->isChecked();
    Profil_RB->setChecked(!blank);
    const QColor window = palette().color(QPalette::Base);
    const QColor face = palette().color(QPalette::Button);
    Bl_Grid->setEnabled(blank);
    Bl_Grid->Color = blank ? window : face;
    // Only the grid in use marks its current cell.
    Bl_Grid->ShowSelection = blank;
    Pr_Grid->ShowSelection = !blank;
    Pr_Grid->setEnabled(!blank);
    Pr_Grid->Color = blank ? face : window;
    Bl_Grid->viewport()->update();
    Pr_Grid->viewport()->update();
}

bool TBlank_Form::Bl_GridKeyPress(QKeyEvent* event) { return typeDigit(Bl_Grid, event, u'1', u'8', 1); }

bool TBlank_Form::Pr_GridKeyPress(QKeyEvent* event) {
    return typeDigit(Pr_Grid, event, u'0', u'6', kProfilDataCol0);
}

Qt::Alignment TBlank_Form::Bl_GridGetAlignment(int col, int row) const {
    if (col == 0 || row == 0)
        return Qt::AlignLeft | Qt::AlignVCenter;
    return Qt::AlignCenter;
}

Qt::Alignment TBlank_Form::Pr_GridGetAlignment(int col, int) const {
    return col >= kProfilDataCol0 ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter;
}

QString TBlank_Form::SheetResultTest() const {
    QString result;
    for (int row : {kFirstPassRow, kSecondPassRow})
        for (int c = 1; c < kSheetCols; ++c)
            result += Bl_Grid->Cell(c, row);
    return result;
}

QString TBlank_Form::GridResultProfil() const {
    QString result;
    for (int r = kProfilDataRow0; r < kProfilRows; ++r)
        for (int c = kProfilDataCol0; c < kProfilCols; ++c)
            result += Pr_Grid->Cell(c, r);
    return result;
}

void TBlank_Form::Refuse(Widgets::TStringGrid* grid, int col, int row, const QString& text) {
    Platform::messageBox(this, text, kCaption, Platform::MsgIcon::Information);
    grid->SetCurrent(col, row);
    grid->setFocus();
}

bool TBlank_Form::CheckSheet() {
    for (int row : {kFirstPassRow, kSecondPassRow}) {
        const QString pass = row == kFirstPassRow ? QStringLiteral("первый") : QStringLiteral("второй");
        for (int c = 1; c < kSheetCols; ++c) {
            const QString series = kSeriesNames[seriesOfColumn(c)];
            const QString cell = Bl_Grid->Cell(c, row);
            if (cell.size() != 1 || cell[0] < u'1' || cell[0] > u'8') {
                Refuse(Bl_Grid, c, row,
                       QStringLiteral("Бланк заполнен не полностью: %1, %2 выбор.").arg(series, pass));
                return false;
            }
            const int groupStart = 1 + seriesOfColumn(c) * Calc::kSlotsPerSeries;
            for (int other = groupStart; other < c; ++other)
                if (Bl_Grid->Cell(other, row) == cell) {
                    Refuse(Bl_Grid, c, row,
                           QStringLiteral("Портрет %1 выбран дважды: %2, %3 выбор.").arg(cell, series, pass));
                    return false;
                }
            if (row == kSecondPassRow)
                for (int other = groupStart; other < groupStart + Calc::kSlotsPerSeries; ++other)
                    if (Bl_Grid->Cell(other, kFirstPassRow) == cell) {
                        Refuse(Bl_Grid, c, row,
                               QStringLiteral("Портрет %1 во втором выборе уже выбран в первом: %2.")
                                   .arg(cell, series));
                        return false;
                    }
        }
    }
    return true;
}

bool TBlank_Form::CheckProfile() {
    for (int r = kProfilDataRow0; r < kProfilRows; ++r) {
        const QString profile = r < 4 ? QStringLiteral("ППП") : QStringLiteral("ЭКП");
        const QString sign = r % 2 == 0 ? QStringLiteral("+") : QStringLiteral("-");
        int sum = 0;
        for (int c = kProfilDataCol0; c < kProfilCols; ++c) {
            const QString cell = Pr_Grid->Cell(c, r);
            if (cell.size() != 1 || cell[0] < u'0' || cell[0] > u'6') {
                Refuse(Pr_Grid, c, r,
                       QStringLiteral("Профиль заполнен не полностью: %1, строка «%2».").arg(profile, sign));
                return false;
            }
            sum += cell[0].digitValue();
        }
        if (sum != kChoicesPerRow) {
            Refuse(Pr_Grid, kProfilDataCol0, r,
                   QStringLiteral("Сумма выборов %1, строка «%2», равна %3, а должна быть %4.")
                       .arg(profile, sign)
                       .arg(sum)
                       .arg(kChoicesPerRow));
            return false;
        }
    }
    return true;
}

void TBlank_Form::Ok_ButClick() {
    const bool blank = Blank_RB->isChecked();
    if (blank ? !CheckSheet() : !CheckProfile())
        return;
    Data::Repository& repo = Main_DataModule->Repo();
    const Calc::TSymbols& symbols = repo.references().symbols;
    Data::TestRecord record =
        Calc::WithScores(Record, blank ? Calc::ComposeRecord(SheetResultTest(), symbols)
                                       : Calc::ComposeProfileRecord(GridResultProfil(), symbols));
    record.date = DateTest_Edit->date();
    record.time = TimeTest_Edit->time();
    record.note = NoteTest_Edit->toPlainText();
    if (const QString problem = Widgets::TypedTextProblem(record.note, QStringLiteral("Примечание"), true);
        !problem.isEmpty()) {
        Platform::messageBox(this, problem, QStringLiteral("Информация"), Platform::MsgIcon::Information);
        NoteTest_Edit->setFocus();
        return;
    }
    if (EditMode) {
        try {
            repo.updateTest(record);
        } catch (const Data::ERecordChanged& e) {
            // Changed on another workstation: show the record as it is stored now, so the user sees
            // what he would overwrite and can save again. A deleted record cannot be saved at all.
            Platform::messageBox(this, e.message(), QStringLiteral("Ошибка"), Platform::MsgIcon::Error);
            const std::optional<Data::TestRecord> stored = repo.test(Record.id);
            if (!stored) {
                reject();
                return;
            }
            Record = *stored;
            Restore_But->KeepChanges();
            Blank_RB->setEnabled(true);
            Profil_RB->setEnabled(true);
            InitGrids();
            LoadRecord();
            Restore_But->Offer();
            return;
        }
    } else {
        repo.insertTest(record);
    }
    accept();
}

void TBlank_Form::Cancel_ButClick() { reject(); }

void TBlank_Form::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Typing starts in the grid of the current mode, without a click.
    (Blank_RB->isChecked() ? Bl_Grid : Pr_Grid)->setFocus();
}

bool EditBlank(const Data::Testee& testee, const Data::TestRecord* record, QWidget* parent) {
    auto form = std::make_unique<TBlank_Form>(parent);
    form->EditMode = record != nullptr;
    form->MenID = testee.id;
    form->Record = record ? *record : Data::NewTestRecord(testee.dbId, testee.id);
    // A stored record is corrected, not entered anew.
    form->setWindowTitle(
        Data::TesteeCaption(record ? QStringLiteral("Изменение записи тестирования") : kCaption, testee));
    form->InitGrids();
    form->LoadRecord();
    return form->exec() == QDialog::Accepted;
}
