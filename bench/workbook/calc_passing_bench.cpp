// One passing's workbook operations (find the transponder, read the competitor's row, write the
// time and the counter, colour the bib cell) in the embedded engine and in LibreOffice Calc,
// headless and with its window, in the same run; then start + open to a usable workbook.
// Prints the median and the 95th percentile of each.
//
// Calc is measured twice: called directly on this thread, and on a worker thread of its own
// (as the race uses it), one worker for the whole run. With the worker the passing's calls
// are what the race's thread pays; what Calc pays comes out as bursts: passings queued one
// after the other and then settled, from the first passing until everything is in the sheet.
//
// Run under a display for the visible Calc (without one it is left out):
//   xvfb-run -a build/bench/workbook/tivaro_calc_passing_bench [PASSINGS]

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "demo_workbook.h"
#include "workbook/calc/calc_app.h"
#include "workbook/xlsx_app.h"

namespace tivaro::workbook {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStarts = 5;
constexpr int kBurstPassings = 1000;
constexpr int kBursts = 3;
// How long a burst may take to reach Calc before the run counts as failed.
constexpr std::chrono::minutes kSettleLimit{5};

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

struct Spread {
    double median = 0;
    double p95 = 0;
};

Spread SpreadOf(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double fraction) {
        return samples[static_cast<std::size_t>(fraction *
                                                static_cast<double>(samples.size() - 1))];
    };
    return {at(0.5), at(0.95)};
}

[[noreturn]] void Fail(const std::string& what, const Error& error) {
    std::fprintf(stderr, "%s: %s\n", what.c_str(), error.message.c_str());
    std::exit(1);
}

// A scratch folder with copies of the demo workbook.
class Scratch {
public:
    Scratch() {
        std::string pattern = "/tmp/tivaro-calc-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        dir_ = pattern;
    }
    ~Scratch() { std::filesystem::remove_all(dir_); }
    std::filesystem::path freshCopy() {
        const std::filesystem::path file = dir_ / ("race-" + std::to_string(++copies_) + ".xlsx");
        std::ofstream(file, std::ios::binary) << *demo::DemoWorkbookBytes();
        return file;
    }
    std::filesystem::path backups() const { return dir_ / "backup"; }

private:
    std::filesystem::path dir_;
    int copies_ = 0;
};

using Starter = std::function<Result<std::unique_ptr<SpreadsheetApp>>()>;

// What one engine setting is measured with: how to start its app. `start` may hand out the
// same running application again (the worker a setting keeps for the whole run);
// `startAlone` starts one of its own, for the start-up figures.
struct Setting {
    std::string name;
    Starter start;
    Starter startAlone;
    bool worker = false;
};

struct PassingTimes {
    std::vector<double> total, find, readRow, writes, colour;
};

constexpr int kSkaters = 20;        // the demo's sheet "schaats"
constexpr int kLaps = 11;           // times in F..P
constexpr int kFieldSkaters = 198;  // rows 3..200 once the burst's field is filled in

// The transponder of skater `skater` (0-based, on row 3 + skater).
std::string CodeOf(int skater) {
    if (skater >= kSkaters) {
        char code[16];
        std::snprintf(code, sizeof code, "BX-%05d", 3 + skater);
        return code;
    }
    // The demo's skaters 101..120; every fourth has a text transponder code.
    return skater % 4 == 3 ? "KX-0" + std::to_string(4123 + skater)
                           : std::to_string(7404583 + skater);
}

// Fills rows 23..200 of "schaats" in `file` with more skaters, so that a burst of a thousand
// passings writes a thousand different time cells (five laps of the whole field), as a race
// does: Calc gets only the last text of a cell that is written twice in one go.
void FillField(const std::filesystem::path& file, const std::filesystem::path& backups) {
    XlsxApp app(backups);
    auto book = app.open(file);
    if (!book) {
        Fail("open " + file.string(), book.error());
    }
    if (Status activated = (*book)->activate("schaats"); !activated) {
        Fail("activate", activated.error());
    }
    const SheetId sheet = *(*book)->activeSheet();
    for (int skater = kSkaters; skater < kFieldSkaters; ++skater) {
        Status written = (*book)->writeCell(sheet, 3 + skater, 1, std::to_string(101 + skater));
        if (written) {
            written = (*book)->writeCell(sheet, 3 + skater, 2, CodeOf(skater));
        }
        if (!written) {
            Fail("fill the field", written.error());
        }
    }
    if (Status closed = (*book)->close(); !closed) {
        Fail("close", closed.error());
    }
}

