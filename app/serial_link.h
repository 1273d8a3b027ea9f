#pragma once
// The serial link to the decoder: a serial port opened at 9600 baud, no parity, 8 data bits,
// 1 stop bit, with DTR and RTS raised. It only receives: readyRead() says bytes are waiting,
// read() takes them. A device that goes away while open (a USB adapter pulled out) or can
// no longer be read is reported once by lost() and the port is closed, so it can be opened
// again.
//
// Which port is opened is the user's choice, from the ports present (ListSerialPorts) or a
// typed device path.

#include <QByteArray>
#include <QSerialPort>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "app/decoder_link.h"
#include "common/result.h"

namespace tivaro::app {

// A serial port present on this machine, as the port list offers it.
struct SerialPortEntry {
    QString device;  // what is opened: "/dev/ttyUSB0", "COM1"
    QString label;   // what the list shows: "ttyUSB0 (USB Serial)"
};

// The serial ports present, USB adapters first (ttyUSB*, then ttyACM*, then the rest), each
// group in numeric order, with their descriptions. On Windows the ports "COM 1" to "COM 5".
std::vector<SerialPortEntry> ListSerialPorts();

// Orders device names as ListSerialPorts does.
bool SerialPortBefore(const QString& a, const QString& b);

// Why `device` could not be opened, in words a person can act on. `error` and `detail` are
// the port's error and its text; whether the device exists and may be read and written by
// this user tell a missing, forbidden and busy port apart.
QString DescribeOpenFailure(const QString& device, QSerialPort::SerialPortError error,
                            const QString& detail);

class SerialLink final : public DecoderLink {
    Q_OBJECT
public:
    explicit SerialLink(QObject* parent = nullptr);

    // Opens `device` at 9600,N,8,1 and raises DTR and RTS. Lines that cannot be raised (a
    // pseudo-terminal has none) do not make the open fail.
    Status open(const QString& device);
    // Closes the port; what it had received and was not taken yet is kept for read().
    void close();
    bool isOpen() const { return port_.isOpen(); }
    QString device() const { return device_; }

    link::LinkKind kind() const override { return link::LinkKind::Serial; }
    // What was received and not yet taken, also after the port was lost.
    QByteArray read(qint64 maxBytes) override;
    qint64 bytesWaiting() const override;
    QByteArray takeEndedConnectionBytes() override;
    // What went wrong when lost() was emitted.
    QString problem() const override { return lostReason_; }

private:
    void OnError(QSerialPort::SerialPortError error);

    QSerialPort port_;
    QString device_;
    QString lostReason_;
    QByteArray leftover_;  // read while the port was being closed
    bool closing_ = false;
};

}  // namespace tivaro::app
