// Error log of the data directory.
#include "platform/Log.h"

#include "platform/ProgramDir.h"
#include "platform/SaveFile.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>

namespace Platform {

QString LogFilePath() { return DataPath(QStringLiteral("/DB/morvel.log")); }

void LogError(const QString& context, const QString& text) {
    // Engine errors may be raised on worker threads (the export); lines must not interleave.
    static QMutex mutex;
    const QMutexLocker lock(&mutex);
    QFile file(LogFilePath());
    if (!PrivateWrite(file.fileName(), [&file] { return file.open(QIODevice::Append | QIODevice::Text); }))
        return;
    QString line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + context;
    if (!text.isEmpty())
        line += QStringLiteral(": ") + text;
    line.replace(u'\n', u' ');
    file.write(line.toUtf8() + '\n');
}

} // namespace Platform
