// The decoder link handlers of the main window: choosing the serial or TCP link, connecting,
// the receive events of both links, and what the window does when a link fails.

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <algorithm>
#include <span>

#include "app/main_window.h"
#include "app/message_area.h"
#include "app/port_box.h"
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
    connect(&serialRetry_, &QTimer::timeout, this,
            [this] { dispatch(&MainWindow::retrySerialPort); });
    connect(&linkAway_, &QTimer::timeout, this,
            [this] { dispatch(&MainWindow::onLinkAwayTooLong); });
    // Choosing an entry of the port list, or typing a device path and Enter, opens that port;
    // the list is read afresh each time it opens.
    connect(ui_.portBox, &PortBox::aboutToShowPopup, this, &MainWindow::refreshPortList);
    connect(ui_.portBox, &QComboBox::activated, this,
            [this] { dispatch(&MainWindow::openChosenPort); });
    connect(ui_.portBox->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { dispatch(&MainWindow::openChosenPort); });
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
    // Any TCP attempt that has not succeeded yet is given up for the serial line.
    if (tcp_->state() == TcpLink::State::Connecting || tcp_->state() == TcpLink::State::Retrying) {
        tcp_->stop();
        ui_.connectButton->setEnabled(false);
        linkAway_.stop();
    }
    ui_.addressBox->hide();
    ui_.addressLabel->hide();
    ui_.connectButton->hide();
    ui_.tcpOption->setEnabled(false);
    refreshPortList();
    ui_.portBox->show();
    if (!serial_->isOpen()) {
        ui_.linkStatus->setText(
            tr("Kies de seriële poort van de decoder in de lijst, of typ het "
               "apparaat (/dev/...) en druk op Enter."));
    }
}

void MainWindow::refreshPortList() {
    const std::vector<SerialPortEntry> ports =
        options_.serialPorts ? options_.serialPorts() : ListSerialPorts();
    const QSignalBlocker blocker(ui_.portBox);
    const QString shown = ui_.portBox->currentText();
    ui_.portBox->clear();
    for (const SerialPortEntry& port : ports) {
        ui_.portBox->addItem(port.label, port.device);
    }
    const int index = ui_.portBox->findData(serialDevice_);
    ui_.portBox->setCurrentIndex(index);
    if (index < 0) {
        ui_.portBox->setEditText(serialDevice_.isEmpty() ? QString() : shown);
    }
}

void MainWindow::openChosenPort() {
    const int index = ui_.portBox->currentIndex();
    const QString typed = ui_.portBox->currentText().trimmed();
    const QString device = index >= 0 && ui_.portBox->itemText(index) == ui_.portBox->currentText()
                               ? ui_.portBox->itemData(index).toString()
                               : typed;
    if (device.isEmpty()) {
        return;
    }
    if (serial_->isOpen()) {
        if (serial_->device() == device) {
            return;
        }
        serial_->close();
    }
    serialRetry_.stop();
    if (Status opened = serial_->open(device); !opened) {
        const QString failure = QString::fromStdString(opened.error().message);
        report(failure);
        showMessage(failure);
        ui_.linkStatus->setText(tr("Seriële poort %1 niet geopend").arg(device));
        return;
    }
    serialDevice_ = device;
    ui_.linkStatus->setText(tr("Seriële poort %1 open").arg(device));
    report(tr("Seriële poort %1 geopend (9600,N,8,1).").arg(device));
}

void MainWindow::retrySerialPort() {
    if (serial_->isOpen() || serialDevice_.isEmpty()) {
        serialRetry_.stop();
        return;
    }
    if (!QFileInfo::exists(serialDevice_)) {
        return;  // not back yet
    }
    if (Status opened = serial_->open(serialDevice_); opened) {
        serialRetry_.stop();
        ui_.linkStatus->setText(tr("Seriële poort %1 open").arg(serialDevice_));
        report(tr("De seriële poort %1 is terug en weer geopend.").arg(serialDevice_));
    }
}

