// The application's default error display: an error that escapes an event handler (engine, file or
// formula error) is shown in an error box with its message, and the program keeps running.
#pragma once

#include <QApplication>
#include <QString>

#include <exception>
#include <stdexcept>

namespace Platform {

// An error whose message is Russian text for the user; what() holds it as UTF-8.
class EError : public std::runtime_error {
public:
    explicit EError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

// Shows the message of an escaped error (caption "Ошибка", error icon).
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
