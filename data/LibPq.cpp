// Loading libpq on first use: dlopen and a table of its functions.
#include "data/LibPq.h"

#include "data/Errors.h"

#include <dlfcn.h>

namespace Data {

namespace {

constexpr const char* kLibPqFile = "libpq.so.5";

[[noreturn]] void failLoading(const char* file, const char* why) {
    throw EDatabaseError(
        QStringLiteral("Не удалось загрузить библиотеку клиента PostgreSQL (%1), без которой нельзя "
                       "работать с базой данных на сервере. Установите пакет libpq5 или выберите в "
                       "настройках локальный файл базы данных.")
            .arg(QString::fromLocal8Bit(file)),
        QString::fromLocal8Bit(why ? why : "dlopen"));
}

} // namespace

TLibPq LoadLibPq(const char* file) {
    // Kept loaded for good: connections and results live until the process ends.
    void* handle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        failLoading(file, dlerror());
    TLibPq api;
#define MORVEL_LIBPQ_RESOLVE(name)                                                                           \
    api.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));                                    \
    if (!api.name)                                                                                           \
        failLoading(file, dlerror());
    MORVEL_LIBPQ_FUNCTIONS(MORVEL_LIBPQ_RESOLVE)
#undef MORVEL_LIBPQ_RESOLVE
    return api;
}

const TLibPq& LibPq() {
    // An exception leaves the static uninitialised, so a later call tries again.
    static const TLibPq api = LoadLibPq(kLibPqFile);
    return api;
}

} // namespace Data
