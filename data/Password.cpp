// Stored passwords: the hash, its check, the conversion of the shifted form, and the pause after wrong
// tries.
#include "data/Password.h"

#include "data/Backup.h"
#include "data/Dataset.h"
#include "data/Engine.h"
#include "platform/Cp1251.h"
#include "platform/ErrorDisplay.h"
#include "platform/Log.h"

#include <QElapsedTimer>
#include <QFile>

#include <sodium.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>

namespace Data {

namespace {

QByteArray shift(QByteArray bytes, int by) {
    for (char& c : bytes)
        c = static_cast<char>((static_cast<unsigned char>(c) + by) & 0xFF);
    return bytes;
}

void initSodium() {
    if (sodium_init() < 0)
        throw Platform::EError(QStringLiteral("Не удалось подготовить библиотеку шифрования libsodium."));
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

struct TSqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

// Runs a statement without results on a copy; false with the engine's words in `error`.
bool execCopy(sqlite3* db, const char* sql, QString& error) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &message);
    if (rc != SQLITE_OK)
        error = QString::fromUtf8(message ? message : sqlite3_errstr(rc));
    sqlite3_free(message);
    return rc == SQLITE_OK;
}

// Converts the shifted passwords of one copy; false with the reason when the copy could not be read or
// written (it is then unchanged: the conversion is one transaction).
bool hashCopy(const QString& path, QString& error) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    const std::unique_ptr<sqlite3, TSqliteCloser> db(raw);
    if (rc != SQLITE_OK) {
        error = QString::fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
        return false;
    }
    sqlite3_busy_timeout(db.get(), 1500);
    QList<TStoredPassword> shifted;
    sqlite3_stmt* select = nullptr;
    if (sqlite3_prepare_v2(db.get(), "select DB_ID, Password from DB where length(Password) > 0", -1, &select,
                           nullptr) != SQLITE_OK) {
        error = QString::fromUtf8(sqlite3_errmsg(db.get()));
        return false;
    }
    while (sqlite3_step(select) == SQLITE_ROW) {
        const QByteArray stored(static_cast<const char*>(sqlite3_column_blob(select, 1)),
                                sqlite3_column_bytes(select, 1));
        if (!IsPasswordHash(stored))
            shifted.append({sqlite3_column_int64(select, 0), stored});
    }
    if (sqlite3_finalize(select) != SQLITE_OK) {
        error = QString::fromUtf8(sqlite3_errmsg(db.get()));
        return false;
    }
    if (shifted.isEmpty())
        return true;
    // The freed bytes of the old values are overwritten, not left in the file's free space.
    if (!execCopy(db.get(), "pragma secure_delete = on", error) ||
        !execCopy(db.get(), "begin immediate", error))
        return false;
    bool ok = true;
    for (const TStoredPassword& row : std::as_const(shifted)) {
        const QByteArray hash = HashPassword(DecipherPassword(row.stored));
        sqlite3_stmt* update = nullptr;
        ok = sqlite3_prepare_v2(db.get(), "update DB set Password = ? where DB_ID = ?", -1, &update,
                                nullptr) == SQLITE_OK;
        if (ok) {
            sqlite3_bind_blob(update, 1, hash.constData(), int(hash.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int64(update, 2, row.id);
            ok = sqlite3_step(update) == SQLITE_DONE;
        }
        if (!ok)
            error = QString::fromUtf8(sqlite3_errmsg(db.get()));
        sqlite3_finalize(update);
        if (!ok)
            break;
    }
    if (ok && execCopy(db.get(), "commit", error))
        return true;
    QString ignored;
    execCopy(db.get(), "rollback", ignored);
    return false;
}

} // namespace

QByteArray HashPassword(const QString& password) {
    if (password.isEmpty())
        return QByteArray(""); // empty, but not null: the field holds no NULLs
    initSodium();
    const QByteArray bytes = passwordBytes(password);
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, bytes.constData(), static_cast<unsigned long long>(bytes.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw Platform::EError(QStringLiteral(
            "Не хватает памяти, чтобы защитить пароль. Закройте другие программы и повторите."));
    return QByteArray(hash);
}

bool IsPasswordHash(const QByteArray& stored) {
    if (!stored.startsWith(crypto_pwhash_STRPREFIX))
        return false;
    initSodium();
    // -1 for a text that is no valid hash of the algorithm.
    return crypto_pwhash_str_needs_rehash(stored.constData(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != -1;
}

bool PasswordMatches(const QByteArray& stored, const QString& typed) {
    if (stored.isEmpty())
        return typed.isEmpty();
    if (!IsPasswordHash(stored))
        return DecipherPassword(stored) == typed;
    const QByteArray bytes = passwordBytes(typed);
    return crypto_pwhash_str_verify(stored.constData(), bytes.constData(),
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

int HashShiftedPasswords(const QSqlDatabase& db) {
    QList<TStoredPassword> shifted;
    {
        TQuery q(db.connectionName(), nullptr);
        q.SetSQL(QStringLiteral("select DB_ID, Password from DB"));
        q.Open();
        for (int r = 0; r < q.RecordCount(); ++r) {
            const QByteArray stored = q.Value(r, 1).toByteArray();
            if (!stored.isEmpty() && !IsPasswordHash(stored))
                shifted.append({q.Value(r, 0).toLongLong(), stored});
        }
    }
    if (shifted.isEmpty())
        return 0;
    // In the table file the old values' bytes are overwritten where they leave free space; the caller
    // writes the pages back into the file once the transaction is in (see DataMod).
    if (!IsServer(db))
        sqlite3_exec(EngineHandle(db), "pragma secure_delete = on", nullptr, nullptr, nullptr);
    for (const TStoredPassword& row : std::as_const(shifted))
        ExecBound(db, QStringLiteral("update DB set Password = :Password where DB_ID = :DB_ID"),
                  {{QStringLiteral("Password"), HashPassword(DecipherPassword(row.stored))},
                   {QStringLiteral("DB_ID"), row.id}});
    return int(shifted.size());
}

void HashPasswordsOfCopies(const QString& dataDir) {
    for (const TBackupInfo& copy : ListBackups(dataDir)) {
        QString error;
        if (!hashCopy(copy.path, error))
            Platform::LogError(QStringLiteral("Пароли в копии %1 не преобразованы").arg(copy.path), error);
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
