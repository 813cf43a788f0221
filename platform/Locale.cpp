// Locale-dependent texts.
#include "platform/Locale.h"

#include <QLocale>

namespace Platform {

QString DateToStr(const QDate& date) {
    const QLocale locale;
    QString format = locale.dateFormat(QLocale::ShortFormat);
    // Qt's short Russian format has a two-digit year; the system short date shows four.
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return locale.toString(date, format);
}

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
