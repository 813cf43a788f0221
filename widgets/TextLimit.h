// Length limits of text boxes counted in characters: a character outside the 16-bit range is one
// character and is never cut in half (a plain maximum length counts UTF-16 units), and the check of
// forbidden characters before a dialog writes what was typed.
#pragma once

#include <QString>
#include <QValidator>

class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace Widgets {

// Keeps the text of a line edit at no more than `maxChars` characters; longer input (typed or pasted)
// is cut on a character boundary.
class TCharLimitValidator : public QValidator {
    Q_OBJECT
public:
    TCharLimitValidator(int maxChars, QObject* parent) : QValidator(parent), m_max(maxChars) {}
    State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

private:
    int m_max;
};

// Installs the limit on a line edit (replacing a maximum length in UTF-16 units).
void LimitChars(QLineEdit* edit, int maxChars);
// Cuts a multi-line box to `maxChars` characters whenever its text grows beyond them, keeping the cursor.
void LimitChars(QPlainTextEdit* edit, int maxChars);

// What makes a field's text unfit to be stored (a control character in a single-line field; a lone
// surrogate, U+FFFE or U+FFFF anywhere), as a message naming the field; empty when the text is fit.
QString TypedTextProblem(const QString& text, const QString& fieldName, bool multiLine = false);

} // namespace Widgets
