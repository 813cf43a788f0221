// Writing a file in full or not at all, and privately, for everything with personal data.
#include "platform/SaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace Platform {

bool WriteAll(QIODevice& file, const char* data, qint64 size) {
    for (qint64 done = 0; done < size;) {
        const qint64 written = file.write(data + done, size - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

bool CommitAll(QSaveFile& file, QString& reason) {
    // A short write keeps the rest in the buffer and gives no reason; the second attempt gives it.
    if (!file.flush() && !file.flush()) {
        reason = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        reason = file.errorString();
        return false;
    }
    return true;
}

namespace Detail {

namespace {
// The mask is set and given back by one private write at a time; a write inside another keeps it.
QRecursiveMutex g_maskMutex;
} // namespace

TPrivateMask::TPrivateMask(const QStringList& paths) : m_lock(&g_maskMutex) {
    for (const QString& path : paths) {
        struct stat info {};
        const QByteArray name = QFile::encodeName(path);
        // A file that cannot be narrowed (not ours, a read-only file system) is written as the write
        // would be without this; the write itself reports what fails.
        if (::stat(name.constData(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 077) != 0)
            ::chmod(name.constData(), info.st_mode & 0700);
    }
    m_previous = ::umask(077);
}

TPrivateMask::~TPrivateMask() { ::umask(static_cast<mode_t>(m_previous)); }

} // namespace Detail

bool MakePrivatePath(const QString& dir) {
    return PrivateWrite(QStringList(), [&dir] { return QDir().mkpath(dir); });
}

QString FolderOthersCanRead(const QStringList& folders) {
    for (const QString& folder : folders) {
        const QString path = QFileInfo(folder).absoluteFilePath();
        struct stat info {};
        if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
            continue;
        // Who may list it: the group, everyone, or both; each of them must also pass every folder above.
        bool group = info.st_mode & S_IRGRP;
        bool everyone = info.st_mode & S_IROTH;
        for (QDir up(path); (group || everyone) && up.cdUp();) {
            struct stat above {};
            if (::stat(QFile::encodeName(up.absolutePath()).constData(), &above) != 0)
                break;
            everyone = everyone && (above.st_mode & S_IXOTH);
            group = group && (above.st_mode & (S_IXGRP | S_IXOTH));
        }
        if (group || everyone)
            return path;
    }
    return {};
}

} // namespace Platform
