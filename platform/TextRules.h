// Rules for text that users type and the program stores: characters are counted as code points (a
// character outside the 16-bit range is one character, never cut in half), and characters that no
// stored field or written file may hold are found before anything is written.
#pragma once

#include <QString>
#include <QStringView>

namespace Platform {

// Number of characters (code points; a lone surrogate counts as one).
qsizetype CharCount(QStringView text);
// The first `count` characters of the text, never splitting a surrogate pair.
QString LeftChars(const QString& text, qsizetype count);

enum class TTextKind { SingleLine, MultiLine };
// Index of the first character a stored text may not hold, or -1: control characters (C0 and C1 and
// DEL; tab, line feed and carriage return are allowed in multi-line text), lone surrogates and the
// non-characters U+FFFE and U+FFFF.
qsizetype FirstForbiddenChar(QStringView text, TTextKind kind);
// The message for a forbidden character at `index` of a field named `fieldName`.
QString ForbiddenCharMessage(QStringView text, qsizetype index, const QString& fieldName);
// True when the text holds a surrogate that is not part of a pair (no valid UTF-8 exists for it).
bool HasLoneSurrogate(QStringView text);

} // namespace Platform
