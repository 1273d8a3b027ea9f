#pragma once
// The "Data Input" frame at work: the serial line and the TCP connection to the decoder, the
// controls that choose and connect them, and keeping them up. A serial port that goes away is
// opened again as soon as its device is back; a TCP connection that fails or drops is tried
// again every few seconds. A link that stays away longer than a grace period is said once.
//
// What arrives is handed on in slices (a burst after a reconnect in several events, so the
// window answers between them), each with the link it came on; a new connection is announced
// after the bytes of the old one.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <vector>

#include "app/serial_link.h"
#include "app/tcp_link.h"
#include "app/window_layout.h"
#include "link/passing.h"

namespace tivaro::app {

class DecoderLinks final : public QObject {
    Q_OBJECT
public:
    struct Options {
        quint16 decoderPort = kDecoderPort;
        std::chrono::milliseconds reconnectInterval = std::chrono::seconds(3);
        // How long a lost link may stay away before it is said to be lost.
        std::chrono::milliseconds lostLinkGrace = std::chrono::seconds(5);
        // The serial ports offered in the port list. Empty: the ports present.
        std::function<std::vector<SerialPortEntry>()> serialPorts;
    };

    // Works the link controls of `ui`, which must outlive it.
    DecoderLinks(const WindowControls& ui, Options options, QObject* parent = nullptr);

    // The controls as they are at start: nothing chosen, nothing opened.
    void start();
    // Bytes arrived and not yet handed on, on either link.
    qint64 bytesWaiting() const;

    // The link chosen as it was last time: the serial port `where` (a device) or the TCP
    // decoder at `where` (an address). With `connect` the port is opened or the connection
    // made; else the controls are filled in for one click.
    void restore(link::LinkKind kind, const QString& where, bool connect);
    // A port is open or a connection made (or being made again).
    bool connected() const;
    // Ends the link in use; either link may be chosen again.
    void disconnect();

signals:
    void bytesArrived(link::LinkKind link, const QByteArray& bytes);
    // A connection on `link` was made (again); the old one's bytes came before.
    void connectionStarted(link::LinkKind link);
    // Something a person should read in the messages.
    void report(const QString& message);
    // A failure a person must see at once, besides the messages.
    void failure(const QString& message);
    // The decoder has been away longer than the grace period (`text` says so), or is back.
    void awayTooLong(const QString& text);
    void back();
    // The link in use is the serial port or the TCP decoder at `where`, to be kept.
    void chosen(link::LinkKind kind, const QString& where);

private:
    void chooseSerial();
    void refreshPortList();
    void openChosenPort();
    void retrySerialPort();
    void chooseTcp();
    void connectDecoder();
    void onSerialConnected();
    void onSerialLost();
    void onTcpConnected();
    void onTcpAttemptFailed();
    void onTcpLost();
    void onTcpRetryFailed();
    void read(DecoderLink& link);
    void startConnection(DecoderLink& link);
    QString decoderAddress() const;
    qint64 retrySeconds() const;

    const WindowControls& ui_;
    Options options_;
    SerialLink* serial_;
    TcpLink* tcp_;
    QString serialDevice_;  // the port chosen; opened again when it comes back
    QTimer serialRetry_;
    QTimer linkAway_;  // a lost link is said once it stays away this long
    bool everConnected_ = false;
};

}  // namespace tivaro::app
