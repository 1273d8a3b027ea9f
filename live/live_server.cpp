#include "live/live_server.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>
#include <string_view>

#include "live/page_files.h"

namespace tivaro::live {

namespace {

constexpr const char* kHeadTimer = "tivaroHeadTimer";

QByteArray Response(int status, const QByteArray& contentType, const QByteArray& body,
                    bool withBody) {
    QByteArray response =
        "HTTP/1.1 " + QByteArray::number(status) + ' ' +
        QByteArray(StatusText(status).data(), static_cast<qsizetype>(StatusText(status).size())) +
        "\r\n";
    response += "Content-Type: " + contentType + "\r\n";
    response += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    response += "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n";
    if (status == 405) {
        response += "Allow: GET, HEAD\r\n";
    }
    response += "Connection: close\r\n\r\n";
    if (withBody) {
        response += body;
    }
    return response;
}

// What a refused client reads: what happened and what to do, in the page's language.
QByteArray RefusalText(int status) {
    switch (status) {
        case 404:
            return "Deze pagina bestaat niet. Open de live uitslagen via /.\n";
        case 405:
            return "Alleen lezen: deze server neemt niets aan.\n";
        case 503:
            return "Te veel kijkers tegelijk. Probeer het over een minuut opnieuw.\n";
        default:
            return "Dit verzoek kan niet worden beantwoord.\n";
    }
}

}  // namespace

LiveServer::LiveServer(std::function<QByteArray()> snapshot, ServerLimits limits, QObject* parent)
    : QObject(parent),
      build_(std::move(snapshot)),
      limits_(limits),
      tcp_(new QTcpServer(this)),
      webSocketServer_(new QWebSocketServer(QStringLiteral("Tivaro live"),
                                            QWebSocketServer::NonSecureMode, this)),
      coalesce_(new QTimer(this)),
      fanOutTimer_(new QTimer(this)) {
    fanOutTimer_->setSingleShot(true);
    fanOutTimer_->setInterval(0);
    connect(fanOutTimer_, &QTimer::timeout, this, &LiveServer::sendSome);
    coalesce_->setSingleShot(true);
    coalesce_->setInterval(limits_.coalesce);
    connect(coalesce_, &QTimer::timeout, this, &LiveServer::sendNow);
    connect(tcp_, &QTcpServer::newConnection, this, &LiveServer::accept);
    connect(webSocketServer_, &QWebSocketServer::newConnection, this, &LiveServer::welcome);
}

LiveServer::~LiveServer() {
    close();
}

Status LiveServer::listen(quint16 port, const QHostAddress& address) {
    close();
    if (!tcp_->listen(address, port)) {
        const QString reason = tcp_->errorString();
        if (tcp_->serverError() == QAbstractSocket::AddressInUseError) {
            return MakeError(Errc::Failed, "Poort " + std::to_string(port) +
                                               " is al in gebruik door een ander programma. "
                                               "Kies een andere poort. (" +
                                               reason.toStdString() + ")");
        }
        return MakeError(Errc::Failed, "Poort " + std::to_string(port) +
                                           " kan niet worden geopend. Kies een andere poort. (" +
                                           reason.toStdString() + ")");
    }
    stale_ = true;
    return {};
}

void LiveServer::close() {
    tcp_->close();
    coalesce_->stop();
    fanOutTimer_->stop();
    fanOut_.clear();
    for (QTcpSocket* socket : std::exchange(pending_, {})) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    const bool hadClients = !webSockets_.empty();
    for (auto& [client, viewer] : std::exchange(webSockets_, {})) {
        client->disconnect(this);
        client->abort();
        client->deleteLater();
    }
    if (hadClients) {
        emit clientsChanged(0);
    }
}

bool LiveServer::isListening() const {
    return tcp_->isListening();
}

quint16 LiveServer::port() const {
    return tcp_->serverPort();
}

void LiveServer::changed() {
    stale_ = true;
    if (!coalesce_->isActive() && isListening()) {
        coalesce_->start();
    }
}

const QByteArray& LiveServer::snapshot() {
    if (stale_) {
        QElapsedTimer took;
        took.start();
        snapshot_ = build_();
        stale_ = false;
        // A slow build (a workbook read through a spreadsheet program) spaces out the next
        // ones, so that building takes at most a fifth of the race's thread.
        coalesce_->setInterval(
            std::max(limits_.coalesce, std::chrono::milliseconds(4 * took.elapsed())));
    }
    return snapshot_;
}

void LiveServer::accept() {
    while (QTcpSocket* socket = tcp_->nextPendingConnection()) {
        // What a client may have unread with us: one request head. More waits in its kernel.
        socket->setReadBufferSize(static_cast<qint64>(limits_.request.head) + 1);
        if (connections() >= limits_.maxClients) {
            socket->write(Response(503, "text/plain; charset=utf-8", RefusalText(503), true));
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            continue;
        }
        pending_.insert(socket);
        // A client that never finishes its request head is closed, so it holds no place.
        auto* timer = new QTimer(socket);
        timer->setObjectName(QLatin1String(kHeadTimer));
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, [this, socket] { refuse(socket, 408); });
        timer->start(limits_.headTimeout);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (pending_.erase(socket) > 0) {
                socket->deleteLater();
            }
        });
        if (socket->bytesAvailable() > 0) {
            readRequest(socket);
        }
    }
}

