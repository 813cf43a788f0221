// Online copies of the table file through SQLite's backup interface.
#include "data/Backup.h"

#include "data/Dataset.h"
#include "data/Engine.h"
#include "data/Schema.h"
#include "platform/SaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <sqlite3.h>

#include <memory>

namespace Data {

namespace {

const QString kPrefix = QStringLiteral("morvel-");
const QString kSuffix = QStringLiteral(".db");
const QString kStampFormat = QStringLiteral("yyyy-MM-dd-HHmmss");

// A copy's file name: the prefix, the moment it was made, the suffix.
const QRegularExpression& namePattern() {
    static const QRegularExpression re(QStringLiteral(R"(^morvel-(\d{4}-\d{2}-\d{2}-\d{6})(-\d+)?\.db$)"));
    return re;
}

struct TCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using THandle = std::unique_ptr<sqlite3, TCloser>;

THandle openFile(const QString& path, int flags) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, flags, nullptr);
    THandle handle(raw);
    if (rc != SQLITE_OK)
        throw EDatabaseError(QStringLiteral("Не удалось открыть файл «%1»: %2")
                                 .arg(QDir::toNativeSeparators(path),
                                      QString::fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc))));
    sqlite3_busy_timeout(handle.get(), 1500);
    return handle;
}

// Copies every page of `from` into `to`; the destination's lock is retried for a while.
void copyPages(sqlite3* to, sqlite3* from, const QString& what) {
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup)
        throw EDatabaseError(what + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(to)));
    int rc;
    int waits = 0;
    do {
        // All pages in one step: the copy is one consistent state of the source.
        rc = sqlite3_backup_step(backup, -1);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            if (++waits > 50)
                break;
            QThread::msleep(100);
        }
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        throw EDatabaseError(what + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errstr(rc)));
}

QString newCopyPath(const QString& dir) {
    const QString stamp = QDateTime::currentDateTime().toString(kStampFormat);
    QString path = dir + kPrefix + stamp + kSuffix;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir + kPrefix + stamp + QStringLiteral("-%1").arg(n) + kSuffix;
    return path;
}

QString writeCopy(sqlite3* source, const QString& dataDir) {
    const QString dir = BackupDir(dataDir);
    if (!Platform::MakePrivatePath(dir))
        throw EDatabaseError(QStringLiteral("Не удалось создать папку резервных копий «%1».")
                                 .arg(QDir::toNativeSeparators(dir)));
    const QString path = newCopyPath(dir);
    const QString part = path + QStringLiteral(".part");
    QFile::remove(part);
    try {
        {
            THandle target = Platform::PrivateWrite(
                part, [&part] { return openFile(part, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE); });
            copyPages(target.get(), source, QStringLiteral("Не удалось сделать резервную копию"));
            // The copy is a file of its own: no journal of the source's kind is needed beside it.
            sqlite3_exec(target.get(), "pragma journal_mode = delete", nullptr, nullptr, nullptr);
        }
        if (!QFile::rename(part, path))
            throw EDatabaseError(QStringLiteral("Не удалось сохранить резервную копию «%1».")
                                     .arg(QDir::toNativeSeparators(path)));
    } catch (...) {
        QFile::remove(part);
        throw;
    }
    return path;
}

void prune(const QString& dataDir, int keep) {
    const QList<TBackupInfo> copies = ListBackups(dataDir);
    for (qsizetype i = std::max(keep, 1); i < copies.size(); ++i)
        QFile::remove(copies[i].path);
}

} // namespace

QString BackupDir(const QString& dataDir) {
    return dataDir + (dataDir.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) +
           QStringLiteral("Backups/");
}

bool DailyBackupDue(const QString& dataDir, const QDate& today) {
    for (const TBackupInfo& b : ListBackups(dataDir))
        if (b.made.date() == today)
            return false;
    return true;
}

QString MakeBackup(const QSqlDatabase& db, const QString& dataDir, int keep) {
    const QString path = writeCopy(EngineHandle(db), dataDir);
    // A copy of a damaged file is no copy: it must not push the good ones out of the folder.
    try {
        VerifyBackup(path);
    } catch (const EDatabaseError&) {
        QFile::remove(path);
        throw EDatabaseError(
            QStringLiteral("файл базы данных повреждён. Прежние копии сохранены; восстановите "
                           "данные из копии («База данных» → «Восстановить из копии...»)."));
    }
    prune(dataDir, keep);
    return path;
}

QList<TBackupInfo> ListBackups(const QString& dataDir) {
    QList<TBackupInfo> list;
    const QDir dir(BackupDir(dataDir));
    for (const QFileInfo& file : dir.entryInfoList({kPrefix + QLatin1Char('*') + kSuffix}, QDir::Files)) {
        const QRegularExpressionMatch m = namePattern().match(file.fileName());
        if (!m.hasMatch())
            continue;
        const QDateTime made = QDateTime::fromString(m.captured(1), kStampFormat);
        if (made.isValid())
            list << TBackupInfo{file.absoluteFilePath(), made, file.size()};
    }
    std::sort(list.begin(), list.end(), [](const TBackupInfo& a, const TBackupInfo& b) {
        return a.made != b.made ? a.made > b.made : a.path > b.path;
    });
    return list;
}

void VerifyBackup(const QString& path) {
    const QString shown = QDir::toNativeSeparators(path);
    if (!QFileInfo(path).isFile())
        throw EDatabaseError(QStringLiteral("Резервная копия «%1» не найдена.").arg(shown));
    THandle handle = openFile(path, SQLITE_OPEN_READONLY);
    QStringList answers;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(handle.get(), "pragma integrity_check", -1, &stmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW)
            answers << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    }
    const int rc = sqlite3_finalize(stmt);
    if (rc != SQLITE_OK || answers != QStringList{QStringLiteral("ok")})
        throw EDatabaseError(QStringLiteral("Резервная копия «%1» повреждена и не может быть использована%2")
                                 .arg(shown, answers.isEmpty() ? QStringLiteral(".")
                                                               : QStringLiteral(": ") + answers.first()));
    for (const char* table : {"DB", "USER", "GROUP", "TEST"}) {
        sqlite3_stmt* check = nullptr;
        sqlite3_prepare_v2(handle.get(),
                           "select 1 from sqlite_master where type = 'table' and name = ? collate nocase", -1,
                           &check, nullptr);
        sqlite3_bind_text(check, 1, table, -1, SQLITE_STATIC);
        const bool found = sqlite3_step(check) == SQLITE_ROW;
        sqlite3_finalize(check);
        if (!found)
            throw EDatabaseError(
                QStringLiteral("Файл «%1» не является резервной копией базы данных программы: нет "
                               "таблицы %2.")
                    .arg(shown, QString::fromLatin1(table)));
    }
}

QString RestoreBackup(const QSqlDatabase& db, const QString& dataDir, const QString& backupPath, int keep) {
    VerifyBackup(backupPath);
    sqlite3* live = EngineHandle(db);
    THandle source = openFile(backupPath, SQLITE_OPEN_READONLY);
    const QString kept = writeCopy(live, dataDir);
    copyPages(live, source.get(), QStringLiteral("Не удалось восстановить данные из копии"));
    source.reset();
    {
        // A copy made by an earlier version gets the schema of this one.
        QSqlDatabase connection = db;
        TTransaction transaction(connection);
        PrepareSchema(connection, false);
        transaction.Commit();
    }
    prune(dataDir, keep + 1);
    return kept;
}

} // namespace Data
