#include "live/lan_addresses.h"

namespace tivaro::live {

QList<QHostAddress> LanAddresses(const QList<QNetworkInterface>& interfaces) {
    QList<QHostAddress> addresses;
    for (const QNetworkInterface& interface : interfaces) {
        const QNetworkInterface::InterfaceFlags flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) ||
            !flags.testFlag(QNetworkInterface::IsRunning) ||
            flags.testFlag(QNetworkInterface::IsLoopBack)) {
            continue;
        }
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() == QAbstractSocket::IPv4Protocol && !ip.isLoopback()) {
                addresses.append(ip);
            }
        }
    }
    return addresses;
}

QList<QHostAddress> LanAddresses() {
    return LanAddresses(QNetworkInterface::allInterfaces());
}

QString PageUrl(const QHostAddress& address, quint16 port) {
    return QStringLiteral("http://%1:%2/").arg(address.toString()).arg(port);
}

}  // namespace tivaro::live
