// Stored form of a database password: every code page 1251 byte raised by the length of the password
// (mod 256). Stored as the raw bytes, so every shifted byte round-trips exactly.
#pragma once

#include <QByteArray>
#include <QString>

namespace Data {

// Longest password the dialogs take, in characters; the typing and the confirming box cut alike.
constexpr int kMaxPasswordLength = 255;

QByteArray EncipherPassword(const QString& password);
QString DecipherPassword(const QByteArray& stored);

} // namespace Data
