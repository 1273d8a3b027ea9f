#include "app/decoder_links.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <algorithm>

#include "app/port_box.h"

namespace tivaro::app {

namespace {

// Selects an option as a click on it does, its handlers included.
void Select(QRadioButton* option) {
    if (!option->isChecked()) {
        option->setEnabled(true);
        option->setChecked(true);
    }
}

}  // namespace

DecoderLinks::DecoderLinks(const WindowControls& ui, Options options, QObject* parent)
    : QObject(parent),
      ui_(ui),
      options_(std::move(options)),
      serial_(new SerialLink(this)),
      tcp_(new TcpLink(options_.decoderPort, options_.reconnectInterval, this)) {
    serialRetry_.setInterval(std::chrono::seconds(2));
    linkAway_.setSingleShot(true);
    linkAway_.setInterval(options_.lostLinkGrace);

    connect(serial_, &DecoderLink::readyRead, this, [this] { read(*serial_); });
    connect(serial_, &DecoderLink::connected, this, &DecoderLinks::onSerialConnected);
    connect(serial_, &DecoderLink::lost, this, &DecoderLinks::onSerialLost);
    connect(tcp_, &DecoderLink::readyRead, this, [this] { read(*tcp_); });
    connect(tcp_, &DecoderLink::connected, this, &DecoderLinks::onTcpConnected);
    connect(tcp_, &DecoderLink::lost, this, &DecoderLinks::onTcpLost);
    connect(tcp_, &TcpLink::attemptFailed, this, &DecoderLinks::onTcpAttemptFailed);
    connect(tcp_, &TcpLink::retryFailed, this, &DecoderLinks::onTcpRetryFailed);
    connect(&serialRetry_, &QTimer::timeout, this, &DecoderLinks::retrySerialPort);
    connect(&linkAway_, &QTimer::timeout, this, [this] {
        emit awayTooLong(
            tr("Let op: de decoder is niet verbonden; passeringen komen niet "
               "binnen. Kijk de kabel, het netwerk en de decoder na."));
    });

    connect(ui_.serialOption, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            chooseSerial();
        }
    });
    connect(ui_.tcpOption, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            chooseTcp();
        }
    });
    connect(ui_.connectButton, &QPushButton::clicked, this, &DecoderLinks::connectDecoder);
    connect(ui_.disconnectButton, &QPushButton::clicked, this, &DecoderLinks::disconnect);
    // Choosing an entry of the port list, or typing a device path and Enter, opens that port;
    // the list is read afresh each time it opens.
    connect(ui_.portBox, &PortBox::aboutToShowPopup, this, &DecoderLinks::refreshPortList);
    connect(ui_.portBox, &QComboBox::activated, this, &DecoderLinks::openChosenPort);
    connect(ui_.portBox->lineEdit(), &QLineEdit::returnPressed, this,
            &DecoderLinks::openChosenPort);
}

void DecoderLinks::start() {
    ui_.portBox->hide();
    ui_.addressLabel->hide();
    ui_.addressBox->hide();
    ui_.connectButton->hide();
    ui_.connectButton->setEnabled(false);
    ui_.disconnectButton->hide();
}

void DecoderLinks::restore(link::LinkKind kind, const QString& where, bool connect) {
    if (kind == link::LinkKind::Serial) {
        serialDevice_ = where;
        Select(ui_.serialOption);
        if (connect && !where.isEmpty()) {
            ui_.portBox->setEditText(where);
            openChosenPort();
        }
        return;
    }
    Select(ui_.tcpOption);
    ui_.addressBox->setText(where);
    if (connect && !where.isEmpty()) {
        connectDecoder();
    }
}

bool DecoderLinks::connected() const {
    return serial_->isOpen() || (!serialDevice_.isEmpty() && serialRetry_.isActive()) ||
           tcp_->state() == TcpLink::State::Connected ||
           tcp_->state() == TcpLink::State::Reconnecting;
}

void DecoderLinks::disconnect() {
    serialRetry_.stop();
    linkAway_.stop();
    if (serial_->isOpen()) {
        serial_->close();
        emit report(tr("Seriële poort %1 gesloten.").arg(serialDevice_));
    }
    if (tcp_->state() != TcpLink::State::Idle) {
        tcp_->stop();
        emit report(tr("De verbinding met de decoder %1 is verbroken.").arg(decoderAddress()));
    }
    emit back();
    // Either link may be chosen now: the options let go of each other meanwhile.
    for (QRadioButton* option : {ui_.serialOption, ui_.tcpOption}) {
        const bool exclusive = option->autoExclusive();
        option->setAutoExclusive(false);
        option->setChecked(false);
        option->setAutoExclusive(exclusive);
        option->setEnabled(true);
    }
    start();
    ui_.addressBox->setEnabled(true);
    ui_.linkStatus->setText(tr("Kies voor communicatietype richting AMB-decoder"));
}

qint64 DecoderLinks::bytesWaiting() const {
    return serial_->bytesWaiting() + tcp_->bytesWaiting();
}

QString DecoderLinks::decoderAddress() const {
    return QStringLiteral("%1:%2").arg(tcp_->host()).arg(tcp_->port());
}

