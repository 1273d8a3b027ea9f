#pragma once
// The addresses at which phones on the hall's network reach this machine: every IPv4
// address of an interface that is up, except loopback.

#include <QHostAddress>
#include <QList>
#include <QNetworkInterface>
#include <QString>

namespace tivaro::live {

// The IPv4 addresses of `interfaces` that are up and not loopback, in interface order.
QList<QHostAddress> LanAddresses(const QList<QNetworkInterface>& interfaces);
// Those of this machine.
QList<QHostAddress> LanAddresses();

// The page's address at `address` and `port` ("http://192.168.1.20:8080/").
QString PageUrl(const QHostAddress& address, quint16 port);

}  // namespace tivaro::live
