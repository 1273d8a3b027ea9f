// Live results benchmark: the race core plays passings on the embedded workbook (cycling,
// 178 competitors) while the live server sends its snapshots to WebSocket clients in another
// process over loopback.
//
//   1. 100 clients, 10,000 passings one per millisecond: the latency from a passing handled
//      to the snapshot holding it at all 100 clients (p50, p99, max), and the longest stall
//      of the race's thread, seen by a probe timer every 5 ms.
//   2. 500 idle clients: the server's memory per client (resident set before and after).
//   3. 500 clients, 10,000 passings in one burst: every client that keeps reading ends on the
//      server's final snapshot (none dropped, none behind), and the longest stall.
//
//   tivaro_live_bench [--passings N]
// The same binary, started with --clients N --port P, is the clients' process.

#include <unistd.h>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebSocket>
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <fstream>
#include <map>
#include <vector>

#include "live/live_server.h"
#include "live/stand_json.h"
#include "timing/race_controller.h"
#include "workbook/xlsx_app.h"

namespace {

using namespace tivaro;
using Clock = std::chrono::steady_clock;

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "tivaro_live_bench: %s\n", message.c_str());
    return 1;
}

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

// The clients' process: connects `count` clients a batch at a time, says "ready" once each has
// its first snapshot, notes every snapshot's sequence number as it arrives, and when its
// standard input closes prints what it noted ("R client seq ns") and each client's last
// snapshot's hash ("F client hash").
int RunClients(int count, quint16 port) {
    struct Client {
        QWebSocket socket;
        QByteArray last;
        std::vector<std::pair<long, std::int64_t>> seen;
    };
    std::vector<std::unique_ptr<Client>> clients;
    int ready = 0;
    const auto open = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            clients.push_back(std::make_unique<Client>());
            Client* client = clients.back().get();
            QObject::connect(&client->socket, &QWebSocket::binaryMessageReceived,
                             [client, &ready, count](const QByteArray& message) {
                                 const std::int64_t at = NowNs();
                                 const qsizetype seq = message.indexOf("\"seq\":");
                                 const long number =
                                     seq < 0 ? -1 : message.mid(seq + 6, 12).split(',')[0].toLong();
                                 if (client->last.isEmpty() && ++ready == count) {
                                     std::printf("ready\n");
                                     std::fflush(stdout);
                                 }
                                 client->last = message;
                                 client->seen.emplace_back(number, at);
                             });
            client->socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(port)));
        }
    };
    for (int from = 0; from < count; from += 25) {
        QTimer::singleShot(from, [&, from] { open(from, std::min(count, from + 25)); });
    }
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
        }
    });
    QCoreApplication::exec();
    for (std::size_t i = 0; i < clients.size(); ++i) {
        for (const auto& [seq, at] : clients[i]->seen) {
            std::printf("R %zu %ld %lld\n", i, seq, static_cast<long long>(at));
        }
        std::printf("F %zu %s\n", i,
                    QCryptographicHash::hash(clients[i]->last, QCryptographicHash::Sha1)
                        .toHex()
                        .constData());
    }
    return 0;
}

// Fills the cycling sheet of a copy of the demo workbook with competitors in rows 23..200.
Status MakeRaceWorkbook(const std::filesystem::path& file, const std::filesystem::path& backups) {
    std::filesystem::copy_file(TIVARO_DEMO_WORKBOOK, file,
                               std::filesystem::copy_options::overwrite_existing);
    workbook::XlsxApp app(backups);
    auto book = app.open(file);
    if (!book) {
        return book.error();
    }
    if (Status s = (*book)->activate("fiets"); !s) {
        return s;
    }
    const workbook::SheetId sheet = *(*book)->activeSheet();
    for (int row = 23; row <= 200; ++row) {
        char code[16];
        std::snprintf(code, sizeof code, "BX-%05d", row);
        if (Status s = (*book)->writeCell(sheet, row, 1, std::to_string(300 + row)); !s) {
            return s;
        }
        if (Status s = (*book)->writeCell(sheet, row, 2, code); !s) {
            return s;
        }
    }
    return (*book)->close();
}

