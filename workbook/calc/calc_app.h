#pragma once
// The LibreOffice Calc engine: the race workbook stays open in Calc, where the organisers watch
// the times land, let their own formulas compute lap times and rankings, correct cells and
// save. The program reads and writes the open document through Calc (over a UNO pipe); it
// never saves, closes or quits on its own unless the options below say so.
//
// Observable results are those of the embedded engine: cells read as the text a spreadsheet
// shows in General format, numbers in their plain shortest form; texts are written as texts;
// find is literal ("?" and "*" are ordinary characters) and without regard to case, and a
// numeric cell matches its plain number text; colours are R + 256·G + 65536·B.
//
// Start-up: the engine joins a Calc that already listens on the pipe, or starts soffice with
// the pipe (a Calc the user runs with the same profile takes that request over). A workbook
// that is already open in that Calc is attached to, not loaded a second time.
//
// Threads: the app and its workbooks may be made on one thread and used on another, as long as
// one thread at a time calls them.

#include <array>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "common/result.h"
#include "workbook/threaded/threaded_workbook.h"
#include "workbook/workbook.h"

namespace tivaro::workbook {

struct CalcOptions {
    // soffice without a display, for tests, the replay tool and benchmarks.
    bool headless = false;
    // Documents loaded without a window.
    bool hidden = false;
    // The pipe soffice accepts this program on (one per user on the machine: the default
    // "tivaro-calc-UID"). Programs that must not share a Calc use names of their own.
    std::string pipeName;
    // The LibreOffice profile soffice starts with; empty: the user's own. A Calc that already
    // runs with that profile takes the pipe over (soffice hands its arguments to it).
    std::filesystem::path profileDirectory;
    // Instead: a profile of its own, made when soffice starts and removed when it quits; a
    // Calc the user runs is then never joined.
    bool privateProfile = false;
    // Workbook::save() stores the document through Calc, to its own path in its own format
    // (for replays compared with the embedded engine). Otherwise the organisers save in Calc
    // and save() writes nothing.
    bool saveThroughCalc = false;
    // The documents were loaded for a replay or a test: when the last Workbook of a document
    // that this engine loaded closes or goes, the document is closed in Calc.
    bool closeDocuments = false;
    // soffice started by this engine quits when the last app and workbook of it are gone
    // (and is killed if it does not). The kernel also kills it when the thread that started it
    // ends, so that a crashed test or replay leaves none behind: start it from a thread that
    // lives as long as it is used. Otherwise soffice keeps running for the organisers.
    bool quitWhenDone = false;
    // Where the window of a document this engine loads goes: x, y, width and height on the
    // screen, never maximised, so that it opens beside the timing window instead of over it.
    // Empty: where Calc puts it.
    std::optional<std::array<int, 4>> windowArea;
    // How long soffice may take to start and accept the pipe.
    std::chrono::milliseconds startTimeout{60'000};
    // Where soffice.bin and the UNO type libraries are.
    std::filesystem::path programDirectory = "/usr/lib/libreoffice/program";
};

// Options for a Calc that nobody sees and that leaves nothing behind: headless, documents
// hidden and closed when done, a private profile, soffice quits at the end.
CalcOptions DisposableCalcOptions(std::string pipeName);

// Whether a Calc that can show documents is installed: soffice.bin and a display plug-in (the
// -nogui build has none and cannot load documents visibly). The error says what to install.
Status CalcAvailable(
    const std::filesystem::path& programDirectory = "/usr/lib/libreoffice/program");

// "Start": joins or starts Calc. Fails when Calc is not available, does not start or does not
// accept the pipe within options.startTimeout; the message says what to do.
Result<std::unique_ptr<SpreadsheetApp>> StartCalc(const CalcOptions& options);

// "Start" for a race: Calc on a worker thread of its own that makes every call to it, so that
// a Calc that is slow or does not answer never holds up the caller (see threaded_workbook.h).
// Each open joins or starts Calc on the worker; the worker lives as long as the app and its
// workbooks, and so does a soffice it started.
std::unique_ptr<ThreadedApp> StartCalcOnWorker(const CalcOptions& options,
                                               ThreadedOptions threaded = {});

}  // namespace tivaro::workbook
