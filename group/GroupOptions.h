// Where a group session listens: the address of one network interface of this computer and the port,
// kept in the settings file, and the settings page "Групповое тестирование" that chooses them.
#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>

class QComboBox;
class QSpinBox;

namespace Group {

inline constexpr int kDefaultPort = 8765;

struct TNetworkSettings {
    QString address; // empty: the first private IPv4 address of this computer
    int port = kDefaultPort;
};

TNetworkSettings ReadNetworkSettings(const QString& iniPath);
// Throws Platform::EError when the settings file cannot be written.
void WriteNetworkSettings(const QString& iniPath, const TNetworkSettings& settings);

// The IPv4 addresses of this computer's running interfaces, each with its interface's name.
QList<QPair<QHostAddress, QString>> LocalAddresses();
// The first address of a private network (10/8, 172.16/12, 192.168/16) of LocalAddresses(); otherwise
// the first other one that is not the loopback; otherwise 127.0.0.1.
QHostAddress DefaultAddress();
// The address a session listens on.
QHostAddress ListenAddress(const TNetworkSettings& settings);

} // namespace Group

// The settings page "Групповое тестирование".
class TGroupOptions_Page : public QWidget {
    Q_OBJECT
public:
    explicit TGroupOptions_Page(QWidget* parent = nullptr);

    QComboBox* Address_ComboBox; // the first item: automatic choice (empty address)
    QSpinBox* GroupPort_Edit;

    void ReadSettings(const QString& iniPath);
    // Throws Platform::EError when the settings file cannot be written.
    void WriteSettings(const QString& iniPath) const;
};
