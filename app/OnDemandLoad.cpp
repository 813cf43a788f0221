// The parts opened on demand, for the program: the module beside the executable (in the build's program
// directory) or in the package's library folder, loaded on the first call and kept.
#include "app/OnDemand.h"

#include "platform/Error.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

namespace {

const TOnDemand& load() {
    const QString dir = QCoreApplication::applicationDirPath();
    QString error;
    const QStringList places = {dir + QStringLiteral("/" MORVEL_MODULE_FILE),
                                dir + QStringLiteral("/" MORVEL_MODULE_INSTALLED)};
    for (const QString& path : places) {
        if (!QFileInfo::exists(path))
            continue;
        void* module = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            error = QString::fromLocal8Bit(dlerror());
            break;
        }
        if (auto* entry = reinterpret_cast<decltype(&morvel_on_demand)>(dlsym(module, "morvel_on_demand")))
            return *entry();
        error = QString::fromLocal8Bit(dlerror());
        break;
    }
    if (error.isEmpty())
        error = QStringLiteral("%1 не найден в %2").arg(QStringLiteral(MORVEL_MODULE_FILE), dir);
    throw Platform::EError(
        QStringLiteral("Не удалось загрузить часть программы (%1), без которой это окно не "
                       "открывается. Переустановите программу.")
            .arg(QStringLiteral(MORVEL_MODULE_FILE)),
        error);
}

} // namespace

const TOnDemand& OnDemand() {
    // An exception leaves the static uninitialised: the next call tries again.
    static const TOnDemand& parts = load();
    return parts;
}
