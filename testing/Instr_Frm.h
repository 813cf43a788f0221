// The instruction window: shows one of the instruction files of the program directory, read-only,
// before the test window or between its two passes.
#pragma once

#include <QDialog>

class QFrame;
class QPushButton;
class QTextEdit;

class TInstr_Form : public QDialog {
    Q_OBJECT
public:
    explicit TInstr_Form(QWidget* parent = nullptr);

    QFrame* Panel;
    QTextEdit* Instruct_RichEdit;
    QPushButton* BeginTest_But;

    // Loads the rich-text file program directory + `suffix`; throws Platform::ERtfError when it is
    // missing or unreadable.
    void LoadInstruction(const QString& suffix);

public Q_SLOTS:
    void BeginTest_ButClick();

protected:
    void showEvent(QShowEvent* event) override;
};

// Shows the instruction file program directory + `suffix` ("/First_Instruct.rtf") modally. A missing
// or unreadable file throws Platform::ERtfError before anything is shown. True when the testee began
// with "Начать тестирование"; Escape or the close button go back (false).
bool ShowInstruction(const QString& suffix, QWidget* parent = nullptr);

inline const QString kFirstInstruction = QStringLiteral("/First_Instruct.rtf");
inline const QString kSecondInstruction = QStringLiteral("/Second_Instruct.rtf");
