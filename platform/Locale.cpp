// Locale-dependent texts.
#include "platform/Locale.h"

#include <QLocale>
#include <QVarLengthArray>

#include <type_traits>

namespace Platform {

namespace {

// The system short date format of a locale: Qt's short Russian format has a two-digit year, the
// system's shows four.
QString shortDateFormat(const QLocale& locale) {
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

// A non-negative number with at least `digits` digits, written into `out` at `n` without a temporary string.
void appendNumber(QVarLengthArray<char16_t, 32>& out, int value, int digits) {
    char16_t reversed[12];
    int n = 0;
    auto rest = static_cast<unsigned>(value);
    do {
        reversed[n++] = char16_t(u'0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    for (int i = n; i < digits; ++i)
        out.append(u'0');
    while (n > 0)
        out.append(reversed[--n]);
}

} // namespace

TDateFormat::TDateFormat(const QLocale& locale) : TDateFormat(locale, shortDateFormat(locale)) {}

TDateFormat::TDateFormat(const QLocale& locale, const QString& format) : m_locale(locale), m_format(format) {
    // Only ASCII digits are written directly; a run of other letters than d, M and y leaves the whole
    // format to QLocale.
    if (m_locale.zeroDigit() != QLatin1String("0"))
        return;
    QList<TPart> parts;
    for (qsizetype i = 0; i < m_format.size();) {
        const QChar ch = m_format[i];
        if (ch == u'\'') {
            // Quoted text; two quotes stand for one.
            QString text;
            qsizetype j = i + 1;
            for (; j < m_format.size(); ++j) {
                if (m_format[j] != u'\'')
                    text += m_format[j];
                else if (j + 1 < m_format.size() && m_format[j + 1] == u'\'')
                    text += m_format[++j];
                else
                    break;
            }
            if (j >= m_format.size())
                return; // unterminated: left to QLocale
            parts.append({TPart::Literal, 0, j == i + 1 ? QStringLiteral("'") : text});
            i = j + 1;
            continue;
        }
        qsizetype run = 1;
        while (i + run < m_format.size() && m_format[i + run] == ch)
            ++run;
        if (ch == u'd' && run <= 2)
            parts.append({TPart::Day, int(run), {}});
        else if (ch == u'd' && run <= 4)
            parts.append({TPart::DayName, int(run) - 3, {}});
        else if (ch == u'M' && run <= 2)
            parts.append({TPart::Month, int(run), {}});
        else if (ch == u'M' && run <= 4)
            parts.append({TPart::MonthName, int(run) - 3, {}});
        else if (ch == u'y' && (run == 2 || run == 4))
            parts.append({TPart::Year, int(run), {}});
        else if (ch.isLetter())
            return;
        else
            parts.append({TPart::Literal, 0, m_format.mid(i, run)});
        i += run;
    }
    for (const TPart& part : parts) {
        const int form = part.digits;
        const QLocale::FormatType type = form == 0 ? QLocale::ShortFormat : QLocale::LongFormat;
        if (part.kind == TPart::MonthName && m_monthNames[form].isEmpty())
            for (int m = 1; m <= 12; ++m)
                m_monthNames[form].append(m_locale.monthName(m, type));
        if (part.kind == TPart::DayName && m_dayNames[form].isEmpty())
            for (int d = 1; d <= 7; ++d)
                m_dayNames[form].append(m_locale.dayName(d, type));
    }
    m_parts = std::move(parts);
}

QString TDateFormat::Text(const QDate& date) const {
    int year = 0;
    int month = 0;
    int day = 0;
    if (!m_parts.isEmpty() && date.isValid())
        date.getDate(&year, &month, &day);
    if (year < 1 || year > 9999)
        return m_locale.toString(date, m_format);
    // The characters are gathered on the stack and the text allocated once.
    QVarLengthArray<char16_t, 32> out;
    const auto appendText = [&out](const QString& text) {
        out.append(reinterpret_cast<const char16_t*>(text.constData()), text.size());
    };
    for (const TPart& part : m_parts) {
        switch (part.kind) {
        case TPart::Day:
            appendNumber(out, day, part.digits);
            break;
        case TPart::Month:
            appendNumber(out, month, part.digits);
            break;
        case TPart::Year:
            appendNumber(out, part.digits == 2 ? year % 100 : year, part.digits);
            break;
        case TPart::MonthName:
            appendText(m_monthNames[part.digits].at(month - 1));
            break;
        case TPart::DayName:
            appendText(m_dayNames[part.digits].at(date.dayOfWeek() - 1));
            break;
        case TPart::Literal:
            appendText(part.literal);
            break;
        }
    }
    return QString(reinterpret_cast<const QChar*>(out.constData()), out.size());
}

QString DateToStr(const QDate& date) { return TDateFormat().Text(date); }

QString TimeToStr(const QTime& time) {
    const QLocale locale;
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1Char('s')))
        format.replace(QLatin1String("mm"), QLatin1String("mm:ss"));
    return locale.toString(time, format);
}

QString FloatToStr(double value) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'g', 15);
}

