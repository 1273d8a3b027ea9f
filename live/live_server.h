#pragma once
// The live results server: serves the live page and its snapshot over HTTP, and sends every
// WebSocket client (path /ws, on the same port) a full snapshot on connect and again after
// each change of the race. Read-only: no request changes anything.
//
// It runs on the thread of the race (the window's), so it must never make that thread wait:
// - changes are coalesced: changed() only marks the snapshot stale; within `coalesce` the
//   snapshot is built once and sent, so a burst of passings costs one build and one send,
//   and the last state always goes out; the send goes to `clientsPerTurn` clients per turn
//   of the event loop, so the race's own events come between; a snapshot that is slow to
//   build stretches the wait before the next build to four times its time;
// - each client has at most one snapshot on its way: one that is still writing the last one
//   gets the latest when it is done (so a slow reader skips states but always ends on the
//   last one), and one that takes no more for `stall`, or has more than `backlog` bytes
//   waiting, is dropped, so it holds up nobody and its memory stays bounded;
// - everything a client sends is bounded (request head, incoming WebSocket messages), and a
//   head that does not come complete within `headTimeout` closes the connection;
// - at most `maxClients` connections at once; the next one is refused with 503.
// Everything the page needs comes from the binary's resources; nothing else is served.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <chrono>
#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/result.h"
#include "live/http_request.h"

class QTcpServer;
class QTcpSocket;
class QTimer;
class QWebSocket;
class QWebSocketServer;

namespace tivaro::live {

struct ServerLimits {
    int maxClients = 500;
    qint64 backlog = 1 << 20;                 // bytes waiting to be written to one client
    std::chrono::milliseconds stall{15'000};  // a client that reads nothing for this long
    RequestLimits request;
    std::chrono::milliseconds headTimeout{10'000};
    std::chrono::milliseconds coalesce{20};
    quint64 incomingMessage = 1024;   // largest WebSocket message a client may send
    std::size_t clientsPerTurn = 25;  // snapshots sent per turn of the event loop
};

class LiveServer final : public QObject {
    Q_OBJECT
public:
    // `snapshot` builds the JSON of the race as it stands; it is called at most once per
    // change burst and once when the server starts.
    explicit LiveServer(std::function<QByteArray()> snapshot, ServerLimits limits = {},
                        QObject* parent = nullptr);
    ~LiveServer() override;

    // Starts serving on `port` of `address` (0: a free port). The error says that the port is
    // in use or cannot be opened, and what to do.
    Status listen(quint16 port, const QHostAddress& address = QHostAddress::AnyIPv4);
    void close();
    bool isListening() const;
    quint16 port() const;

    // The race changed: every client gets the new snapshot shortly.
    void changed();

    int webSocketClients() const { return static_cast<int>(webSockets_.size()); }
    int connections() const { return static_cast<int>(webSockets_.size() + pending_.size()); }

signals:
    // The number of WebSocket clients changed.
    void clientsChanged(int count);
    // The snapshot built for a change went out to every client (for measurements).
    void sent();

private:
    void accept();
    void readRequest(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const RequestHead& head);
    void refuse(QTcpSocket* socket, int status);
    void upgrade(QTcpSocket* socket);
    void welcome();
    void drop(QWebSocket* client);
    void sendNow();
    void sendSome();
    // Sends the latest snapshot to `client` if it is done with the last one; otherwise it is
    // owed the latest.
    void offer(QWebSocket* client);
    void written(QWebSocket* client);
    const QByteArray& snapshot();

    std::function<QByteArray()> build_;
    ServerLimits limits_;
    QTcpServer* tcp_ = nullptr;
    QWebSocketServer* webSocketServer_ = nullptr;
    QTimer* coalesce_ = nullptr;
    QTimer* fanOutTimer_ = nullptr;
    std::vector<QWebSocket*> fanOut_;          // clients the snapshot of this change still goes to
    std::unordered_set<QTcpSocket*> pending_;  // HTTP connections not yet answered or upgraded
    struct Viewer {
        bool owed = false;                                  // the latest is not on its way yet
        std::chrono::steady_clock::time_point lastDrained;  // when it last took what it was sent
    };
    std::unordered_map<QWebSocket*, Viewer> webSockets_;
    QByteArray snapshot_;
    bool stale_ = true;
};

}  // namespace tivaro::live