// Lap `lap` of skater `skater`: the calls the race makes for it.
void Passing(Workbook& book, SheetId sheet, int skater, int lap, PassingTimes& times) {
    const std::string code = CodeOf(skater);
    const auto begin = Clock::now();
    auto position = book.find(sheet, "B3:B200", code);
    if (!position) {
        Fail("find " + code, position.error());
    }
    const int row = *position + 2;
    const auto found = Clock::now();
    auto cells = book.readRow(sheet, row, 20);
    if (!cells) {
        Fail("readRow", cells.error());
    }
    const auto read = Clock::now();
    const std::string time =
        "10:" + std::to_string(lap) + ":" + std::to_string(10 + skater) + ".25";
    Status written = book.writeCell(sheet, row, 6 + lap % kLaps, time);
    if (written) {
        written = book.writeCell(sheet, row, 20, std::to_string(lap + 1));
    }
    if (!written) {
        Fail("writeCell", written.error());
    }
    const auto wrote = Clock::now();
    if (Status coloured = book.colourCell(sheet, row, 1, lap % 2 == 0 ? 65535u : 65280u);
        !coloured) {
        Fail("colourCell", coloured.error());
    }
    const auto end = Clock::now();
    times.total.push_back(Milliseconds(end - begin));
    times.find.push_back(Milliseconds(found - begin));
    times.readRow.push_back(Milliseconds(read - found));
    times.writes.push_back(Milliseconds(wrote - read));
    times.colour.push_back(Milliseconds(end - wrote));
}

void Report(const std::string& what, const std::vector<double>& samples) {
    const Spread spread = SpreadOf(samples);
    std::printf("  %-36s median %8.3f ms   p95 %8.3f ms\n", what.c_str(), spread.median,
                spread.p95);
}

void ReportPassings(const std::string& what, const PassingTimes& times) {
    Report(what + " (" + std::to_string(times.total.size()) + ")", times.total);
    Report("  find", times.find);
    Report("  readRow A:T", times.readRow);
    Report("  two writeCell", times.writes);
    Report("  colourCell", times.colour);
}

// Whole races on fresh copies of the demo workbook, lap by lap: every passing writes its time
// into a cell not written before, as in a race. A competitor's first passing is reported apart
// (the engine meets the row for the first time then).
void MeasurePassings(const Setting& setting, Scratch& scratch, int passings) {
    auto app = setting.start();
    if (!app) {
        Fail(setting.name, app.error());
    }
    const int races = std::max(2, (passings + kSkaters * kLaps - 1) / (kSkaters * kLaps));
    PassingTimes first;
    PassingTimes later;
    std::vector<double> refreshed;
    std::vector<double> amortised;  // per passing, from the first passing until all is in Calc
    for (int race = 0; race < races; ++race) {
        auto book = (*app)->open(scratch.freshCopy());
        if (!book) {
            Fail(setting.name + " open", book.error());
        }
        if (Status activated = (*book)->activate("schaats"); !activated) {
            Fail("activate", activated.error());
        }
        const SheetId sheet = *(*book)->activeSheet();
        const auto raceBegin = Clock::now();
        for (int lap = 0; lap < kLaps; ++lap) {
            for (int skater = 0; skater < kSkaters; ++skater) {
                Passing(**book, sheet, skater, lap, lap == 0 ? first : later);
            }
        }
        if (!(*book)->settle(kSettleLimit)) {
            Fail(setting.name + " settle", Error{});
        }
        amortised.push_back(Milliseconds(Clock::now() - raceBegin) / (kSkaters * kLaps));
        // A lookup after the organisers changed the transponder column reads it again.
        for (int i = 0; i < 10; ++i) {
            (void)(*book)->writeCell(sheet, 200, 2, "X" + std::to_string(i));
            const auto begin = Clock::now();
            (void)(*book)->find(sheet, "B3:B200", "7404583");
            refreshed.push_back(Milliseconds(Clock::now() - begin));
        }
        (void)(*book)->close();
    }
    std::printf("%s: %d races of %d passings\n", setting.name.c_str(), races, kSkaters * kLaps);
    ReportPassings("later passings", later);
    ReportPassings("first passing of a competitor", first);
    Report("find after a change in B3:B200", refreshed);
    Report("race of " + std::to_string(kSkaters * kLaps) + " until in the sheet, per passing",
           amortised);
}

