// The decoder link handlers of the main window: choosing the serial or TCP link, connecting,
// and the receive events of both links, with what the window does when a link fails.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <span>

#include "app/main_window.h"
#include "app/serial_link.h"

namespace tivaro::app {

namespace {

std::span<const std::uint8_t> Bytes(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()),
            static_cast<std::size_t>(data.size())};
}

const QString kConnecting = QStringLiteral("Proberen verbinding te maken met decoder");
const QString kConnected = QStringLiteral("Verbinding met decoder gemaakt");

}  // namespace

void MainWindow::ConnectLinkSignals() {
    connect(serial_, &SerialLink::readyRead, this,
            [this] { Dispatch(&MainWindow::MSComm1_OnComm); });
    connect(serial_, &SerialLink::lost, this, [this] { Dispatch(&MainWindow::MSComm1_Lost); });
    connect(tcp_, &TcpLink::connected, this, [this] { Dispatch(&MainWindow::Winsock1_Connect); });
    connect(tcp_, &TcpLink::readyRead, this,
            [this] { Dispatch(&MainWindow::Winsock1_DataArrival); });
    connect(tcp_, &TcpLink::attemptFailed, this,
            [this] { Dispatch(&MainWindow::Winsock1_AttemptFailed); });
    connect(tcp_, &TcpLink::lost, this, [this] { Dispatch(&MainWindow::Winsock1_Lost); });
    connect(tcp_, &TcpLink::retryFailed, this,
            [this] { Dispatch(&MainWindow::Winsock1_RetryFailed); });
}

QString MainWindow::DecoderAddress() const {
    return QStringLiteral("%1:%2").arg(tcp_->host()).arg(tcp_->port());
}

void MainWindow::Option1_Click() {
    // What an earlier port still had waiting belongs to the connection that ended.
    if (const QByteArray ended = serial_->readAll(); !ended.isEmpty()) {
        ReportAll(receive_->ReceiveSerial(Bytes(ended)));
    }
    const QString device =
        options_.serialDevice ? options_.serialDevice() : SerialDeviceForPortOne();
    QString failure;
    if (device.isEmpty()) {
        failure = QStringLiteral(
            "cannot open serial port 1: no serial device is present "
            "(looked for /dev/ttyUSB*, /dev/ttyACM* and /dev/ttyS*)");
    } else if (Status opened = serial_->open(device); !opened) {
        failure = QString::fromStdString(opened.error().message);
    }
    if (!failure.isEmpty()) {
        // Nothing is chosen: both links stay on offer for another try.
        SetOptionChecked(ui_.Option1, false);
        Report(failure);
        ShowMessage(failure);
        return;
    }
    receive_->ConnectionStarted(link::ReceivePath::Link::Serial);
    ui_.Text4->hide();
    ui_.Option2->setEnabled(false);
    ui_.Combo3->show();
    Report(QStringLiteral("serial port %1 opened at 9600,N,8,1").arg(device));
}

void MainWindow::Option2_Click() {
    ui_.Label3->show();
    ui_.Text4->show();
    ui_.Command3->show();
    ui_.Command3->setEnabled(true);
    ui_.Option1->setEnabled(false);
}

void MainWindow::Command3_Click() {
    // A second press while connecting, or once connected, leaves the connection alone.
    if (tcp_->state() != TcpLink::State::Idle) {
        return;
    }
    ui_.Option1->setEnabled(false);
    tcp_->connectTo(ui_.Text4->text().trimmed());
    ui_.Label2->setText(kConnecting);
}

void MainWindow::Winsock1_Connect() {
    // A new connection starts afresh: what the old one sent is handled first, and whatever it
    // left unfinished is dropped.
    if (const QByteArray ended = tcp_->takeEndedConnectionBytes(); !ended.isEmpty()) {
        ReportAll(receive_->ReceiveTcp(Bytes(ended)));
    }
    receive_->ConnectionStarted(link::ReceivePath::Link::Tcp);
    ui_.Option2->setEnabled(false);
    ui_.Text4->setEnabled(false);
    ui_.Label2->setText(kConnected);
    ui_.Command3->setEnabled(false);
    Report(everConnected_
               ? QStringLiteral("connection to the decoder %1 restored").arg(DecoderAddress())
               : QStringLiteral("connected to the decoder %1").arg(DecoderAddress()));
    everConnected_ = true;
}

void MainWindow::Winsock1_AttemptFailed() {
    ui_.Label2->setText(QStringLiteral("Geen verbinding met decoder: %1").arg(tcp_->lastError()));
    Report(QStringLiteral("cannot connect to the decoder %1: %2")
               .arg(DecoderAddress(), tcp_->lastError()));
}

void MainWindow::Winsock1_Lost() {
    const qint64 seconds = std::max<qint64>(1, tcp_->retryInterval().count() / 1000);
    ui_.Label2->setText(
        QStringLiteral("Verbinding met decoder verbroken (%1); opnieuw verbinden...")
            .arg(tcp_->lastError()));
    Report(QStringLiteral("connection to the decoder %1 lost: %2; reconnecting every %3 s")
               .arg(DecoderAddress(), tcp_->lastError())
               .arg(seconds));
}

void MainWindow::Winsock1_RetryFailed() {
    ui_.Label2->setText(
        QStringLiteral("Verbinding met decoder verbroken (%1); opnieuw verbinden...")
            .arg(tcp_->lastError()));
}

void MainWindow::MSComm1_Lost() {
    // Back to no link: the user may plug the adapter in again and choose the serial link.
    SetOptionChecked(ui_.Option1, false);
    ui_.Option2->setEnabled(true);
    ui_.Combo3->hide();
    Report(serial_->lostReason() +
           QStringLiteral("; choose the serial link again once it is back"));
}

void MainWindow::MSComm1_OnComm() {
    const QByteArray bytes = serial_->readAll();
    if (!bytes.isEmpty()) {
        ReportAll(receive_->ReceiveSerial(Bytes(bytes)));
    }
}

void MainWindow::Winsock1_DataArrival() {
    const QByteArray bytes = tcp_->read(kArrivalSlice);
    if (!bytes.isEmpty()) {
        ReportAll(receive_->ReceiveTcp(Bytes(bytes)));
    }
    if (tcp_->bytesWaiting() > 0) {
        // The rest of a burst comes as the next event, after the window had its turn.
        QMetaObject::invokeMethod(
            this, [this] { Dispatch(&MainWindow::Winsock1_DataArrival); }, Qt::QueuedConnection);
    }
}

}  // namespace tivaro::app
