// The settings file: sections in square brackets, lines key=value, integers in decimal.
#pragma once

#include <QString>

namespace Platform {

class TIniFile {
public:
    explicit TIniFile(QString path) : m_path(std::move(path)) {}

    // The value of the key, or the default when the file, the key or a number is missing.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    // Writes the key, creating the file when it does not exist yet. Throws EError when the file cannot
    // be written (read-only, a folder, no room); the file then keeps what it held.
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteString(const QString& section, const QString& key, const QString& value);

    const QString& path() const { return m_path; }

private:
    QString m_path;
};

} // namespace Platform
