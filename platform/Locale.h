// Dates, times and numbers as text in the user's locale (QLocale's default).
#pragma once

#include <QDate>
#include <QList>
#include <QLocale>
#include <QString>
#include <QTime>

namespace Platform {

// The system short date format ("09.12.2026" under a Russian locale).
QString DateToStr(const QDate& date);

// DateToStr with the locale's format worked out once, for walks that show a date on every row. A
// format of numeric days, months and years is written directly; any other goes through QLocale.
class TDateFormat {
public:
    explicit TDateFormat(const QLocale& locale = QLocale());
    QString Text(const QDate& date) const;
    const QString& Format() const { return m_format; }

private:
    // A numeric part of the format (d, dd, M, MM, yy, yyyy) or a literal separator.
    struct TPart {
        enum Kind { Day, Month, Year, Literal } kind;
        int digits;
        QString literal;
    };

    QLocale m_locale;
    QString m_format;
    QList<TPart> m_parts; // empty when the format is not numeric
};
// Hours, minutes and seconds in the locale's order ("14:05:09").
QString TimeToStr(const QTime& time);
// A floating-point value in general form: at most 15 significant digits, no trailing zeros, the
// locale's decimal separator, no separator for whole numbers.
QString FloatToStr(double value);

// ISO texts as stored in the database.
QString DateToIso(const QDate& date);
QString TimeToIso(const QTime& time);
QDate IsoToDate(const QString& text);
QTime IsoToTime(const QString& text);

} // namespace Platform