// A burst of passings queued one after the other, then settled: the time from the first
// passing until all of them are in the sheet, and that time per passing.
void MeasureBurst(const Setting& setting, Scratch& scratch) {
    auto app = setting.start();
    if (!app) {
        Fail(setting.name, app.error());
    }
    std::vector<double> totals;
    std::vector<double> perPassing;
    PassingTimes calls;
    for (int burst = 0; burst < kBursts; ++burst) {
        const std::filesystem::path file = scratch.freshCopy();
        FillField(file, scratch.backups());
        auto book = (*app)->open(file);
        if (!book) {
            Fail(setting.name + " open", book.error());
        }
        if (Status activated = (*book)->activate("schaats"); !activated) {
            Fail("activate", activated.error());
        }
        const SheetId sheet = *(*book)->activeSheet();
        const auto begin = Clock::now();
        for (int i = 0; i < kBurstPassings; ++i) {
            Passing(**book, sheet, i % kFieldSkaters, i / kFieldSkaters, calls);
        }
        const auto queued = Clock::now();
        if (!(*book)->settle(kSettleLimit)) {
            Fail(setting.name + " settle", Error{});
        }
        const auto end = Clock::now();
        totals.push_back(Milliseconds(end - begin));
        perPassing.push_back(Milliseconds(end - begin) / kBurstPassings);
        std::printf("  %-36s calls %8.1f ms   until in the sheet %8.1f ms\n",
                    (setting.name + " burst " + std::to_string(burst + 1)).c_str(),
                    Milliseconds(queued - begin), Milliseconds(end - begin));
        (void)(*book)->close();
    }
    // Too few bursts for a 95th percentile: the slowest instead.
    const auto slowest = [](const std::string& what, const std::vector<double>& samples) {
        std::printf("  %-36s median %8.3f ms   max %8.3f ms\n", what.c_str(),
                    SpreadOf(samples).median, *std::max_element(samples.begin(), samples.end()));
    };
    slowest(setting.name + ", burst until in the sheet", totals);
    slowest(setting.name + ", burst per passing", perPassing);
    Report(setting.name + ", burst: the caller's passing", calls.total);
}

void MeasureStart(const Setting& setting, Scratch& scratch) {
    std::vector<double> samples;
    for (int i = 0; i < kStarts; ++i) {
        const std::filesystem::path file = scratch.freshCopy();
        const auto begin = Clock::now();
        auto app = setting.startAlone();
        if (!app) {
            Fail(setting.name, app.error());
        }
        auto book = (*app)->open(file);
        if (!book || !(*book)->activeSheet()) {
            Fail(setting.name + " open", book ? Error{} : book.error());
        }
        samples.push_back(Milliseconds(Clock::now() - begin));
    }
    Report(setting.name, samples);
}

