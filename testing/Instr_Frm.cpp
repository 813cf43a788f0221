// Instruction window.
#include "testing/Instr_Frm.h"

#include "platform/ProgramDir.h"
#include "platform/RtfReader.h"

#include <QFrame>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>

#include <memory>

namespace {

constexpr int kWidth = 660;
constexpr int kHeight = 580;
constexpr int kMargin = 8;
constexpr int kButtonWidth = 190;
constexpr int kButtonHeight = 30;

} // namespace

TInstr_Form::TInstr_Form(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Инструкция"));
    setWindowFlags(Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kWidth, kHeight);

    Panel = new QFrame(this);
    Panel->setFrameShape(QFrame::StyledPanel);
    Panel->setFrameShadow(QFrame::Raised);
    Panel->setGeometry(kMargin, kMargin, kWidth - 2 * kMargin, kHeight - 3 * kMargin - kButtonHeight);

    Instruct_RichEdit = new QTextEdit(Panel);
    Instruct_RichEdit->setObjectName(QStringLiteral("Instruct_RichEdit"));
    Instruct_RichEdit->setReadOnly(true);
    Instruct_RichEdit->setGeometry(Panel->rect().adjusted(6, 6, -6, -6));
    QFont text(QStringLiteral("Times New Roman"));
    text.setPointSize(12);
    Instruct_RichEdit->document()->setDefaultFont(text);
    Instruct_RichEdit->document()->setDocumentMargin(10);

    BeginTest_But = new QPushButton(QStringLiteral("Начать тестирование"), this);
    BeginTest_But->setObjectName(QStringLiteral("BeginTest_But"));
    QFont bold = BeginTest_But->font();
    bold.setBold(true);
    BeginTest_But->setFont(bold);
    BeginTest_But->setDefault(true);
    BeginTest_But->setGeometry(kWidth - kMargin - kButtonWidth, kHeight - kMargin - kButtonHeight,
                               kButtonWidth, kButtonHeight);
    connect(BeginTest_But, &QPushButton::clicked, this, &TInstr_Form::BeginTest_ButClick);
}

void TInstr_Form::LoadInstruction(const QString& suffix) {
    Platform::LoadRtfFile(Platform::ProgramPath(suffix), *Instruct_RichEdit->document());
    // The reader leaves the cursor at the end; the testee starts reading at the top.
    Instruct_RichEdit->moveCursor(QTextCursor::Start);
}

void TInstr_Form::BeginTest_ButClick() { accept(); }

void TInstr_Form::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    BeginTest_But->setFocus();
}

bool ShowInstruction(const QString& suffix, QWidget* parent) {
    auto form = std::make_unique<TInstr_Form>(parent);
    form->LoadInstruction(suffix);
    if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        form->move(screen->availableGeometry().center() - form->rect().center());
    return form->exec() == QDialog::Accepted;
}
