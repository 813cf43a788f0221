// Character counting and the characters refused in stored text.
#include "platform/TextRules.h"

namespace Platform {

namespace {

// Walks the text as code points: calls f(index, code point, isLoneSurrogate) for each.
template <class F> void forEachCodePoint(QStringView text, F&& f) {
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode())) {
            if (!f(i, QChar::surrogateToUcs4(c, text[i + 1].unicode()), false))
                return;
            ++i;
        } else if (!f(i, char32_t(c), QChar::isSurrogate(c))) {
            return;
        }
    }
}

bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool forbidden(char32_t c, bool lone, TTextKind kind) {
    if (lone || c == 0xFFFE || c == 0xFFFF)
        return true;
    if (kind == TTextKind::MultiLine && (c == u'\t' || c == u'\n' || c == u'\r'))
        return false;
    return isControl(c);
}

} // namespace

qsizetype CharCount(QStringView text) {
    qsizetype count = 0;
    forEachCodePoint(text, [&count](qsizetype, char32_t, bool) {
        ++count;
        return true;
    });
    return count;
}

QString LeftChars(const QString& text, qsizetype count) {
    if (text.size() <= count)
        return text;
    qsizetype end = text.size();
    qsizetype seen = 0;
    forEachCodePoint(text, [&](qsizetype i, char32_t, bool) {
        if (seen == count) {
            end = i;
            return false;
        }
        ++seen;
        return true;
    });
    return text.left(end);
}

qsizetype FirstForbiddenChar(QStringView text, TTextKind kind) {
    qsizetype found = -1;
    forEachCodePoint(text, [&](qsizetype i, char32_t c, bool lone) {
        if (!forbidden(c, lone, kind))
            return true;
        found = i;
        return false;
    });
    return found;
}

QString ForbiddenCharMessage(QStringView text, qsizetype index, const QString& fieldName) {
    const QString code = QStringLiteral("U+%1").arg(text[index].unicode(), 4, 16, QLatin1Char('0')).toUpper();
    return QStringLiteral("Поле «%1» содержит недопустимый символ (%2, позиция %3). Удалите его и "
                          "повторите.")
        .arg(fieldName, code)
        .arg(CharCount(text.first(index)) + 1);
}

bool HasLoneSurrogate(QStringView text) {
    bool lone = false;
    forEachCodePoint(text, [&lone](qsizetype, char32_t, bool isLone) {
        lone = isLone;
        return !isLone;
    });
    return lone;
}

} // namespace Platform
