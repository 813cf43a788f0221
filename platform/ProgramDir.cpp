// Program directory, set once.
#include "platform/ProgramDir.h"

#include <QCoreApplication>
#include <QDir>

namespace Platform {

namespace {
QString& override() {
    static QString dir;
    return dir;
}
} // namespace

QString ProgramDir() {
    QString dir = override().isEmpty() ? QCoreApplication::applicationDirPath() : override();
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}

void SetProgramDir(const QString& dir) { override() = QDir::cleanPath(dir); }

QString ProgramPath(const QString& literal) { return ProgramDir() + literal; }

} // namespace Platform
