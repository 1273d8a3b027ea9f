#pragma once
// A race as the finish loop sees it: every passing of every transponder, in time order. Made
// from a list of transponders and a few numbers; the same seed gives the same race.

#include <cstdint>
#include <string>
#include <vector>

namespace tivaro::sim {

struct SimPassing {
    std::string transponder;
    std::uint64_t micros = 0;  // decoder clock: microseconds since midnight
};

struct RaceOptions {
    std::vector<std::string> transponders;  // the competitors
    int laps = 3;                           // laps after the start passing
    int warmupLaps = 1;                     // passings before the start
    int cooldownLaps = 1;                   // passings after the finish
    int unknownTransponders = 2;            // transponders no workbook knows
    double lapSeconds = 36.0;               // mean lap time
    double spread = 0.08;                   // relative spread of lap times between riders
    std::uint64_t startMicros = 19ull * 3600 * 1'000'000;  // 19:00:00
    std::uint32_t seed = 1;
};

// Warm-up laps, then one start passing each (all within a few seconds, as a mass start
// goes), `laps` laps with realistic spread, the finish and cool-down laps; now and then an
// unknown transponder passes. Times are whole hundredths; sorted by time.
std::vector<SimPassing> PlanRace(const RaceOptions& options);

// The transponders of the demo workbook's sheet number `sheet` (0 skating, 1 running,
// 2 cycling), as tivaro-make-workbook writes them.
std::vector<std::string> DemoTransponders(int sheet, int count = 20);

}  // namespace tivaro::sim