qint64 DecoderLinks::retrySeconds() const {
    return std::max<qint64>(1, tcp_->retryInterval().count() / 1000);
}

void DecoderLinks::read(DecoderLink& link) {
    const QByteArray bytes = link.read(kArrivalSlice);
    if (!bytes.isEmpty()) {
        emit bytesArrived(link.kind(), bytes);
    }
    if (link.bytesWaiting() > 0) {
        // The rest of a burst comes as the next event, after the window had its turn.
        QMetaObject::invokeMethod(
            this, [this, &link] { read(link); }, Qt::QueuedConnection);
    }
}

void DecoderLinks::startConnection(DecoderLink& link) {
    // A new connection starts afresh: what the old one sent is handled first, and whatever it
    // left unfinished is dropped.
    if (const QByteArray ended = link.takeEndedConnectionBytes(); !ended.isEmpty()) {
        emit bytesArrived(link.kind(), ended);
    }
    emit connectionStarted(link.kind());
    linkAway_.stop();
    emit back();
}

void DecoderLinks::chooseSerial() {
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

void DecoderLinks::refreshPortList() {
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

void DecoderLinks::openChosenPort() {
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
        const QString failed = QString::fromStdString(opened.error().message);
        emit report(failed);
        emit failure(failed);
        ui_.linkStatus->setText(tr("Seriële poort %1 niet geopend").arg(device));
        return;
    }
    serialDevice_ = device;
    ui_.linkStatus->setText(tr("Seriële poort %1 open").arg(device));
    ui_.disconnectButton->show();
    emit report(tr("Seriële poort %1 geopend (9600,N,8,1).").arg(device));
    emit chosen(link::LinkKind::Serial, device);
}

void DecoderLinks::retrySerialPort() {
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
        emit report(tr("De seriële poort %1 is terug en weer geopend.").arg(serialDevice_));
    }
}

void DecoderLinks::onSerialConnected() {
    startConnection(*serial_);
}

void DecoderLinks::onSerialLost() {
    // The port is opened again as soon as its device is back.
    ui_.linkStatus->setText(
        tr("Seriële poort %1 weg; wachten tot hij terug is").arg(serialDevice_));
    emit report(serial_->problem() +
                tr(" Tivaro opent de poort weer zodra hij terug is; of kies een andere poort."));
    serialRetry_.start();
    linkAway_.start();
}

void DecoderLinks::chooseTcp() {
    ui_.addressLabel->show();
    ui_.addressBox->show();
    ui_.connectButton->show();
    ui_.connectButton->setEnabled(true);
    ui_.serialOption->setEnabled(false);
}

void DecoderLinks::connectDecoder() {
    // Once connected (or reconnecting) another press changes nothing; before that, a press
    // tries the address in the box, also while an earlier one is being tried again.
    if (tcp_->state() == TcpLink::State::Connected ||
        tcp_->state() == TcpLink::State::Reconnecting) {
        return;
    }
    ui_.serialOption->setEnabled(false);
    tcp_->connectTo(ui_.addressBox->text().trimmed());
    ui_.linkStatus->setText(tr("Proberen verbinding te maken met decoder"));
    ui_.disconnectButton->show();
    emit chosen(link::LinkKind::Tcp, ui_.addressBox->text().trimmed());
}

void DecoderLinks::onTcpConnected() {
    startConnection(*tcp_);
    ui_.tcpOption->setEnabled(false);
    ui_.serialOption->setEnabled(false);
    ui_.addressBox->setEnabled(false);
    ui_.linkStatus->setText(tr("Verbinding met decoder gemaakt"));
    ui_.connectButton->setEnabled(false);
    emit report(everConnected_
                    ? tr("De verbinding met de decoder %1 is hersteld.").arg(decoderAddress())
                    : tr("Verbonden met de decoder %1.").arg(decoderAddress()));
    everConnected_ = true;
}

void DecoderLinks::onTcpAttemptFailed() {
    ui_.linkStatus->setText(
        tr("Geen verbinding met decoder; opnieuw proberen over %1 s").arg(retrySeconds()));
    // The serial line may be chosen instead while no connection was made.
    ui_.serialOption->setEnabled(true);
    emit report(tr("Geen verbinding met de decoder %1; Tivaro probeert het elke %3 s opnieuw. "
                   "Kijk het adres en de kabel na. (%2)")
                    .arg(decoderAddress(), tcp_->problem())
                    .arg(retrySeconds()));
}

void DecoderLinks::onTcpLost() {
    ui_.linkStatus->setText(
        tr("Verbinding met decoder verbroken (%1); opnieuw verbinden...").arg(tcp_->problem()));
    emit report(tr("De verbinding met de decoder %1 is verbroken; Tivaro verbindt elke %3 s "
                   "opnieuw. (%2)")
                    .arg(decoderAddress(), tcp_->problem())
                    .arg(retrySeconds()));
    linkAway_.start();
}

void DecoderLinks::onTcpRetryFailed() {
    ui_.linkStatus->setText(
        tr("Verbinding met decoder verbroken (%1); opnieuw verbinden...").arg(tcp_->problem()));
}

}  // namespace tivaro::app
