#pragma once
// The race controller: one wiring of the race core, used alike by the window, tivaro-replay
// and the benchmarks. Bytes from a decoder link go through that link's receive path and come
// out as passings; each passing is judged by the race and applied: written into the race
// sheet, added to the passing list and the ledger, appended to the coupling log, and told to
// the owner, in that order, before the next one.
//
//   bytes ─> ReceivePath ─> Passing ─> Race::judge ─┐
//            Corrections (hand passings, take-backs) ┼─> PassingResult ─> apply ─> WriteToSheet
//            passings that waited for the workbook ──┘                       ├─> PassingLedger
//                                                                            ├─> PassingList
//                                                                            └─> CouplingLog
//
// Every kind of passing goes through the one apply, with one treatment of a failed write:
// it is reported, and a workbook that went away is noted. Nothing here blocks on, or calls
// back into, the caller's event loop; each call runs to its end before the next.
//
// While no race sheet can be written (no workbook open yet, a workbook without the sport's
// sheet, the spreadsheet stopped) and a phase is chosen, passings wait: they are shown and
// logged as "Wacht op werkboek" and kept in order. Bringing the workbook up to date is one
// operation: when the same workbook is back, what it lacks is written again and the waiting
// passings are applied, in order of arrival, without a question; when another workbook (or the
// first) can be written, the waiting passings are offered to the organiser first. Passings that
// come meanwhile wait behind them.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "link/passing.h"
#include "link/receive_path.h"
#include "timing/corrections.h"
#include "timing/coupling_log.h"
#include "timing/journal_action.h"
#include "timing/passing_ledger.h"
#include "timing/passing_list.h"
#include "timing/passing_result.h"
#include "timing/race.h"
#include "timing/setup_panel.h"
#include "timing/waiting_passings.h"

namespace tivaro::timing {

struct ControllerOptions {
    AppStarter startApp;                // starts the spreadsheet for each workbook
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
    // A passing was applied: its result and its coupling-log line, after the line was
    // appended (or failed to be).
    std::function<void(const PassingResult&, const std::string& logLine)> passingHandled;
    // A passing changed the workbook; runs once per such passing, after passingHandled.
    std::function<void()> workbookChanged;
    // A log (the coupling log or the raw log) could not be written: `error`; or one is written
    // again after such a failure: null. Comes besides `problem`.
    std::function<void(const Error* error)> logTrouble;
    // The workbook went away under the race (closed in the spreadsheet, the spreadsheet
    // stopped): passings are still shown and logged, but wait. Comes once until a workbook is
    // opened again, besides `problem`.
    std::function<void(const Error& error)> workbookGone;
    // How many passings wait for the workbook, and why (what is missing, what to do): one
    // standing notice. 0 when none wait.
    std::function<void(std::size_t count, const std::string& why)> waiting;
    // The race sheet can be written again, and `count` passings that came before are waiting:
    // the owner asks whether to fill them in now (fillIn). Passings keep waiting meanwhile.
    std::function<void(std::size_t count)> fillInOffered;
    // The spreadsheet, which works on a thread of its own, stopped answering (`answering`
    // false) or answers again; `waiting` changes of passings are not in it yet. Passings go on
    // being judged and listed meanwhile; their changes go in, in order, when it answers.
    std::function<void(bool answering, std::size_t waiting)> spreadsheetAnswering;
    // Cells of the workbook were changed in the spreadsheet by a person.
    std::function<void()> changedInSpreadsheet;
    // Every action that fed or changed the race (a set-up choice, decoder bytes, a reconnect,
    // a passing entered by hand, a passing taken back), before it takes effect: for the race
    // journal.
    std::function<void(const JournalAction& action)> actionTaken;
};

class RaceController final : private link::ReceiveListener {
public:
    RaceController(ControllerOptions options, ControllerEvents events);

    // Opens the race workbook with the spreadsheet of the options and races on it, as the
    // set-up's open button does; the error of takeWorkbook when the sport's sheet is missing.
    Status openWorkbook(const std::filesystem::path& file);
    // Races on a workbook opened elsewhere (OpenWorkbook, on another thread), with the set-up
    // in force. The same workbook again (or, `resumed`, the workbook of a race resumed after a
    // restart) is brought up to date at once: the passings handled before that it does not
    // hold (its application stopped before they were saved) are written again, and those that
    // waited are applied, in order. The error, if any, says that the workbook lacks the sheet
    // of the sport in force: the sport is cleared and passings wait until one is chosen.
    Status takeWorkbook(OpenedWorkbook opened, bool resumed = false);
    // The answer to fillInOffered: the passings that waited are applied now, in order and by
    // the set-up in force (yes), or kept as they are in the list, the log and the journal
    // (no). Those that came while the question stood are applied either way.
    void fillIn(bool yes);
    std::size_t waitingCount() const { return waiting_.size(); }

    Race& race() { return race_; }
    const Race& race() const { return race_; }
    SetupPanel& setup() { return setup_; }
    const SetupPanel& setup() const { return setup_; }
    const PassingList& passings() const { return passings_; }
    // For a view that follows the list (it sets the list's listeners).
    PassingList& passings() { return passings_; }

    // The set-up in force as the journal actions that make it again, also before a workbook is
    // open: the decoder generation and the restore of sport, heat, lap count, phase and minimum
    // lap time.
    std::vector<JournalAction> setupActions() const;

    // The decoder generation of both links.
    void chooseDecoderGeneration(link::DecoderGeneration generation);
    link::DecoderGeneration decoderGeneration() const { return generation_; }

