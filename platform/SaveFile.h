// Writing files safely. In full or not at all: the user never finds a cut file under its name,
// everything is written, also past a short write, and what the file still buffers is written out and
// checked before it is named. Privately: files with personal data (the table file and its companions,
// backups, settings, reports, the log) are readable by their owner alone, and so are the folders the
// program makes for them.
#pragma once

#include <QMutex>
#include <QSaveFile>
#include <QString>
#include <QStringList>

namespace Platform {

// Writes all of data. A disk that fills up on the way gives a short write without a reason; the write
// of the rest then fails with it. False when not everything was written: errorString() says why.
bool WriteAll(QIODevice& file, const char* data, qint64 size);

// Writes out the buffer and gives the file its name. QSaveFile::commit() alone reports success when
// that last write fails, leaving a cut file under the final name; here such a file is discarded and
// false comes back with the reason.
bool CommitAll(QSaveFile& file, QString& reason);

namespace Detail {
// Narrows the existing files and sets the file creation mask to 077 while it lives (see PrivateWrite).
class TPrivateMask {
public:
    explicit TPrivateMask(const QStringList& paths);
    ~TPrivateMask();
    TPrivateMask(const TPrivateMask&) = delete;
    TPrivateMask& operator=(const TPrivateMask&) = delete;

private:
    QMutexLocker<QRecursiveMutex> m_lock;
    unsigned m_previous;
};
} // namespace Detail

// Every write of personal data goes through here. The files of `paths` that exist lose every right of
// group and others; then `write` runs with the file creation mask at 077, so that every file it creates
// is 0600 and every folder 0700 from its first moment (a file never shows its content to others, not
// even until a later chmod). Returns what `write` returns. The mask belongs to the process: what other
// threads create meanwhile is made private too, never less so.
template <class Write> auto PrivateWrite(const QStringList& paths, Write&& write) {
    const Detail::TPrivateMask mask(paths);
    return write();
}
template <class Write> auto PrivateWrite(const QString& path, Write&& write) {
    return PrivateWrite(QStringList{path}, std::forward<Write>(write));
}

// Makes a folder and the missing folders above it; those it makes are 0700. False when it fails.
bool MakePrivatePath(const QString& dir);

// The first of `folders` that exists and whose list of files other users of the computer can read (its
// group or everyone may read it and pass through every folder above it); empty when there is none.
QString FolderOthersCanRead(const QStringList& folders);

} // namespace Platform
