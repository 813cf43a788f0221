// Test window.
#include "testing/Test_Frm.h"

#include "data/DataMod.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/JpegLoader.h"
#include "platform/ProgramDir.h"
#include "scoring/Calc_Records.h"
#include "testing/Instr_Frm.h"
#include "testing/RunRecord.h"

#include <QDate>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTime>

#include <memory>

namespace {

constexpr int kClientWidth = 746;
constexpr int kClientHeight = 659;
constexpr int kPanelWidth = 180;
constexpr int kPanelHeight = 266;
constexpr int kPanelLeft[4] = {8, 192, 376, 560};
constexpr int kPanelTop[2] = {48, 320};
// Where a picture sits inside its panel: 162 x 246 fills the panel with an even margin.
constexpr int kImageLeft = 9;
constexpr int kImageTop = 10;
constexpr int kButtonWidth = 123;
constexpr int kButtonHeight = 30;
constexpr int kBevelTop = 597;
constexpr int kButtonTop = 613;
constexpr int kPanelBevel = 2;
// The key number over a picture: a square this big, this far inside the picture's corner.
constexpr int kKeySize = 24;
constexpr int kKeyInset = 4;

const QColor kNavy(0, 0, 128);

const QColor kSympatheticColor = Qt::red;
const QColor kUnpleasantColor = Qt::blue;

const QString kPromptSympathetic =
    QStringLiteral("Выберите два портрета, которые кажутся Вам наиболее симпатичными");
const QString kPromptUnpleasant =
    QStringLiteral("Выберите два портрета, которые кажутся Вам наиболее неприятными");
const QString kFinished = QStringLiteral("Тестирование закончено!");
const QString kAbortQuestion = QStringLiteral("Прервать тестирование? Ответы не будут сохранены.");

} // namespace

