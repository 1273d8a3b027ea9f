// How long the open button takes to offer the sport box: the file chosen, the spreadsheet
// started (Calc) and the workbook loaded, until the sport box is in view. Each run is a new
// window on a fresh copy of the demo workbook; in Calc, a new soffice with a profile of its
// own (a cold start: the first run also fills the profile) that quits when the window goes.
//
//   tivaro_open_bench [RUNS]        (Calc visible needs a display: xvfb-run -a ...)
//
// Prints the median, p95 and maximum of each mode; Calc is left out when it is not installed.

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/engine_choice.h"
#include "app/main_window.h"

namespace {

using tivaro::app::CalcStart;
using tivaro::app::MainWindow;
using tivaro::app::WindowOptions;

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const std::size_t at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    return values[at];
}

// Milliseconds from the click on the open button to the sport box in view; negative on failure.
double OpenOnce(bool embedded, int run, const std::filesystem::path& demo) {
    QTemporaryDir scratch;
    const std::filesystem::path dir = scratch.path().toStdString();
    const std::filesystem::path workbook = dir / "dovo-race.xlsx";
    std::filesystem::copy_file(demo, workbook);

    WindowOptions options;
    options.dataDirectory = dir / "data";
    options.preferEmbedded = embedded;
    options.chooseWorkbook = [&](QWidget*, const QString&, const QString&) {
        return std::optional<std::filesystem::path>(workbook);
    };
    options.showMessage = [](const QString& text) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    };
    options.serialPorts = [] { return std::vector<tivaro::app::SerialPortEntry>{}; };
    if (!embedded) {
        CalcStart calc;
        calc.pipeName = QStringLiteral("tivaro-open-bench-%1-%2")
                            .arg(QCoreApplication::applicationPid())
                            .arg(run);
        calc.profileDirectory = dir / "profile";
        calc.privateProfile = true;
        calc.quitWhenDone = true;
        options.calcStart = calc;
    }
    MainWindow window(options);
    window.show();
    auto* open = window.findChild<QPushButton*>(QStringLiteral("Command1"));
    auto* sport = window.findChild<QComboBox*>(QStringLiteral("Combo1"));
    QElapsedTimer clock;
    clock.start();
    open->click();
    while (!sport->isVisible()) {
        if (clock.elapsed() > 60'000) {
            return -1;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    const double elapsed = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    window.close();
    return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const std::filesystem::path demo =
        std::filesystem::path(TIVARO_SOURCE_DIR) / "examples" / "demo-race.xlsx";
    std::vector<std::pair<const char*, bool>> modes = {{"embedded", true}};
    if (tivaro::app::CalcUnavailableReason().isEmpty()) {
        modes.push_back({"calc", false});
    } else {
        std::printf("calc: left out (%s)\n", qPrintable(tivaro::app::CalcUnavailableReason()));
    }
    for (const auto& [name, embedded] : modes) {
        std::vector<double> times;
        for (int run = 0; run < runs; ++run) {
            const double ms = OpenOnce(embedded, run, demo);
            if (ms < 0) {
                std::printf("%s: run %d did not show the sport box within 60 s\n", name, run);
                return 1;
            }
            times.push_back(ms);
        }
        std::printf(
            "%-9s open button to sport box: median %.1f ms, p95 %.1f ms, max %.1f ms "
            "(%d runs)\n",
            name, Percentile(times, 0.5), Percentile(times, 0.95),
            *std::max_element(times.begin(), times.end()), runs);
    }
    return 0;
}
