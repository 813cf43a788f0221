// Character limits and the forbidden-character check of text boxes.
#include "widgets/TextLimit.h"

#include "platform/Dialogs.h"
#include "platform/TextRules.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>

namespace Widgets {

QValidator::State TCharLimitValidator::validate(QString& input, int& pos) const {
    if (Platform::CharCount(input) > m_max) {
        input = Platform::LeftChars(input, m_max);
        pos = std::min<int>(pos, static_cast<int>(input.size()));
    }
    return Acceptable;
}

void TCharLimitValidator::fixup(QString& input) const {
    if (Platform::CharCount(input) > m_max)
        input = Platform::LeftChars(input, m_max);
}

void LimitChars(QLineEdit* edit, int maxChars) {
    // Room for every character counted as two units, so the line edit itself never cuts a pair.
    edit->setMaxLength(maxChars * 2);
    edit->setValidator(new TCharLimitValidator(maxChars, edit));
}

void LimitChars(QPlainTextEdit* edit, int maxChars) {
    QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [edit, maxChars] {
        const QString text = edit->toPlainText();
        if (text.size() <= maxChars || Platform::CharCount(text) <= maxChars)
            return;
        const QString cut = Platform::LeftChars(text, maxChars);
        const int position = std::min<int>(edit->textCursor().position(), static_cast<int>(cut.size()));
        edit->setPlainText(cut);
        QTextCursor cursor = edit->textCursor();
        cursor.setPosition(position);
        edit->setTextCursor(cursor);
    });
}

QString TypedTextProblem(const QString& text, const QString& fieldName, bool multiLine) {
    const qsizetype bad = Platform::FirstForbiddenChar(text, multiLine ? Platform::TTextKind::MultiLine
                                                                       : Platform::TTextKind::SingleLine);
    return bad < 0 ? QString() : Platform::ForbiddenCharMessage(text, bad, fieldName);
}

} // namespace Widgets
