#pragma once
// The race: its set-up (workbook, sport, heat, lap count, phase) and the rules that turn one
// passing into one result. It is the only owner of the set-up; the set-up controls and the
// replay change it through the operations below, and every passing is judged by what it
// holds at that moment and by what the race sheet holds (the competitors' progress lives in
// the sheet, not here).

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/result.h"
#include "link/passing.h"
#include "timing/passing_result.h"
#include "timing/sports.h"
#include "timing/time_of_day.h"
#include "workbook/workbook.h"

namespace tivaro::timing {

struct RaceSetup {
    Sport sport = Sport::None;
    Phase phase = Phase::None;
    std::string heat;             // "1".."5"; empty until a heat is chosen
    int lapCount = 1;             // running and cycling
    bool startPulseArmed = true;  // the next passing in the start-pulse phase is the start
    // A competitor's passing sooner than this after the competitor's last recorded time is a
    // double read of the loop: shown as "Dubbel", nothing written. 0: every passing counts.
    Hundredths minimumLap = 0;
};

// A workbook opened and ready to race on: its application, the workbook and its active sheet.
struct OpenedWorkbook {
    std::shared_ptr<workbook::SpreadsheetApp> app;
    std::shared_ptr<workbook::Workbook> workbook;
    workbook::SheetId sheet;
};

// Starts an application with `startApp`, shows it, opens `file` and takes its active sheet.
// Touches no race, so it may run on another thread while the race goes on (an office suite
// takes a second or two to start).
using AppStarter = std::function<Result<std::unique_ptr<workbook::SpreadsheetApp>>()>;
Result<OpenedWorkbook> OpenWorkbook(const AppStarter& startApp, const std::filesystem::path& file);

class Race {
public:
    const RaceSetup& setup() const { return setup_; }
    workbook::Workbook* workbook() const { return workbook_.get(); }
    std::optional<workbook::SheetId> raceSheet() const { return sheet_; }

    // Races on `opened` from now on. The set-up stays in force (organisers open the next heat's
    // workbook and go on): the race sheet is the sheet of the sport in force, or with no sport
    // chosen yet the active sheet. A workbook without the sport's sheet is taken all the same,
    // with the sport cleared and no race sheet until a sport is chosen; the error says which
    // sheet is missing. The earlier application and workbook are let go of, not closed.
    Status takeWorkbook(OpenedWorkbook opened);
    // The sheet of the workbook in force called `name`, if there is one.
    std::optional<workbook::SheetId> sheetNamed(const std::string& name) const;
    // The name of the race sheet in force; empty without one.
    std::string raceSheetName() const;
    // Makes the sport's sheet the race sheet. Sport::None keeps the race sheet. A sport whose
    // sheet cannot be taken (missing, damaged, no workbook) is refused with a message naming
    // the sheet, and nothing changes.
    Status chooseSport(Sport sport);
    void chooseHeat(std::string heatNumber);
    // The set-up as it was (restored after a restart); the race sheet is taken with the next
    // workbook.
    void restore(const RaceSetup& setup) { setup_ = setup; }
    void setLapCount(int laps);
    void setMinimumLap(Hundredths minimumLap);
    // Warm-up and recording disarm the start pulse; every choice of the start pulse arms it,
    // unless `pulseGiven` (a set-up restored after the pulse was used).
    void choosePhase(Phase phase, bool pulseGiven = false);

    // What `passing` means now: the transponder looked up in the race sheet, the competitor's
    // row read, and the sport's rules applied by phase, heat and lap counter. Reads the
    // workbook; writes nothing.
    PassingResult judge(const link::Passing& passing) const;
    // The same as it was judged with `setup` on `sheet` (for a passing handled again).
    PassingResult judge(const link::Passing& passing, const RaceSetup& setup,
                        std::optional<workbook::SheetId> sheet) const;
    // What `passing` means for the competitor of race-sheet row `row`, whatever its
    // transponder cell holds (a passing entered by hand for a competitor whose transponder
    // failed or was never given out).
    PassingResult judgeRow(const link::Passing& passing, int row) const;

    // The race-sheet row of the competitor with bib `bib` (column A, compared as the sheet
    // reads it), and the transponder code in that row. NotFound when no row holds the bib.
    struct Competitor {
        int row = 0;
        std::string transponder;
    };
    Result<Competitor> competitorWithBib(std::string_view bib) const;
    // The result's writes were made (`written`) or not: the start pulse is used only once its
    // writes are in the sheet, so a refused pulse stays armed for the next passing.
    void settle(const PassingResult& result, bool written);

private:
    PassingResult judgeAt(const link::Passing& passing, const RaceSetup& setup,
                          workbook::SheetId sheet, int row, PassingResult result) const;
    void lapStep(const SportRules& rules, const RaceSetup& setup,
                 const std::vector<std::string>& cells, PassingResult& result) const;
    void startPulse(const RaceSetup& setup, workbook::SheetId sheet, PassingResult& result) const;

    std::shared_ptr<workbook::SpreadsheetApp> app_;
    std::shared_ptr<workbook::Workbook> workbook_;
    std::optional<workbook::SheetId> sheet_;
    RaceSetup setup_;
};

}  // namespace tivaro::timing
