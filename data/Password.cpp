// Password cipher over code page 1251 bytes.
#include "data/Password.h"

#include "platform/Cp1251.h"

namespace Data {

namespace {
QByteArray shift(QByteArray bytes, int by) {
    for (char& c : bytes)
        c = static_cast<char>((static_cast<unsigned char>(c) + by) & 0xFF);
    return bytes;
}
} // namespace

QByteArray EncipherPassword(const QString& password) {
    const QByteArray plain = Cp1251::encode(password);
    if (plain.isEmpty())
        return QByteArray(""); // empty, but not null: the field holds no NULLs
    return shift(plain, static_cast<int>(plain.size() % 256));
}

QString DecipherPassword(const QByteArray& stored) {
    return Cp1251::decode(shift(stored, 256 - static_cast<int>(stored.size() % 256)));
}

} // namespace Data