TTest_Form::TTest_Form(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Тестирование"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    Board = new QWidget(this);
    Board->setObjectName(QStringLiteral("Board"));
    Board->setFixedSize(kClientWidth, kClientHeight);
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Board, 0, 0, Qt::AlignCenter);

    Comment_Label = new QLabel(Board);
    Comment_Label->setObjectName(QStringLiteral("Comment_Label"));
    Comment_Label->setGeometry(8, 6, kClientWidth - 16, 38);
    Comment_Label->setWordWrap(true);
    Comment_Label->setAlignment(Qt::AlignCenter);
    QFont prompt(QStringLiteral("Times New Roman"));
    prompt.setPointSize(14);
    prompt.setBold(true);
    Comment_Label->setFont(prompt);
    QPalette navy = Comment_Label->palette();
    navy.setColor(QPalette::WindowText, kNavy);
    Comment_Label->setPalette(navy);

    // Created in the order Panel1, Image1, Panel2, Image2, ... so every scan meets the portraits in
    // ascending number.
    QFont keyFont = font();
    keyFont.setBold(true);
    keyFont.setPointSize(11);
    for (int i = 0; i < Calc::kPortraitsPerSeries; ++i) {
        const QString n = QString::number(i + 1);
        auto* panel = new QFrame(Board);
        panel->setObjectName(QStringLiteral("Panel") + n);
        panel->setGeometry(kPanelLeft[i % 4], kPanelTop[i / 4], kPanelWidth, kPanelHeight);
        panel->setFrameShape(QFrame::Panel);
        panel->setLineWidth(kPanelBevel);
        panel->setAutoFillBackground(true);
        panel->setCursor(Qt::PointingHandCursor);
        panel->installEventFilter(this);
        auto* image = new QLabel(panel);
        image->setObjectName(QStringLiteral("Image") + n);
        image->move(kImageLeft, kImageTop);
        image->installEventFilter(this);
        // The key's number over the picture's corner; a click on it is a click on the picture.
        auto* key = new QLabel(n, panel);
        key->setObjectName(QStringLiteral("Key") + n);
        key->setGeometry(kImageLeft + kKeyInset, kImageTop + kKeyInset, kKeySize, kKeySize);
        key->setAlignment(Qt::AlignCenter);
        key->setFont(keyFont);
        key->setFrameShape(QFrame::Box);
        key->setAutoFillBackground(true);
        QPalette keyColors = key->palette();
        keyColors.setColor(QPalette::Window, Qt::white);
        keyColors.setColor(QPalette::WindowText, kNavy);
        key->setPalette(keyColors);
        key->setAttribute(Qt::WA_TransparentForMouseEvents);
        Panels[i] = panel;
        Images[i] = image;
        KeyLabels[i] = key;
        ResetPanel(panel);
    }

    Bevel = new QFrame(Board);
    Bevel->setFrameShape(QFrame::HLine);
    Bevel->setFrameShadow(QFrame::Sunken);
    Bevel->setGeometry(8, kBevelTop, kClientWidth - 16, 4);

    Abort_But = new QPushButton(QStringLiteral("Прервать"), Board);
    Abort_But->setObjectName(QStringLiteral("Abort_But"));
    Abort_But->setToolTip(QStringLiteral("Прервать тестирование без сохранения ответов"));
    Abort_But->setGeometry(8, kButtonTop, kButtonWidth, kButtonHeight);
    Series_Label = new QLabel(Board);
    Series_Label->setObjectName(QStringLiteral("Series_Label"));
    // Between "Прервать" and "Назад".
    const int prevLeft = kClientWidth - 16 - 2 * kButtonWidth;
    Series_Label->setGeometry(16 + kButtonWidth, kButtonTop, prevLeft - 24 - kButtonWidth, kButtonHeight);
    Series_Label->setAlignment(Qt::AlignCenter);
    Series_Label->setFont(keyFont);
    Series_Label->setPalette(navy);
    Prev_But = new QPushButton(QStringLiteral("Назад"), Board);
    Prev_But->setObjectName(QStringLiteral("Prev_But"));
    Next_But = new QPushButton(QStringLiteral("Далее"), Board);
    Next_But->setObjectName(QStringLiteral("Next_But"));
    Prev_But->setGeometry(prevLeft, kButtonTop, kButtonWidth, kButtonHeight);
    Next_But->setGeometry(kClientWidth - 8 - kButtonWidth, kButtonTop, kButtonWidth, kButtonHeight);
    for (QPushButton* b : {Abort_But, Prev_But, Next_But}) {
        QFont bold = b->font();
        bold.setBold(true);
        b->setFont(bold);
        // The window takes every key itself (digits, Enter, Backspace, Escape).
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoDefault(false);
    }
    Prev_But->setEnabled(false);
    Next_But->setEnabled(false);
    setFocusPolicy(Qt::StrongFocus);

    connect(Next_But, &QPushButton::clicked, this,
            [this] { Platform::guarded([this] { Next_ButClick(); }); });
    connect(Prev_But, &QPushButton::clicked, this,
            [this] { Platform::guarded([this] { Prev_ButClick(); }); });
    connect(Abort_But, &QPushButton::clicked, this, &TTest_Form::reject);
}

QChar TTest_Form::PortraitDigit(const QObject* component) { return component->objectName().back(); }

bool TTest_Form::IsSelected(const QFrame* panel) const { return panel->frameShadow() == QFrame::Sunken; }

void TTest_Form::SetSelected(QFrame* panel, bool selected) {
    panel->setFrameShadow(selected ? QFrame::Sunken : QFrame::Raised);
    const QColor color =
        selected ? (CurSign == 1 ? kSympatheticColor : kUnpleasantColor) : palette().color(QPalette::Button);
    // A palette change reaches every child; most panels keep their colour from screen to screen.
    if (panel->palette().color(QPalette::Window) == color)
        return;
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, color);
    panel->setPalette(pal);
}

void TTest_Form::ResetPanel(QFrame* panel) { SetSelected(panel, false); }

