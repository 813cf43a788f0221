// Dates, times and numbers as text in the user's locale (QLocale's default).
#pragma once

#include <QAnyStringView>
#include <QDate>
#include <QList>
#include <QLocale>
#include <QString>
#include <QTime>

#include <array>
#include <optional>
#include <string_view>

namespace Platform {

// The system short date format ("09.12.2026" under a Russian locale).
QString DateToStr(const QDate& date);

// DateToStr with the locale's format worked out once, for walks that show a date on every row. A
// format of days, months (numbers or names), years, day names and separators is written directly from
// parts and names looked up once; any other goes through QLocale.
class TDateFormat {
public:
    explicit TDateFormat(const QLocale& locale = QLocale());
    // Any QLocale date format.
    TDateFormat(const QLocale& locale, const QString& format);
    QString Text(const QDate& date) const;
    const QString& Format() const { return m_format; }

private:
    // A numeric part of the format (d, dd, M, MM, yy, yyyy), a name (MMM, MMMM, ddd, dddd) or a literal.
    struct TPart {
        enum Kind { Day, Month, Year, MonthName, DayName, Literal } kind;
        int digits; // of a number; for a name, 0 for the short form and 1 for the long one
        QString literal;
    };

    QLocale m_locale;
    QString m_format;
    QList<TPart> m_parts;                       // empty when the format is left to QLocale
    QStringList m_monthNames[2], m_dayNames[2]; // short and long, filled when the format names them
};
// Hours, minutes and seconds in the locale's order ("14:05:09").
QString TimeToStr(const QTime& time);
// A floating-point value in general form: at most 15 significant digits, no trailing zeros, the
// locale's decimal separator, no separator for whole numbers.
QString FloatToStr(double value);

// The Russian form of a noun after the number n: `one` after 1, 21, 101 ("тестируемый"), `few` after
// 2 to 4, 22 to 24, ... ("тестируемых"), `many` after 0, 5 to 20, 25 to 30, ... ("тестируемых").
const QString& RussianPlural(qint64 n, const QString& one, const QString& few, const QString& many);

// The numbers of `text`, in any of Qt's encodings, laid out as `layout`: a run of one letter is a number
// of as many digits ("yyyy-MM-dd-HHmmss" holds six), any other character stands for itself. None when the
// text has another layout or more than six numbers.
using TFixedNumbers = std::array<int, 6>;
std::optional<TFixedNumbers> ReadFixedNumbers(QAnyStringView text, std::string_view layout);

// ISO texts as stored in the database.
QString DateToIso(const QDate& date);
QString TimeToIso(const QTime& time);
QDate IsoToDate(QAnyStringView text);
QTime IsoToTime(QAnyStringView text);

} // namespace Platform
