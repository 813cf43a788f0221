// Desktop open through QDesktopServices.
#include "platform/Shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace Platform {

namespace {
ShellHandler& handler() {
    static ShellHandler h;
    return h;
}
} // namespace

bool ShellOpen(const QString& fileOrUrl) {
    if (handler())
        return handler()(fileOrUrl);
    const QUrl url = fileOrUrl.contains(QLatin1String(":")) && !fileOrUrl.startsWith(QLatin1Char('/'))
                         ? QUrl(fileOrUrl)
                         : QUrl::fromLocalFile(fileOrUrl);
    return QDesktopServices::openUrl(url);
}

ShellHandler setShellHandler(ShellHandler h) { return std::exchange(handler(), std::move(h)); }

} // namespace Platform
