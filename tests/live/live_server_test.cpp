// The live server over loopback, in process: the page and the snapshot over HTTP, the
// snapshot on connect and after changes over WebSocket, catching up after a reconnect, and
// every kind of hostile or heavy use a hall's network may bring, each ending only the client
// that did it.

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QThread>
#include <QWebSocket>
#include <memory>
#include <vector>

#include "live/live_server.h"
#include "tests/live/web_socket_peer.h"

namespace tivaro::live {

using testing::BodyOf;
using testing::Fetch;
using testing::RawWebSocket;
using testing::StatusOf;

namespace {

// The race as the test sets it: a counter and padding to give the snapshot its size.
struct FakeRace {
    int state = 0;
    int builds = 0;
    qsizetype padding = 0;
    std::chrono::milliseconds buildTime{0};
    QByteArray json() {
        ++builds;
        QThread::msleep(static_cast<unsigned long>(buildTime.count()));
        return "{\"state\":" + QByteArray::number(state) + ",\"pad\":\"" +
               QByteArray(padding, 'x') + "\"}";
    }
};

// A WebSocket client as a browser is one, keeping the last message it got.
struct Viewer {
    QWebSocket socket;
    QByteArray last;
    int messages = 0;
    explicit Viewer(quint16 port) {
        QObject::connect(&socket, &QWebSocket::binaryMessageReceived, [this](const QByteArray& m) {
            last = m;
            ++messages;
        });
        socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(port)));
    }
};

QByteArray Get(const QByteArray& target) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

}  // namespace

class LiveServerTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<FakeRace> race_;
    std::unique_ptr<LiveServer> server_;

    void start(ServerLimits limits = {}) {
        race_ = std::make_unique<FakeRace>();
        server_ =
            std::make_unique<LiveServer>([race = race_.get()] { return race->json(); }, limits);
        const Status listening = server_->listen(0, QHostAddress::LocalHost);
        QVERIFY2(listening.ok(), listening.ok() ? "" : listening.error().message.c_str());
    }
    void change(int state) {
        race_->state = state;
        server_->changed();
    }
    QByteArray stateJson(int state) const {
        return "{\"state\":" + QByteArray::number(state) + ",\"pad\":\"" +
               QByteArray(race_->padding, 'x') + "\"}";
    }

