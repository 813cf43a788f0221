// Copies of the table file in the data directory's "Backups" folder: made online with the engine's
// backup interface (consistent while other connections write), listed, checked and restored.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

namespace Data {

class TEngine;

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
// of the backup folder, named after the moment `now` (under a temporary name until it is complete),
// then deletes the oldest copies beyond `keep`. Returns the path of the copy; throws EDatabaseError and
// leaves no file on failure, also when the copy fails the integrity check (the live file is damaged:
// older copies stay).
QString MakeBackup(TEngine& db, const QString& dataDir, int keep,
                   const QDateTime& now = QDateTime::currentDateTime());

// The copies of the backup folder, newest first.
QList<TBackupInfo> ListBackups(const QString& dataDir);

// Removes what a backup or restore that was killed midway left behind: unfinished copies ("*.db.part")
// with the engine's files beside them, and the engine's empty files beside the copies. Files changed in
// the last minutes are left alone: another workstation may be making its copy right now.
void RemoveLeftovers(const QString& dataDir);

// Checks a copy before it is used, on a scratch file beside it (the copy itself is never opened by the
// engine, so nothing is left beside it): the integrity check, every table and column the program needs,
// the reference rows. Throws EDamagedFile when the copy cannot be used, another EDatabaseError when
// the check itself failed (a full disk).
void VerifyBackup(const QString& path);

// Replaces the data of the connection's database with a copy: the copy is checked and brought to this
// program's schema and to the live file's page size as a scratch file, the current data is kept as one
// more copy, and only then are the scratch file's pages written into the live file, in one step of the
// engine that either completes or leaves the old data (other connections see one or the other).
// Returns the path of the copy of the current data.
QString RestoreBackup(TEngine& db, const QString& dataDir, const QString& backupPath, int keep);

// The same when the live table file cannot be opened (damaged, or not the program's): the checked
// scratch file takes the place of the table file in one rename. The unusable file is kept in the backup
// folder as "damaged-YYYY-MM-DD-HHMMSS.db"; returns that path (empty when there was no table file).
// Nothing may have the table file open.
QString RestoreTableFile(const QString& dataDir, const QString& backupPath);

} // namespace Data
