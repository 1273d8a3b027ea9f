// End-to-end benchmark: tivaro-sim sends a burst of about 10,000 passings over loopback TCP
// to the same core the window runs, headless: the TCP link, the race controller (receive path,
// passing rules, coupling log on disk), the race workbook and its saver. The workbook is in the
// embedded engine, or in LibreOffice Calc (headless) on a worker thread of its own, saved
// through Calc.
//
// It reports passings per second, the latency from a record's end byte read from the socket
// to its coupling-log line written (median, p99, max), the time until the workbook on disk
// holds every passing, the peak memory of the process, and how long the race's thread (the
// window's thread in the program) was held up: a timer ticks every 5 ms on it during the
// burst, and the gaps between its ticks beyond those 5 ms are that thread's stalls. The
// longest single calls the thread made into the core and into the saver are reported beside
// them, to tell where a stall came from.
//
//   tivaro_e2e_bench [--engine embedded|calc|both] [--sim PATH] [--laps N] [--burst N]

#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "app/tcp_link.h"
#include "app/workbook_saver.h"
#include "timing/race_controller.h"
#include "workbook/xlsx_app.h"
#ifdef TIVARO_WITH_CALC
#include "workbook/calc/calc_app.h"
#endif

namespace {

using namespace tivaro;
using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kProbeInterval{5};

int Fail(const std::string& message) {
    std::fprintf(stderr, "tivaro_e2e_bench: %s\n", message.c_str());
    return 1;
}

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// Fills the cycling sheet of a copy of the demo workbook with 198 competitors, so every
// passing of the burst is a competitor's passing.
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

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    return values[at];
}

// The longest of the calls of one kind the race's thread made, and how many there were.
struct LongestCall {
    double milliseconds = 0;
    std::size_t calls = 0;
    void add(Clock::duration took) {
        milliseconds = std::max(milliseconds, Milliseconds(took));
        ++calls;
    }
};

enum class Engine { Embedded, Calc };

struct RaceArguments {
    std::string sim;
    int laps = 48;
    int burst = 50;
};

