#pragma once
// The race controller: one wiring of the race core, used alike by the window, tivaro-replay
// and the benchmarks. Bytes from a decoder link go through that link's receive path and come
// out as passings; each passing is judged by the race, written into the race sheet, added to
// the passing list and appended to the coupling log, in that order, before the next one.
//
//   bytes ─> ReceivePath ─> Passing ─> Race::judge ─> PassingResult ─> WriteToSheet
//                                                                  ├─> PassingList
//                                                                  └─> CouplingLog
//
// Nothing here blocks on, or calls back into, the caller's event loop; each call runs to its
// end before the next.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "common/result.h"
#include "link/passing.h"
#include "link/receive_path.h"
#include "timing/coupling_log.h"
#include "timing/passing_list.h"
#include "timing/passing_result.h"
#include "timing/race.h"
#include "timing/setup_panel.h"

namespace tivaro::timing {

struct ControllerOptions {
    Race::AppStarter startApp;          // starts the spreadsheet for each workbook
    std::filesystem::path couplingLog;  // empty: no coupling log
    std::filesystem::path rawLog;       // empty: no raw log of older-decoder lines
    link::DebugView* debug = nullptr;   // the debug boxes, if any; must outlive
};

// What the controller tells its owner. Every member may be empty.
struct ControllerEvents {
    // A failure a person must hear about (a log or the workbook not written, the workbook
    // not readable): the window's messages; the replay fails.
    std::function<void(const Error&)> problem;
    // News a person should see that is no failure (records not checked, no workbook open).
    std::function<void(const std::string&)> notice;
    // A passing was handled: its result and its coupling-log line, after the line was
    // appended (or failed to be).
    std::function<void(const PassingResult&, const std::string& logLine)> passingHandled;
    // A passing changed the workbook; runs once per such passing, after passingHandled.
    std::function<void()> workbookChanged;
    // A log (the coupling log or the raw log) could not be written: `error`; or one is written
    // again after such a failure: null. Comes besides `problem`.
    std::function<void(const Error* error)> logTrouble;
};

class RaceController final : private link::ReceiveListener {
public:
    RaceController(ControllerOptions options, ControllerEvents events);

    Race& race() { return race_; }
    const Race& race() const { return race_; }
    SetupPanel& setup() { return setup_; }
    const PassingList& passings() const { return passings_; }
    // For a view that follows the list (it sets the list's listeners).
    PassingList& passings() { return passings_; }

    // The decoder generation of both links.
    void chooseDecoderGeneration(link::DecoderGeneration generation);
    link::DecoderGeneration decoderGeneration() const { return generation_; }

    // Bytes that arrived on `link`: one receive event.
    void onDecoderBytes(link::LinkKind link, std::span<const std::uint8_t> bytes);
    // A connection on `link` was made (again): the old one's unfinished record or line is
    // dropped.
    void connectionStarted(link::LinkKind link);
    const link::ReceivePath& receivePath(link::LinkKind link) const { return *paths_[Index(link)]; }

    // Handles one passing to its end: judged, written, listed, logged.
    void handlePassing(const link::Passing& passing);

private:
    static std::size_t Index(link::LinkKind link) { return link == link::LinkKind::Serial ? 0 : 1; }

    void onPassing(const link::Passing& passing) override { handlePassing(passing); }
    void onProblem(const Error& error) override;
    void onNotice(const std::string& text) override;

    ControllerEvents events_;
    Race race_;
    SetupPanel setup_;
    PassingList passings_;
    CouplingLog couplingLog_;
    link::DecoderGeneration generation_ = link::DecoderGeneration::Binary;
    std::array<std::unique_ptr<link::ReceivePath>, 2> paths_;
    void report(const Error& error);
    void logFailed(const Error& error);
    bool toldNoWorkbook_ = false;  // passings before any workbook are reported once
    bool logFailing_ = false;      // the last write of a log failed
};

}  // namespace tivaro::timing