private slots:
    void cleanup() {
        server_.reset();
        race_.reset();
    }

    void servesThePageAndTheSnapshotFromItsResources() {
        start();
        const QByteArray page = Fetch(server_->port(), Get("/?volg=203,207"));
        QCOMPARE(StatusOf(page), 200);
        QVERIFY(page.contains("Content-Type: text/html; charset=utf-8"));
        QVERIFY(BodyOf(page).contains("<html lang=\"nl\">"));
        QVERIFY(BodyOf(Fetch(server_->port(), Get("/live.js"))).contains("new WebSocket"));
        QVERIFY(Fetch(server_->port(), Get("/live.css")).contains("text/css"));

        change(7);
        const QByteArray stand = Fetch(server_->port(), Get("/api/stand"));
        QCOMPARE(StatusOf(stand), 200);
        QVERIFY(stand.contains("application/json"));
        QCOMPARE(BodyOf(stand), stateJson(7));
        // HEAD: the same head, no body.
        const QByteArray head = Fetch(server_->port(), "HEAD /api/stand HTTP/1.1\r\n\r\n");
        QCOMPARE(StatusOf(head), 200);
        QVERIFY(BodyOf(head).isEmpty());
    }

    void servesNothingOutsideItsResources() {
        start();
        for (const char* target :
             {"/nothing", "/../CMakeLists.txt", "/%2e%2e/%2e%2e/etc/passwd", "/..%2fetc/passwd",
              "//etc/passwd", "/live.js/../../etc/passwd", "/index.html%00", "/LIVE.JS",
              "/:/live/index.html", "/api/stand/"}) {
            const QByteArray response = Fetch(server_->port(), Get(target));
            QVERIFY2(StatusOf(response) == 404, target);
            QVERIFY(!response.contains("root:"));
        }
        QCOMPARE(StatusOf(Fetch(server_->port(), Get("http://127.0.0.1/etc/passwd"))), 400);
        QCOMPARE(StatusOf(Fetch(server_->port(), Get("/ws"))), 426);
    }

    void refusesBodiesChangesAndOverlongHeads() {
        start();
        const quint16 port = server_->port();
        QCOMPARE(StatusOf(Fetch(port, "POST /api/stand HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}")),
                 405);
        QCOMPARE(StatusOf(Fetch(port, "PUT / HTTP/1.1\r\n\r\n")), 405);
        QCOMPARE(StatusOf(Fetch(port, "GET / HTTP/1.1\r\nContent-Length: 4\r\n\r\nabcd")), 413);
        QCOMPARE(StatusOf(Fetch(port, "GET /" + QByteArray(5000, 'a') + " HTTP/1.1\r\n\r\n")), 414);
        QByteArray headers = "GET / HTTP/1.1\r\n";
        for (int i = 0; i < 400; ++i) {
            headers += "X-Filler-" + QByteArray::number(i) + ": 0123456789\r\n";
        }
        QCOMPARE(StatusOf(Fetch(port, headers + "\r\n")), 431);
        // A head that never ends is refused at its bound, before it ends.
        QCOMPARE(StatusOf(Fetch(port, "GET / HTTP/1.1\r\nX: " + QByteArray(9000, 'y'))), 431);
        QCOMPARE(server_->connections(), 0);
    }

    void closesAHeadThatDoesNotComeInTime() {
        start({.headTimeout = std::chrono::milliseconds(200)});
        const QByteArray response = Fetch(server_->port(), "GET / HTTP/1.1\r\nHost: x\r\n", 3000);
        QCOMPARE(StatusOf(response), 408);
        QCOMPARE(server_->connections(), 0);
    }

    void sendsASnapshotOnConnectAndAfterEachChange() {
        start();
        change(1);
        Viewer viewer(server_->port());
        QTRY_COMPARE(viewer.last, stateJson(1));
        QCOMPARE(server_->webSocketClients(), 1);
        change(2);
        QTRY_COMPARE(viewer.last, stateJson(2));
        change(3);
        QTRY_COMPARE(viewer.last, stateJson(3));
        // A client that sends something is ignored, not answered and not dropped.
        viewer.socket.sendTextMessage(QStringLiteral("hallo"));
        change(4);
        QTRY_COMPARE(viewer.last, stateJson(4));
        QCOMPARE(server_->webSocketClients(), 1);
    }

    void coalescesABurstAndSendsItsFinalState() {
        start({.coalesce = std::chrono::milliseconds(30)});
        Viewer viewer(server_->port());
        QTRY_COMPARE(viewer.messages, 1);
        const int buildsBefore = race_->builds;
        for (int i = 1; i <= 1000; ++i) {
            change(i);
        }
        QTRY_COMPARE(viewer.last, stateJson(1000));
        QVERIFY2(race_->builds - buildsBefore <= 2, "a burst is built once, not per change");
        QVERIFY(viewer.messages <= 3);
    }

    void aSlowSnapshotSpacesOutTheNextBuilds() {
        start({.coalesce = std::chrono::milliseconds(20)});
        race_->buildTime = std::chrono::milliseconds(40);
        Viewer viewer(server_->port());
        QTRY_COMPARE(viewer.messages, 1);
        const int buildsBefore = race_->builds;
        // Changes every 5 ms for at least 600 ms: unspaced, one build per 20 ms wait plus
        // its 40 ms (ten or more); spaced to four times the build, at most one per 200 ms.
        QElapsedTimer clock;
        clock.start();
        int state = 0;
        while (clock.elapsed() < 600) {
            change(++state);
            QTest::qWait(5);
        }
        QTRY_COMPARE(viewer.last, stateJson(state));
        QVERIFY2(race_->builds - buildsBefore <= 6, qPrintable(QString::number(race_->builds)));
    }

    void reachesEveryClientWhenASendIsSpreadOverTurns() {
        start({.coalesce = std::chrono::milliseconds(0), .clientsPerTurn = 3});
        std::vector<std::unique_ptr<Viewer>> viewers;
        for (int i = 0; i < 10; ++i) {
            viewers.push_back(std::make_unique<Viewer>(server_->port()));
        }
        QTRY_COMPARE(server_->webSocketClients(), 10);
        QSignalSpy sent(server_.get(), &LiveServer::sent);
        change(1);
        // The next change comes while the first is still being sent: it starts over.
        QTRY_VERIFY(viewers[0]->last == stateJson(1) || viewers[9]->last == stateJson(1));
        change(2);
        for (const auto& viewer : viewers) {
            QTRY_COMPARE(viewer->last, stateJson(2));
        }
        QVERIFY(!sent.isEmpty());
    }

    void catchesUpAfterAReconnect() {
        start();
        change(1);
        auto viewer = std::make_unique<Viewer>(server_->port());
        QTRY_COMPARE(viewer->last, stateJson(1));
        viewer->socket.abort();  // the Wi-Fi drops
        QTRY_COMPARE(server_->webSocketClients(), 0);
        change(2);
        change(3);
        viewer = std::make_unique<Viewer>(server_->port());
        QTRY_COMPARE(viewer->last, stateJson(3));
        QCOMPARE(viewer->messages, 1);
    }

    void refusesClientsBeyondItsBoundAndTakesThemAgainLater() {
        start({.maxClients = 3});
        std::vector<std::unique_ptr<Viewer>> viewers;
        for (int i = 0; i < 3; ++i) {
            viewers.push_back(std::make_unique<Viewer>(server_->port()));
        }
        QTRY_COMPARE(server_->webSocketClients(), 3);
        const QByteArray refused = Fetch(server_->port(), Get("/"));
        QCOMPARE(StatusOf(refused), 503);
        QVERIFY(BodyOf(refused).contains("Te veel kijkers"));
        Viewer fourth(server_->port());
        QTRY_COMPARE(fourth.socket.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(fourth.messages, 0);
        viewers.pop_back();
        QTRY_COMPARE(server_->webSocketClients(), 2);
        Viewer again(server_->port());
        QTRY_COMPARE(again.messages, 1);
    }

    void dropsAClientThatStopsReadingAndKeepsServingTheOthers() {
        start({.stall = std::chrono::milliseconds(300)});
        race_->padding = 200 * 1024;
        Viewer reader(server_->port());
        RawWebSocket stalled(server_->port(), 4096);
        QVERIFY(stalled.upgraded());
        QTRY_COMPARE(server_->webSocketClients(), 2);
        int state = 0;
        // The stalled client's kernel buffers fill first; then a snapshot waits for it, it
        // takes nothing more, and it is dropped. The reader gets every state meanwhile.
        for (int round = 0; round < 400 && server_->webSocketClients() == 2; ++round) {
            change(++state);
            QTRY_COMPARE(reader.last, stateJson(state));
            QTest::qWait(5);
        }
        QCOMPARE(server_->webSocketClients(), 1);
        change(++state);
        QTRY_COMPARE(reader.last, stateJson(state));
    }

    void aSlowReaderSkipsStatesButEndsOnTheLastOne() {
        start({.backlog = 4 << 20});
        race_->padding = 300 * 1024;
        // A client that reads, but slowly: small buffers, drained a little at a time.
        RawWebSocket slow(server_->port(), 8192);
        QVERIFY(slow.upgraded());
        QTRY_COMPARE(server_->webSocketClients(), 1);
        for (int i = 1; i <= 50; ++i) {
            change(i);
            QTest::qWait(3);
            slow.socket().read(4096);
        }
        QByteArray received;
        const QByteArray last = stateJson(50);
        QTRY_VERIFY_WITH_TIMEOUT((received += slow.socket().readAll(), received.endsWith(last)),
                                 20000);
        // Not every state was sent to it: a new one waited until it had taken the last.
        QVERIFY(received.count("\"state\":") < 50);
        QCOMPARE(server_->webSocketClients(), 1);
    }

    void closesOnlyAClientThatBreaksTheProtocol() {
        start();
        Viewer viewer(server_->port());
        QTRY_COMPARE(viewer.messages, 1);

        RawWebSocket reservedBits(server_->port());
        QVERIFY(reservedBits.upgraded());
        QByteArray frame = RawWebSocket::Frame(0x1, "hallo");
        frame[0] = static_cast<char>(frame[0] | 0x40);  // RSV1 without an extension that uses it
        reservedBits.sendRaw(frame);
        QVERIFY(reservedBits.closedWithin(5000));

        RawWebSocket reserved(server_->port());
        QVERIFY(reserved.upgraded());
        reserved.sendRaw(RawWebSocket::Frame(0x3, "x"));  // opcode 3 is reserved
        QVERIFY(reserved.closedWithin(5000));

        RawWebSocket oversized(server_->port());
        QVERIFY(oversized.upgraded());
        oversized.sendRaw(RawWebSocket::Frame(0x1, QByteArray(4000, 'a')));
        QVERIFY(oversized.closedWithin(5000));

        // A handshake without its key is closed before it becomes a client.
        const QByteArray noKey = Fetch(server_->port(),
                                       "GET /ws HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\n"
                                       "Connection: Upgrade\r\nSec-WebSocket-Version: 13\r\n\r\n");
        QVERIFY(!noKey.startsWith("HTTP/1.1 101"));

        QTRY_COMPARE(server_->webSocketClients(), 1);
        change(9);
        QTRY_COMPARE(viewer.last, stateJson(9));
    }

    void saysWhenItsPortIsInUse() {
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::AnyIPv4, 0));
        LiveServer server([] { return QByteArray("{}"); });
        const Status listening = server.listen(other.serverPort());
        QVERIFY(!listening.ok());
        QVERIFY(listening.error().message.find("al in gebruik") != std::string::npos);
        QVERIFY(listening.error().message.find("Kies een andere poort") != std::string::npos);
        QVERIFY(!server.isListening());
        other.close();
        QVERIFY(server.listen(0).ok());
    }
};

}  // namespace tivaro::live

QTEST_GUILESS_MAIN(tivaro::live::LiveServerTest)
#include "live_server_test.moc"
