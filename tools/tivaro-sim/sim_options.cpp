#include "tools/tivaro-sim/sim_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <climits>
#include <sstream>

namespace tivaro::sim {

namespace {

template <class T>
bool ParseNumber(const std::string& text, T& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// A whole number of at least `minimum`.
CLI::Validator AtLeast(int minimum) {
    return CLI::Range(minimum, INT_MAX);
}

}  // namespace

// Every option of tivaro-sim, filling `options`.
void DescribeSimOptions(CLI::App& app, SimOptions& options) {
    app.description(
        "A decoder for training, demos and tests: plans a race (warm-up, a mass start, laps "
        "with a realistic spread, finish, cool-down, unknown transponders) and sends it as a "
        "decoder does, over TCP to every client, onto a serial device or a pseudo-terminal, or "
        "into a file.");
    auto* output = app.add_option_group("output", "where the race goes (one of)");
    output
        ->add_option_function<std::string>(
            "--tcp",
            [&options](const std::string& where) {
                options.output = Output::Tcp;
                std::string port = where;
                if (const auto colon = where.rfind(':'); colon != std::string::npos) {
                    options.host = where.substr(0, colon);
                    port = where.substr(colon + 1);
                }
                if (!ParseNumber(port, options.port) || options.port == 0) {
                    throw CLI::ValidationError("--tcp", "'" + port + "' is not a port number");
                }
            },
            "listen and serve every client (default 127.0.0.1:5403)")
        ->option_text("[HOST:]PORT");
    output
        ->add_option_function<std::string>(
            "--serial",
            [&options](const std::string& device) {
                options.output = Output::Serial;
                options.path = device;
            },
            "write to a serial device at 9600,N,8,1")
        ->option_text("DEVICE");
    output->add_flag_callback(
        "--pty", [&options] { options.output = Output::Pty; },
        "create a pseudo-terminal and print the device to open");
    output
        ->add_option_function<std::string>(
            "--out",
            [&options](const std::string& file) {
                options.output = Output::File;
                options.path = file;
            },
            "write the bytes to FILE ('-': standard output), without timing")
        ->option_text("FILE");
    output->require_option(0, 1);

    app.add_option("--workbook", options.workbook, "transponders of a workbook's sheet (B3:B200)")
        ->option_text("FILE");
    app.add_option("--sheet", options.sheet, "the sheet of --workbook (default schaats)");
    app.add_option("--demo-sheet", options.demoSheet,
                   "transponders of the demo workbook's sheet: 0 schaats (the default), 1 loop, "
                   "2 fiets")
        ->check(CLI::Range(0, 2));
    app.add_option_function<std::string>(
           "--transponders",
           [&options](const std::string& list) {
               std::stringstream codes(list);
               for (std::string code; std::getline(codes, code, ',');) {
                   if (!code.empty()) {
                       options.transponders.push_back(code);
                   }
               }
               if (options.transponders.empty()) {
                   throw CLI::ValidationError("--transponders", "needs a comma-separated list");
               }
           },
           "these transponders")
        ->option_text("A,B,...");
    app.add_option("--competitors", options.competitors, "use only the first N")->check(AtLeast(1));
    app.add_option("--laps", options.race.laps, "laps of the race")->check(AtLeast(1));
    app.add_option("--warmup", options.race.warmupLaps, "warm-up laps")->check(AtLeast(0));
    app.add_option("--cooldown", options.race.cooldownLaps, "cool-down laps")->check(AtLeast(0));
    app.add_option("--unknown", options.race.unknownTransponders,
                   "transponders that are in no workbook")
        ->check(AtLeast(0));
    app.add_option("--lap-seconds", options.race.lapSeconds, "the mean lap time")
        ->check(CLI::PositiveNumber);
    app.add_option_function<std::uint32_t>(
        "--seed",
        [&options](std::uint32_t seed) {
            options.race.seed = seed;
            options.stream.seed = seed;
        },
        "the same seed gives the same bytes");
    app.add_option_function<std::string>(
           "--format",
           [&options](const std::string& format) {
               options.stream.format = format == "older" ? WireFormat::Older : WireFormat::Binary;
           },
           "current binary records (the default) or older text lines")
        ->check(CLI::IsMember({"binary", "older"}));
    app.add_option_function<std::string>(
           "--speed",
           [&options](const std::string& speed) {
               if (speed == "realtime") {
                   options.speed = 1.0;
               } else if (speed == "max") {
                   options.speed = 0.0;
               } else if (speed.size() < 2 || speed[0] != 'x' ||
                          !ParseNumber(speed.substr(1), options.speed) || options.speed <= 0) {
                   throw CLI::ValidationError("--speed",
                                              "is realtime, max or xN (for example x10)");
               }
           },
           "the pace of the race: realtime (the default), xN or max")
        ->option_text("realtime|xN|max");
    app.add_option("--burst", options.burst, "passings per write")->check(AtLeast(1));
    app.add_option("--split", options.split, "write pieces of at most N bytes")->check(AtLeast(1));
    app.add_option("--garbage", options.stream.garbageEvery, "noise before every N-th passing")
        ->check(AtLeast(1));
    app.add_option("--corrupt", options.stream.corruptEvery,
                   "one bit flipped in every N-th passing")
        ->check(AtLeast(1));
    app.add_option("--drop-after", options.dropAfter,
                   "TCP: drop the connection once after N passings")
        ->check(AtLeast(1));
    app.add_option("--status-every", options.stream.statusEvery,
                   "a status record after every N passings (0: none)")
        ->check(AtLeast(0));
    app.add_flag("--numbers-as-text", options.stream.numbersAsText,
                 "binary: send numeric transponders as text");
    app.add_option("--plan-out", options.planOut,
                   "write the planned passings as 'transponder TAB time'")
        ->option_text("FILE");
    app.add_option("--linger", options.linger, "seconds to stay after the last passing (default 2)")
        ->check(CLI::NonNegativeNumber);
}

Result<SimOptions> ParseSimOptions(const std::vector<std::string>& args) {
    SimOptions options;
    CLI::App app("", "tivaro-sim");
    DescribeSimOptions(app, options);
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // as CLI11 takes them
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        return MakeError(Errc::BadFormat, std::string("tivaro-sim: ") + error.what());
    }
    return options;
}

}  // namespace tivaro::sim
