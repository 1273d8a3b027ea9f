#pragma once
// Command line of tivaro-sim.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "tools/tivaro-sim/decoder_stream.h"
#include "tools/tivaro-sim/race_plan.h"

namespace CLI {
class App;
}

namespace tivaro::sim {

enum class Output { Tcp, Serial, Pty, File };

struct SimOptions {
    Output output = Output::Tcp;
    std::string host = "127.0.0.1";
    std::uint16_t port = 5403;
    std::string path;  // serial device, or output file ("-" for standard output)

    std::string workbook;  // transponders from this workbook's sheet...
    std::string sheet = "schaats";
    int demoSheet = 0;                      // ...or from the demo workbook's sheet number
    std::vector<std::string> transponders;  // ...or this list
    int competitors = 0;                    // use only the first N (0: all)

    RaceOptions race;
    StreamOptions stream;

    double speed = 1.0;   // 1 real time, N times faster; 0 as fast as possible
    int burst = 1;        // passings sent together in one write
    int split = 0;        // cut every write into pieces of at most N bytes (0: no cutting)
    int dropAfter = 0;    // TCP: drop the clients after N passings, once (0: never)
    double linger = 2.0;  // seconds to stay after the last passing
    std::string planOut;  // writes the planned passings as tivaro-decode would print them
};

// Every option of tivaro-sim, on `app`, filling `options` as the arguments are parsed.
void DescribeSimOptions(CLI::App& app, SimOptions& options);

// Parses the arguments after the program name. Errors name the argument and what is wrong.
Result<SimOptions> ParseSimOptions(const std::vector<std::string>& args);

}  // namespace tivaro::sim
