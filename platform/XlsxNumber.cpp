// Typed texts to numbers and number format codes.
#include "platform/XlsxNumber.h"

#include <QByteArray>

#include <charconv>

namespace Platform {

namespace {

struct TBuiltIn {
    int id;
    const char* code;
};
// The built-in formats a report may meet (the file format numbers them instead of naming them).
constexpr TBuiltIn kBuiltIns[] = {{0, "General"}, {1, "0"},         {2, "0.00"},
                                  {3, "#,##0"},   {4, "#,##0.00"},  {9, "0%"},
                                  {10, "0.00%"},  {11, "0.00E+00"}, {49, "@"}};

bool isDigit(QChar ch) { return ch >= u'0' && ch <= u'9'; }

} // namespace

std::optional<TTypedNumber> ParseTypedNumber(QStringView text, QChar decimalPoint) {
    qsizetype i = 0;
    const bool negative = text.startsWith(u'-');
    if (negative)
        ++i;
    const bool percent = text.endsWith(u'%');
    const qsizetype end = text.size() - (percent ? 1 : 0);
    QByteArray digits;
    for (; i < end && isDigit(text[i]); ++i)
        digits += char(text[i].unicode());
    if (digits.isEmpty() || (digits.size() > 1 && digits[0] == '0'))
        return std::nullopt;
    int decimals = 0;
    if (i < end && text[i] == decimalPoint) {
        for (++i; i < end && isDigit(text[i]); ++i, ++decimals)
            digits += char(text[i].unicode());
        if (decimals == 0 || digits.endsWith('0'))
            return std::nullopt;
    }
    if (i != end || digits.size() > kMaxTypedDigits)
        return std::nullopt;
    if (negative && digits.count('0') == digits.size())
        return std::nullopt; // "-0" shows as "0"
    // The digits with the decimal point shifted by the exponent: the nearest double to what was typed.
    const QByteArray literal = (negative ? QByteArray("-") : QByteArray()) + digits + 'e' +
                               QByteArray::number(-(decimals + (percent ? 2 : 0)));
    TTypedNumber number;
    const auto [end_, error] =
        std::from_chars(literal.constData(), literal.constData() + literal.size(), number.value);
    if (error != std::errc() || end_ != literal.constData() + literal.size())
        return std::nullopt;
    number.format = !percent        ? QStringLiteral("General")
                    : decimals == 0 ? QStringLiteral("0%")
                                    : QStringLiteral("0.") + QString(decimals, u'0') + QLatin1Char('%');
    return number;
}

QString BuiltInNumberFormat(int id) {
    for (const TBuiltIn& b : kBuiltIns)
        if (b.id == id)
            return QString::fromLatin1(b.code);
    return {};
}

int BuiltInNumberFormatId(const QString& code) {
    for (const TBuiltIn& b : kBuiltIns)
        if (code == QLatin1String(b.code))
            return b.id;
    return -1;
}

bool IsTextFormat(const QString& code) {
    bool quoted = false;
    bool at = false;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar ch = code[i];
        if (ch == u'\\') {
            ++i; // an escaped character is a literal
        } else if (ch == u'"') {
            quoted = !quoted;
        } else if (!quoted && ch == u';') {
            return false; // several sections: numbers have their own
        } else if (!quoted && ch == u'@') {
            at = true;
        }
    }
    return at;
}

} // namespace Platform
