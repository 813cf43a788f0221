// Instruction window.
#include "testing/Instr_Frm.h"

#include "platform/ProgramDir.h"
#include "platform/RtfReader.h"
#include "widgets/DialogLayout.h"

#include <QFrame>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QVBoxLayout>

#include <memory>

TInstr_Form::TInstr_Form(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Инструкция"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    Panel = new QFrame(this);
    Panel->setFrameShape(QFrame::StyledPanel);
    Panel->setFrameShadow(QFrame::Raised);

    Instruct_RichEdit = new QTextEdit(Panel);
    Instruct_RichEdit->setObjectName(QStringLiteral("Instruct_RichEdit"));
    Instruct_RichEdit->setReadOnly(true);
    QFont text(QStringLiteral("Times New Roman"));
    text.setPointSize(12);
    Instruct_RichEdit->document()->setDefaultFont(text);
    Instruct_RichEdit->document()->setDocumentMargin(10);
    (new QVBoxLayout(Panel))->addWidget(Instruct_RichEdit);

    auto* buttons = new QDialogButtonBox(this);
    BeginTest_But = buttons->addButton(QStringLiteral("Начать тестирование"), QDialogButtonBox::AcceptRole);
    BeginTest_But->setObjectName(QStringLiteral("BeginTest_But"));
    QFont bold = BeginTest_But->font();
    bold.setBold(true);
    BeginTest_But->setFont(bold);
    BeginTest_But->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Panel, 1);
    layout->addWidget(buttons);
    Widgets::OpenAt(this, QSize(660, 580));
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