void TTest_Form::ShowSeries(int series) {
    const QString folder = Platform::DataPath(QStringLiteral("/DB/Images/Ser") + QString::number(series) +
                                              QStringLiteral("/Photo"));
    QString error;
    for (int i = 0; i < Calc::kPortraitsPerSeries; ++i) {
        QFrame* panel = Panels[i];
        QLabel* image = Images[i];
        ResetPanel(panel);
        const QChar d = PortraitDigit(image);
        if (IsChosen(d, series)) {
            image->hide();
            panel->hide();
            continue;
        }
        // A picture that cannot be read leaves an empty panel that can still be chosen by its place;
        // the screen is laid out completely and the first error is reported afterwards.
        try {
            // A large photograph is scaled down while it is decoded, never below the panel's picture.
            const QPixmap picture = QPixmap::fromImage(
                Platform::LoadJpeg(folder + d + QStringLiteral(".jpg"), Platform::TJpegTarget::Display,
                                   QSize(kPanelWidth - 2 * kImageLeft, kPanelHeight - 2 * kImageTop)));
            image->setPixmap(picture);
            image->resize(picture.size());
        } catch (const Platform::EJpegError& e) {
            if (error.isEmpty())
                error = e.message();
            image->clear();
            image->resize(kPanelWidth - 2 * kImageLeft, kPanelHeight - 2 * kImageTop);
        }
        image->show();
        panel->show();
    }
    Comment_Label->setText(CurSign == 1 ? kPromptSympathetic : kPromptUnpleasant);
    Series_Label->setText(QStringLiteral("Серия %1 из %2").arg(series).arg(Calc::kSeriesCount));
    Next_But->setEnabled(false);
    CurSeries = series;
    SelCount = 0;
    if (!error.isEmpty())
        throw Platform::EJpegError(error);
}

bool TTest_Form::IsChosen(QChar digit, int series) const {
    for (int slot = 0; slot < Calc::kSlotsPerSeries; ++slot)
        if (FirstPass[slot][series - 1] == digit || SecondPass[slot][series - 1] == digit)
            return true;
    return false;
}

void TTest_Form::Panel2Click(QFrame* sender) {
    if (!IsSelected(sender)) {
        if (SelCount == 2)
            return;
        SetSelected(sender, true);
        ++SelCount;
    } else {
        SetSelected(sender, false);
        --SelCount;
    }
    Next_But->setEnabled(SelCount == 2);
}

void TTest_Form::Image1Click(QLabel* sender) { Panel2Click(qobject_cast<QFrame*>(sender->parentWidget())); }

QString TTest_Form::CollectPanels(bool selected) const {
    QString digits;
    for (const QFrame* panel : Panels)
        if (!panel->isHidden() && IsSelected(panel) == selected)
            digits += PortraitDigit(panel);
    return digits;
}

bool TTest_Form::OnFirstScreenOfPass() const { return CurSeries == 1 && (CurPass == 2 || CurSign == 1); }

void TTest_Form::UpdatePrevBut() { Prev_But->setEnabled(!OnFirstScreenOfPass()); }

void TTest_Form::Next_ButClick() {
    // Enter or a stray signal must not store anything but a complete pair.
    if (SelCount != 2)
        return;
    const QString sel = CollectPanels(true);
    const int s = CurSeries - 1;
    if (CurPass == 1) {
        const int first = CurSign == 1 ? 0 : 2;
        FirstPass[first][s] = sel[0];
        FirstPass[first + 1][s] = sel[1];
    } else {
        const QString rest = CollectPanels(false);
        SecondPass[2][s] = sel[0];
        SecondPass[3][s] = sel[1];
        SecondPass[0][s] = rest.mid(0, 1);
        SecondPass[1][s] = rest.mid(1, 1);
    }

    if (CurPass == 1 && CurSeries == Calc::kSeriesCount && CurSign == -1) {
        // A missing second instruction throws here, and Escape on it goes back: the window stays on this
        // screen with its choice, which the next "Далее" stores again. Until then the pair is not taken,
        // so that "Назад" from here shows these portraits again.
        auto untaken = qScopeGuard([this, s] {
            FirstPass[2][s] = QStringLiteral("0");
            FirstPass[3][s] = QStringLiteral("0");
        });
        if (!ShowInstruction(kSecondInstruction, this))
            return;
        untaken.dismiss();
        CurPass = 2;
        CurSeries = 1;
    } else if (CurPass == 2 && CurSeries == Calc::kSeriesCount) {
        // Written first: a record the engine refuses is reported alone, never after the end message,
        // and the window stays on this screen.
        FinishTest();
        m_finished = true;
        Platform::messageBox(this, kFinished, kFinished, Platform::MsgIcon::Information);
        accept();
        return;
    } else if (CurPass == 2) {
        ++CurSeries;
    } else {
        if (CurSign == -1)
            ++CurSeries;
        CurSign = -CurSign;
    }
    UpdatePrevBut();
    ShowSeries(CurSeries);
}

