#include "app/serial_link.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <utility>

namespace tivaro::app {

namespace {

// Device name groups in the order they are offered: USB adapters are what users have.
constexpr std::array<std::string_view, 3> kDeviceGroups = {"ttyUSB", "ttyACM", "ttyS"};

// The group of a device name (0 for ttyUSB*) and its number.
std::pair<std::size_t, unsigned long> SortKey(const QString& device) {
    const std::string name = QFileInfo(device).fileName().toStdString();
    for (std::size_t group = 0; group < kDeviceGroups.size(); ++group) {
        const std::string_view prefix = kDeviceGroups[group];
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) {
            const std::string digits = name.substr(prefix.size());
            if (digits.size() <= 9 && std::all_of(digits.begin(), digits.end(), [](char c) {
                    return std::isdigit(static_cast<unsigned char>(c)) != 0;
                })) {
                return {group, std::stoul(digits)};
            }
        }
    }
    return {kDeviceGroups.size(), 0};
}

}  // namespace

bool SerialPortBefore(const QString& a, const QString& b) {
    const auto ka = SortKey(a);
    const auto kb = SortKey(b);
    return ka != kb ? ka < kb : a < b;
}

std::vector<SerialPortEntry> ListSerialPorts() {
    std::vector<SerialPortEntry> ports;
#ifdef _WIN32
    for (int number = 1; number <= 5; ++number) {
        ports.push_back(
            {QStringLiteral("COM%1").arg(number), QStringLiteral("COM %1").arg(number)});
    }
#else
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        QString label = info.portName();
        const QString about =
            info.description().isEmpty() ? info.manufacturer() : info.description();
        if (!about.isEmpty()) {
            label += QStringLiteral(" (%1)").arg(about);
        }
        ports.push_back({info.systemLocation(), label});
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortEntry& a, const SerialPortEntry& b) {
        return SerialPortBefore(a.device, b.device);
    });
#endif
    return ports;
}

QString DescribeOpenFailure(const QString& device, QSerialPort::SerialPortError error,
                            const QString& detail) {
    const QFileInfo info(device);
    QString why;
#ifndef _WIN32
    if (error == QSerialPort::DeviceNotFoundError || !info.exists()) {
        why = QObject::tr("het apparaat is er niet. Is de adapter aangesloten?");
    } else if (!info.isReadable() || !info.isWritable()) {
        why = QObject::tr(
            "deze gebruiker mag het niet gebruiken. Zet de gebruiker in de groep dialout "
            "(sudo adduser $USER dialout) en meld opnieuw aan.");
    } else if (error == QSerialPort::PermissionError || error == QSerialPort::OpenError) {
        why = QObject::tr("een ander programma gebruikt hem. Sluit dat programma.");
    }
#else
    if (error == QSerialPort::DeviceNotFoundError) {
        why = QObject::tr("het apparaat is er niet. Is de adapter aangesloten?");
    } else if (error == QSerialPort::PermissionError || error == QSerialPort::OpenError) {
        why = QObject::tr("een ander programma gebruikt hem. Sluit dat programma.");
    }
#endif
    if (why.isEmpty()) {
        why = QObject::tr("het besturingssysteem weigert hem (%1).").arg(detail);
    }
    return QObject::tr("De seriële poort %1 is niet geopend: %2").arg(device, why);
}

SerialLink::SerialLink(QObject* parent) : DecoderLink(parent) {
    connect(&port_, &QSerialPort::readyRead, this, &SerialLink::readyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialLink::OnError);
}

Status SerialLink::open(const QString& device) {
    if (port_.isOpen()) {
        return MakeError(Errc::Failed,
                         QObject::tr("De seriële poort %1 is al open.").arg(device_).toStdString());
    }
    port_.setPortName(device);
    port_.setBaudRate(QSerialPort::Baud9600);
    port_.setParity(QSerialPort::NoParity);
    port_.setDataBits(QSerialPort::Data8);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        const QString why = DescribeOpenFailure(device, port_.error(), port_.errorString());
        port_.clearError();
        return MakeError(Errc::Io, why.toStdString());
    }
    // The decoder's line driver may need DTR and RTS; a pseudo-terminal has neither line, and
    // failing to raise them there is no reason to give up the port.
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(true);
    port_.clearError();
    device_ = device;
    lostReason_.clear();
    // Announced from the event loop, before anything the new port receives.
    QMetaObject::invokeMethod(this, &SerialLink::connected, Qt::QueuedConnection);
    return {};
}

void SerialLink::close() {
    if (!port_.isOpen()) {
        return;
    }
    leftover_ += port_.readAll();
    port_.close();
}

QByteArray SerialLink::read(qint64 maxBytes) {
    QByteArray bytes = leftover_.left(maxBytes);
    leftover_.remove(0, bytes.size());
    if (bytes.size() < maxBytes && port_.isOpen() && !closing_) {
        bytes += port_.read(maxBytes - bytes.size());
    }
    return bytes;
}

QByteArray SerialLink::takeEndedConnectionBytes() {
    return std::exchange(leftover_, QByteArray());
}

qint64 SerialLink::bytesWaiting() const {
    return leftover_.size() + (port_.isOpen() && !closing_ ? port_.bytesAvailable() : 0);
}

void SerialLink::OnError(QSerialPort::SerialPortError error) {
    // A device that went away (a USB adapter pulled out) reports a resource error; a line
    // whose other end hung up keeps reporting read errors. Either way nothing more will
    // arrive, and a port left open would report the same error over and over.
    if ((error != QSerialPort::ResourceError && error != QSerialPort::ReadError) ||
        !port_.isOpen() || closing_) {
        return;
    }
    lostReason_ =
        error == QSerialPort::ResourceError
            ? QObject::tr("De seriële poort %1 is weg: de adapter is losgekoppeld.").arg(device_)
            : QObject::tr(
                  "De seriële poort %1 kan niet meer worden gelezen: de "
                  "verbinding is verbroken.")
                  .arg(device_);
    // The port is still reporting from inside its own read: it is closed once that is over.
    closing_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            // What was read before the end is still handed on.
            leftover_ += port_.readAll();
            port_.clearError();
            port_.close();
            closing_ = false;
            if (!leftover_.isEmpty()) {
                emit readyRead();
            }
            emit lost();
        },
        Qt::QueuedConnection);
}

}  // namespace tivaro::app
