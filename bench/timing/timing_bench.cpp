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
//   BM_RecordBurst      1,000 binary records in one arrival, once checks are armed: passings
//                       of the race (/0) against records set aside for a failed CRC (/1),
//                       which must cost no more
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

#include "decoder/record_writer.h"
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

    const std::vector<std::string>& codes() const { return codes_; }

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

// 1,000 records of the race's runners in one arrival, each with a CRC that checks out or,
// with `hit`, one whose CRC took a hit on the line.
std::vector<std::uint8_t> Burst(const std::vector<std::string>& codes, bool hit) {
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t k = 0; k < 1000; ++k) {
        tivaro::decoder::PassingRecordFields fields;
        fields.passingNumber = k;
        fields.transponderText = codes[k % codes.size()];
        fields.timeMicros = 36'000'000'000 + std::uint64_t{k} * 1'000'000;
        std::vector<std::uint8_t> record = tivaro::decoder::BuildPassingRecord(fields);
        if (hit) {
            record[4] ^= 0x01;
        }
        tivaro::decoder::AppendEscaped(record, bytes);
    }
    return bytes;
}

void BM_RecordBurst(benchmark::State& bench) {
    Race race;
    std::vector<std::uint8_t> arming;
    for (int k = 0; k < 3; ++k) {
        tivaro::decoder::AppendEscaped(tivaro::decoder::BuildStatusRecord({}), arming);
    }
    race.controller->onDecoderBytes(tivaro::link::LinkKind::Tcp, arming);
    const std::vector<std::uint8_t> burst = Burst(race.codes(), bench.range(0) == 1);
    for (auto _ : bench) {
        race.controller->onDecoderBytes(tivaro::link::LinkKind::Tcp, burst);
        bench.PauseTiming();
        // A new race for the next burst, as in BM_RunningRace.
        tivaro::timing::Race& core = race.controller->race();
        (void)core.workbook()->writeRange(*core.raceSheet(), "T3:T200", "");
        bench.ResumeTiming();
    }
    bench.SetLabel(bench.range(0) == 1 ? "set aside" : "handled");
    bench.counters["records/s"] = benchmark::Counter(static_cast<double>(bench.iterations()) * 1000,
                                                     benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RecordBurst)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
