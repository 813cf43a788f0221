// Test window.
#include "testing/Test_Frm.h"

#include "data/DataMod.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/JpegLoader.h"
#include "platform/ProgramDir.h"
#include "scoring/Calc_Records.h"
#include "testing/Instr_Frm.h"

#include <QCloseEvent>
#include <QDate>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
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

const QColor kSympatheticColor = Qt::red;
const QColor kUnpleasantColor = Qt::blue;

const QString kPromptSympathetic =
    QStringLiteral("Выберите два портрета, которые кажутся Вам наиболее симпатичными");
const QString kPromptUnpleasant =
    QStringLiteral("Выберите два портрета, которые кажутся Вам наиболее неприятными");
const QString kFinished = QStringLiteral("Тестирование закончено!");

} // namespace

TTest_Form::TTest_Form(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Тестирование"));
    setWindowFlags(Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);

    Comment_Label = new QLabel(this);
    Comment_Label->setObjectName(QStringLiteral("Comment_Label"));
    Comment_Label->setGeometry(8, 6, kClientWidth - 16, 38);
    Comment_Label->setWordWrap(true);
    Comment_Label->setAlignment(Qt::AlignCenter);
    QFont prompt(QStringLiteral("Times New Roman"));
    prompt.setPointSize(14);
    prompt.setBold(true);
    Comment_Label->setFont(prompt);
    QPalette navy = Comment_Label->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    Comment_Label->setPalette(navy);

    // Created in the order Panel1, Image1, Panel2, Image2, ... so every scan meets the portraits in
    // ascending number.
    for (int i = 0; i < Calc::kPortraitsPerSeries; ++i) {
        const QString n = QString::number(i + 1);
        auto* panel = new QFrame(this);
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
        Panels[i] = panel;
        Images[i] = image;
        ResetPanel(panel);
    }

    Bevel = new QFrame(this);
    Bevel->setFrameShape(QFrame::HLine);
    Bevel->setFrameShadow(QFrame::Sunken);
    Bevel->setGeometry(8, kBevelTop, kClientWidth - 16, 4);

    Prev_But = new QPushButton(QStringLiteral("Назад"), this);
    Prev_But->setObjectName(QStringLiteral("Prev_But"));
    Next_But = new QPushButton(QStringLiteral("Далее"), this);
    Next_But->setObjectName(QStringLiteral("Next_But"));
    Prev_But->setGeometry(kClientWidth - 16 - 2 * kButtonWidth, kButtonTop, kButtonWidth, kButtonHeight);
    Next_But->setGeometry(kClientWidth - 8 - kButtonWidth, kButtonTop, kButtonWidth, kButtonHeight);
    for (QPushButton* b : {Prev_But, Next_But}) {
        QFont bold = b->font();
        bold.setBold(true);
        b->setFont(bold);
        b->setEnabled(false);
        // The window takes every key itself (digits, Enter, Backspace).
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoDefault(false);
    }
    setFocusPolicy(Qt::StrongFocus);

    connect(Next_But, &QPushButton::clicked, this,
            [this] { Platform::guarded([this] { Next_ButClick(); }); });
    connect(Prev_But, &QPushButton::clicked, this,
            [this] { Platform::guarded([this] { Prev_ButClick(); }); });
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
        // A missing second instruction throws here: the window stays on this screen with its choice,
        // and the next "Далее" stores the same pair again and retries.
        ShowInstruction(kSecondInstruction, this);
        CurPass = 2;
        CurSeries = 1;
    } else if (CurPass == 2 && CurSeries == Calc::kSeriesCount) {
        // Written first: a record the engine refuses is reported alone, never after the end message,
        // and the window stays on this screen.
        FinishTest();
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
    const Calc::TTestRecord record = Calc::ComposeRecord(BuildResultTest());
    if (!m_finishedAt.isValid()) {
        const QTime now = QTime::currentTime();
        m_finishedAt = QDateTime(QDate::currentDate(), QTime(now.hour(), now.minute(), now.second()));
    }
    Calc::InsertTestRecord(Main_DataModule->Current_DB_ID, MenID, m_finishedAt.date(), m_finishedAt.time(),
                           QString(), record);
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
    }
    // Every other key, Escape included, is ignored: a stray key never ends the run; the title bar
    // closes the window.
    event->accept();
}

void TTest_Form::closeEvent(QCloseEvent* event) {
    // Closing early ends the run; the choices are dropped and nothing is written.
    QDialog::closeEvent(event);
}

void RunTest(int menId, QWidget* parent) {
    auto form = std::make_unique<TTest_Form>(parent);
    form->MenID = menId;
    form->CurSign = 1;
    form->CurPass = 1;
    if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        form->move(screen->availableGeometry().center() - form->rect().center());
    // A picture that cannot be read is reported; the window still opens.
    Platform::guarded([&] { form->ShowSeries(1); });
    form->exec();
}
