#include "tests/live/web_socket_peer.h"

#include <QDeadlineTimer>
#include <QTest>

namespace tivaro::live::testing {

namespace {

// Runs the event loop until `done` or the deadline.
template <class Done>
bool WaitFor(Done done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QTest::qWait(2);
    }
    return true;
}

}  // namespace

QByteArray Fetch(quint16 port, const QByteArray& request, int timeoutMs) {
    QTcpSocket socket;
    QByteArray received;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { received += socket.readAll(); });
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(request);
    WaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, timeoutMs);
    received += socket.readAll();
    return received;
}

int StatusOf(const QByteArray& response) {
    if (!response.startsWith("HTTP/1.1 ") || response.size() < 12) {
        return 0;
    }
    return response.mid(9, 3).toInt();
}

QByteArray BodyOf(const QByteArray& response) {
    const qsizetype end = response.indexOf("\r\n\r\n");
    return end < 0 ? QByteArray() : response.mid(end + 4);
}

RawWebSocket::RawWebSocket(quint16 port, int receiveBuffer)
    : socket_(std::make_unique<QTcpSocket>()) {
    if (receiveBuffer > 0) {
        socket_->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, receiveBuffer);
        socket_->setReadBufferSize(receiveBuffer);
    }
    socket_->connectToHost(QHostAddress::LocalHost, port);
    socket_->write(
        "GET /ws HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    QByteArray head;
    WaitFor(
        [&] {
            // Only the response head is taken; the snapshot after it stays unread.
            while (!head.endsWith("\r\n\r\n") && socket_->bytesAvailable() > 0) {
                head += socket_->read(1);
            }
            return head.endsWith("\r\n\r\n") ||
                   socket_->state() == QAbstractSocket::UnconnectedState;
        },
        5000);
    upgraded_ = head.startsWith("HTTP/1.1 101");
}

void RawWebSocket::sendRaw(const QByteArray& frame) {
    socket_->write(frame);
    socket_->flush();
}

QByteArray RawWebSocket::Frame(int opcode, const QByteArray& payload) {
    QByteArray frame;
    frame.append(static_cast<char>(0x80 | opcode));
    const qsizetype size = payload.size();
    if (size < 126) {
        frame.append(static_cast<char>(0x80 | size));
    } else {
        frame.append(static_cast<char>(0x80 | 126));
        frame.append(static_cast<char>((size >> 8) & 0xff));
        frame.append(static_cast<char>(size & 0xff));
    }
    const char mask[4] = {0x12, 0x34, 0x56, 0x78};
    frame.append(mask, 4);
    for (qsizetype i = 0; i < size; ++i) {
        frame.append(static_cast<char>(payload[i] ^ mask[i % 4]));
    }
    return frame;
}

bool RawWebSocket::closedWithin(int timeoutMs) {
    return WaitFor(
        [&] {
            socket_->readAll();
            return socket_->state() == QAbstractSocket::UnconnectedState;
        },
        timeoutMs);
}

}  // namespace tivaro::live::testing
