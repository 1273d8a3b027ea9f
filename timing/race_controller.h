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
#include <string_view>
#include <vector>

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
    // News a person should see that is no failure (no workbook open).
    std::function<void(const std::string&)> notice;
    // A record or line of `link` was set aside because its checksum failed: `count` on that
    // link so far. Its passing, if it held one, is handled as "Controlesom fout" besides.
    std::function<void(link::LinkKind link, std::uint64_t count)> setAside;
    // A passing was handled: its result and its coupling-log line, after the line was
    // appended (or failed to be).
    std::function<void(const PassingResult&, const std::string& logLine)> passingHandled;
    // A passing changed the workbook; runs once per such passing, after passingHandled.
    std::function<void()> workbookChanged;
    // A log (the coupling log or the raw log) could not be written: `error`; or one is written
    // again after such a failure: null. Comes besides `problem`.
    std::function<void(const Error* error)> logTrouble;
    // The workbook went away under the race (closed in the spreadsheet, the spreadsheet
    // stopped): passings are still shown and logged, but no longer written. Comes once until
    // a workbook is opened again, besides `problem`.
    std::function<void(const Error& error)> workbookGone;
    // Every action that fed or changed the race (a set-up choice, decoder bytes, a reconnect, a
    // passing entered by hand, a passing taken back), as the line of a replay scenario that
    // does it again; for the race journal.
    std::function<void(const std::string& line)> journal;
};

class RaceController final : private link::ReceiveListener {
public:
    RaceController(ControllerOptions options, ControllerEvents events);

    // Opens the race workbook, as the set-up's open button does.
    Status openWorkbook(const std::filesystem::path& file);
    // The same once the file was opened elsewhere (Race::OpenWorkbook on another thread).
    void takeWorkbook(OpenedWorkbook opened);
    // After a workbook was opened again: the passings handled since it was first opened that
    // it does not hold (it was closed or its application stopped before they were saved, or
    // they came while it was gone).
    std::size_t passingsToReapply() const { return missing_.size(); }
    // Puts those passings into the workbook: what was written before is written again, what
    // could not be written is handled again (and shown and logged as such).
    void reapply();

    Race& race() { return race_; }
    const Race& race() const { return race_; }
    SetupPanel& setup() { return setup_; }
    const PassingList& passings() const { return passings_; }
    // For a view that follows the list (it sets the list's listeners).
    PassingList& passings() { return passings_; }

    // The set-up in force as the lines of a replay scenario that make it again after the
    // workbook is opened: the decoder generation, then sport, heat, lap count, minimum lap
    // time and phase as far as they were chosen.
    std::vector<std::string> setupAsJournal() const;

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
    void handlePassing(const link::Passing& passing, PassingSource source = PassingSource::Decoder);

    // A passing entered by hand for the competitor with bib `bib` (column A of the race sheet)
    // at `time`, a time of day ("14:05:30.25", "14:05:30"). Handled as a passing of that
    // competitor's transponder, and marked " (handmatig)". Refused with a message, and nothing
    // handled, when the bib is not in the race sheet or the time is no time of day.
    Status handPassing(std::string_view bib, std::string_view time);

    // Takes back the latest recorded lap step (start, intermediate or finish) of the competitor
    // with bib `bib`: its time is cleared and the lap counter set back to what it was before,
    // the passing is marked in the list and the coupling log says so. Refused with a message
    // when there is none, or when the sheet no longer holds what that passing wrote.
    Status takeBack(std::string_view bib);
    // The same for the passing that arrived `arrival`-th in the passing list, which must be its
    // competitor's latest recorded lap step.
    Status takeBackPassing(std::size_t arrival);
    bool canTakeBack(std::size_t arrival) const;

private:
    static std::size_t Index(link::LinkKind link) { return link == link::LinkKind::Serial ? 0 : 1; }

    void onPassing(const link::Passing& passing) override { handlePassing(passing); }
    void onSetAside(const link::SetAside& setAside) override;
    void onProblem(const Error& error) override;
    void notice(const std::string& text);
    void record(const std::string& line);

    ControllerEvents events_;
    Race race_;
    SetupPanel setup_;
    PassingList passings_;
    CouplingLog couplingLog_;
    link::DecoderGeneration generation_ = link::DecoderGeneration::Binary;
    std::array<std::unique_ptr<link::ReceivePath>, 2> paths_;
    void report(const Error& error);
    void logFailed(const Error& error);
    void noteWorkbookError(const Error& error);
    // A passing handled since the workbook was opened: whether its writes landed, and the
    // sheet and set-up it was judged by.
    struct Handled {
        PassingResult result;
        bool written = false;
        std::string sheet;
        RaceSetup setup;
        std::size_t arrival = 0;  // its place in the passing list
        bool takenBack = false;
    };

    // Writes, lists and logs a judged passing; `settle` uses up the start pulse it gave.
    void finish(PassingResult result, PassingSource source, std::optional<workbook::SheetId> sheet,
                const RaceSetup& setup, bool settle);
    // Which passings of the journal the workbook opened now lacks.
    void findMissing();
    bool holds(const Handled& entry);
    // The journal entry of the competitor's latest recorded lap step on `sheet`, if any.
    std::optional<std::size_t> latestLapStep(int row, const std::string& sheet) const;
    Status takeBackEntry(std::size_t k);
    // The journal entry of the passing that arrived `arrival`-th, when it can be taken back.
    std::optional<std::size_t> takeBackEntryOf(std::size_t arrival) const;
    // The name of the race sheet in force; empty without one.
    std::string raceSheetName() const;
    std::optional<workbook::SheetId> sheetNamed(const std::string& name) const;
    bool toldNoWorkbook_ = false;  // passings before any workbook are reported once
    bool logFailing_ = false;      // the last write of a log failed
    bool workbookGone_ = false;    // told that the workbook went away
    // The passings handled since the workbook of this path was opened, in order; kept when
    // the same workbook is opened again.
    std::filesystem::path journalPath_;
    std::vector<Handled> journal_;
    std::vector<std::size_t> missing_;  // indexes into journal_
    std::string sheetName_;             // the race sheet's name, as last known
};

}  // namespace tivaro::timing
