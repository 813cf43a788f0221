// Copies of the table file in the data directory's "Backups" folder: made online with the engine's
// backup interface (consistent while other connections write), listed, checked and restored.
#pragma once

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>

namespace Data {

inline constexpr int kDefaultBackupsKept = 10;

struct TBackupInfo {
    QString path;
    QDateTime made; // from the file name
    qint64 size = 0;
};

// The backup folder of a data directory (with its trailing separator).
QString BackupDir(const QString& dataDir);

// True when no copy was made today.
bool DailyBackupDue(const QString& dataDir, const QDate& today = QDate::currentDate());

// Writes a complete copy of the connection's database into a new file "morvel-YYYY-MM-DD-HHMMSS.db"
// of the backup folder (under a temporary name until it is complete), then deletes the oldest copies
// beyond `keep`. Returns the path of the copy; throws EDatabaseError and leaves no file on failure,
// also when the copy fails the integrity check (the live file is damaged: older copies stay).
QString MakeBackup(const QSqlDatabase& db, const QString& dataDir, int keep);

// The copies of the backup folder, newest first.
QList<TBackupInfo> ListBackups(const QString& dataDir);

// Checks a copy before it is used: the engine's integrity check passes and the program's data tables
// are there. Throws EDatabaseError saying what is wrong.
void VerifyBackup(const QString& path);

// Replaces the data of the connection's database with a checked copy: the current data is first
// kept as one more copy, then the copy's pages are written into the live file through the engine (so
// other connections see either the old or the restored data), and its schema is brought up to date.
// Returns the path of the copy of the current data.
QString RestoreBackup(const QSqlDatabase& db, const QString& dataDir, const QString& backupPath, int keep);

} // namespace Data
