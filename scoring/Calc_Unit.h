// The fixed tables of the portrait test and the pure operations of scoring: portrait digits to factor
// codes, factor codes to counts, and the text of the statements that write a test record.
// Nothing here touches a window or the database; the parts that read the Symbols table and execute the
// statements are in Calc_Records.h.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <stdexcept>

namespace Calc {

// Factor order h, s, e, hy, k, p, d, m; vector v (1 to 4) groups factors 2v-1 and 2v.
inline const std::array<QString, 4> VectorNames = {QStringLiteral("S"), QStringLiteral("P"),
                                                   QStringLiteral("Sch"), QStringLiteral("C")};
// Display form of the factors (grid headers, chart labels).
inline const std::array<QString, 8> FactorNames = {
    QStringLiteral("h"), QStringLiteral("s"), QStringLiteral("e"), QStringLiteral("hy"),
    QStringLiteral("k"), QStringLiteral("p"), QStringLiteral("d"), QStringLiteral("m")};
// One letter per factor, "y" standing for hy; the letters of PortraitKey and of the factor-letter string.
inline const std::array<QString, 8> FactorCodes = {
    QStringLiteral("h"), QStringLiteral("s"), QStringLiteral("e"), QStringLiteral("y"),
    QStringLiteral("k"), QStringLiteral("p"), QStringLiteral("d"), QStringLiteral("m")};
// Reaction types in index order 0 to 3; the results window relies on this order.
inline const std::array<QString, 4> ReactionSigns = {QStringLiteral("0"), QStringLiteral("±"),
                                                     QStringLiteral("+"), QStringLiteral("-")};

inline constexpr int kFactorCount = 8;
inline constexpr int kSeriesCount = 6;
inline constexpr int kSlotsPerSeries = 4;
inline constexpr int kPortraitsPerSeries = 8;
// Digits of one pass in Result_Test, and of the whole string (two passes).
inline constexpr int kPassLength = kSeriesCount * kSlotsPerSeries;
inline constexpr int kResultTestLength = 2 * kPassLength;
// Half profile: 8 plus counts, then 8 minus counts; Result_Profil holds two of them.
inline constexpr int kHalfProfilLength = 2 * kFactorCount;
inline constexpr int kResultProfilLength = 2 * kHalfProfilLength;

// Factor code of portrait n (1 to 8) in series s (1 to 6): PortraitKey[(n - 1) * 6 + (s - 1)].
// Rows are portraits, columns series; every column holds each code once.
inline constexpr char16_t PortraitKey[] = u"kyhpem"  // portrait 1
                                          u"smeydh"  // 2
                                          u"pesdyk"  // 3
                                          u"dhmkps"  // 4
                                          u"hdkmsp"  // 5
                                          u"epdsky"  // 6
                                          u"msyehd"  // 7
                                          u"ykphme"; // 8
static_assert(sizeof(PortraitKey) / sizeof(char16_t) == kPortraitsPerSeries * kSeriesCount + 1);

// Statement templates of the TEST table, filled in placeholder order (see FillInsertTestSQL and
// FillUpdateTestSQL).
inline const QString InsertTestSQL = QStringLiteral(
    "insert into Test (DB_ID , Men_ID , Date_Test , Time_Test , Note , Result_Test , Result_Profil , "
    "Calc_Profil , Calc_ProfilNapr ) values (%d , %d , '%s' , '%s' , '%s' , '%s' , '%s' , '%s' , '%s')");
inline const QString UpdateTestSQL =
    QStringLiteral("update Test set Date_Test = '%s' , Time_Test = '%s' , Note = '%s' , Result_Test = '%s' , "
                   "Result_Profil = '%s' , Calc_Profil = '%s' , Calc_ProfilNapr = '%s' where Test_ID = %d");

// Names of the values of the two statements, in placeholder order. The statements run with these
// values bound (BoundTestSQL), so no text a user typed ever becomes part of the statement.
inline const QStringList InsertTestParams = {
    QStringLiteral("DB_ID"),         QStringLiteral("Men_ID"),      QStringLiteral("Date_Test"),
    QStringLiteral("Time_Test"),     QStringLiteral("Note"),        QStringLiteral("Result_Test"),
    QStringLiteral("Result_Profil"), QStringLiteral("Calc_Profil"), QStringLiteral("Calc_ProfilNapr")};
inline const QStringList UpdateTestParams = {
    QStringLiteral("Date_Test"),       QStringLiteral("Time_Test"),     QStringLiteral("Note"),
    QStringLiteral("Result_Test"),     QStringLiteral("Result_Profil"), QStringLiteral("Calc_Profil"),
    QStringLiteral("Calc_ProfilNapr"), QStringLiteral("Test_ID")};

// Input that cannot be scored: a character that is not a portrait digit or a factor code, a string too
// short, a count that does not fit one digit. The message (Russian) names the position; what() holds it
// as UTF-8, so the application's error display shows it like any other error.
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

// The four classification strings of a TEST record.
struct TTestRecord {
    QString Result_Test;     // 48 portrait digits; empty for a record entered as a profile
    QString Result_Profil;   // 32 count digits: ППП plus, ППП minus, ЭКП plus, ЭКП minus
    QString Calc_Profil;     // 16 reaction types: 8 of ППП, then 8 of ЭКП
    QString Calc_ProfilNapr; // 16 intensity digits in the same order
};

// The first 24 characters of `pass` (portrait digits of one pass in the Result_Test layout) as 24 factor
// codes; position k stands in series (k - 1) div 4 + 1. Characters after the 24th are not read.
// Throws EConvertError for fewer than 24 characters or a character other than "1" to "8".
QString PortraitsToFactors(const QString& pass);

// The 16-character half profile of a factor-letter string: the plus counts of h ... m, then the minus
// counts. Slots 1 and 2 of every group of four count as plus, slots 3 and 4 as minus.
// Throws EConvertError for fewer than 24 characters, a character that is not a factor code among the
// first 24, or a count of 10 or more.
QString CountProfil(const QString& factorLetters);

// Result_Profil derived from a 48-digit Result_Test: CountProfil(PortraitsToFactors(first pass)) followed
// by the same of the second pass. Throws EConvertError unless the string has exactly 48 characters, each
// "1" to "8" (the message names the position in the whole string).
QString DeriveProfil(const QString& resultTest);

// A statement template with each placeholder (%d, or '%s' with its quotes) replaced in order by the
// named parameter ":name" of `names`.
QString BoundTestSQL(const QString& templateText, const QStringList& names);

// A value for a quoted literal of a statement: every apostrophe doubled.
QString QuoteSQLText(const QString& value);

// The insert statement of a new TEST record; dates and times are given as the text that goes into the
// statement ('YYYY-MM-DD', 'HH:MM:SS'). Every text value is quoted with QuoteSQLText.
QString FillInsertTestSQL(int dbId, int menId, const QString& dateText, const QString& timeText,
                          const QString& note, const TTestRecord& record);
// The update statement that rewrites TEST record `testId` (DB_ID and Men_ID stay as they are).
QString FillUpdateTestSQL(int testId, const QString& dateText, const QString& timeText, const QString& note,
                          const TTestRecord& record);

} // namespace Calc
