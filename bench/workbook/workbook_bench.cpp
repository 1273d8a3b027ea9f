// The embedded workbook engine on the demo race workbook: each in-memory operation of a
// passing, a save, open + one passing + save, and the same with python3-openpyxl measured in
// the same run for comparison.
//
// Run: tivaro_workbook_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "demo_workbook.h"
#include "workbook/xlsx_app.h"

namespace tivaro::workbook {
namespace {

constexpr std::uint32_t kGreen = 65280;

// Writes like the system but leaves out the flushes to disk: the same work openpyxl does.
class NoFlushWriter final : public FileWriter {
public:
    int write(int fd, const char* data, std::size_t size) override {
        return SystemFileWriter().write(fd, data, size);
    }
    int sync(int) override { return 0; }
};

// A scratch folder holding a fresh copy of the demo workbook.
class DemoFile {
public:
    DemoFile() {
        std::string pattern = "/tmp/tivaro-wb-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        dir_ = pattern;
        file_ = dir_ / "demo-race.xlsx";
        auto bytes = demo::DemoWorkbookBytes();
        std::ofstream(file_, std::ios::binary) << *bytes;
    }
    ~DemoFile() { std::filesystem::remove_all(dir_); }
    const std::filesystem::path& file() const { return file_; }
    std::filesystem::path backups() const { return dir_ / "backup"; }
    // Every run makes a backup on its first save; the pile is not part of what is measured.
    void clearBackups() const { std::filesystem::remove_all(backups()); }

private:
    std::filesystem::path dir_;
    std::filesystem::path file_;
};

std::unique_ptr<Workbook> OpenDemo(XlsxApp& app, const DemoFile& demo) {
    auto opened = app.open(demo.file());
    if (!opened) {
        std::fprintf(stderr, "%s\n", opened.error().message.c_str());
        std::abort();
    }
    return std::move(*opened);
}

// One passing of skater i: look up, read bib, heat and counter, write a time and the new
// counter, colour the bib cell.
void Passing(Workbook& book, int i) {
    const SheetId schaats{0};
    const std::string code = std::to_string(7404583 + (i % 3));
    auto position = book.find(schaats, "B3:B200", code);
    const int row = *position + 2;
    benchmark::DoNotOptimize(book.readCell(schaats, row, 1));
    benchmark::DoNotOptimize(book.readCell(schaats, row, 3));
    benchmark::DoNotOptimize(book.readCell(schaats, row, 20));
    (void)book.writeCell(schaats, row, 6, "0:10:01.25");
    (void)book.writeCell(schaats, row, 20, "1");
    (void)book.colourCell(schaats, row, 1, kGreen);
}

void BM_Find(benchmark::State& state) {
    DemoFile demo;
    XlsxApp app(demo.backups());
    auto book = OpenDemo(app, demo);
    const std::vector<std::string> codes = {"7404583", "kx-04126", "7404600", "KX-04142"};
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(book->find(SheetId{0}, "B3:B200", codes[i++ % codes.size()]));
    }
}
BENCHMARK(BM_Find);

void BM_ReadCell(benchmark::State& state) {
    DemoFile demo;
    XlsxApp app(demo.backups());
    auto book = OpenDemo(app, demo);
    int row = 3;
    for (auto _ : state) {
        benchmark::DoNotOptimize(book->readCell(SheetId{0}, row, 2));  // numbers and texts
        row = row == 22 ? 3 : row + 1;
    }
}
BENCHMARK(BM_ReadCell);

void BM_WriteCell(benchmark::State& state) {
    DemoFile demo;
    XlsxApp app(demo.backups());
    auto book = OpenDemo(app, demo);
    int row = 3;
    for (auto _ : state) {
        benchmark::DoNotOptimize(book->writeCell(SheetId{0}, row, 7, "0:10:35.50"));
        row = row == 22 ? 3 : row + 1;
    }
}
BENCHMARK(BM_WriteCell);

void BM_ColourCell(benchmark::State& state) {
    DemoFile demo;
    XlsxApp app(demo.backups());
    auto book = OpenDemo(app, demo);
    int row = 3;
    for (auto _ : state) {
        benchmark::DoNotOptimize(book->colourCell(SheetId{0}, row, 1, kGreen));
        row = row == 22 ? 3 : row + 1;
    }
}
BENCHMARK(BM_ColourCell);

void BM_PassingInMemory(benchmark::State& state) {
    DemoFile demo;
    XlsxApp app(demo.backups());
    auto book = OpenDemo(app, demo);
    int i = 0;
    for (auto _ : state) {
        Passing(*book, i++);
    }
}
BENCHMARK(BM_PassingInMemory);

void BM_Open(benchmark::State& state) {
    DemoFile demo;
    XlsxApp app(demo.backups());
    for (auto _ : state) {
        benchmark::DoNotOptimize(OpenDemo(app, demo));
    }
}
BENCHMARK(BM_Open)->Unit(benchmark::kMicrosecond);

// A passing and a save, the workbook staying open: what the race does after each passing.
void BM_PassingAndSave(benchmark::State& state) {
    DemoFile demo;
    XlsxApp app(demo.backups());
    auto book = OpenDemo(app, demo);
    int i = 0;
    (void)book->save();  // the backup of the run is made before the timing
    for (auto _ : state) {
        Passing(*book, i++);
        if (!book->save().ok()) {
            state.SkipWithError("save failed");
        }
    }
}
BENCHMARK(BM_PassingAndSave)->Unit(benchmark::kMillisecond);

double OpenPassingSaveMs(const DemoFile& demo, XlsxApp& app) {
    const auto begin = std::chrono::steady_clock::now();
    auto book = OpenDemo(app, demo);
    Passing(*book, 0);
    (void)book->save();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
        .count();
}

void BM_OpenPassingSave(benchmark::State& state) {
    DemoFile demo;
    XlsxApp app(demo.backups());
    for (auto _ : state) {
        benchmark::DoNotOptimize(OpenPassingSaveMs(demo, app));
        state.PauseTiming();
        demo.clearBackups();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenPassingSave)->Unit(benchmark::kMillisecond);

void BM_OpenPassingSaveNoFlush(benchmark::State& state) {
    DemoFile demo;
    NoFlushWriter writer;
    XlsxApp app(demo.backups(), writer);
    for (auto _ : state) {
        benchmark::DoNotOptimize(OpenPassingSaveMs(demo, app));
        state.PauseTiming();
        demo.clearBackups();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenPassingSaveNoFlush)->Unit(benchmark::kMillisecond);

double MedianOfRuns(const DemoFile& demo, XlsxApp& app) {
    std::vector<double> runs;
    for (int run = 0; run < 15; ++run) {
        runs.push_back(OpenPassingSaveMs(demo, app));
        demo.clearBackups();
    }
    std::nth_element(runs.begin(), runs.begin() + 7, runs.end());
    return runs[7];
}

// python3-openpyxl's load + one passing's writes + save of the same file, timed inside Python
// (median of 15), beside ours timed the same way in this process: with the flushes to disk
// that make a save durable, and without them as openpyxl saves.
void BM_VersusOpenpyxl(benchmark::State& state) {
    DemoFile demo;
    XlsxApp app(demo.backups());
    NoFlushWriter writer;
    XlsxApp noFlushApp(demo.backups(), writer);
    for (auto _ : state) {
        const std::string command = std::string("/usr/bin/python3 ") + TIVARO_OPENPYXL_HELPER +
                                    " timed '" + demo.file().string() + "' '" +
                                    (demo.file().parent_path() / "openpyxl.xlsx").string() + "' 15";
        std::FILE* pipe = ::popen(command.c_str(), "r");
        char line[64] = {};
        const bool got = pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr;
        const int status = pipe != nullptr ? ::pclose(pipe) : -1;
        if (!got || status != 0) {
            state.SkipWithError("python3-openpyxl did not run");
            return;
        }
        const double openpyxlMs = std::atof(line);
        const double engineMs = MedianOfRuns(demo, app);
        const double noFlushMs = MedianOfRuns(demo, noFlushApp);
        state.counters["openpyxl_ms"] = openpyxlMs;
        state.counters["engine_ms"] = engineMs;
        state.counters["engine_noflush_ms"] = noFlushMs;
        state.counters["speedup"] = openpyxlMs / engineMs;
        state.counters["speedup_noflush"] = openpyxlMs / noFlushMs;
    }
}
BENCHMARK(BM_VersusOpenpyxl)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tivaro::workbook

BENCHMARK_MAIN();
