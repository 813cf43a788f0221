// Locale-dependent texts.
#include "platform/Locale.h"

#include <QLocale>

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

void appendNumber(QString& out, int value, int digits) {
    const QString text = QString::number(value);
    for (qsizetype i = text.size(); i < digits; ++i)
        out += QLatin1Char('0');
    out += text;
}

} // namespace

TDateFormat::TDateFormat(const QLocale& locale) : m_locale(locale), m_format(shortDateFormat(locale)) {
    // Only ASCII digits are written directly; a run of letters other than d, M and y (names of days
    // or months, quoted text) leaves the whole format to QLocale.
    if (m_locale.zeroDigit() != QLatin1String("0"))
        return;
    QList<TPart> parts;
    for (qsizetype i = 0; i < m_format.size();) {
        const QChar ch = m_format[i];
        qsizetype run = 1;
        while (i + run < m_format.size() && m_format[i + run] == ch)
            ++run;
        if (ch == u'd' && run <= 2)
            parts.append({TPart::Day, int(run), {}});
        else if (ch == u'M' && run <= 2)
            parts.append({TPart::Month, int(run), {}});
        else if (ch == u'y' && (run == 2 || run == 4))
            parts.append({TPart::Year, int(run), {}});
        else if (ch.isLetter() || ch == u'\'')
            return;
        else
            parts.append({TPart::Literal, 0, m_format.mid(i, run)});
        i += run;
    }
    m_parts = std::move(parts);
}

QString TDateFormat::Text(const QDate& date) const {
    if (m_parts.isEmpty() || !date.isValid() || date.year() < 1 || date.year() > 9999)
        return m_locale.toString(date, m_format);
    QString out;
    out.reserve(m_format.size() + 2);
    for (const TPart& part : m_parts) {
        switch (part.kind) {
        case TPart::Day:
            appendNumber(out, date.day(), part.digits);
            break;
        case TPart::Month:
            appendNumber(out, date.month(), part.digits);
            break;
        case TPart::Year:
            appendNumber(out, part.digits == 2 ? date.year() % 100 : date.year(), part.digits);
            break;
        case TPart::Literal:
            out += part.literal;
            break;
        }
    }
    return out;
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
QDate IsoToDate(const QString& text) { return QDate::fromString(text.left(10), Qt::ISODate); }
QTime IsoToTime(const QString& text) {
    QTime t = QTime::fromString(text, QStringLiteral("HH:mm:ss"));
    if (!t.isValid())
        t = QTime::fromString(text, QStringLiteral("HH:mm"));
    return t;
}

} // namespace Platform