// Opening a workbook in a Calc that already runs, as when the organisers have Calc open.
void MeasureOpenInRunningCalc(const Setting& setting, Scratch& scratch) {
    auto running = setting.start();
    if (!running) {
        Fail(setting.name, running.error());
    }
    // The worker starts Calc at an open, and a Calc it started quits once its last workbook
    // goes: one stays open through the samples.
    std::unique_ptr<Workbook> keepsCalc;
    if (setting.worker) {
        auto book = (*running)->open(scratch.freshCopy());
        if (!book) {
            Fail(setting.name + " open", book.error());
        }
        keepsCalc = std::move(*book);
    }
    std::vector<double> samples;
    for (int i = 0; i < kStarts; ++i) {
        const std::filesystem::path file = scratch.freshCopy();
        const auto begin = Clock::now();
        auto app = setting.start();
        auto book = app ? (*app)->open(file) : app.error();
        if (!book || !(*book)->activeSheet()) {
            Fail(setting.name + " open", book ? Error{} : book.error());
        }
        samples.push_back(Milliseconds(Clock::now() - begin));
    }
    Report(setting.name + ", Calc running", samples);
}

}  // namespace
}  // namespace tivaro::workbook

int main(int argc, char** argv) {
    using namespace tivaro::workbook;
    const int passings = argc > 1 ? std::max(100, std::atoi(argv[1])) : 1000;
    Scratch scratch;
    const std::string pid = std::to_string(getpid());

    const bool display = std::getenv("DISPLAY") != nullptr;
    const auto calcOptions = [display](const std::string& pipe, bool visible) {
        CalcOptions options = DisposableCalcOptions(pipe);
        if (visible && display) {
            options.headless = false;
            options.hidden = false;
        }
        return options;
    };

    std::vector<Setting> settings;
    const Starter embedded = [&]() -> tivaro::Result<std::unique_ptr<SpreadsheetApp>> {
        return std::unique_ptr<SpreadsheetApp>(std::make_unique<XlsxApp>(scratch.backups()));
    };
    settings.push_back({"embedded", embedded, embedded, false});
    // Calc called on this thread, and Calc on a worker: one worker per setting for the whole
    // run (its soffice lives as long as the worker's thread), and a worker of its own for
    // every start-up sample.
    std::vector<std::shared_ptr<ThreadedApp>> workers;
    const auto addCalc = [&](const std::string& name, const std::string& pipe, bool visible) {
        const Starter direct = [=] { return StartCalc(calcOptions(pipe, visible)); };
        settings.push_back({name, direct, direct, false});
        workers.push_back(nullptr);
        const std::size_t slot = workers.size() - 1;
        const Starter shared = [&workers, slot, pipe, visible,
                                calcOptions]() -> tivaro::Result<std::unique_ptr<SpreadsheetApp>> {
            if (!workers[slot]) {
                workers[slot] = StartCalcOnWorker(calcOptions(pipe + "-w", visible));
            }
            return ShareApp(workers[slot]);
        };
        auto starts = std::make_shared<int>(0);
        const Starter alone = [=]() -> tivaro::Result<std::unique_ptr<SpreadsheetApp>> {
            return std::unique_ptr<SpreadsheetApp>(
                StartCalcOnWorker(calcOptions(pipe + "-w" + std::to_string(++*starts), visible)));
        };
        settings.push_back({name + ", worker", shared, alone, true});
    };
    addCalc("Calc headless", "tivaro-bench-hl-" + pid, false);
    if (display) {
        addCalc("Calc visible", "tivaro-bench-vis-" + pid, true);
    } else {
        std::printf("No display: the visible Calc is left out (run under xvfb-run -a).\n");
    }

    for (const Setting& setting : settings) {
        MeasurePassings(setting, scratch, passings);
    }
    std::printf("bursts of %d passings, queued and then settled (%d each):\n", kBurstPassings,
                kBursts);
    for (const Setting& setting : settings) {
        MeasureBurst(setting, scratch);
    }
    std::printf("start + open to a usable workbook (%d runs each):\n", kStarts);
    for (const Setting& setting : settings) {
        MeasureStart(setting, scratch);
    }
    std::printf("open to a usable workbook, Calc already running (%d runs each):\n", kStarts);
    for (const Setting& setting : settings) {
        if (setting.name != "embedded") {
            MeasureOpenInRunningCalc(setting, scratch);
        }
    }
    // The workers go before the scratch folder their workbooks are in.
    workers.clear();
    return 0;
}
