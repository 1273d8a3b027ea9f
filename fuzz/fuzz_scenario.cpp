// The replay tool on any scenario text: what parses is played through the race core the
// window uses, on a fresh copy of the demo workbook. Every `open` is pointed at that copy, so
// fuzzed text never names another file; the logs and backups go into a scratch folder.
// Properties:
// - every line that does not parse is named by its number, in order, and the actions of the
//   other lines keep the order of their lines;
// - a replay never crashes;
// - every coupling-log line has four TAB-separated fields (transponder, bib and a space, time,
//   name), and the coupling log holds the lines the replay printed, each with CR LF;
// - the workbook the replay saved opens again, and its race sheets can be read.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include "common/data_dir.h"
#include "demo_workbook.h"
#include "scratch_folder.h"
#include "tools/tivaro-replay/replay.h"
#include "workbook/atomic_file.h"
#include "workbook/xlsx_app.h"

namespace {

using namespace tivaro;
using fuzz::Check;

// Longer scenarios say nothing new and slow the fuzzer down.
constexpr std::size_t kMaxActions = 300;
constexpr int kMaxOpens = 6;

// The scratch folder of this process and the demo workbook's bytes.
struct Scratch {
    fuzz::ScratchFolder scratch{"tivaro-fuzz-scenario"};
    const std::filesystem::path& folder = scratch.path();
    std::string demo;
    Scratch() {
        auto bytes = demo::DemoWorkbookBytes();
        Check(bytes.ok());
        demo = std::move(*bytes);
    }
};

Scratch& TheScratch() {
    static Scratch scratch;
    return scratch;
}

// Checks the journal reader's answer; false when nothing is to be played.
bool Parsed(const timing::ParsedJournal& journal) {
    int previous = 0;
    for (const Error& damaged : journal.damaged) {
        Check(damaged.message.starts_with("regel "));  // every damaged line is named
        const int line = std::atoi(damaged.message.c_str() + 6);
        Check(line > previous);
        previous = line;
    }
    previous = 0;
    int opens = 0;
    for (const timing::JournalAction& action : journal.actions) {
        Check(action.line > previous);  // actions keep the order of their lines
        previous = action.line;
        opens += action.kind == timing::ActionKind::Open ? 1 : 0;
    }
    return !journal.actions.empty() && journal.actions.size() <= kMaxActions && opens <= kMaxOpens;
}

std::vector<std::string_view> Split(std::string_view text, std::string_view end) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t at = text.find(end);
        Check(at != std::string_view::npos);  // every line is ended
        lines.push_back(text.substr(0, at));
        text.remove_prefix(at + end.size());
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    timing::ParsedJournal journal = timing::ParseJournal(text);
    if (!Parsed(journal)) {
        return 0;
    }
    std::vector<timing::JournalAction>& actions = journal.actions;
    bool opens = false;
    for (timing::JournalAction& action : actions) {
        if (action.kind == timing::ActionKind::Open) {
            action.text = "race.xlsx";
            opens = true;
        }
    }

    const Scratch& scratch = TheScratch();
    const std::filesystem::path dataDirectory = scratch.folder / "data";
    const std::filesystem::path workbook = scratch.folder / "race.xlsx";
    std::error_code ignored;
    std::filesystem::remove_all(dataDirectory, ignored);
    Check(workbook::ReplaceFileAtomically(workbook, scratch.demo).ok());

    replay::ReplayOptions options;
    options.dataDirectory = dataDirectory;
    options.scenarioFolder = scratch.folder;
    options.scenarioName = "fuzz.scenario";
    options.startApp = [&]() -> Result<std::unique_ptr<workbook::SpreadsheetApp>> {
        return std::unique_ptr<workbook::SpreadsheetApp>(
            std::make_unique<workbook::XlsxApp>(dataDirectory / "backup"));
    };
    std::ostringstream out;
    std::ostringstream err;
    (void)replay::RunScenario(actions, options, out, err);

    const std::string lines = out.str();
    const std::vector<std::string_view> printed = Split(lines, "\n");
    for (const std::string_view line : printed) {
        Check(std::count(line.begin(), line.end(), '\t') == 3);
    }
    const std::filesystem::path couplingLog = dataDirectory / kCouplingLogName;
    if (!printed.empty()) {
        auto log = workbook::ReadWholeFile(couplingLog);
        Check(log.ok() && Split(*log, "\r\n") == printed);
    }

    if (opens) {
        workbook::XlsxApp app(dataDirectory / "backup");
        auto reopened = app.open(workbook);
        Check(reopened.ok());  // the replay leaves a workbook that opens
        for (const char* sheet : {"schaats", "loop", "fiets"}) {
            Check((*reopened)->activate(sheet).ok());
            Check((*reopened)->readRow(*(*reopened)->activeSheet(), 3, 20).ok());
        }
    }
    return 0;
}
