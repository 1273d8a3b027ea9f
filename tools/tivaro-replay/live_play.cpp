#include "tools/tivaro-replay/live_play.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>

#include "live/live_server.h"
#include "live/stand_json.h"

namespace tivaro::replay {

namespace {

int stopPipe[2] = {-1, -1};

// Only what is safe in a signal handler: one byte into the pipe the event loop watches.
void OnStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &byte, 1);
}

}  // namespace

int PlayLive(const std::vector<timing::JournalAction>& actions, const ReplayOptions& options,
             const LiveOptions& live, std::ostream& out, std::ostream& err) {
    ScenarioRun run(options, out, err);
    live::LiveServer server(
        [&run] { return live::StandJson(live::StandOf(live::ResultsOrEmpty(run.race()))); });
    if (Status listening = server.listen(live.port); !listening) {
        err << "tivaro-replay: " << listening.error().message << '\n';
        return 3;
    }
    err << "tivaro-replay: live uitslagen op http://127.0.0.1:" << server.port() << "/"
        << std::endl;

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, stopPipe) != 0) {
        err << "tivaro-replay: geen signaalafhandeling mogelijk\n";
        return 1;
    }
    QSocketNotifier stopNotifier(stopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(stopPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    std::size_t next = 0;
    QTimer player;
    player.setInterval(live.pace);
    QObject::connect(&player, &QTimer::timeout, [&] {
        if (next < actions.size()) {
            run.play(actions[next++]);
            out.flush();
            server.changed();
            return;
        }
        player.stop();
        run.finish();
        out.flush();
        server.changed();
        err << "tivaro-replay: het scenario is afgespeeld; de uitslagen blijven live tot "
               "Ctrl+C of SIGTERM"
            << std::endl;
    });
    player.start();
    QCoreApplication::exec();

    server.close();
    ::close(stopPipe[0]);
    ::close(stopPipe[1]);
    return run.ok() ? 0 : 1;
}

}  // namespace tivaro::replay
