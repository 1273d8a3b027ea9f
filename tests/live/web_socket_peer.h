#pragma once
// A client of the live server at the byte level, for what a browser never does: a request cut
// short, frames that break the protocol, a client that stops reading. Each call runs the
// event loop while it waits, so the server in the same thread goes on.

#include <QByteArray>
#include <QTcpSocket>
#include <memory>

namespace tivaro::live::testing {

// Sends `request` to 127.0.0.1:`port` and returns everything the server sent until it closed
// (or `timeoutMs` passed).
QByteArray Fetch(quint16 port, const QByteArray& request, int timeoutMs = 5000);
// The HTTP status of a response ("HTTP/1.1 404 ..." gives 404; 0 when there is none).
int StatusOf(const QByteArray& response);
// The body of a response.
QByteArray BodyOf(const QByteArray& response);

class RawWebSocket {
public:
    // Connects and does the opening handshake on /ws; a receive buffer of `receiveBuffer`
    // bytes (0: the system's) keeps a client that does not read from hiding it long.
    explicit RawWebSocket(quint16 port, int receiveBuffer = 0);
    bool upgraded() const { return upgraded_; }
    // Sends one frame as given (the test builds it, masked or not).
    void sendRaw(const QByteArray& frame);
    // A masked client frame of `opcode` carrying `payload`.
    static QByteArray Frame(int opcode, const QByteArray& payload);
    // Whether the server closed the connection within `timeoutMs`.
    bool closedWithin(int timeoutMs);
    QTcpSocket& socket() { return *socket_; }

private:
    std::unique_ptr<QTcpSocket> socket_;
    bool upgraded_ = false;
};

}  // namespace tivaro::live::testing
