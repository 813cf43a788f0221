// Dates, times and numbers as text in the user's locale (QLocale's default).
#pragma once

#include <QDate>
#include <QString>
#include <QTime>

namespace Platform {

// The system short date format ("09.12.2026" under a Russian locale).
QString DateToStr(const QDate& date);
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