// One race through the core with the workbook in `engine`; prints what it measured.
int RunRace(Engine engine, const RaceArguments& arguments) {
    const char* engineName = engine == Engine::Calc ? "calc (headless, worker)" : "embedded";
    std::printf("== engine: %s\n", engineName);
    std::fflush(stdout);

    QTemporaryDir dir;
    const std::filesystem::path root = dir.path().toStdString();
    const std::filesystem::path race = root / "dovo-bench.xlsx";
    if (Status made = MakeRaceWorkbook(race, root / "backup"); !made) {
        return Fail(made.error().message);
    }

    // The decoder: the whole race at full speed, as a decoder empties its memory after a
    // reconnect.
    const quint16 port = static_cast<quint16>(20000 + (QCoreApplication::applicationPid() % 20000) +
                                              (engine == Engine::Calc ? 1 : 0));
    const std::string plan = (root / "plan.txt").string();

    // Calc runs on one worker for the whole race; it outlives the controller, which lets go
    // of the workbook first.
#ifdef TIVARO_WITH_CALC
    std::shared_ptr<workbook::ThreadedApp> calc;
    if (engine == Engine::Calc) {
        workbook::CalcOptions calcOptions =
            workbook::DisposableCalcOptions("tivaro-e2e-" + std::to_string(::getpid()));
        calcOptions.saveThroughCalc = true;
        calc = workbook::StartCalcOnWorker(calcOptions);
    }
#else
    if (engine == Engine::Calc) {
        return Fail("built without the Calc engine");
    }
#endif

    // The core, set up as a person would: open the workbook, cycling, 8 laps, recording.
    std::filesystem::create_directories(root / "data");
    std::vector<std::string> notices;
    std::unique_ptr<app::WorkbookSaver> saver;
    Clock::time_point arrivalRead;
    Clock::time_point firstByte;
    Clock::time_point lastLogged;
    Clock::time_point allSaved;
    std::vector<double> latencyMicros;

    timing::ControllerOptions options;
    options.startApp = [&]() -> Result<std::unique_ptr<workbook::SpreadsheetApp>> {
#ifdef TIVARO_WITH_CALC
        if (calc) {
            return workbook::ShareApp(calc);
        }
#endif
        return std::unique_ptr<workbook::SpreadsheetApp>(
            std::make_unique<workbook::XlsxApp>(root / "backup"));
    };
    options.couplingLog = root / "data" / "dovokop.log";
    timing::ControllerEvents events;
    events.passingHandled = [&](const timing::PassingResult&, const std::string&) {
        lastLogged = Clock::now();
        latencyMicros.push_back(
            std::chrono::duration<double, std::micro>(lastLogged - arrivalRead).count());
    };
    events.workbookChanged = [&] { saver->markChanged(); };
    events.problem = [&](const Error& error) { notices.push_back(error.message); };
    events.notice = [&](const std::string& text) { notices.push_back(text); };
    timing::RaceController controller(std::move(options), std::move(events));
    timing::SetupPanel& setup = controller.setup();
    const auto openBegin = Clock::now();
    if (Status opened = controller.openWorkbook(race); !opened) {
        return Fail(opened.error().message);
    }
    const double openMilliseconds = Milliseconds(Clock::now() - openBegin);
    if (Status chosen = setup.chooseSport("Fietsen"); !chosen) {
        return Fail(chosen.error().message);
    }
    setup.moveLapSlider(8);
    setup.choosePhase(timing::Phase::Recording);

    // The decoder starts once the workbook is open, so that starting Calc is not in the burst.
    QProcess decoder;
    decoder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    decoder.start(QString::fromStdString(arguments.sim),
                  {"--tcp",      QStringLiteral("127.0.0.1:%1").arg(port),
                   "--speed",    "max",
                   "--burst",    QString::number(arguments.burst),
                   "--workbook", QString::fromStdString(race.string()),
                   "--sheet",    "fiets",
                   "--laps",     QString::number(arguments.laps),
                   "--warmup",   "1",
                   "--cooldown", "1",
                   "--unknown",  "20",
                   "--plan-out", QString::fromStdString(plan),
                   "--linger",   "1"});
    if (!decoder.waitForReadyRead(10'000)) {
        return Fail("the simulator did not start: " + decoder.errorString().toStdString());
    }
    std::size_t expected = 0;
    {
        std::ifstream in(plan);
        for (std::string line; std::getline(in, line);) {
            ++expected;
        }
    }
    latencyMicros.reserve(expected);

    app::TcpLink tcp(port);
    saver = std::make_unique<app::WorkbookSaver>(
        [&] { return controller.race().workbook(); }, [&] { return tcp.bytesWaiting() > 0; },
        [&](const QString& message) { notices.push_back(message.toStdString()); });

    // The stall probe: ticks on this thread from the first byte until the workbook is saved.
    std::vector<double> gapMilliseconds;
    Clock::time_point lastTick;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(kProbeInterval);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        if (firstByte != Clock::time_point{} && allSaved == Clock::time_point{} &&
            lastTick != Clock::time_point{}) {
            gapMilliseconds.push_back(Milliseconds(now - lastTick - kProbeInterval));
        }
        lastTick = now;
    });
    probe.start();

    LongestCall handling;  // controller.onDecoderBytes, one slice of bytes
    LongestCall checking;  // saver->check(), which may save
    const auto finishedAndSaved = [&] {
        if (latencyMicros.size() >= expected && !saver->pending() &&
            allSaved == Clock::time_point{}) {
            allSaved = Clock::now();
            QCoreApplication::quit();
        }
    };
    // As the window's receive event: a slice at a time, the rest as the next event.
    std::function<void()> dataArrival = [&] {
        const QByteArray bytes = tcp.read(app::kArrivalSlice);
        arrivalRead = Clock::now();
        if (firstByte == Clock::time_point{}) {
            firstByte = arrivalRead;
        }
        controller.onDecoderBytes(
            link::LinkKind::Tcp, std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                           static_cast<std::size_t>(bytes.size())));
        handling.add(Clock::now() - arrivalRead);
        if (tcp.bytesWaiting() > 0) {
            QMetaObject::invokeMethod(&tcp, dataArrival, Qt::QueuedConnection);
        }
    };
    QObject::connect(&tcp, &app::DecoderLink::readyRead, dataArrival);
    QObject::connect(&tcp, &app::DecoderLink::connected,
                     [&] { controller.connectionStarted(link::LinkKind::Tcp); });
    QObject::connect(saver.get(), &app::WorkbookSaver::due, [&] {
        const auto begin = Clock::now();
        saver->check();
        checking.add(Clock::now() - begin);
        finishedAndSaved();
    });
    QTimer::singleShot(engine == Engine::Calc ? 300'000 : 30'000,
                       [&] { QCoreApplication::exit(2); });
    tcp.connectTo("127.0.0.1");
    const int exitCode = QCoreApplication::exec();
    probe.stop();
    // The race ends inside an event (the last save); the time since the last tick is part of
    // the burst too.
    if (allSaved != Clock::time_point{} && lastTick != Clock::time_point{}) {
        gapMilliseconds.push_back(
            std::max(0.0, Milliseconds(allSaved - lastTick - kProbeInterval)));
    }
    decoder.waitForFinished(5'000);
    if (exitCode != 0) {
        return Fail("timed out with " + std::to_string(latencyMicros.size()) + " of " +
                    std::to_string(expected) + " passings handled");
    }
    // The saver's last save is queued for Calc: the workbook on disk holds the race once the
    // worker has put everything into Calc and Calc has saved it.
    double settleMilliseconds = 0;
    bool settled = true;
    Clock::time_point onDisk = allSaved;
    if (engine == Engine::Calc) {
        workbook::Workbook* book = controller.race().workbook();
        settled = book != nullptr && book->settle(std::chrono::minutes(5));
        onDisk = Clock::now();
        settleMilliseconds = Milliseconds(onDisk - allSaved);
        if (book != nullptr) {
            for (const Error& problem : book->news().problems) {
                notices.push_back(problem.message);
            }
        }
    }

    // The workbook on disk must hold the race: reopen it and look at a finisher.
    workbook::XlsxApp check(root / "backup");
    auto saved = check.open(race);
    if (!saved || !(*saved)->activate("fiets")) {
        return Fail("cannot reopen the saved workbook");
    }
    const auto sheet = *(*saved)->activeSheet();
    const std::string counter = *(*saved)->readCell(sheet, 200, 20);
    const std::string finish = *(*saved)->readCell(sheet, 200, 14);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double handledSeconds = std::chrono::duration<double>(lastLogged - firstByte).count();
    const double savedSeconds = std::chrono::duration<double>(allSaved - firstByte).count();
    const double onDiskSeconds = std::chrono::duration<double>(onDisk - firstByte).count();
    std::printf("open to a usable workbook %.1f ms\n", openMilliseconds);
    std::printf("passings handled        %zu (of %zu sent; %zu notices)\n", latencyMicros.size(),
                expected, notices.size());
    std::printf("handled in              %.3f s  = %.0f passings/s\n", handledSeconds,
                static_cast<double>(latencyMicros.size()) / handledSeconds);
    std::printf("last save taken on at   %.3f s after the first byte\n", savedSeconds);
    std::printf(
        "workbook on disk after  %.3f s%s (settle %.1f ms; row 200: counter \"%s\", "
        "finish \"%s\")\n",
        onDiskSeconds, settled ? "" : " NOT SETTLED", settleMilliseconds, counter.c_str(),
        finish.c_str());
    std::printf(
        "latency end byte read -> log line written: median %.1f us, p99 %.1f us, "
        "max %.1f us\n",
        Percentile(latencyMicros, 0.5), Percentile(latencyMicros, 0.99),
        Percentile(latencyMicros, 1.0));
    std::printf(
        "race thread stalls (5 ms ticks, %zu gaps): longest %.1f ms, median %.2f ms, "
        "p99 %.1f ms beyond the interval\n",
        gapMilliseconds.size(), Percentile(gapMilliseconds, 1.0), Percentile(gapMilliseconds, 0.5),
        Percentile(gapMilliseconds, 0.99));
    std::printf(
        "longest call on it      onDecoderBytes %.1f ms (%zu calls), saver check %.1f ms "
        "(%zu calls)\n",
        handling.milliseconds, handling.calls, checking.milliseconds, checking.calls);
    std::printf("peak memory             %.1f MB (the process so far)\n",
                static_cast<double>(usage.ru_maxrss) / 1024);
    for (std::size_t k = 0; k < std::min<std::size_t>(notices.size(), 5); ++k) {
        std::printf("notice: %s\n", notices[k].c_str());
    }
    std::fflush(stdout);
    return counter == "x" && !finish.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    RaceArguments arguments;
    arguments.sim = TIVARO_SIM;
    std::string engine = "embedded";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--sim") {
            arguments.sim = argv[i + 1];
        } else if (arg == "--laps") {
            arguments.laps = std::atoi(argv[i + 1]);
        } else if (arg == "--burst") {
            arguments.burst = std::atoi(argv[i + 1]);
        } else if (arg == "--engine") {
            engine = argv[i + 1];
        } else {
            return Fail("unknown option " + arg);
        }
    }
    std::vector<Engine> engines;
    if (engine == "embedded" || engine == "both") {
        engines.push_back(Engine::Embedded);
    }
    if (engine == "calc" || engine == "both") {
        engines.push_back(Engine::Calc);
    }
    if (engines.empty()) {
        return Fail("--engine takes embedded, calc or both");
    }
    std::printf("serial link for scale   9600 baud = 960 bytes/s = about 24 passings/s\n");
    int result = 0;
    for (Engine one : engines) {
        result = std::max(result, RunRace(one, arguments));
    }
    return result;
}