// The i-th passing: competitors in turn, half a second apart.
link::Passing NthPassing(long i) {
    char code[16];
    std::snprintf(code, sizeof code, "BX-%05ld", 23 + i % 178);
    const long hundredths = 10 * 3600 * 100 + i * 50;
    char time[32];
    std::snprintf(time, sizeof time, "%ld:%ld:%ld.%02ld", hundredths / 360000,
                  hundredths / 6000 % 60, hundredths / 100 % 60, hundredths % 100);
    return {code, time};
}

// Runs the event loop until `done` or `seconds` passed; false on the timeout.
bool Await(const std::function<bool()>& done, int seconds) {
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (Clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// The longest gap between the ticks of a 5-ms timer on this thread, less the 5 ms.
class StallProbe {
public:
    StallProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const std::int64_t now = NowNs();
            if (last_ != 0) {
                worst_ = std::max(worst_, static_cast<double>(now - last_) / 1e6 - 5.0);
            }
            last_ = now;
        });
    }
    void start() {
        last_ = 0;
        worst_ = 0;
        timer_.start();
    }
    double stop() {
        timer_.stop();
        return worst_;
    }

private:
    QTimer timer_;
    std::int64_t last_ = 0;
    double worst_ = 0;
};

struct ClientsRun {
    QProcess process;
    QByteArray out;
    bool ready() const { return out.contains("ready\n"); }
};

std::unique_ptr<ClientsRun> StartClients(const char* self, int count, quint16 port) {
    auto run = std::make_unique<ClientsRun>();
    run->process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&run->process, &QProcess::readyReadStandardOutput,
                     [r = run.get()] { r->out += r->process.readAllStandardOutput(); });
    run->process.start(QString::fromLocal8Bit(self),
                       {"--clients", QString::number(count), "--port", QString::number(port)});
    return run;
}

