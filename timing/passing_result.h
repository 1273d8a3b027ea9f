#pragma once
// What one passing means for the race: who made it, what it is called and in which colour it
// is shown, and what it writes into the race sheet. The race decides it (race.h); the writes
// are applied to the workbook apart from the decision (sheet_writes.h), so that the decision
// can be looked at, logged, journaled and taken back.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "link/passing.h"
#include "timing/colours.h"

namespace tivaro::timing {

// One text written into a column of the race sheet, over rows firstRow..lastRow (one cell
// when they are equal).
struct SheetWrite {
    int firstRow = 0;
    int lastRow = 0;
    int column = 0;
    std::string text;
    std::string_view what;  // what the text is, for messages ("de passeertijd")

    bool operator==(const SheetWrite&) const = default;
};

// The name of a passing whose record or line failed its checksum: shown and logged, never
// written.
inline constexpr const char* kChecksumFailedName = "Controlesom fout";

// The name of a passing that waits for the workbook (none open yet, the race sheet missing,
// the spreadsheet stopped): shown and logged now, written once the workbook can be.
inline constexpr const char* kWaitingName = "Wacht op werkboek";
// The name of a waiting passing the organiser chose not to fill in.
inline constexpr const char* kNotFilledInName = "Niet ingevuld";

// Where a passing came from.
enum class PassingSource {
    Decoder,    // the decoder's link
    Hand,       // typed in by the timer
    Reapplied,  // handled again after the workbook came back
};

struct PassingResult {
    link::Passing passing;
    PassingSource source = PassingSource::Decoder;
    bool found = false;  // the transponder is in the race sheet
    int row = 0;         // the competitor's row, when found
    std::string bib;     // the competitor's bib number (column A); empty when not found
    std::string name;    // "Onbekend", "Opwarmen", "Start", "Doork 3", "Finish", ...
    std::uint32_t colour = kWhite;
    bool colourBibCell = false;      // the bib cell takes `colour` once the writes are done
    std::vector<SheetWrite> writes;  // in order: a time before its counter
    std::string counterBefore;       // the lap counter as the lap step read it
    bool startPulse = false;         // gives the common start: uses the pulse once written
    // The workbook could not be read for this passing (not: the transponder is unknown).
    std::optional<Error> problem;
    // Set when this result takes back an earlier passing: that passing's place in the passing
    // list (in order of arrival). Its writes clear the time and put the counter back.
    std::optional<std::size_t> takesBack;
};

// A lap step that moved the competitor on: a time and the new counter in the competitor's own
// row (not the common start, which writes every row).
inline bool IsLapStep(const PassingResult& result) {
    return !result.startPulse && !result.takesBack && result.writes.size() == 2 &&
           result.writes[0].firstRow == result.writes[0].lastRow;
}

}  // namespace tivaro::timing
