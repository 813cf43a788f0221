// Code page 1251 bytes for the few rules that compute on them (password cipher, character tables of the
// formula engine). Our own table of the upper 128 code points, so no system codec is needed.
#pragma once

#include <QByteArray>
#include <QString>

namespace Cp1251 {

// Byte of one character; characters outside the code page give '?'.
unsigned char toByte(QChar ch);
// Character of one byte; 0x98, unassigned in the code page, maps to U+0098 so every byte round-trips.
QChar fromByte(unsigned char byte);

QByteArray encode(const QString& text);
QString decode(const QByteArray& bytes);

} // namespace Cp1251
