// Request heads as a hall's network may send them: whole, in pieces, past each bound, with a
// body, with methods that would change something, and targets that try to leave the page.

#include <QTest>
#include <string>

#include "live/http_request.h"

namespace tivaro::live {

using State = ReadRequest::State;

class RequestHeadTest : public QObject {
    Q_OBJECT
private slots:
    void readsAWholeHeadWithItsQuery() {
        const std::string bytes =
            "GET /?volg=203,207&bord HTTP/1.1\r\nHost: 10.0.0.2:8080\r\nAccept: */*\r\n\r\nrest";
        const ReadRequest read = ReadRequestHead(bytes);
        QCOMPARE(read.state, State::Ready);
        QCOMPARE(read.head.method, std::string("GET"));
        QCOMPARE(read.head.path, std::string("/"));
        QCOMPARE(read.head.query, std::string("volg=203,207&bord"));
        QCOMPARE(read.length, bytes.size() - 4);
        QVERIFY(!read.head.upgradeToWebSocket);
    }

    void waitsForTheRestOfAHeadSentInPieces() {
        const std::string whole = "GET /live.js HTTP/1.1\r\nHost: x\r\n\r\n";
        for (std::size_t cut = 0; cut < whole.size(); ++cut) {
            QCOMPARE(ReadRequestHead(whole.substr(0, cut)).state, State::Incomplete);
        }
        QCOMPARE(ReadRequestHead(whole).state, State::Ready);
    }

    void recognisesAWebSocketUpgradeWhateverTheCase() {
        const ReadRequest read = ReadRequestHead(
            "GET /ws HTTP/1.1\r\nHost: x\r\nconnection: keep-alive, Upgrade\r\n"
            "UPGRADE:  WebSocket \r\nSec-WebSocket-Version: 13\r\n\r\n");
        QCOMPARE(read.state, State::Ready);
        QVERIFY(read.head.upgradeToWebSocket);
        // Upgrade without "Connection: upgrade" is no handshake.
        QVERIFY(!ReadRequestHead("GET /ws HTTP/1.1\r\nUpgrade: websocket\r\n\r\n")
                     .head.upgradeToWebSocket);
    }

    void refusesRequestLinesAndHeadsPastTheirBounds() {
        const RequestLimits limits{.requestLine = 64, .head = 256, .headers = 4};
        // A request line past its bound is refused before its end arrives.
        QCOMPARE(ReadRequestHead("GET /" + std::string(80, 'a'), limits).status, 414);
        QCOMPARE(
            ReadRequestHead("GET /" + std::string(80, 'a') + " HTTP/1.1\r\n\r\n", limits).status,
            414);
        // Just within the bound is taken.
        const std::string fits = "GET /" + std::string(64 - 16, 'a') + " HTTP/1.1\r\n";
        QCOMPARE(fits.size(), std::size_t{64});
        QCOMPARE(ReadRequestHead(fits + "\r\n", limits).state, State::Ready);
        // Headers that never end, and too many headers.
        QCOMPARE(ReadRequestHead("GET / HTTP/1.1\r\nX: " + std::string(300, 'b'), limits).status,
                 431);
        std::string many = "GET / HTTP/1.1\r\n";
        for (int i = 0; i < 5; ++i) {
            many += "X-" + std::to_string(i) + ": 1\r\n";
        }
        QCOMPARE(ReadRequestHead(many + "\r\n", limits).status, 431);
    }

    void refusesBodiesAndEveryMethodButGetAndHead() {
        QCOMPARE(
            ReadRequestHead("POST /api/stand HTTP/1.1\r\nContent-Length: 5\r\n\r\nabcde").status,
            405);
        QCOMPARE(ReadRequestHead("DELETE / HTTP/1.1\r\n\r\n").status, 405);
        QCOMPARE(ReadRequestHead("GET / HTTP/1.1\r\nContent-Length: 12\r\n\r\n").status, 413);
        QCOMPARE(ReadRequestHead("GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n").status,
                 413);
        QCOMPARE(ReadRequestHead("GET / HTTP/1.1\r\nContent-Length: 0\r\n\r\n").state,
                 State::Ready);
        QCOMPARE(ReadRequestHead("HEAD / HTTP/1.0\r\n\r\n").head.method, std::string("HEAD"));
    }

    void refusesMalformedLinesAndTargetsOutsideTheOriginForm() {
        for (const char* bad : {
                 "GET\r\n\r\n",
                 "GET /\r\n\r\n",
                 "GET http://evil/ HTTP/1.1\r\n\r\n",
                 "GET * HTTP/1.1\r\n\r\n",
                 "GET /a\x01 HTTP/1.1\r\n\r\n",
                 "GET /a b HTTP/1.1\r\n\r\n",
                 "G(T / HTTP/1.1\r\n\r\n",
                 "GET / SMTP/1.0\r\n\r\n",
                 "GET / HTTP/1.1\r\nNo colon here\r\n\r\n",
                 "GET / HTTP/1.1\r\nBad name: x\r\n\r\n",
             }) {
            QCOMPARE(ReadRequestHead(bad).status, 400);
        }
        QCOMPARE(ReadRequestHead("GET / HTTP/2.0\r\n\r\n").status, 505);
    }

    void keepsTraversalTargetsAsSentForTheRouteTableToRefuse() {
        // Not decoded: "%2e%2e" stays as it is and matches no route.
        const ReadRequest read = ReadRequestHead("GET /%2e%2e/%2e%2e/etc/passwd HTTP/1.1\r\n\r\n");
        QCOMPARE(read.state, State::Ready);
        QCOMPARE(read.head.path, std::string("/%2e%2e/%2e%2e/etc/passwd"));
    }
};

}  // namespace tivaro::live

QTEST_GUILESS_MAIN(tivaro::live::RequestHeadTest)
#include "http_request_test.moc"
