// The application's default error display: an error that escapes an event handler (engine, file or
// formula error) is shown in an error box with its message, and the program keeps running.
#pragma once

#include "platform/Error.h"

#include <QApplication>
#include <QString>

#include <exception>

namespace Platform {

// Shows the message of an escaped error (caption "Ошибка", error icon); the detail of an EError goes to
// the log file.
void showError(const QString& message);
void showException(const std::exception& e);

// Runs an event handler's work and hands any escaped error to the default display.
template <class F> void guarded(F&& work) {
    try {
        work();
    } catch (const std::exception& e) {
        showException(e);
    }
}

// QApplication that hands errors escaping an event handler to the default display.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace Platform
