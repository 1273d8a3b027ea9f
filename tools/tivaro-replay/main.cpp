// tivaro-replay: plays a race from a scenario file through the race controller the window
// uses, printing every coupling-log line as it is appended. See scenario.h for the actions.

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "common/data_dir.h"
#include "tools/tivaro-replay/replay.h"
#include "workbook/xlsx_app.h"
#ifdef TIVARO_WITH_LIVE
#include <QCoreApplication>

#include "tools/tivaro-replay/live_play.h"
#endif
#ifdef TIVARO_WITH_RESULTS
#include <QGuiApplication>

#include "results/results_files.h"
#endif
#ifdef TIVARO_WITH_CALC
#include <unistd.h>

#include "workbook/calc/calc_app.h"
#endif

namespace {

constexpr int kExitFailed = 1;     // the race ran, but something failed on the way
constexpr int kExitMalformed = 2;  // bad arguments or a malformed scenario: nothing ran

}  // namespace

int main(int argc, char** argv) {
    std::string dataDirectory = tivaro::DataDirectory().string();
    std::string scenarioPath;
    std::string engine = "auto";
    std::string copyFolder;
    bool strict = false;
    std::string resultsFile;
#ifdef TIVARO_WITH_LIVE
    int livePort = -1;  // none: no live results
    int paceMs = 0;
#endif

    CLI::App app{
        "Plays the race in SCENARIO (one action per line) and prints every coupling-log "
        "line. The logs go into the data directory, the workbook backups into its folder "
        "backup; the workbook is saved at the end (in Calc mode through a LibreOffice Calc of "
        "its own, to the workbook's path in its own format). A line that cannot be read is "
        "named and skipped. Exit status: 0 done, 1 something failed on the way or a line was "
        "skipped (reported on standard error), 2 bad arguments, an unreadable scenario, or with "
        "--strict a line that cannot be read (nothing ran).",
        "tivaro-replay"};
    app.add_option("--data-dir", dataDirectory, "where the logs and backups go")
        ->option_text("DIR");
    app.add_option("--engine", engine,
                   "the spreadsheet engine: calc, embedded, or auto (the default): Calc when "
                   "LibreOffice Calc is installed, as the window chooses, else embedded")
        ->check(CLI::IsMember({"auto", "embedded", "calc"}));
    app.add_option("--copy-to", copyFolder,
                   "play each workbook the scenario opens as a fresh copy in DIR, leaving the "
                   "original untouched (to rescore a race from its journal again and again)")
        ->option_text("DIR");
    app.add_flag("--strict", strict,
                 "refuse a scenario with a line that cannot be read, instead of playing the "
                 "rest");
#ifdef TIVARO_WITH_RESULTS
    app.add_option("--results", resultsFile,
                   "write the results of the race in force at the end to FILE, as a PDF or as "
                   "CSV by its extension (.pdf, .csv)")
        ->option_text("FILE");
#endif
#ifdef TIVARO_WITH_LIVE
    app.add_option("--live", livePort,
                   "serve the race's live results on PORT (0: any free port) while it plays, "
                   "and go on serving it until SIGTERM or SIGINT (Ctrl+C), which end with 0")
        ->option_text("PORT")
        ->check(CLI::Range(0, 65535));
    app.add_option("--pace", paceMs, "with --live: wait MS milliseconds between two actions")
        ->option_text("MS")
        ->check(CLI::Range(0, 600000));
#endif
    app.add_option("scenario", scenarioPath, "the scenario to play")->required();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : kExitMalformed;
    }

    std::ifstream in(scenarioPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in.good() && !in.eof()) {
        std::cerr << "tivaro-replay: het scenario " << scenarioPath
                  << " kan niet worden gelezen: " << std::strerror(errno) << '\n';
        return kExitMalformed;
    }
    const tivaro::timing::ParsedJournal journal = tivaro::timing::ParseJournal(text.str());
    // A damaged line (half written when the disk ran full, edited by hand) is named; the rest
    // of the race is played unless --strict.
    for (const tivaro::Error& damaged : journal.damaged) {
        std::cerr << "tivaro-replay: " << scenarioPath << ": " << damaged.message
                  << (strict ? "" : " (overgeslagen)") << '\n';
    }
    if (strict && !journal.damaged.empty()) {
        return kExitMalformed;
    }

    if (engine == "auto") {
#ifdef TIVARO_WITH_CALC
        engine = tivaro::workbook::CalcAvailable() ? "calc" : "embedded";
#else
        engine = "embedded";
#endif
    }
    const std::filesystem::path dataDir = dataDirectory;
    tivaro::replay::ReplayOptions options;
    options.dataDirectory = dataDir;
    options.scenarioFolder = std::filesystem::path(scenarioPath).parent_path();
    options.copyFolder = copyFolder;
    options.scenarioName = std::filesystem::path(scenarioPath).filename().string();
    // Calc runs its calls on a worker thread of its own, as in the window; one worker for the
    // whole replay, so that a soffice it started lives until the end.
    std::shared_ptr<tivaro::workbook::ThreadedApp> calcApp;
    options.startApp =
        [dataDir, engine,
         &calcApp]() -> tivaro::Result<std::unique_ptr<tivaro::workbook::SpreadsheetApp>> {
        if (engine == "calc") {
#ifdef TIVARO_WITH_CALC
            if (!calcApp) {
                tivaro::workbook::CalcOptions calc = tivaro::workbook::DisposableCalcOptions(
                    "tivaro-replay-" + std::to_string(getpid()));
                calc.saveThroughCalc = true;
                calcApp = tivaro::workbook::StartCalcOnWorker(calc);
            }
            return tivaro::workbook::ShareApp(calcApp);
#else
            return tivaro::MakeError(tivaro::Errc::Failed,
                                     "Deze tivaro-replay is gebouwd zonder LibreOffice Calc.");
#endif
        }
        return std::unique_ptr<tivaro::workbook::SpreadsheetApp>(
            std::make_unique<tivaro::workbook::XlsxApp>(dataDir / "backup"));
    };
#ifdef TIVARO_WITH_RESULTS
    // Painting a PDF needs fonts, so a GUI application, which needs no screen offscreen.
    std::unique_ptr<QGuiApplication> gui;
    if (!resultsFile.empty()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        gui = std::make_unique<QGuiApplication>(argc, argv);
        options.atEnd = [resultsFile](const tivaro::timing::Race& race) -> tivaro::Status {
            tivaro::Result<tivaro::timing::RaceResults> results =
                tivaro::timing::ResultsOfRace(race);
            if (!results) {
                return results.error();
            }
            return tivaro::results::WriteResults(*results, resultsFile);
        };
    }
#endif
#ifdef TIVARO_WITH_LIVE
    if (livePort >= 0) {
        std::unique_ptr<QCoreApplication> core;
        if (QCoreApplication::instance() == nullptr) {
            core = std::make_unique<QCoreApplication>(argc, argv);
        }
        const int status = tivaro::replay::PlayLive(
            journal.actions, options,
            {static_cast<quint16>(livePort), std::chrono::milliseconds(paceMs)}, std::cout,
            std::cerr);
        return status == 0 && !journal.damaged.empty() ? kExitFailed : status;
    }
#endif
    const bool ok = tivaro::replay::RunScenario(journal.actions, options, std::cout, std::cerr);
    return ok && journal.damaged.empty() ? 0 : kExitFailed;
}
