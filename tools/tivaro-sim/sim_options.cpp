#include "tools/tivaro-sim/sim_options.h"

#include <charconv>
#include <sstream>

namespace tivaro::sim {

const char* const kSimUsage =
    "usage: tivaro-sim [OUTPUT] [RACE] [OPTIONS]\n"
    "output (one of):\n"
    "  --tcp [HOST:]PORT     listen and serve every client (default 127.0.0.1:5403)\n"
    "  --serial DEVICE       write to a serial device at 9600,N,8,1\n"
    "  --pty                 create a pseudo-terminal and print the device to open\n"
    "  --out FILE            write the bytes to FILE ('-': standard output), no timing\n"
    "race:\n"
    "  --workbook FILE [--sheet NAME]   transponders of a workbook's sheet (B3:B200)\n"
    "  --demo-sheet N        transponders of the demo workbook's sheet N (0 schaats,\n"
    "                        1 loop, 2 fiets; the default)\n"
    "  --transponders A,B,…  these transponders\n"
    "  --competitors N  --laps N  --warmup N  --cooldown N  --unknown N\n"
    "  --lap-seconds S  --seed N\n"
    "options:\n"
    "  --format binary|older  current binary records (default) or older text lines\n"
    "  --speed realtime|xN|max  pace of the race (default realtime)\n"
    "  --burst N             passings per write      --split N   write pieces of N bytes\n"
    "  --garbage N           noise before every N-th passing\n"
    "  --corrupt N           one altered byte in every N-th passing\n"
    "  --drop-after N        TCP: drop the connection once after N passings\n"
    "  --numbers-as-text     binary: send numeric transponders as text\n"
    "  --status-every N      status record after every N passings (0: none)\n"
    "  --plan-out FILE       write the planned passings as 'transponder TAB time'\n"
    "  --linger S            seconds to stay after the last passing (default 2)\n";

namespace {

template <class T>
bool ParseNumber(const std::string& text, T& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

Error Bad(const std::string& option, const std::string& why) {
    return MakeError(Errc::BadFormat, "tivaro-sim: " + option + ": " + why);
}

}  // namespace

Result<SimOptions> ParseSimOptions(const std::vector<std::string>& args) {
    SimOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) {
                return std::nullopt;
            }
            return args[++i];
        };
        auto count = [&](int& target, int minimum) -> std::optional<Error> {
            const auto text = value();
            if (!text || !ParseNumber(*text, target) || target < minimum) {
                return Bad(arg, "needs a whole number of at least " + std::to_string(minimum));
            }
            return std::nullopt;
        };
        std::optional<Error> error;

        if (arg == "--tcp") {
            options.output = Output::Tcp;
            const auto text = value();
            if (!text) {
                return Bad(arg, "needs [HOST:]PORT");
            }
            std::string portText = *text;
            if (const auto colon = text->rfind(':'); colon != std::string::npos) {
                options.host = text->substr(0, colon);
                portText = text->substr(colon + 1);
            }
            if (!ParseNumber(portText, options.port) || options.port == 0) {
                return Bad(arg, "'" + portText + "' is not a port number");
            }
        } else if (arg == "--serial") {
            options.output = Output::Serial;
            const auto text = value();
            if (!text) {
                return Bad(arg, "needs a device");
            }
            options.path = *text;
        } else if (arg == "--pty") {
            options.output = Output::Pty;
        } else if (arg == "--out") {
            options.output = Output::File;
            const auto text = value();
            if (!text) {
                return Bad(arg, "needs a file");
            }
            options.path = *text;
        } else if (arg == "--workbook" || arg == "--sheet" || arg == "--plan-out") {
            const auto text = value();
            if (!text) {
                return Bad(arg, "needs a value");
            }
            (arg == "--workbook" ? options.workbook
             : arg == "--sheet"  ? options.sheet
                                 : options.planOut) = *text;
        } else if (arg == "--demo-sheet") {
            error = count(options.demoSheet, 0);
            if (!error && options.demoSheet > 2) {
                error = Bad(arg, "is 0, 1 or 2");
            }
        } else if (arg == "--transponders") {
            const auto text = value();
            if (!text || text->empty()) {
                return Bad(arg, "needs a comma-separated list");
            }
            std::stringstream list(*text);
            for (std::string code; std::getline(list, code, ',');) {
                if (!code.empty()) {
                    options.transponders.push_back(code);
                }
            }
        } else if (arg == "--competitors") {
            error = count(options.competitors, 1);
        } else if (arg == "--laps") {
            error = count(options.race.laps, 1);
        } else if (arg == "--warmup") {
            error = count(options.race.warmupLaps, 0);
        } else if (arg == "--cooldown") {
            error = count(options.race.cooldownLaps, 0);
        } else if (arg == "--unknown") {
            error = count(options.race.unknownTransponders, 0);
        } else if (arg == "--lap-seconds") {
            const auto text = value();
            if (!text || !ParseNumber(*text, options.race.lapSeconds) ||
                options.race.lapSeconds <= 0) {
                return Bad(arg, "needs a number of seconds above 0");
            }
        } else if (arg == "--seed") {
            const auto text = value();
            if (!text || !ParseNumber(*text, options.race.seed)) {
                return Bad(arg, "needs a whole number");
            }
            options.stream.seed = options.race.seed;
        } else if (arg == "--format") {
            const auto text = value();
            if (text == "binary") {
                options.stream.format = WireFormat::Binary;
            } else if (text == "older") {
                options.stream.format = WireFormat::Older;
            } else {
                return Bad(arg, "is binary or older");
            }
        } else if (arg == "--speed") {
            const auto text = value();
            if (text == "realtime") {
                options.speed = 1.0;
            } else if (text == "max") {
                options.speed = 0.0;
            } else if (text && text->size() > 1 && (*text)[0] == 'x' &&
                       ParseNumber(text->substr(1), options.speed) && options.speed > 0) {
            } else {
                return Bad(arg, "is realtime, max or xN (for example x10)");
            }
        } else if (arg == "--burst") {
            error = count(options.burst, 1);
        } else if (arg == "--split") {
            error = count(options.split, 1);
        } else if (arg == "--garbage") {
            error = count(options.stream.garbageEvery, 1);
        } else if (arg == "--corrupt") {
            error = count(options.stream.corruptEvery, 1);
        } else if (arg == "--drop-after") {
            error = count(options.dropAfter, 1);
        } else if (arg == "--status-every") {
            error = count(options.stream.statusEvery, 0);
        } else if (arg == "--numbers-as-text") {
            options.stream.numbersAsText = true;
        } else if (arg == "--linger") {
            const auto text = value();
            if (!text || !ParseNumber(*text, options.linger) || options.linger < 0) {
                return Bad(arg, "needs a number of seconds");
            }
        } else {
            return Bad(arg, "unknown option");
        }
        if (error) {
            return *error;
        }
    }
    return options;
}

}  // namespace tivaro::sim
