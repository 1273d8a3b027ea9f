// End-to-end benchmark: tivaro-sim sends a burst of about 10,000 passings over loopback TCP
// to the same core the window runs, headless: the TCP link, the race controller (receive path,
// passing rules, coupling log on disk), the embedded workbook and its saver.
//
// It reports passings per second, the latency from a record's end byte read from the socket
// to its coupling-log line written (median, p99, max), the time until the workbook on disk
// holds every passing, and the peak memory of the process.
//
//   tivaro_e2e_bench [--sim PATH] [--laps N] [--burst N]

#include <sys/resource.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

#include "app/tcp_link.h"
#include "app/workbook_saver.h"
#include "timing/race_controller.h"
#include "workbook/xlsx_app.h"

namespace {

using namespace tivaro;
using Clock = std::chrono::steady_clock;

int Fail(const std::string& message) {
    std::fprintf(stderr, "tivaro_e2e_bench: %s\n", message.c_str());
    return 1;
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

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    std::string sim = TIVARO_SIM;
    int laps = 48;
    int burst = 50;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--sim") {
            sim = argv[i + 1];
        } else if (arg == "--laps") {
            laps = std::atoi(argv[i + 1]);
        } else if (arg == "--burst") {
            burst = std::atoi(argv[i + 1]);
        }
    }

    QTemporaryDir dir;
    const std::filesystem::path root = dir.path().toStdString();
    const std::filesystem::path race = root / "dovo-bench.xlsx";
    if (Status made = MakeRaceWorkbook(race, root / "backup"); !made) {
        return Fail(made.error().message);
    }

    // The decoder: the whole race at full speed, as a decoder empties its memory after a
    // reconnect.
    const quint16 port = static_cast<quint16>(20000 + (QCoreApplication::applicationPid() % 20000));
    const std::string plan = (root / "plan.txt").string();
    QProcess decoder;
    decoder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    decoder.start(QString::fromStdString(sim),
                  {"--tcp",      QStringLiteral("127.0.0.1:%1").arg(port),
                   "--speed",    "max",
                   "--burst",    QString::number(burst),
                   "--workbook", QString::fromStdString(race.string()),
                   "--sheet",    "fiets",
                   "--laps",     QString::number(laps),
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

    // The core, set up as a person would: open the workbook, cycling, 8 laps, recording.
    std::filesystem::create_directories(root / "data");
    app::TcpLink tcp(port);
    std::vector<std::string> notices;
    std::unique_ptr<app::WorkbookSaver> saver;
    Clock::time_point arrivalRead;
    Clock::time_point firstByte;
    Clock::time_point lastLogged;
    Clock::time_point allSaved;
    std::vector<double> latencyMicros;
    latencyMicros.reserve(expected);

    timing::ControllerOptions options;
    options.startApp = [&]() -> Result<std::unique_ptr<workbook::SpreadsheetApp>> {
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
    if (Status opened = controller.openWorkbook(race); !opened) {
        return Fail(opened.error().message);
    }
    if (Status chosen = setup.chooseSport("Fietsen"); !chosen) {
        return Fail(chosen.error().message);
    }
    setup.moveLapSlider(8);
    setup.choosePhase(timing::Phase::Recording);
    saver = std::make_unique<app::WorkbookSaver>(
        [&] { return controller.race().workbook(); }, [&] { return tcp.bytesWaiting() > 0; },
        [&](const QString& message) { notices.push_back(message.toStdString()); });

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
        if (tcp.bytesWaiting() > 0) {
            QMetaObject::invokeMethod(&tcp, dataArrival, Qt::QueuedConnection);
        }
    };
    QObject::connect(&tcp, &app::DecoderLink::readyRead, dataArrival);
    QObject::connect(&tcp, &app::DecoderLink::connected,
                     [&] { controller.connectionStarted(link::LinkKind::Tcp); });
    QObject::connect(saver.get(), &app::WorkbookSaver::due, [&] {
        saver->check();
        finishedAndSaved();
    });
    QTimer::singleShot(30'000, [&] { QCoreApplication::exit(2); });
    tcp.connectTo("127.0.0.1");
    const int exitCode = QCoreApplication::exec();
    decoder.waitForFinished(5'000);
    if (exitCode != 0) {
        return Fail("timed out with " + std::to_string(latencyMicros.size()) + " of " +
                    std::to_string(expected) + " passings handled");
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
    std::printf("passings handled        %zu (of %zu sent; %zu notices)\n", latencyMicros.size(),
                expected, notices.size());
    std::printf("handled in              %.3f s  = %.0f passings/s\n", handledSeconds,
                static_cast<double>(latencyMicros.size()) / handledSeconds);
    std::printf("workbook on disk after  %.3f s (row 200: counter \"%s\", finish \"%s\")\n",
                savedSeconds, counter.c_str(), finish.c_str());
    std::printf(
        "latency end byte read -> log line written: median %.1f us, p99 %.1f us, "
        "max %.1f us\n",
        Percentile(latencyMicros, 0.5), Percentile(latencyMicros, 0.99),
        Percentile(latencyMicros, 1.0));
    std::printf("peak memory             %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024);
    std::printf("serial link for scale   9600 baud = 960 bytes/s = about 24 passings/s\n");
    for (std::size_t k = 0; k < std::min<std::size_t>(notices.size(), 5); ++k) {
        std::printf("notice: %s\n", notices[k].c_str());
    }
    return counter == "x" && !finish.empty() ? 0 : 1;
}
