// Settings file access through Qt's INI format.
#include "platform/IniFile.h"

#include "platform/ErrorDisplay.h"
#include "platform/SaveFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace Platform {

namespace {
QString keyOf(const QString& section, const QString& key) { return section + QLatin1Char('/') + key; }
} // namespace

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
    if (!QFileInfo::exists(m_path))
        return defaultValue;
    const QSettings ini(m_path, QSettings::IniFormat);
    bool ok = false;
    const int value = ini.value(keyOf(section, key)).toString().trimmed().toInt(&ok);
    return ok ? value : defaultValue;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const {
    if (!QFileInfo::exists(m_path))
        return defaultValue;
    const QSettings ini(m_path, QSettings::IniFormat);
    const QVariant v = ini.value(keyOf(section, key));
    return v.isValid() ? v.toString() : defaultValue;
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    // A folder of that name, or a file that cannot be written, is an error the caller must see: the
    // setting was not saved.
    const auto failed = [this] {
        return EError(
            QStringLiteral("Не удается записать файл настроек «%1».").arg(QDir::toNativeSeparators(m_path)));
    };
    const QFileInfo info(m_path);
    if (info.exists() && !info.isFile())
        throw failed();
    // The settings name the server and its user: the file is the user's alone.
    const QSettings::Status status = PrivateWrite(m_path, [&] {
        QSettings ini(m_path, QSettings::IniFormat);
        ini.setValue(keyOf(section, key), value);
        ini.sync();
        return ini.status();
    });
    if (status != QSettings::NoError)
        throw failed();
}

} // namespace Platform
