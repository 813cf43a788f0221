// The personal codes of a group session: six characters of an alphabet without look-alikes, drawn from
// the system's random source, and their comparison in constant time.
#pragma once

#include <QString>
#include <QStringList>

namespace Group {

// Digits and capital letters without I, L, O and U: 32 characters, so a code of six carries 30 bits.
inline const QString kCodeAlphabet = QStringLiteral("0123456789ABCDEFGHJKMNPQRSTVWXYZ");
inline constexpr int kCodeLength = 6;

// `count` different codes, each character drawn uniformly from the system's random source.
QStringList NewCodes(int count);

// A code as typed, in the form the codes are kept: spaces and dashes dropped, capitals, the look-alikes
// O read as 0 and I, L as 1. Empty when it is not six characters of the alphabet.
QString NormalizeCode(const QString& typed);

// True when both are the same code. The time taken does not depend on where they differ.
bool SameCode(const QString& a, const QString& b);

} // namespace Group
