#pragma once
// What one passing means for the competitor who made it.
//
// HandlePassing looks the transponder up in the race sheet, decides by sport, phase, heat and
// the competitor's lap counter what the passing is ("Start", "Doork 3", "Finish", ...),
// writes its time and the new counter into the competitor's row, and ends with ShowPassing:
// one row at the top of the passing list, the bib cell coloured when the passing asks for
// it, and one line appended to the coupling log.
//
// Failures outside the lookup never stop a passing. A worksheet read or write that fails ends
// the worksheet work of that passing (the remaining writes and the bib-cell colouring are
// left out); the passing is still shown and logged under the name it was given, and a notice
// says what failed for which competitor row. A coupling log that cannot be written is
// reported the same way after the passing was handled and shown.

#include <functional>
#include <string>
#include <string_view>

#include "app/state/race_state.h"
#include "common/result.h"
#include "link/receive_path.h"
#include "timing/passing_list.h"
#include "timing/race_controls.h"
#include "timing/sports.h"

namespace tivaro::timing {

struct PassingEvents {
    // A failure a person should hear about (the window's status line).
    std::function<void(const Error&)> notice;
    // A passing's line, right after it was appended to the coupling log (or failed to be).
    std::function<void(const std::string& logLine)> logged;
    // The passing wrote into the workbook; runs once per passing, after the line is logged.
    std::function<void()> workbookChanged;
};

class PassingHandler final : public link::PassingSink {
public:
    // All references must outlive the handler. The controls give the sport box's text and
    // the lap slider's value at the moment of each passing.
    PassingHandler(RaceState& state, const RaceControls& controls, PassingList& list,
                   PassingEvents events = {});

    // Handles the passing in the race state's `transponder` and `passTime`.
    void HandlePassing() override;

    // Finds `transponder` in the race sheet's transponder block. Sets `transponderFound`,
    // `competitorRow` and `bibNumber`; any failure means not found, and is not reported.
    void LookUpTransponder();

    // Shows and logs the passing named by `passType` and `passColour`; colours the bib cell
    // when `colourCellPending` is set, and clears it.
    void ShowPassing();

private:
    void HandleSkating();
    void HandleStartPulse();
    void HandleLapStep(const Sport& sport);

    // Worksheet operations on the competitor's row; a failure is reported and gives false.
    bool ReadCell(int column, std::string& text, std::string_view what);
    bool WriteCell(int column, std::string_view text, std::string_view what);
    bool WriteBlock(std::string_view block, std::string_view text, std::string_view what);
    void Report(std::string_view what, const Error& cause);

    RaceState& state_;
    const RaceControls& controls_;
    PassingList& list_;
    PassingEvents events_;
    bool wroteWorkbook_ = false;
};

}  // namespace tivaro::timing
