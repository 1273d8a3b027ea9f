#include "tools/tivaro-sim/race_plan.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace tivaro::sim {

namespace {

constexpr std::uint64_t kHundredth = 10'000;

std::uint64_t ToHundredths(double seconds) {
    return static_cast<std::uint64_t>(std::max(seconds, 0.01) * 100.0 + 0.5) * kHundredth;
}

}  // namespace

std::vector<SimPassing> PlanRace(const RaceOptions& options) {
    std::mt19937 random(options.seed);
    std::normal_distribution<double> form(1.0, options.spread);
    std::normal_distribution<double> jitter(1.0, options.spread / 4);

    std::vector<SimPassing> race;
    const std::uint64_t warmupLap = ToHundredths(options.lapSeconds * 1.4);
    const std::uint64_t raceStart =
        options.startMicros + (options.warmupLaps + 1) * warmupLap + 30'000'000;

    for (std::size_t k = 0; k < options.transponders.size(); ++k) {
        const std::string& code = options.transponders[k];
        const double pace = std::clamp(form(random), 0.7, 1.4);
        std::uint64_t t = options.startMicros + ToHundredths(std::uniform_real_distribution<>(
                                                    0.0, options.lapSeconds)(random));
        for (int lap = 0; lap < options.warmupLaps; ++lap) {
            race.push_back({code, t});
            t += ToHundredths(options.lapSeconds * 1.4 * jitter(random));
        }
        // A mass start: everyone crosses the line within a few seconds.
        t = raceStart + ToHundredths(0.4 * static_cast<double>(k) + 0.01);
        race.push_back({code, t});
        for (int lap = 0; lap < options.laps; ++lap) {
            t += ToHundredths(options.lapSeconds * pace * jitter(random));
            race.push_back({code, t});
        }
        for (int lap = 0; lap < options.cooldownLaps; ++lap) {
            t += ToHundredths(options.lapSeconds * 1.6 * jitter(random));
            race.push_back({code, t});
        }
    }

    const std::uint64_t raceEnd = raceStart + ToHundredths(options.lapSeconds * (options.laps + 1));
    for (int u = 0; u < options.unknownTransponders; ++u) {
        const auto code = std::to_string(9'900'000 + random() % 99'999);
        const auto at = options.startMicros +
                        ToHundredths(std::uniform_real_distribution<>(
                            0.0, static_cast<double>(raceEnd - options.startMicros) / 1e6)(random));
        race.push_back({code, at});
    }

    std::stable_sort(race.begin(), race.end(),
                     [](const SimPassing& a, const SimPassing& b) { return a.micros < b.micros; });
    return race;
}

std::vector<std::string> DemoTransponders(int sheet, int count) {
    std::vector<std::string> codes;
    for (int i = 0; i < count; ++i) {
        if (i % 4 == 3) {
            char text[16];
            std::snprintf(text, sizeof text, "KX-%05d", 4123 + 1000 * sheet + i);
            codes.emplace_back(text);
        } else {
            codes.push_back(std::to_string(7404583 + 1000 * sheet + i));
        }
    }
    return codes;
}

}  // namespace tivaro::sim
