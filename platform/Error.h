// The one base of the program's errors: Russian text for the user in message() (what() holds it as
// UTF-8), the raw text of the engine or the system in detail() for the log. Data, scoring and the formula
// engine throw its kinds; the interface shows them at one boundary (ErrorDisplay.h).
#pragma once

#include <QString>

#include <stdexcept>

namespace Platform {

class EError : public std::runtime_error {
public:
    explicit EError(const QString& message, const QString& detail = {})
        : std::runtime_error(message.toStdString()), m_detail(detail) {}
    QString message() const { return QString::fromUtf8(what()); }
    const QString& detail() const { return m_detail; }

private:
    QString m_detail;
};

} // namespace Platform