void LiveServer::readRequest(QTcpSocket* socket) {
    if (!pending_.contains(socket)) {
        return;
    }
    // Peeked, not read: a WebSocket upgrade hands the same bytes to the WebSocket server.
    const QByteArray bytes = socket->peek(static_cast<qint64>(limits_.request.head) + 1);
    const ReadRequest read =
        ReadRequestHead(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                        limits_.request);
    switch (read.state) {
        case ReadRequest::State::Incomplete:
            return;
        case ReadRequest::State::Refused:
            refuse(socket, read.status);
            return;
        case ReadRequest::State::Ready:
            if (read.head.path == "/ws") {
                if (read.head.upgradeToWebSocket && read.head.method == "GET") {
                    upgrade(socket);
                } else {
                    refuse(socket, 426);
                }
                return;
            }
            answer(socket, read.head);
            return;
    }
}

void LiveServer::answer(QTcpSocket* socket, const RequestHead& head) {
    const bool withBody = head.method != "HEAD";
    QByteArray response;
    if (head.path == "/api/stand") {
        response = Response(200, "application/json; charset=utf-8", snapshot(), withBody);
    } else if (std::optional<PageFile> file = PageFileAt(head.path)) {
        response = Response(200, file->contentType, file->body, withBody);
    } else {
        response = Response(404, "text/plain; charset=utf-8", RefusalText(404), withBody);
    }
    pending_.erase(socket);
    socket->disconnect(this);
    socket->readAll();
    socket->write(response);
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
    } else {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void LiveServer::refuse(QTcpSocket* socket, int status) {
    if (pending_.erase(socket) == 0) {
        return;
    }
    socket->disconnect(this);
    socket->write(Response(status, "text/plain; charset=utf-8", RefusalText(status), true));
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
    } else {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void LiveServer::upgrade(QTcpSocket* socket) {
    pending_.erase(socket);
    socket->disconnect(this);
    delete socket->findChild<QTimer*>(QLatin1String(kHeadTimer));
    webSocketServer_->handleConnection(socket);
}

void LiveServer::welcome() {
    while (QWebSocket* client = webSocketServer_->nextPendingConnection()) {
        if (!isListening() || connections() >= limits_.maxClients) {
            // 1013: try again later.
            client->close(static_cast<QWebSocketProtocol::CloseCode>(1013),
                          QStringLiteral("Te veel kijkers tegelijk"));
            client->deleteLater();
            continue;
        }
        client->setParent(this);
        client->setMaxAllowedIncomingMessageSize(limits_.incomingMessage);
        client->setMaxAllowedIncomingFrameSize(limits_.incomingMessage);
        webSockets_.emplace(client, Viewer{false, std::chrono::steady_clock::now()});
        // The page sends nothing; a client closing or breaking the protocol ends only itself.
        connect(client, &QWebSocket::disconnected, this, [this, client] { drop(client); });
        connect(client, &QWebSocket::bytesWritten, this, [this, client] { written(client); });
        client->sendBinaryMessage(snapshot());
        emit clientsChanged(webSocketClients());
    }
}

void LiveServer::drop(QWebSocket* client) {
    if (webSockets_.erase(client) == 0) {
        return;
    }
    std::erase(fanOut_, client);
    client->disconnect(this);
    client->abort();
    client->deleteLater();
    emit clientsChanged(webSocketClients());
}

void LiveServer::sendNow() {
    snapshot();
    const auto now = std::chrono::steady_clock::now();
    std::vector<QWebSocket*> stalled;
    fanOut_.clear();
    for (auto& [client, viewer] : webSockets_) {
        if (client->bytesToWrite() > limits_.backlog ||
            (client->bytesToWrite() > 0 && now - viewer.lastDrained > limits_.stall)) {
            stalled.push_back(client);
            continue;
        }
        viewer.owed = true;
        fanOut_.push_back(client);
    }
    for (QWebSocket* client : stalled) {
        drop(client);
    }
    sendSome();
}

void LiveServer::sendSome() {
    // A few clients per turn of the event loop, so that the race's events come between.
    std::size_t count = 0;
    while (!fanOut_.empty() && count++ < limits_.clientsPerTurn) {
        QWebSocket* client = fanOut_.back();
        fanOut_.pop_back();
        offer(client);
    }
    if (!fanOut_.empty()) {
        fanOutTimer_->start();
        return;
    }
    emit sent();
}

void LiveServer::offer(QWebSocket* client) {
    auto viewer = webSockets_.find(client);
    if (viewer == webSockets_.end() || !viewer->second.owed || client->bytesToWrite() > 0) {
        return;
    }
    viewer->second.owed = false;
    // Nothing waits for it now: a stall counts from this send.
    viewer->second.lastDrained = std::chrono::steady_clock::now();
    client->sendBinaryMessage(snapshot_);
}

void LiveServer::written(QWebSocket* client) {
    auto viewer = webSockets_.find(client);
    if (viewer == webSockets_.end() || client->bytesToWrite() > 0) {
        return;
    }
    viewer->second.lastDrained = std::chrono::steady_clock::now();
    offer(client);
}

}  // namespace tivaro::live
