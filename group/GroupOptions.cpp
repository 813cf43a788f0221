// Network settings of group sessions.
#include "group/GroupOptions.h"

#include "platform/IniFile.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QNetworkInterface>
#include <QSpinBox>
#include <QVBoxLayout>

namespace Group {

// Ports below this need the administrator's rights.
constexpr int kLowestPort = 1024;

namespace {
const QString kSection = QStringLiteral("GroupTesting");
const QString kAddressKey = QStringLiteral("Address");
const QString kPortKey = QStringLiteral("Port");
bool isPrivate(const QHostAddress& a) {
    return a.isInSubnet(QHostAddress(QStringLiteral("10.0.0.0")), 8) ||
           a.isInSubnet(QHostAddress(QStringLiteral("172.16.0.0")), 12) ||
           a.isInSubnet(QHostAddress(QStringLiteral("192.168.0.0")), 16);
}
} // namespace

TNetworkSettings ReadNetworkSettings(const QString& iniPath) {
    const Platform::TIniFile ini(iniPath);
    TNetworkSettings s;
    const QString address = ini.ReadString(kSection, kAddressKey, QString()).trimmed();
    if (QHostAddress(address).protocol() == QAbstractSocket::IPv4Protocol)
        s.address = address;
    const int port = ini.ReadInteger(kSection, kPortKey, kDefaultPort);
    s.port = port >= kLowestPort && port <= 65535 ? port : kDefaultPort;
    return s;
}

void WriteNetworkSettings(const QString& iniPath, const TNetworkSettings& settings) {
    Platform::TIniFile ini(iniPath);
    ini.WriteString(kSection, kAddressKey, settings.address);
    ini.WriteInteger(kSection, kPortKey, settings.port);
}

QList<QPair<QHostAddress, QString>> LocalAddresses() {
    QList<QPair<QHostAddress, QString>> list;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        if (!i.flags().testFlag(QNetworkInterface::IsUp) || !i.flags().testFlag(QNetworkInterface::IsRunning))
            continue;
        for (const QNetworkAddressEntry& e : i.addressEntries())
            if (e.ip().protocol() == QAbstractSocket::IPv4Protocol)
                list.append({e.ip(), i.humanReadableName()});
    }
    return list;
}

QHostAddress DefaultAddress() {
    const auto addresses = LocalAddresses();
    for (const auto& [address, name] : addresses)
        if (isPrivate(address))
            return address;
    for (const auto& [address, name] : addresses)
        if (!address.isLoopback())
            return address;
    return QHostAddress(QHostAddress::LocalHost);
}

QHostAddress ListenAddress(const TNetworkSettings& settings) {
    return settings.address.isEmpty() ? DefaultAddress() : QHostAddress(settings.address);
}

} // namespace Group

TGroupOptions_Page::TGroupOptions_Page(QWidget* parent) : QWidget(parent) {
    Address_ComboBox = new QComboBox(this);
    Address_ComboBox->setObjectName(QStringLiteral("Address_ComboBox"));
    GroupPort_Edit = new QSpinBox(this);
    GroupPort_Edit->setObjectName(QStringLiteral("GroupPort_Edit"));
    GroupPort_Edit->setRange(Group::kLowestPort, 65535);
    GroupPort_Edit->setValue(Group::kDefaultPort);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Сетевой адрес:"), Address_ComboBox);
    form->addRow(QStringLiteral("Порт:"), GroupPort_Edit);
    auto* note = new QLabel(QStringLiteral("Тестируемые открывают в браузере адрес http://адрес:порт/ с "
                                           "устройств той же локальной сети. Сервер работает только во "
                                           "время сеанса, от «Начать» до «Завершить»."),
                            this);
    note->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addStretch();
}

void TGroupOptions_Page::ReadSettings(const QString& iniPath) {
    const Group::TNetworkSettings s = Group::ReadNetworkSettings(iniPath);
    Address_ComboBox->clear();
    Address_ComboBox->addItem(QStringLiteral("Автоматически (%1)").arg(Group::DefaultAddress().toString()),
                              QString());
    for (const auto& [address, name] : Group::LocalAddresses())
        Address_ComboBox->addItem(QStringLiteral("%1 (%2)").arg(address.toString(), name),
                                  address.toString());
    int index = Address_ComboBox->findData(s.address);
    if (index < 0) {
        // A chosen address this computer no longer has stays chosen, and says so.
        Address_ComboBox->addItem(QStringLiteral("%1 (нет на этом компьютере)").arg(s.address), s.address);
        index = Address_ComboBox->count() - 1;
    }
    Address_ComboBox->setCurrentIndex(index);
    GroupPort_Edit->setValue(s.port);
}

void TGroupOptions_Page::WriteSettings(const QString& iniPath) const {
    Group::WriteNetworkSettings(iniPath,
                                {Address_ComboBox->currentData().toString(), GroupPort_Edit->value()});
}
