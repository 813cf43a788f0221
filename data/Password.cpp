// Stored passwords: the hash, its check, the conversion of the shifted form, and the pause after wrong
// tries.
#include "data/Password.h"

#include "data/Backup.h"
#include "data/FileEngine.h"
#include "data/Schema.h"
#include "data/Statements.h"
#include "platform/Cp1251.h"
#include "platform/ErrorDisplay.h"
#include "platform/Log.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtEndian>

#include <sodium.h>

#include <dlfcn.h>

#include <algorithm>
#include <memory>
#include <type_traits>

namespace Data {

namespace {

QByteArray shift(QByteArray bytes, int by) {
    for (char& c : bytes)
        c = static_cast<char>((static_cast<unsigned char>(c) + by) & 0xFF);
    return bytes;
}

// The functions of libsodium used here. The library is loaded when a password is first hashed or checked
// rather than with the program: most starts open databases without passwords.
struct TSodium {
    decltype(&::crypto_pwhash_str) pwhashStr = nullptr;
    decltype(&::crypto_pwhash_str_needs_rehash) pwhashStrNeedsRehash = nullptr;
    decltype(&::crypto_pwhash_str_verify) pwhashStrVerify = nullptr;
};

constexpr const char* kSodiumFile = "libsodium.so.23";

TSodium loadSodium() {
    // Kept loaded for good, as a linked library would be.
    void* handle = dlopen(kSodiumFile, RTLD_NOW | RTLD_LOCAL);
    const auto resolve = [handle](auto& function, const char* name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(handle, name));
        return function != nullptr;
    };
    decltype(&::sodium_init) init = nullptr;
    TSodium api;
    if (!handle || !resolve(init, "sodium_init") || !resolve(api.pwhashStr, "crypto_pwhash_str") ||
        !resolve(api.pwhashStrNeedsRehash, "crypto_pwhash_str_needs_rehash") ||
        !resolve(api.pwhashStrVerify, "crypto_pwhash_str_verify")) {
        const char* why = dlerror();
        throw Platform::EError(
            QStringLiteral("Не удалось загрузить библиотеку шифрования libsodium (%1), без "
                           "которой нельзя работать с паролями баз данных. Установите "
                           "пакет libsodium23.")
                .arg(QString::fromLatin1(kSodiumFile)),
            QString::fromLocal8Bit(why ? why : "dlsym"));
    }
    if (init() < 0)
        throw Platform::EError(QStringLiteral("Не удалось подготовить библиотеку шифрования libsodium."));
    return api;
}

const TSodium& sodium() {
    // An exception leaves the static uninitialised, so a later call tries again.
    static const TSodium api = loadSodium();
    return api;
}

// The bytes a password is hashed from: a letter typed as one composed character or as a base letter
// with a combining mark is the same password.
QByteArray passwordBytes(const QString& password) {
    return password.normalized(QString::NormalizationForm_C).toUtf8();
}

struct TStoredPassword {
    qint64 id;
    QByteArray stored;
};

} // namespace

QByteArray HashPassword(const QString& password) {
    if (password.isEmpty())
        return QByteArray(""); // empty, but not null: the field holds no NULLs
    const TSodium& api = sodium();
    const QByteArray bytes = passwordBytes(password);
    char hash[crypto_pwhash_STRBYTES];
    if (api.pwhashStr(hash, bytes.constData(), static_cast<unsigned long long>(bytes.size()),
                      crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw Platform::EError(QStringLiteral(
            "Не хватает памяти, чтобы защитить пароль. Закройте другие программы и повторите."));
    return QByteArray(hash);
}

bool IsPasswordHash(const QByteArray& stored) {
    if (!stored.startsWith(crypto_pwhash_STRPREFIX))
        return false;
    // -1 for a text that is no valid hash of the algorithm.
    return sodium().pwhashStrNeedsRehash(stored.constData(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                         crypto_pwhash_MEMLIMIT_INTERACTIVE) != -1;
}

bool PasswordMatches(const QByteArray& stored, const QString& typed) {
    if (stored.isEmpty())
        return typed.isEmpty();
    if (!IsPasswordHash(stored))
        return DecipherPassword(stored) == typed;
    const QByteArray bytes = passwordBytes(typed);
    return sodium().pwhashStrVerify(stored.constData(), bytes.constData(),
                                    static_cast<unsigned long long>(bytes.size())) == 0;
}

QByteArray EncipherPassword(const QString& password) {
    const QByteArray plain = Cp1251::encode(password);
    if (plain.isEmpty())
        return QByteArray("");
    return shift(plain, static_cast<int>(plain.size() % 256));
}

QString DecipherPassword(const QByteArray& stored) {
    return Cp1251::decode(shift(stored, 256 - static_cast<int>(stored.size() % 256)));
}

int HashShiftedPasswords(TEngine& db) {
    QList<TStoredPassword> shifted;
    for (const auto& row : db.Rows(kPasswords)) {
        const QByteArray stored = row[1].toByteArray();
        if (!stored.isEmpty() && !IsPasswordHash(stored))
            shifted.append({row[0].toLongLong(), stored});
    }
    if (shifted.isEmpty())
        return 0;
    // In the table file the old values' bytes are overwritten where they leave free space; the caller
    // writes the pages back into the file once the transaction is in (see DataMod).
    if (!db.IsServer())
        db.Run("pragma secure_delete = on", QStringLiteral("Не удалось преобразовать пароли"));
    for (const TStoredPassword& row : std::as_const(shifted))
        db.Exec(kUpdatePassword, {{QStringLiteral("Password"), HashPassword(DecipherPassword(row.stored))},
                                  {QStringLiteral("DB_ID"), row.id}});
    return int(shifted.size());
}

namespace {
// The schema version in a table file's header (the engine keeps it at byte 60, big-endian); 0 when the
// header cannot be read.
int headerVersion(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray header = file.read(64);
    if (header.size() < 64 || !header.startsWith("SQLite format 3"))
        return 0;
    return qFromBigEndian<qint32>(header.constData() + 60);
}
} // namespace

void HashPasswordsOfCopies(const QString& dataDir) {
    // Each copy in a transaction of its own: one that cannot be opened or written stays as it is. A copy
    // made from a file of the hashing schema holds hashes already and is not opened (every start comes
    // here).
    for (const TBackupInfo& copy : ListBackups(dataDir)) {
        if (headerVersion(copy.path) >= kHashedPasswordsVersion)
            continue;
        try {
            const std::unique_ptr<TFileEngine> db = TFileEngine::Open(copy.path);
            TTransaction transaction(*db);
            HashShiftedPasswords(*db);
            transaction.Commit();
        } catch (const EDatabaseError& e) {
            Platform::LogError(QStringLiteral("Пароли в копии %1 не преобразованы").arg(copy.path),
                               e.detail().isEmpty() ? e.message() : e.detail());
        }
    }
}

TRetryDelay::TRetryDelay(TClock clock) : m_clock(std::move(clock)) {
    if (!m_clock) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        m_clock = [timer] { return timer->elapsed(); };
    }
}

qint64 TRetryDelay::Remaining() const { return m_delay == 0 ? 0 : std::max<qint64>(0, m_until - m_clock()); }

void TRetryDelay::Failed() {
    m_delay = m_delay == 0 ? kFirstMs : std::min(2 * m_delay, kLongestMs);
    m_until = m_clock() + m_delay;
}

void TRetryDelay::Succeeded() { m_delay = 0; }

} // namespace Data
