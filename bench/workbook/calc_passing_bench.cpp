// One passing's workbook operations (find the transponder, read the competitor's row, write the
// time and the counter, colour the bib cell) in the embedded engine and in LibreOffice Calc,
// headless and with its window, in the same run; then start + open to a usable workbook.
// Prints the median and the 95th percentile of each.
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
#include <string>
#include <vector>

#include "demo_workbook.h"
#include "workbook/calc/calc_app.h"
#include "workbook/xlsx_app.h"

namespace tivaro::workbook {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStarts = 5;

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

// What one engine setting is measured with: how to start its app.
struct Setting {
    std::string name;
    std::function<Result<std::unique_ptr<SpreadsheetApp>>()> start;
};

struct PassingTimes {
    std::vector<double> total, find, readRow, writes, colour;
};

constexpr int kSkaters = 20;  // the demo's sheet "schaats"
constexpr int kLaps = 11;     // times in F..P

// Lap `lap` of skater `skater`: the calls the race makes for it.
void Passing(Workbook& book, SheetId sheet, int skater, int lap, PassingTimes& times) {
    // The demo's skaters 101..120; every fourth has a text transponder code.
    const std::string code =
        skater % 4 == 3 ? "KX-0" + std::to_string(4123 + skater) : std::to_string(7404583 + skater);
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
    Status written = book.writeCell(sheet, row, 6 + lap, time);
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
    for (int race = 0; race < races; ++race) {
        auto book = (*app)->open(scratch.freshCopy());
        if (!book) {
            Fail(setting.name + " open", book.error());
        }
        if (Status activated = (*book)->activate("schaats"); !activated) {
            Fail("activate", activated.error());
        }
        const SheetId sheet = *(*book)->activeSheet();
        for (int lap = 0; lap < kLaps; ++lap) {
            for (int skater = 0; skater < kSkaters; ++skater) {
                Passing(**book, sheet, skater, lap, lap == 0 ? first : later);
            }
        }
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
}

void MeasureStart(const Setting& setting, Scratch& scratch) {
    std::vector<double> samples;
    for (int i = 0; i < kStarts; ++i) {
        const std::filesystem::path file = scratch.freshCopy();
        const auto begin = Clock::now();
        auto app = setting.start();
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

    std::vector<Setting> settings;
    settings.push_back({"embedded", [&]() -> tivaro::Result<std::unique_ptr<SpreadsheetApp>> {
                            return std::unique_ptr<SpreadsheetApp>(
                                std::make_unique<XlsxApp>(scratch.backups()));
                        }});
    settings.push_back({"Calc headless", [pid] {
                            return StartCalc(DisposableCalcOptions("tivaro-bench-hl-" + pid));
                        }});
    if (std::getenv("DISPLAY") != nullptr) {
        settings.push_back({"Calc visible", [pid] {
                                CalcOptions options =
                                    DisposableCalcOptions("tivaro-bench-vis-" + pid);
                                options.headless = false;
                                options.hidden = false;
                                return StartCalc(options);
                            }});
    } else {
        std::printf("No display: the visible Calc is left out (run under xvfb-run -a).\n");
    }

    for (const Setting& setting : settings) {
        MeasurePassings(setting, scratch, passings);
    }
    std::printf("start + open to a usable workbook (%d runs each):\n", kStarts);
    for (const Setting& setting : settings) {
        MeasureStart(setting, scratch);
    }
    for (std::size_t i = 1; i < settings.size(); ++i) {
        MeasureOpenInRunningCalc(settings[i], scratch);
    }
    return 0;
}
