#pragma once
// The race state: all working data of one run, shared by every handler on the window's
// thread. It is created with the window, set up at start-up and dropped when the window
// closes; nothing of it is saved.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "workbook/workbook.h"

namespace tivaro {

struct RaceState {
    // --- The passing being handled (filled anew for every passing) ---
    std::string transponder;         // transponder code: the lookup key, first grid column
    std::string passTime;            // time of day, "h:m:s.hh"
    bool transponderFound = false;   // the last lookup found the transponder
    std::int16_t competitorRow = 0;  // worksheet row of the found transponder
    std::string bibNumber;           // column A of competitorRow; empty when not found
    std::string lapCountText;        // the lap counter cell as read before its update
    std::string passType;            // name of the passing ("Start", "Doork 1", "Finish", ...)
    double passColour = 0;           // R + 256·G + 65536·B, held as a double
    bool colourCellPending = false;  // the next display also colours the bib cell
    std::string logLine;             // the tab-separated grid and coupling-log line

    // --- Race set-up ---
    std::int16_t phase = 0;          // 0 none yet, 1 warm-up, 2 start pulse, 3 recording
    bool startPulsePending = false;  // phase 2: the next passing is the common start
    std::string heatNumber;          // "1".."5"; empty until a heat is chosen
    std::shared_ptr<workbook::SpreadsheetApp> excelApp;
    std::shared_ptr<workbook::Workbook> raceWorkbook;
    std::optional<workbook::SheetId> raceSheet;  // the sheet passings go to

    // --- Decoder link and records ---
    bool binaryDecoder = false;           // true: binary records; false: older text lines
    std::vector<std::uint8_t> rawRecord;  // the record being received, still escaped
    std::vector<std::uint8_t> record;     // unescaped; index 0 holds 0, not a record byte
    bool passingDecoded = false;          // a decoded passing waits to be handed on
    std::uint64_t passingTimeMicros = 0;  // passing time of the last decoded record
    std::string recordTransponder;        // transponder code of the last decoded record
    std::string serialTextLine;           // older decoders, serial: the line being collected
    std::string tcpTextRemainder;         // older decoders, TCP: unfinished end of an arrival

    // --- Files: the two logs in the data directory (an empty path writes no log) ---
    std::string rawLogPath;
    std::string couplingLogPath;
};

}  // namespace tivaro
