// The decoder link handlers of the main window: choosing the serial or TCP link, connecting,
// the receive events of both links, and what the window does when a link fails.

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

}  // namespace

void MainWindow::connectLinkSignals() {
    connect(serial_, &DecoderLink::readyRead, this,
            [this] { dispatch(&MainWindow::onSerialBytes); });
    connect(serial_, &DecoderLink::connected, this,
            [this] { dispatch(&MainWindow::onSerialConnected); });
    connect(serial_, &DecoderLink::lost, this, [this] { dispatch(&MainWindow::onSerialLost); });
    connect(tcp_, &DecoderLink::connected, this, [this] { dispatch(&MainWindow::onTcpConnected); });
    connect(tcp_, &DecoderLink::readyRead, this, [this] { dispatch(&MainWindow::onTcpBytes); });
    connect(tcp_, &DecoderLink::lost, this, [this] { dispatch(&MainWindow::onTcpLost); });
    connect(tcp_, &TcpLink::attemptFailed, this,
            [this] { dispatch(&MainWindow::onTcpAttemptFailed); });
    connect(tcp_, &TcpLink::retryFailed, this, [this] { dispatch(&MainWindow::onTcpRetryFailed); });
}

QString MainWindow::decoderAddress() const {
    return QStringLiteral("%1:%2").arg(tcp_->host()).arg(tcp_->port());
}

void MainWindow::readDecoderBytes(DecoderLink& link) {
    const QByteArray bytes = link.read(kArrivalSlice);
    if (!bytes.isEmpty()) {
        controller_->onDecoderBytes(link.kind(), Bytes(bytes));
    }
    if (link.bytesWaiting() > 0) {
        // The rest of a burst comes as the next event, after the window had its turn.
        const Handler next = link.kind() == link::LinkKind::Serial ? &MainWindow::onSerialBytes
                                                                   : &MainWindow::onTcpBytes;
        QMetaObject::invokeMethod(
            this, [this, next] { dispatch(next); }, Qt::QueuedConnection);
    }
}

void MainWindow::startConnection(DecoderLink& link) {
    // A new connection starts afresh: what the old one sent is handled first, and whatever it
    // left unfinished is dropped.
    if (const QByteArray ended = link.takeEndedConnectionBytes(); !ended.isEmpty()) {
        controller_->onDecoderBytes(link.kind(), Bytes(ended));
    }
    controller_->connectionStarted(link.kind());
}

void MainWindow::onSerialBytes() {
    readDecoderBytes(*serial_);
}

void MainWindow::onTcpBytes() {
    readDecoderBytes(*tcp_);
}

void MainWindow::chooseSerialLink() {
    const QString device =
        options_.serialDevice ? options_.serialDevice() : SerialDeviceForPortOne();
    QString failure;
    if (device.isEmpty()) {
        failure =
            tr("Seriële poort 1 is niet geopend: er is geen seriële poort aanwezig "
               "(gezocht naar /dev/ttyUSB*, /dev/ttyACM* en /dev/ttyS*). Sluit de "
               "adapter aan en kies opnieuw.");
    } else if (Status opened = serial_->open(device); !opened) {
        failure = QString::fromStdString(opened.error().message);
    }
    if (!failure.isEmpty()) {
        // Nothing is chosen: both links stay on offer for another try.
        setOptionChecked(ui_.serialOption, false);
        report(failure);
        showMessage(failure);
        return;
    }
    ui_.addressBox->hide();
    ui_.tcpOption->setEnabled(false);
    ui_.portBox->show();
    report(tr("Seriële poort %1 geopend (9600,N,8,1).").arg(device));
}

void MainWindow::onSerialConnected() {
    startConnection(*serial_);
}

void MainWindow::chooseTcpLink() {
    ui_.addressLabel->show();
    ui_.addressBox->show();
    ui_.connectButton->show();
    ui_.connectButton->setEnabled(true);
    ui_.serialOption->setEnabled(false);
}

void MainWindow::connectDecoder() {
    // A second press while connecting, or once connected, leaves the connection alone.
    if (tcp_->state() != TcpLink::State::Idle) {
        return;
    }
    ui_.serialOption->setEnabled(false);
    tcp_->connectTo(ui_.addressBox->text().trimmed());
    ui_.linkStatus->setText(tr("Proberen verbinding te maken met decoder"));
}

void MainWindow::onTcpConnected() {
    startConnection(*tcp_);
    ui_.tcpOption->setEnabled(false);
    ui_.addressBox->setEnabled(false);
    ui_.linkStatus->setText(tr("Verbinding met decoder gemaakt"));
    ui_.connectButton->setEnabled(false);
    report(everConnected_ ? tr("De verbinding met de decoder %1 is hersteld.").arg(decoderAddress())
                          : tr("Verbonden met de decoder %1.").arg(decoderAddress()));
    everConnected_ = true;
}

void MainWindow::onTcpAttemptFailed() {
    ui_.linkStatus->setText(tr("Geen verbinding met decoder: %1").arg(tcp_->problem()));
    report(tr("Geen verbinding met de decoder %1. Kijk het adres en de kabel na en druk "
              "opnieuw op Connect. (%2)")
               .arg(decoderAddress(), tcp_->problem()));
}

void MainWindow::onTcpLost() {
    const qint64 seconds = std::max<qint64>(1, tcp_->retryInterval().count() / 1000);
    ui_.linkStatus->setText(
        tr("Verbinding met decoder verbroken (%1); opnieuw verbinden...").arg(tcp_->problem()));
    report(tr("De verbinding met de decoder %1 is verbroken; Tivaro verbindt elke %3 s opnieuw. "
              "(%2)")
               .arg(decoderAddress(), tcp_->problem())
               .arg(seconds));
}

void MainWindow::onTcpRetryFailed() {
    ui_.linkStatus->setText(
        tr("Verbinding met decoder verbroken (%1); opnieuw verbinden...").arg(tcp_->problem()));
}

void MainWindow::onSerialLost() {
    // Back to no link: the user may plug the adapter in again and choose the serial link.
    setOptionChecked(ui_.serialOption, false);
    ui_.tcpOption->setEnabled(true);
    ui_.portBox->hide();
    report(serial_->problem() + tr(" Kies de seriële verbinding opnieuw zodra de poort terug is."));
}

}  // namespace tivaro::app
