#include "app/tcp_link.h"

namespace tivaro::app {

TcpLink::TcpLink(quint16 port, std::chrono::milliseconds retryInterval, QObject* parent)
    : DecoderLink(parent), port_(port), retryInterval_(retryInterval) {
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, &TcpLink::Attempt);

    // The socket may report from inside connectToHost(); queueing keeps every report of this
    // link an event of its own.
    connect(&socket_, &QTcpSocket::connected, this, &TcpLink::OnConnected, Qt::QueuedConnection);
    connect(&socket_, &QTcpSocket::readyRead, this, &TcpLink::readyRead, Qt::QueuedConnection);
    connect(&socket_, &QAbstractSocket::errorOccurred, this,
            [this] { lastError_ = socket_.errorString(); });
    connect(&socket_, &QAbstractSocket::stateChanged, this,
            [this](QAbstractSocket::SocketState state) {
                if (state == QAbstractSocket::UnconnectedState) {
                    QMetaObject::invokeMethod(this, &TcpLink::OnUnconnected, Qt::QueuedConnection);
                }
            });
}

bool TcpLink::connectTo(const QString& host) {
    if (state_ == State::Connected || state_ == State::Reconnecting ||
        (state_ == State::Connecting && host == host_)) {
        return false;
    }
    if (state_ != State::Idle) {
        stop();
    }
    host_ = host;
    Attempt();
    return true;
}

void TcpLink::stop() {
    retryTimer_.stop();
    state_ = State::Idle;
    socket_.abort();
}

void TcpLink::Attempt() {
    if (state_ == State::Idle || state_ == State::Retrying) {
        state_ = State::Connecting;
    } else if (state_ != State::Reconnecting) {
        return;
    }
    lastError_.clear();
    // A new connection clears the socket's buffer: keep what the old one left unread.
    if (socket_.bytesAvailable() > 0) {
        pending_ += socket_.readAll();
    }
    socket_.connectToHost(host_, port_);
}

QByteArray TcpLink::read(qint64 maxBytes) {
    QByteArray bytes = pending_.left(maxBytes);
    pending_.remove(0, bytes.size());
    if (bytes.size() < maxBytes && socket_.bytesAvailable() > 0) {
        bytes += socket_.read(maxBytes - bytes.size());
    }
    return bytes;
}

void TcpLink::OnConnected() {
    if (socket_.state() != QAbstractSocket::ConnectedState) {
        return;
    }
    state_ = State::Connected;
    emit connected();
}

void TcpLink::OnUnconnected() {
    if (socket_.state() != QAbstractSocket::UnconnectedState) {
        return;
    }
    if (lastError_.isEmpty()) {
        lastError_ = socket_.errorString();
    }
    switch (state_) {
        case State::Idle:
            return;
        case State::Connecting:
            state_ = State::Retrying;
            retryTimer_.start(retryInterval_);
            emit attemptFailed();
            return;
        case State::Retrying:
            return;
        case State::Connected:
            // Whatever arrived before the end is still in the socket: hand it on before a new
            // connection would clear it.
            if (socket_.bytesAvailable() > 0) {
                emit readyRead();
            }
            state_ = State::Reconnecting;
            retryTimer_.start(retryInterval_);
            emit lost();
            return;
        case State::Reconnecting:
            retryTimer_.start(retryInterval_);
            emit retryFailed();
            return;
    }
}

}  // namespace tivaro::app
