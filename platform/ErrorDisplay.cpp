// Default error display.
#include "platform/ErrorDisplay.h"

#include "platform/Dialogs.h"
#include "platform/Log.h"

#include <QApplication>

namespace Platform {

void showError(const QString& message) {
    messageBox(QApplication::activeWindow(), message, QStringLiteral("Ошибка"), MsgIcon::Error);
}

void showException(const std::exception& e) {
    if (const auto* error = dynamic_cast<const EError*>(&e); error && !error->detail().isEmpty())
        LogError(error->message(), error->detail());
    showError(QString::fromUtf8(e.what()));
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