// Ends the clients' process and returns its lines.
QList<QByteArray> EndClients(ClientsRun& run) {
    run.process.closeWriteChannel();
    Await([&] { return run.process.state() == QProcess::NotRunning; }, 60);
    run.out += run.process.readAllStandardOutput();
    return run.out.split('\n');
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    long passings = 10'000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--clients") {
            return RunClients(std::atoi(argv[i + 1]), static_cast<quint16>(std::atoi(argv[i + 3])));
        }
        if (arg == "--passings") {
            passings = std::atol(argv[i + 1]);
        }
    }

    QTemporaryDir dir;
    const std::filesystem::path root = dir.path().toStdString();
    const std::filesystem::path race = root / "live-bench.xlsx";
    if (Status made = MakeRaceWorkbook(race, root / "backup"); !made) {
        return Fail(made.error().message);
    }
    timing::ControllerOptions options;
    options.startApp = [&]() -> Result<std::unique_ptr<workbook::SpreadsheetApp>> {
        return std::unique_ptr<workbook::SpreadsheetApp>(
            std::make_unique<workbook::XlsxApp>(root / "backup"));
    };
    long handled = 0;
    std::vector<std::int64_t> handledAt;
    handledAt.reserve(static_cast<std::size_t>(passings) * 2);
    timing::ControllerEvents events;
    std::unique_ptr<live::LiveServer> server;
    events.passingHandled = [&](const timing::PassingResult&, const std::string&) {
        handledAt.push_back(NowNs());
        ++handled;
        server->changed();
    };
    timing::RaceController controller(std::move(options), std::move(events));
    if (Status opened = controller.openWorkbook(race); !opened) {
        return Fail(opened.error().message);
    }
    if (Status chosen = controller.setup().chooseSport("Fietsen"); !chosen) {
        return Fail(chosen.error().message);
    }
    controller.setup().moveLapSlider(8);
    controller.setup().choosePhase(timing::Phase::Recording);

    // The window's snapshot, with the number of passings handled put in front, so that a
    // client can tell which passings a snapshot holds.
    long builds = 0;
    const auto snapshot = [&] {
        ++builds;
        QByteArray json = live::StandJson(live::StandOf(live::ResultsOrEmpty(controller.race())));
        return json.insert(1, "\"seq\":" + QByteArray::number(handled) + ",");
    };
    server = std::make_unique<live::LiveServer>(snapshot);
    if (Status listening = server->listen(0, QHostAddress::LocalHost); !listening) {
        return Fail(listening.error().message);
    }
    const quint16 port = server->port();
    StallProbe probe;

    // 1. Latency with 100 clients.
    {
        auto clients = StartClients(argv[0], 100, port);
        if (!Await([&] { return clients->ready(); }, 60)) {
            return Fail("100 clients did not connect");
        }
        probe.start();
        long next = 0;
        const long first = handled;
        QTimer player;
        player.setTimerType(Qt::PreciseTimer);
        QObject::connect(&player, &QTimer::timeout,
                         [&] { controller.handlePassing(NthPassing(next++)); });
        player.start(1);
        Await([&] { return next >= passings; }, 600);
        player.stop();
        Await([] { return false; }, 1);
        const double stall = probe.stop();
        // Per client, the arrival of each snapshot in order; a passing's change reaches a client
        // with the first snapshot whose number holds it.
        std::map<int, std::vector<std::pair<long, std::int64_t>>> seen;
        for (const QByteArray& line : EndClients(*clients)) {
            const QList<QByteArray> f = line.split(' ');
            if (f.size() == 4 && f[0] == "R") {
                seen[f[1].toInt()].emplace_back(f[2].toLong(), f[3].toLongLong());
            }
        }
        std::vector<double> latencies;
        std::map<int, std::size_t> cursor;  // per client: its first snapshot not before i
        for (long i = first; i < handled; ++i) {
            std::int64_t allHave = 0;
            for (auto& [client, arrivals] : seen) {
                std::size_t& at = cursor[client];
                while (at < arrivals.size() && arrivals[at].first <= i) {
                    ++at;
                }
                allHave =
                    at == arrivals.size() ? INT64_MAX : std::max(allHave, arrivals[at].second);
                if (allHave == INT64_MAX) {
                    break;
                }
            }
            latencies.push_back(
                allHave == INT64_MAX ? 1e9 : static_cast<double>(allHave - handledAt[i]) / 1e6);
        }
        std::printf(
            "100 clients, %ld passings at 1/ms: latency to all clients p50 %.1f ms, "
            "p99 %.1f ms, max %.1f ms (target p99 <= 100 ms); %ld snapshots built; "
            "longest stall of the race thread %.1f ms (target <= 50 ms); clients "
            "heard %zu\n",
            handled - first, Percentile(latencies, 0.5), Percentile(latencies, 0.99),
            Percentile(latencies, 1.0), builds, stall, seen.size());
    }
    Await([&] { return server->webSocketClients() == 0; }, 30);

    // 2 and 3. 500 clients: memory when idle, then a burst.
    {
        const long before = ResidentKiB();
        auto clients = StartClients(argv[0], 500, port);
        if (!Await([&] { return clients->ready(); }, 120)) {
            return Fail("500 clients did not connect");
        }
        Await([] { return false; }, 1);
        const long after = ResidentKiB();
        std::printf(
            "500 idle clients: %.1f KiB of server memory per client (target <= 64 "
            "KiB; resident %ld KiB before, %ld KiB after)\n",
            static_cast<double>(after - before) / 500.0, before, after);

        probe.start();
        long next = passings;
        const long end = passings * 2;
        // The burst: as fast as the core handles them, a slice per event-loop turn as the
        // window's receive event takes them.
        std::function<void()> slice = [&] {
            for (int k = 0; k < 200 && next < end; ++k) {
                controller.handlePassing(NthPassing(next++));
            }
            if (next < end) {
                QTimer::singleShot(0, slice);
            }
        };
        const auto started = Clock::now();
        slice();
        Await([&] { return next >= end; }, 600);
        const double burstMs =
            std::chrono::duration<double, std::milli>(Clock::now() - started).count();
        Await([] { return false; }, 5);
        const double stall = probe.stop();
        const QByteArray finalHash =
            QCryptographicHash::hash(snapshot(), QCryptographicHash::Sha1).toHex();
        const int stillConnected = server->webSocketClients();
        int same = 0;
        int heard = 0;
        for (const QByteArray& line : EndClients(*clients)) {
            const QList<QByteArray> f = line.split(' ');
            if (f.size() == 3 && f[0] == "F") {
                ++heard;
                same += f[2] == finalHash ? 1 : 0;
            }
        }
        std::printf(
            "500 clients, burst of %ld passings in %.0f ms: %d of %d clients end on "
            "the server's final snapshot, %d still connected; longest stall of the "
            "race thread %.1f ms\n",
            passings, burstMs, same, heard, stillConnected, stall);
        if (same != 500) {
            return Fail("a client that kept reading lost the final state");
        }
    }
    return 0;
}