void TTest_Form::Prev_ButClick() {
    if (OnFirstScreenOfPass())
        return;
    if (CurSign == 1 || CurPass == 2)
        --CurSeries;
    const int s = CurSeries - 1;
    if (CurPass == 1) {
        CurSign = -CurSign;
        const int first = CurSign == 1 ? 0 : 2;
        FirstPass[first][s] = QStringLiteral("0");
        FirstPass[first + 1][s] = QStringLiteral("0");
    } else {
        for (int slot = 0; slot < Calc::kSlotsPerSeries; ++slot)
            SecondPass[slot][s] = QStringLiteral("0");
    }
    UpdatePrevBut();
    ShowSeries(CurSeries);
}

QString TTest_Form::BuildResultTest() const {
    QString result;
    for (const TPassSlots* pass : {&FirstPass, &SecondPass})
        for (int s = 0; s < Calc::kSeriesCount; ++s)
            for (int slot = 0; slot < Calc::kSlotsPerSeries; ++slot)
                result += (*pass)[slot][s];
    return result;
}

void TTest_Form::FinishTest() {
    // A save repeated after a failure is the same run: it keeps the time of the first attempt.
    if (!m_finishedAt.isValid())
        m_finishedAt = QDateTime::currentDateTime();
    Testing::SaveRun(DB_ID, MenID, BuildResultTest(), m_finishedAt);
}

bool TTest_Form::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (auto* image = qobject_cast<QLabel*>(watched))
            Image1Click(image);
        else if (auto* panel = qobject_cast<QFrame*>(watched))
            Panel2Click(panel);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TTest_Form::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key >= Qt::Key_1 && key <= Qt::Key_8) {
        QFrame* panel = Panels[key - Qt::Key_1];
        if (!panel->isHidden())
            Panel2Click(panel);
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (Next_But->isEnabled())
            Platform::guarded([this] { Next_ButClick(); });
    } else if (key == Qt::Key_Backspace) {
        if (Prev_But->isEnabled())
            Platform::guarded([this] { Prev_ButClick(); });
    } else if (key == Qt::Key_Escape) {
        reject();
    }
    // Every other key is ignored.
    event->accept();
}

bool TTest_Form::HasAnswers() const {
    if (m_finished)
        return false;
    if (SelCount > 0)
        return true;
    for (const TPassSlots* pass : {&FirstPass, &SecondPass})
        for (const auto& slot : *pass)
            for (const QString& digit : slot)
                if (!digit.isEmpty() && digit != QStringLiteral("0"))
                    return true;
    return false;
}

void TTest_Form::reject() {
    // The question's default is No: a stray Enter after a stray Escape keeps the run.
    if (HasAnswers() && Platform::messageBox(this, kAbortQuestion, QStringLiteral("Тестирование"),
                                             Platform::MsgIcon::Question, Platform::MsgButtons::YesNo,
                                             Platform::MsgAnswer::No) != Platform::MsgAnswer::Yes)
        return;
    QDialog::reject();
}

void RunTest(const Data::Testee& testee, QWidget* parent) {
    auto form = std::make_unique<TTest_Form>(parent);
    form->MenID = testee.id;
    form->DB_ID = testee.dbId;
    form->CurSign = 1;
    form->CurPass = 1;
    // The whole screen: the main window with other testees' names stays out of sight.
    if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        form->setGeometry(screen->geometry());
    form->setWindowState(Qt::WindowFullScreen);
    // A picture that cannot be read is reported; the window still opens.
    Platform::guarded([&] { form->ShowSeries(1); });
    form->exec();
}
