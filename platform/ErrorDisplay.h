// The application's default error display: an error that escapes an event handler (engine, file or
// formula error) is shown in an error box with its message, and the program keeps running.
#pragma once

#include <QApplication>
#include <QString>

#include <exception>
#include <stdexcept>

namespace Platform {

// An error whose message is Russian text for the user; what() holds it as UTF-8. `detail` keeps the raw
// text of the engine or the system (English, codes) for the log, never for the user.
class EError : public std::runtime_error {
public:
    explicit EError(const QString& message, const QString& detail = {})
        : std::runtime_error(message.toStdString()), m_detail(detail) {}
    QString message() const { return QString::fromUtf8(what()); }
    const QString& detail() const { return m_detail; }

private:
    QString m_detail;
};

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