    // Bytes that arrived on `link`: one receive event.
    void onDecoderBytes(link::LinkKind link, std::span<const std::uint8_t> bytes);
    // A connection on `link` was made (again): the old one's unfinished record or line is
    // dropped.
    void connectionStarted(link::LinkKind link);

    // While quiet (a race rebuilt from its journal after a restart), nothing is logged and the
    // owner is told nothing: that was done when the race was run.
    void setQuiet(bool quiet);

    // Writes the log lines still waiting for room (a full disk), as far as there is room now;
    // tells logTrouble once every log is written again.
    void flushLogs();
    // Whether a log line still waits for room.
    bool logsWaiting() const { return logFailing_; }
    // Takes in what the workbook's own thread has to tell: changes that failed there are
    // reported (a workbook that went away is noted, and passings wait), and whether the
    // spreadsheet answers. The window asks often; a replay asks after settling.
    void checkWorkbook();
    // The workbook raced on went away (closed, or its application stopped): there is nothing
    // to save in it until it is opened again.
    bool workbookGone() const { return workbookGone_; }

    // Handles one passing to its end: judged and applied, or kept waiting for the workbook.
    void handlePassing(const link::Passing& passing);
    // A set-up choice made a race sheet writable (a sport chosen on a workbook that lacked
    // one): passings that waited are offered. The set-up panel's choices come through here.
    Status chooseSport(const std::string& boxText);

    // A passing entered by hand for the competitor with bib `bib` at `time` (see Corrections),
    // applied as a passing of that competitor's transponder and marked " (handmatig)".
    Status handPassing(std::string_view bib, std::string_view time);
    // Takes back the competitor's latest recorded lap step: its time is cleared and the lap
    // counter set back, the passing is marked in the list and the coupling log says so.
    Status takeBack(std::string_view bib);
    // The same for the passing that arrived `arrival`-th in the passing list.
    Status takeBackPassing(std::size_t arrival);
    bool canTakeBack(std::size_t arrival) const { return corrections_.canTakeBack(arrival); }

private:
    static std::size_t Index(link::LinkKind link) { return link == link::LinkKind::Serial ? 0 : 1; }

    // How a result is applied: on which sheet, by which set-up, and whether a start pulse it
    // gives is used up by it.
    struct Applying {
        std::optional<workbook::SheetId> sheet;
        RaceSetup setup;
        bool settle = true;
        std::optional<std::size_t> takesBackEntry;  // a take-back: the ledger entry it undoes
        std::optional<std::size_t> arrival;         // a passing that waited: its row in the list
    };
    struct Written {
        bool all = false;              // every write is in the sheet
        bool changed = false;          // the workbook was changed
        std::optional<Error> failure;  // the first write that failed
    };
    // Writes, records, lists, logs and tells one result: the one path of every passing, hand
    // passing, re-applied passing and take-back.
    Written apply(PassingResult result, const Applying& how);
    // Whether a race sheet can be written now.
    bool canWrite() const;
    // Whether a passing that comes now waits: a phase is chosen and the race sheet cannot be
    // written, or passings wait already (they keep their order).
    bool holdsBack() const;
    void wait(const link::Passing& passing);
    // Appends `result`'s line to the coupling log and tells the owner.
    void log(const PassingResult& result);
    void tellWaiting();
    // The race sheet can be written (again): the same workbook is brought up to date, another
    // one is offered what waits.
    void sheetWritable(bool sameWorkbook);
    // Writes again what the ledger says the workbook lacks, then applies what waited, judged
    // by the set-up of its arrival; all in order.
    void bringUpToDate();
    // Applies the entries that waited, judged by `setup` (or each by its own when empty).
    void applyWaiting(std::vector<WaitingPassings::Entry> entries,
                      const std::optional<RaceSetup>& setup);
    // Puts `result`'s writes into `sheet`; a failure is reported, and a workbook that went
    // away is noted. The one treatment of a failed write.
    Written write(const PassingResult& result, workbook::SheetId sheet);
    Applying inForce() const { return {race_.raceSheet(), race_.setup(), true}; }
    Status applyTakeBack(Result<TakeBack> takeBack);

    void onPassing(const link::Passing& passing) override { handlePassing(passing); }
    void onSetAside(const link::SetAside& setAside) override;
    void onProblem(const Error& error) override;
    void notice(const std::string& text);
    void record(const JournalAction& action);
    void report(const Error& error);
    void logFailed(const Error& error);
    void noteWorkbookError(const Error& error);
    // Whether the workbook holds what `entry` wrote: its first write (the time) tells.
    bool holds(const PassingLedger::Entry& entry) const;

    ControllerEvents events_;
    ControllerEvents quietEvents_;  // the owner's events while quiet
    bool quiet_ = false;
    AppStarter startApp_;
    Race race_;
    SetupPanel setup_;
    PassingLedger ledger_;
    Corrections corrections_;
    PassingList passings_;
    CouplingLog couplingLog_;
    link::DecoderGeneration generation_ = link::DecoderGeneration::Binary;
    std::array<std::unique_ptr<link::ReceivePath>, 2> paths_;
    WaitingPassings waiting_;
    std::size_t offered_ = 0;      // waiting passings the organiser was asked about; 0: no question
    std::string sheetName_;        // the race sheet's name, as last known
    bool toldNoWorkbook_ = false;  // passings before any workbook are reported once
    bool logFailing_ = false;      // the last write of a log failed
    bool workbookGone_ = false;    // told that the workbook went away
    bool sportLost_ = false;       // the workbook lacked the sport's sheet: no sport chosen since
    bool notAnswering_ = false;    // told that the spreadsheet does not answer
};

}  // namespace tivaro::timing
