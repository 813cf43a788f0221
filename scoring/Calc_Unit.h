// The fixed tables of the portrait test and the pure operations of scoring: portrait digits to factor
// codes, factor codes to counts. Nothing here touches a window or the database; the classification
// through the Symbols rows is in Calc_Records.h.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include "platform/Error.h"

#include <array>

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

// Input that cannot be scored: a character that is not a portrait digit or a factor code, a string too
// short, a count that does not fit one digit. The message (Russian) names the position.
class EConvertError : public Platform::EError {
public:
    using Platform::EError::EError;
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

} // namespace Calc