void MainWindow::onSerialConnected() {
    startConnection(*serial_);
    linkAway_.stop();
    messages_->resolve(MessageArea::Alert::DecoderLost);
}

void MainWindow::chooseTcpLink() {
    ui_.addressLabel->show();
    ui_.addressBox->show();
    ui_.connectButton->show();
    ui_.connectButton->setEnabled(true);
    ui_.serialOption->setEnabled(false);
}

void MainWindow::connectDecoder() {
    // Once connected (or reconnecting) another press changes nothing; before that, a press
    // tries the address in the box, also while an earlier one is being tried again.
    if (tcp_->state() == TcpLink::State::Connected ||
        tcp_->state() == TcpLink::State::Reconnecting) {
        return;
    }
    ui_.serialOption->setEnabled(false);
    tcp_->connectTo(ui_.addressBox->text().trimmed());
    ui_.linkStatus->setText(tr("Proberen verbinding te maken met decoder"));
}

void MainWindow::onTcpConnected() {
    startConnection(*tcp_);
    linkAway_.stop();
    messages_->resolve(MessageArea::Alert::DecoderLost);
    ui_.tcpOption->setEnabled(false);
    ui_.serialOption->setEnabled(false);
    ui_.addressBox->setEnabled(false);
    ui_.linkStatus->setText(tr("Verbinding met decoder gemaakt"));
    ui_.connectButton->setEnabled(false);
    report(everConnected_ ? tr("De verbinding met de decoder %1 is hersteld.").arg(decoderAddress())
                          : tr("Verbonden met de decoder %1.").arg(decoderAddress()));
    everConnected_ = true;
}

void MainWindow::onTcpAttemptFailed() {
    const qint64 seconds = std::max<qint64>(1, tcp_->retryInterval().count() / 1000);
    ui_.linkStatus->setText(
        tr("Geen verbinding met decoder; opnieuw proberen over %1 s").arg(seconds));
    // The serial line may be chosen instead while no connection was made.
    ui_.serialOption->setEnabled(true);
    report(tr("Geen verbinding met de decoder %1; Tivaro probeert het elke %3 s opnieuw. Kijk "
              "het adres en de kabel na. (%2)")
               .arg(decoderAddress(), tcp_->problem())
               .arg(seconds));
}

void MainWindow::onTcpLost() {
    const qint64 seconds = std::max<qint64>(1, tcp_->retryInterval().count() / 1000);
    ui_.linkStatus->setText(
        tr("Verbinding met decoder verbroken (%1); opnieuw verbinden...").arg(tcp_->problem()));
    report(tr("De verbinding met de decoder %1 is verbroken; Tivaro verbindt elke %3 s opnieuw. "
              "(%2)")
               .arg(decoderAddress(), tcp_->problem())
               .arg(seconds));
    linkAway_.start();
}

void MainWindow::onTcpRetryFailed() {
    ui_.linkStatus->setText(
        tr("Verbinding met decoder verbroken (%1); opnieuw verbinden...").arg(tcp_->problem()));
}

void MainWindow::onSerialLost() {
    // The port is opened again as soon as its device is back.
    ui_.linkStatus->setText(
        tr("Seriële poort %1 weg; wachten tot hij terug is").arg(serialDevice_));
    report(serial_->problem() +
           tr(" Tivaro opent de poort weer zodra hij terug is; of kies een andere poort."));
    serialRetry_.start();
    linkAway_.start();
}

void MainWindow::onLinkAwayTooLong() {
    const QString text =
        tr("Let op: de decoder is niet verbonden; passeringen komen niet binnen. "
           "Kijk de kabel, het netwerk en de decoder na.");
    if (messages_->raise(MessageArea::Alert::DecoderLost, text)) {
        showMessage(text);
    }
}

}  // namespace tivaro::app
