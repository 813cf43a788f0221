// Online copies of the table file through SQLite's backup interface; copies are checked on scratch files.
#include "data/Backup.h"

#include "data/FileEngine.h"
#include "data/Schema.h"
#include "platform/Locale.h"
#include "platform/SaveFile.h"
#include "platform/SystemError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace Data {

namespace {

const QString kPrefix = QStringLiteral("morvel-");
const QString kSuffix = QStringLiteral(".db");
const QString kPart = QStringLiteral(".part");
constexpr char kStampLayout[] = "yyyy-MM-dd-HHmmss";
const QString kStampFormat = QString::fromLatin1(kStampLayout);
// The engine's files beside a database file.
const QStringList kEngineSuffixes = {QStringLiteral("-journal"), QStringLiteral("-wal"),
                                     QStringLiteral("-shm")};
// A left-over changed more recently than this may belong to a copy being made right now elsewhere.
constexpr qint64 kLeftoverAgeSeconds = 10 * 60;
// A write-ahead log of no more than its header holds no data.
constexpr qint64 kWalHeaderSize = 32;

// The moment in a copy's file name: the prefix, the moment it was made ("yyyy-MM-dd-HHmmss"), a number
// ("-2") when the second was taken, the suffix; empty for any other name. Read by hand: every start lists
// the copies.
QString stampOf(const QString& name) {
    if (!name.startsWith(kPrefix) || !name.endsWith(kSuffix))
        return {};
    const QStringView middle =
        QStringView(name).sliced(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    const qsizetype stampLength = kStampFormat.size();
    if (middle.size() < stampLength)
        return {};
    for (qsizetype i = 0; i < stampLength; ++i) {
        const bool dash = i == 4 || i == 7 || i == 10;
        if (dash ? middle[i] != u'-' : !(middle[i] >= u'0' && middle[i] <= u'9'))
            return {};
    }
    const QStringView number = middle.sliced(stampLength);
    if (!number.isEmpty() &&
        (number.size() < 2 || number[0] != u'-' ||
         !std::all_of(number.begin() + 1, number.end(), [](QChar c) { return c >= u'0' && c <= u'9'; })))
        return {};
    return middle.first(stampLength).toString();
}

// The local moment of a stamp that stampOf found well formed; invalid for an empty stamp or a date or
// time that does not exist.
QDateTime madeAt(QStringView stamp) {
    const auto n = Platform::ReadFixedNumbers(stamp, kStampLayout);
    if (!n)
        return {};
    const QDate date((*n)[0], (*n)[1], (*n)[2]);
    const QTime time((*n)[3], (*n)[4], (*n)[5]);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

// A new file name in `dir`: prefix, the moment, suffix; numbered when the second is taken.
QString newPath(const QString& dir, const QString& prefix, const QString& suffix,
                const QDateTime& moment = QDateTime::currentDateTime()) {
    const QString now = moment.toString(kStampFormat);
    QString path = dir + prefix + now + suffix;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir + prefix + now + QStringLiteral("-%1").arg(n) + suffix;
    return path;
}

QString makeBackupDir(const QString& dataDir) {
    const QString dir = BackupDir(dataDir);
    if (!Platform::MakePrivatePath(dir))
        throw EDatabaseError(
            QStringLiteral("Не удалось создать папку резервных копий «%1».").arg(shown(dir)));
    return dir;
}

void removeWithEngineFiles(const QString& path) {
    QFile::remove(path);
    for (const QString& suffix : kEngineSuffixes)
        QFile::remove(path + suffix);
}

// Writes the file out to the disk, so that a rename after it never names a file whose bytes are lost
// with the power.
bool syncPath(const QString& path, int flags) {
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// A reason to follow a colon: its first letter in lower case.
QString reason(const QString& text) { return text.isEmpty() ? text : text.front().toLower() + text.mid(1); }

// Copies a file byte for byte into a new file; throws the reason of a failure in Russian.
void copyFile(const QString& from, const QString& to) {
    bool created = false;
    const auto fail = [&](const QFile& file) {
        const EDatabaseError error(reason(Platform::FileErrorText(file)), file.errorString());
        if (created)
            QFile::remove(to);
        throw error;
    };
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        fail(source);
    QFile target(to);
    // The copy holds the testees' data: its owner alone may read it.
    if (!Platform::PrivateWrite(to,
                                [&target] { return target.open(QIODevice::WriteOnly | QIODevice::NewOnly); }))
        fail(target);
    created = true;
    constexpr qint64 kChunk = 1 << 20;
    while (!source.atEnd()) {
        const QByteArray bytes = source.read(kChunk);
        if (bytes.isEmpty() && source.error() != QFileDevice::NoError)
            fail(source);
        if (!Platform::WriteAll(target, bytes.constData(), bytes.size()))
            fail(target);
    }
    // A short write keeps the rest in the buffer; the second flush gives the reason.
    if (!target.flush() && !target.flush())
        fail(target);
}

// A scratch file made of a copy: checked with the engine and brought to this program's schema (and to a
// given page size) without the copy itself ever being opened by the engine. The scratch file and the
// engine's files beside it are removed at the end, unless the file was taken over (Release).
class TScratch {
public:
    TScratch(const QString& copy, const QString& folder, int pageSize) {
        const QString name = shown(copy);
        if (!QFileInfo(copy).isFile())
            throw EDatabaseError(QStringLiteral("Резервная копия «%1» не найдена.").arg(name));
        static int serial = 0;
        m_path = newPath(folder,
                         QStringLiteral("check-%1-%2-").arg(QCoreApplication::applicationPid()).arg(++serial),
                         kSuffix + kPart);
        try {
            copyFile(copy, m_path);
            // A hand-placed copy may have committed changes still in its write-ahead log.
            const QString wal = copy + QStringLiteral("-wal");
            if (QFileInfo(wal).size() > kWalHeaderSize)
                copyFile(wal, m_path + QStringLiteral("-wal"));
            checkAs(name, pageSize);
        } catch (const EDamagedFile&) {
            removeWithEngineFiles(m_path);
            throw;
        } catch (const EDatabaseError& e) {
            removeWithEngineFiles(m_path);
            // The check could not be made (a full disk, no memory): that says nothing about the copy.
            const auto* engine = dynamic_cast<const EEngineError*>(&e);
            throw EDatabaseError(QStringLiteral("Не удалось проверить резервную копию «%1»: %2")
                                     .arg(name, engine && !engine->reason().isEmpty()
                                                    ? reason(engine->reason())
                                                    : e.message()),
                                 e.detail());
        }
    }
    ~TScratch() {
        if (!m_path.isEmpty())
            removeWithEngineFiles(m_path);
    }
    TScratch(const TScratch&) = delete;
    TScratch& operator=(const TScratch&) = delete;

    const QString& Path() const { return m_path; }
    // The scratch file now lives under another name; only the engine's files are left to remove.
    void Release() {
        for (const QString& suffix : kEngineSuffixes)
            QFile::remove(m_path + suffix);
        m_path.clear();
    }

private:
    // The check, its failures said of the copy as the user named it.
    void checkAs(const QString& name, int pageSize) {
        try {
            check(pageSize);
        } catch (const EDamagedFile& e) {
            if (!e.missing().isEmpty())
                throw EDamagedFile(
                    QStringLiteral("Резервная копия «%1» не подходит: в ней нет таблиц или полей, "
                                   "нужных программе (%2). Выберите другую копию.")
                        .arg(name, e.missing().join(QStringLiteral(", "))),
                    e.detail(), e.missing());
            throw EDamagedFile(m_notOurs
                                   ? QStringLiteral("Файл «%1» не является резервной копией базы данных "
                                                    "программы. Выберите другую копию.")
                                         .arg(name)
                                   : QStringLiteral("Резервная копия «%1» повреждена и не может быть "
                                                    "использована. Выберите другую копию.")
                                         .arg(name),
                               e.detail().isEmpty() ? e.message() : e.detail());
        }
    }

    void check(int pageSize) {
        const std::unique_ptr<TFileEngine> db = TFileEngine::Open(m_path);
        const QString what = QStringLiteral("проверка копии");
        // A file of its own: the log copied along is taken into it, and no log is kept beside it.
        db->Run("pragma journal_mode = delete", what);
        QStringList answers;
        try {
            for (const auto& row : db->Rows(TSql{"pragma integrity_check"}))
                answers << row[0].toString();
        } catch (const EEngineError& e) {
            if (IsDamage(e))
                throw EDamagedFile(QString(), e.detail());
            throw;
        }
        if (answers != QStringList{QStringLiteral("ok")})
            throw EDamagedFile(QString(), answers.join(QStringLiteral("; ")));
        {
            TTransaction transaction(*db);
            const TSchemaReport report = [&] {
                try {
                    return PrepareSchema(*db, false);
                } catch (const EDamagedFile&) {
                    m_notOurs = true;
                    throw;
                }
            }();
            // A file without any table of the program (an empty one, too) is no copy of its data.
            if (report.created) {
                m_notOurs = true;
                throw EDamagedFile(QString());
            }
            transaction.Commit();
        }
        // Pages are written into a live file in its write-ahead log only at the live file's page size.
        if (pageSize > 0 && db->PageSize() != pageSize)
            db->Run("pragma page_size = " + QByteArray::number(pageSize) + "; vacuum", what);
    }

    QString m_path;
    bool m_notOurs = false;
};

QString writeCopy(TEngine& source, const QString& dataDir,
                  const QDateTime& now = QDateTime::currentDateTime()) {
    const QString path = newPath(makeBackupDir(dataDir), kPrefix, kSuffix, now);
    const QString part = path + kPart;
    removeWithEngineFiles(part);
    try {
        Platform::PrivateWrite(part, [&] { source.BackupInto(part); });
        if (!QFile::rename(part, path))
            throw EDatabaseError(
                QStringLiteral("Не удалось сохранить резервную копию «%1».").arg(shown(path)));
    } catch (...) {
        removeWithEngineFiles(part);
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

QString MakeBackup(TEngine& db, const QString& dataDir, int keep, const QDateTime& now) {
    const QString path = writeCopy(db, dataDir, now);
    // A copy of a damaged file is no copy: it must not push the good ones out of the folder.
    try {
        VerifyBackup(path);
    } catch (const EDamagedFile& e) {
        QFile::remove(path);
        throw EDamagedFile(QStringLiteral("файл базы данных повреждён. Прежние копии сохранены; восстановите "
                                          "данные из копии («База данных» → «Восстановить из копии...»)."),
                           e.detail());
    } catch (...) {
        QFile::remove(path);
        throw;
    }
    prune(dataDir, keep);
    return path;
}

QList<TBackupInfo> ListBackups(const QString& dataDir) {
    QList<TBackupInfo> list;
    const QDir dir(BackupDir(dataDir));
    // No name filter: the directory's names are checked by stampOf, and a filter would compile a pattern.
    for (const QFileInfo& file : dir.entryInfoList(QDir::Files)) {
        const QDateTime made = madeAt(stampOf(file.fileName()));
        if (made.isValid())
            list << TBackupInfo{file.absoluteFilePath(), made, file.size()};
    }
    // Copies of one second are numbered in the order they were made: "-2" after none, "-10" after "-9".
    std::sort(list.begin(), list.end(), [](const TBackupInfo& a, const TBackupInfo& b) {
        if (a.made != b.made)
            return a.made > b.made;
        return a.path.size() != b.path.size() ? a.path.size() > b.path.size() : a.path > b.path;
    });
    return list;
}

void RemoveLeftovers(const QString& dataDir) {
    const QDateTime before = QDateTime::currentDateTime().addSecs(-kLeftoverAgeSeconds);
    const QDir dir(BackupDir(dataDir));
    for (const QFileInfo& file : dir.entryInfoList(QDir::Files | QDir::Hidden)) {
        if (file.lastModified() > before)
            continue;
        const QString name = file.fileName();
        // An unfinished copy goes with its engine files. The shared-memory file beside a copy never holds
        // data; a log does when it has more than its header (a copy placed by hand with its log), and then
        // it stays.
        const bool unfinished =
            name.endsWith(kSuffix + kPart) ||
            std::any_of(kEngineSuffixes.begin(), kEngineSuffixes.end(),
                        [&](const QString& s) { return name.endsWith(kSuffix + kPart + s); });
        const bool shm = name.endsWith(kSuffix + QStringLiteral("-shm"));
        const bool wal = name.endsWith(kSuffix + QStringLiteral("-wal"));
        const bool remove = unfinished || shm || (wal && file.size() <= kWalHeaderSize);
        if (remove)
            QFile::remove(file.absoluteFilePath());
    }
}

void VerifyBackup(const QString& path) {
    TScratch(path, QFileInfo(path).absolutePath() + QLatin1Char('/'), 0);
}

QString RestoreBackup(TEngine& db, const QString& dataDir, const QString& backupPath, int keep) {
    const TScratch scratch(backupPath, makeBackupDir(dataDir), db.PageSize());
    const QString kept = writeCopy(db, dataDir);
    db.RestoreFrom(scratch.Path());
    prune(dataDir, keep + 1);
    return kept;
}

QString RestoreTableFile(const QString& dataDir, const QString& backupPath) {
    const QString dir = makeBackupDir(dataDir);
    const QString live = QDir(dataDir).filePath(kTableFileName);
    TScratch scratch(backupPath, dir, 0);
    const QString what = QStringLiteral("Не удалось восстановить данные из копии");
    // The unusable file is kept, with its log, for whoever can still rescue something from it.
    QString kept;
    if (QFileInfo::exists(live)) {
        kept = newPath(dir, QStringLiteral("damaged-"), kSuffix);
        try {
            copyFile(live, kept);
            if (QFileInfo::exists(live + QStringLiteral("-wal")))
                copyFile(live + QStringLiteral("-wal"), kept + QStringLiteral("-wal"));
        } catch (const EDatabaseError& e) {
            removeWithEngineFiles(kept);
            throw EDatabaseError(what + QStringLiteral(": ") + e.message(), e.detail());
        }
        QFile::setPermissions(scratch.Path(), QFile::permissions(live));
    }
    if (!syncPath(scratch.Path(), O_RDONLY))
        throw EDatabaseError(what + QStringLiteral(": ") + reason(Platform::SystemErrorText(errno)));
    // The engine's files of the old file must not be applied to the new one.
    for (const QString& suffix : kEngineSuffixes) {
        QFile file(live + suffix);
        if (file.exists() && !file.remove())
            throw EDatabaseError(what + QStringLiteral(": ") + reason(Platform::FileErrorText(file)),
                                 file.errorString());
    }
    if (std::rename(QFile::encodeName(scratch.Path()).constData(), QFile::encodeName(live).constData()) != 0)
        throw EDatabaseError(what + QStringLiteral(": ") + reason(Platform::SystemErrorText(errno)));
    scratch.Release();
    syncPath(dataDir, O_RDONLY | O_DIRECTORY);
    return kept;
}

} // namespace Data