QString DateToIso(const QDate& date) { return date.toString(Qt::ISODate); }
QString TimeToIso(const QTime& time) { return time.toString(QStringLiteral("HH:mm:ss")); }
std::optional<TFixedNumbers> ReadFixedNumbers(QAnyStringView text, std::string_view layout) {
    return text.visit([layout](auto view) -> std::optional<TFixedNumbers> {
        if (std::size_t(view.size()) != layout.size())
            return std::nullopt;
        TFixedNumbers numbers{};
        std::size_t n = 0;
        for (std::size_t i = 0; i < layout.size(); ++i) {
            int code = 0;
            if constexpr (std::is_same_v<decltype(view), QUtf8StringView>)
                code = static_cast<unsigned char>(view[qsizetype(i)]);
            else
                code = view[qsizetype(i)].unicode();
            const char field = layout[i];
            const bool letter = (field >= 'a' && field <= 'z') || (field >= 'A' && field <= 'Z');
            if (!letter) {
                if (code != field)
                    return std::nullopt;
                continue;
            }
            if (code < '0' || code > '9')
                return std::nullopt;
            // A new number begins where the letter changes.
            if ((i == 0 || layout[i - 1] != field) && n++ == numbers.size())
                return std::nullopt;
            numbers[n - 1] = 10 * numbers[n - 1] + (code - '0');
        }
        return numbers;
    });
}

QDate IsoToDate(QAnyStringView text) {
    // "yyyy-MM-dd" as DateToIso writes it, read without the general parser, and straight from the bytes
    // of a stored value: a testee's records are read whenever his results open.
    if (const auto n = ReadFixedNumbers(text, "yyyy-MM-dd");
        n && (*n)[0] > 0 && QDate::isValid((*n)[0], (*n)[1], (*n)[2]))
        return QDate((*n)[0], (*n)[1], (*n)[2]);
    return QDate::fromString(text.toString().left(10), Qt::ISODate);
}
QTime IsoToTime(QAnyStringView text) {
    // "HH:mm:ss" as TimeToIso writes it, read without the general parser: a list reads hundreds.
    if (const auto n = ReadFixedNumbers(text, "HH:mm:ss"); n && QTime::isValid((*n)[0], (*n)[1], (*n)[2]))
        return QTime((*n)[0], (*n)[1], (*n)[2]);
    const QString whole = text.toString();
    QTime t = QTime::fromString(whole, QStringLiteral("HH:mm:ss"));
    if (!t.isValid())
        t = QTime::fromString(whole, QStringLiteral("HH:mm"));
    return t;
}

const QString& RussianPlural(qint64 n, const QString& one, const QString& few, const QString& many) {
    const qint64 tens = (n < 0 ? -n : n) % 100;
    const qint64 units = tens % 10;
    if (tens >= 11 && tens <= 14)
        return many;
    if (units == 1)
        return one;
    return units >= 2 && units <= 4 ? few : many;
}

} // namespace Platform
