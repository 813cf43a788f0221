// Default error display.
#include "platform/ErrorDisplay.h"

#include "platform/Dialogs.h"
#include "platform/Log.h"
#include "platform/SystemError.h"

#include <QApplication>

namespace Platform {

void showError(const QString& message) {
    messageBox(QApplication::activeWindow(), message, QStringLiteral("Ошибка"), MsgIcon::Error);
}

void showException(const std::exception& e) {
    const QString message = QString::fromUtf8(e.what());
    // A system text that a file operation passed on as it stands (English) is shown in Russian; the
    // message as it was goes to the log.
    const QString shown = RussianSystemTexts(message);
    if (const auto* error = dynamic_cast<const EError*>(&e); error && !error->detail().isEmpty())
        LogError(shown, error->detail());
    else if (shown != message)
        LogError(shown, message);
    showError(shown);
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showException(e);
    } catch (...) {
        showError(QStringLiteral("Неизвестная ошибка."));
    }
    return false;
}

} // namespace Platform
