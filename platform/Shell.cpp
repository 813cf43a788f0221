// Desktop open through QDesktopServices.
#include "platform/Shell.h"

#include "platform/Dialogs.h"

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

bool OpenAddress(QWidget* owner, const QString& url) {
    if (ShellOpen(url))
        return true;
    const QString mailto = QStringLiteral("mailto:");
    const bool mail = url.startsWith(mailto, Qt::CaseInsensitive);
    const QString address = mail ? url.mid(mailto.size()) : url;
    const QString text = mail
                             ? QStringLiteral("Не найдена почтовая программа. Адрес для письма:\n\n%1")
                             : QStringLiteral("Не найдена программа для просмотра веб-страниц. Адрес:\n\n%1");
    messageBox(owner, text.arg(address),
               mail ? QStringLiteral("Электронная почта") : QStringLiteral("Интернет"), MsgIcon::Information);
    return false;
}

ShellHandler setShellHandler(ShellHandler h) { return std::exchange(handler(), std::move(h)); }

} // namespace Platform
