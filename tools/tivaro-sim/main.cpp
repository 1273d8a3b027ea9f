// tivaro-sim: a timing decoder for training, demos and tests. It plays a race as a decoder
// sends it, over TCP, onto a serial device or pseudo-terminal, or into a file.

#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <cstdio>
#include <fstream>

#include "decoder/passing_time.h"
#include "tools/tivaro-sim/race_player.h"
#include "tools/tivaro-sim/sim_options.h"
#include "workbook/xlsx_app.h"

namespace {

using namespace tivaro;

// The transponder codes in B3:B200 of a workbook's sheet.
Result<std::vector<std::string>> WorkbookTransponders(const std::string& file,
                                                      const std::string& sheetName) {
    workbook::XlsxApp app(std::filesystem::temp_directory_path());
    auto book = app.open(file);
    if (!book) {
        return book.error();
    }
    if (Status activated = (*book)->activate(sheetName); !activated) {
        return activated.error();
    }
    auto sheet = (*book)->activeSheet();
    if (!sheet) {
        return sheet.error();
    }
    std::vector<std::string> codes;
    for (int row = 3; row <= 200; ++row) {
        auto code = (*book)->readCell(*sheet, row, 2);
        if (!code) {
            return code.error();
        }
        if (!code->empty()) {
            codes.push_back(*code);
        }
    }
    if (codes.empty()) {
        return MakeError(Errc::NotFound,
                         "no transponders in B3:B200 of sheet \"" + sheetName + "\" of " + file);
    }
    return codes;
}

bool WritePlan(const std::string& path, const std::vector<sim::SimPassing>& race) {
    std::ofstream out(path, std::ios::binary);
    for (const sim::SimPassing& passing : race) {
        out << passing.transponder << '\t' << decoder::FormatPassingTime(passing.micros) << '\n';
    }
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    sim::SimOptions options;
    CLI::App cli("", "tivaro-sim");
    sim::DescribeSimOptions(cli, options);
    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = cli.exit(error);
        return code == 0 ? 0 : 2;
    }
    QCoreApplication app(argc, argv);

    std::vector<std::string> transponders = options.transponders;
    if (!options.workbook.empty()) {
        auto codes = WorkbookTransponders(options.workbook, options.sheet);
        if (!codes) {
            std::fprintf(stderr, "tivaro-sim: %s\n", codes.error().message.c_str());
            return 2;
        }
        transponders = std::move(codes.value());
    } else if (transponders.empty()) {
        transponders = sim::DemoTransponders(options.demoSheet);
    }
    if (options.competitors > 0 &&
        transponders.size() > static_cast<std::size_t>(options.competitors)) {
        transponders.resize(static_cast<std::size_t>(options.competitors));
    }
    options.race.transponders = transponders;
    const std::vector<sim::SimPassing> race = sim::PlanRace(options.race);

    if (!options.planOut.empty() && !WritePlan(options.planOut, race)) {
        std::fprintf(stderr, "tivaro-sim: cannot write %s\n", options.planOut.c_str());
        return 2;
    }

    sim::RacePlayer player(options, race);
    QObject::connect(&player, &sim::RacePlayer::finished, &app, &QCoreApplication::exit);
    QString error;
    if (!player.open(error)) {
        std::fprintf(stderr, "tivaro-sim: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    return app.exec();
}
