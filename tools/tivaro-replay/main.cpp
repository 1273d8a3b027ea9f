// tivaro-replay: plays a race from a scenario file through the timing core, printing every
// coupling-log line as it is appended. See scenario.h for the actions.

#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include "common/data_dir.h"
#include "tools/tivaro-replay/replay.h"
#include "tools/tivaro-replay/scenario.h"
#include "workbook/xlsx_app.h"
#ifdef TIVARO_WITH_CALC
#include <unistd.h>

#include "workbook/calc/calc_app.h"
#endif

namespace {

constexpr int kExitFailed = 1;     // the race ran, but something failed on the way
constexpr int kExitMalformed = 2;  // bad arguments or a malformed scenario: nothing ran

constexpr const char* kUsage =
    "usage: tivaro-replay [--data-dir DIR] [--engine embedded|calc] SCENARIO\n"
    "Plays the race in SCENARIO (one action per line) and prints every coupling-log line.\n"
    "The logs go into DIR (default: the data directory), the workbook backups into DIR/backup;\n"
    "the workbook is saved at the end. --engine calc plays it in a LibreOffice Calc of its own\n"
    "(headless), which saves the workbook in its own format and quits at the end; the default\n"
    "is the embedded engine. Exit status: 0 done, 1 something failed on the way\n"
    "(reported on standard error), 2 bad arguments or a malformed scenario (nothing ran).\n";

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path dataDirectory = tivaro::DataDirectory();
    std::filesystem::path scenarioPath;
    std::string_view engine = "embedded";
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--data-dir" && i + 1 < argc) {
            dataDirectory = argv[++i];
        } else if (arg.starts_with("--data-dir=")) {
            dataDirectory = std::string(arg.substr(std::strlen("--data-dir=")));
        } else if (arg == "--engine" && i + 1 < argc) {
            engine = argv[++i];
        } else if (arg.starts_with("--engine=")) {
            engine = arg.substr(std::strlen("--engine="));
        } else if (!arg.starts_with("-") && scenarioPath.empty()) {
            scenarioPath = arg;
        } else {
            std::cerr << "tivaro-replay: unexpected argument '" << arg << "'\n" << kUsage;
            return kExitMalformed;
        }
    }
    if (scenarioPath.empty()) {
        std::cerr << kUsage;
        return kExitMalformed;
    }
    if (engine != "embedded" && engine != "calc") {
        std::cerr << "tivaro-replay: unknown engine '" << engine << "'\n" << kUsage;
        return kExitMalformed;
    }

    std::ifstream in(scenarioPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in.good() && !in.eof()) {
        std::cerr << "tivaro-replay: cannot read the scenario " << scenarioPath.string() << ": "
                  << std::strerror(errno) << '\n';
        return kExitMalformed;
    }
    auto actions = tivaro::replay::ParseScenario(text.str());
    if (!actions) {
        std::cerr << "tivaro-replay: " << scenarioPath.string() << ": " << actions.error().message
                  << '\n';
        return kExitMalformed;
    }

    tivaro::replay::ReplayOptions options;
    options.dataDirectory = dataDirectory;
    options.scenarioFolder = scenarioPath.parent_path();
    options.scenarioName = scenarioPath.filename().string();
    options.startApp =
        [dataDirectory,
         engine]() -> tivaro::Result<std::unique_ptr<tivaro::workbook::SpreadsheetApp>> {
        if (engine == "calc") {
#ifdef TIVARO_WITH_CALC
            tivaro::workbook::CalcOptions calc = tivaro::workbook::DisposableCalcOptions(
                "tivaro-replay-" + std::to_string(getpid()));
            calc.saveThroughCalc = true;
            return tivaro::workbook::StartCalc(calc);
#else
            return tivaro::MakeError(tivaro::Errc::Failed,
                                     "deze tivaro-replay is gebouwd zonder LibreOffice Calc");
#endif
        }
        return std::unique_ptr<tivaro::workbook::SpreadsheetApp>(
            std::make_unique<tivaro::workbook::XlsxApp>(dataDirectory / "backup"));
    };
    const bool ok = tivaro::replay::RunScenario(*actions, options, std::cout, std::cerr);
    return ok ? 0 : kExitFailed;
}
