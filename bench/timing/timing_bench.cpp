// Passings through the race controller on the embedded workbook engine, held in memory and
// saved at most twice a second, with the coupling log on disk (opened, appended and closed for
// every line).
//
//   BM_RunningRace      throughput of a running race: 20 runners, 5 laps; the counters are
//                       cleared after every full race, so most passings write time, counter
//                       and bib colour
//   BM_UnknownPassing   throughput of transponders that are not in the workbook
//   BM_PassingLatency   median and 99th percentile of one passing, from the call of
//                       handlePassing to its line written to the coupling log (the maximum
//                       is a passing that was followed by a coalesced save)
// Rates are per second of wall-clock time, the log's file system calls included.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "demo_workbook.h"
#include "timing/race_controller.h"
#include "workbook/save_policy.h"
#include "workbook/xlsx_app.h"

namespace {

using Clock = std::chrono::steady_clock;
using tivaro::workbook::SavePolicy;

constexpr int kRunners = 20;
constexpr int kPassingsPerRace = kRunners * 6;  // start, four laps, finish

// A running race in recording on the demo workbook in a scratch directory.
class Race {
public:
    Race() {
        char pattern[] = "/tmp/tivaro-timing-bench-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            throw std::runtime_error("cannot create a scratch directory");
        }
        dir_ = pattern;
        const auto bytes = tivaro::demo::DemoWorkbookBytes();
        if (!bytes) {
            throw std::runtime_error(bytes.error().message);
        }
        std::ofstream(dir_ / "race.xlsx", std::ios::binary) << *bytes;

        tivaro::timing::ControllerOptions options;
        options.startApp =
            [this]() -> tivaro::Result<std::unique_ptr<tivaro::workbook::SpreadsheetApp>> {
            return std::unique_ptr<tivaro::workbook::SpreadsheetApp>(
                std::make_unique<tivaro::workbook::XlsxApp>(dir_));
        };
        options.couplingLog = dir_ / "dovokop.log";
        tivaro::timing::ControllerEvents events;
        events.problem = [](const tivaro::Error& e) { throw std::runtime_error(e.message); };
        events.passingHandled = [this](const auto&, const std::string&) {
            loggedAt = Clock::now();
        };
        events.workbookChanged = [this] { policy_.markChanged(Clock::now()); };
        controller = std::make_unique<tivaro::timing::RaceController>(std::move(options), events);
        tivaro::timing::SetupPanel& setup = controller->setup();
        if (!controller->openWorkbook(dir_ / "race.xlsx") || !setup.chooseSport("Lopen")) {
            throw std::runtime_error("cannot open the demo workbook");
        }
        setup.moveLapSlider(5);
        setup.choosePhase(tivaro::timing::Phase::Recording);
        for (int i = 0; i < kRunners; ++i) {
            codes_.push_back(std::to_string(7405583 + i));
        }
        codes_[3] = "KX-05126";
    }

    ~Race() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // The next passing of the race; a new race starts after everyone has finished.
    void Pass() {
        tivaro::timing::Race& race = controller->race();
        if (passings_ == kPassingsPerRace) {
            passings_ = 0;
            (void)race.workbook()->writeRange(*race.raceSheet(), "T3:T200", "");
        }
        controller->handlePassing(
            {codes_[static_cast<std::size_t>(passings_ % kRunners)], "10:0:1.00"});
        ++passings_;
        SaveWhenDue();
    }

    void PassUnknown() { controller->handlePassing({"9999999", "10:0:1.00"}); }

    // Saves as the window does: coalesced, at most twice a second while passings keep coming.
    void SaveWhenDue() {
        const auto now = Clock::now();
        if (policy_.shouldSave(now, true)) {
            if (controller->race().workbook()->save()) {
                policy_.saved(now);
            } else {
                policy_.saveFailed(now);
            }
        }
    }

    std::unique_ptr<tivaro::timing::RaceController> controller;
    Clock::time_point loggedAt;

private:
    std::filesystem::path dir_;
    SavePolicy policy_;
    std::vector<std::string> codes_;
    int passings_ = 0;
};

void BM_RunningRace(benchmark::State& bench) {
    Race race;
    for (auto _ : bench) {
        race.Pass();
    }
    bench.counters["passings/s"] =
        benchmark::Counter(static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RunningRace)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_UnknownPassing(benchmark::State& bench) {
    Race race;
    for (auto _ : bench) {
        race.PassUnknown();
    }
    bench.counters["passings/s"] =
        benchmark::Counter(static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_UnknownPassing)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_PassingLatency(benchmark::State& bench) {
    constexpr int kSamples = 20000;
    Race race;
    std::vector<double> micros;
    micros.reserve(kSamples);
    for (auto _ : bench) {
        micros.clear();
        for (int n = 0; n < kSamples; ++n) {
            const auto start = Clock::now();
            race.Pass();
            micros.push_back(
                std::chrono::duration<double, std::micro>(race.loggedAt - start).count());
        }
    }
    std::sort(micros.begin(), micros.end());
    bench.counters["median_us"] = micros[micros.size() / 2];
    bench.counters["p99_us"] = micros[micros.size() * 99 / 100];
    bench.counters["max_us"] = micros.back();
}
BENCHMARK(BM_PassingLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
