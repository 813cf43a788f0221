// Database passwords as the DB table keeps them: a salted, slow hash (Argon2id through libsodium), so that
// a copy of the table file yields no password, only a slow way to test guesses. Also the shifted form of
// earlier versions (every code page 1251 byte raised by the length of the password, mod 256), which is
// converted to the hash when a file or server database is first opened, and the pause after wrong tries.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace Data {

// Longest password the dialogs take, in characters; the typing and the confirming box cut alike.
constexpr int kMaxPasswordLength = 255;

// The stored form of a password: empty for none, otherwise the text of crypto_pwhash_str (Argon2id, a
// random salt, the library's interactive limits) of its UTF-8 bytes in composed form. Throws EError
// when the hash cannot be made (memory).
QByteArray HashPassword(const QString& password);
// True when `typed` is the password of the stored value: checked against the hash, or, for a value still
// in the shifted form (a file opened read-only before its conversion), compared with its deciphered text.
bool PasswordMatches(const QByteArray& stored, const QString& typed);
// True for a stored value made by HashPassword.
bool IsPasswordHash(const QByteArray& stored);

// The shifted form of earlier versions. Decipher is needed to convert stored passwords; Encipher is its
// inverse, for making files as those versions did.
QByteArray EncipherPassword(const QString& password);
QString DecipherPassword(const QByteArray& stored);

// Replaces every stored password of the DB table that is not yet a hash by the hash of its deciphered
// text, inside the caller's transaction (the table file or the server). Returns the number replaced.
class TEngine;
int HashShiftedPasswords(TEngine& db);

// The same for the copies in the backup folder of `dataDir` that an earlier version made: each copy is
// converted in a transaction of its own, with the replaced bytes overwritten. A copy that cannot be
// opened or written is left as it is; the reason goes to the log.
void HashPasswordsOfCopies(const QString& dataDir);

// The pause after a wrong password: 0.5 s after the first, doubled after each further one up to 8 s; a
// right password clears it. The clock (milliseconds, never going back) can be replaced in tests.
class TRetryDelay {
public:
    using TClock = std::function<qint64()>;
    static constexpr qint64 kFirstMs = 500;
    static constexpr qint64 kLongestMs = 8000;

    explicit TRetryDelay(TClock clock = {});
    // Milliseconds until the next try may be checked; 0 when it may be checked now.
    qint64 Remaining() const;
    void Failed();
    void Succeeded();

private:
    TClock m_clock;
    qint64 m_delay = 0; // the pause after the last wrong try
    qint64 m_until = 0; // clock time at which the next try may be checked
};

} // namespace Data
