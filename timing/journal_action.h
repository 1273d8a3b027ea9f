#pragma once
// The lines of a race journal, which is also the scenario format of tivaro-replay: one action
// of the race a line, each naming a control of the race window or a decoder input.
//
//   open PATH                 the open button, PATH chosen (relative to the journal's folder)
//   sport TEXT                the sport box shows TEXT (possibly empty); its selection runs
//   heat TEXT                 the heat box shows TEXT; its selection runs
//   laps N                    the lap slider moves to N; its notification runs
//   phase warmup|pulse|record that phase option is chosen; "pulse-given" chooses the start
//                             pulse with the pulse already used (a set-up restored)
//   decoder binary|older      that decoder generation is chosen
//   serial HEX... / tcp HEX...   bytes arriving in one receive event on that link
//   serial-text TEXT / tcp-text TEXT   the same as characters; \r \n \t \\ \xHH are escapes
//   passing CODE TIME         a passing handed straight to the passing handler
//   manual BIB TIME           a passing entered by hand for the competitor with that bib
//   undo BIB                  that competitor's latest recorded lap step is taken back
//   min-lap SECONDS           the minimum lap time (0: off), e.g. 2.5
//   reconnect [serial|tcp]    that link (without one: the link of the last serial or tcp
//                             action) drops and is made again
//   fill-in yes|no            the answer to the offer to fill in the passings that came
//                             while no race sheet could be written
//   restore SPORT;HEAT;LAPS;PHASE;MIN-LAP   a set-up restored at start, before any workbook is
//                             open: the sport and heat box texts, the lap count, the phase word
//                             (as for phase, or empty) and the minimum lap time in seconds
//   end                       the race session ended (the window closed with no race running)
//
// A line whose first non-blank character is '#' is a comment; blank lines are skipped. TEXT
// is everything after the single space that follows the action's name, taken as it is. A line
// may end in CR LF. A journal starts with its version line ("#tivaro-journaal 2"); a journal
// without one is of version 1 and reads the same.
//
// FormatAction and ParseJournal are each other's inverse: every action formats to one line
// that parses back to the same action.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "link/passing.h"
#include "timing/sports.h"

namespace tivaro::timing {

inline constexpr int kJournalVersion = 2;

enum class ActionKind {
    Open,
    Sport,
    Heat,
    Laps,
    Phase,
    Decoder,
    Serial,
    Tcp,
    Passing,
    Manual,
    Undo,
    MinimumLap,
    Reconnect,
    FillIn,
    Restore,
    End,
};

struct JournalAction {
    ActionKind kind = ActionKind::Open;
    int line = 0;      // 1-based line it was read from; 0 for an action made in the program
    std::string text;  // open: path; sport, heat: text; passing: code; manual, undo: bib
    std::string time;  // passing, manual: time text
    int number = 0;    // laps; min-lap: hundredths of a second
    std::optional<link::LinkKind> link;  // reconnect
    Phase phase = Phase::Warmup;         // phase
    bool pulseGiven = false;  // phase: the start pulse is chosen with its pulse already used
    bool yes = false;         // fill-in: the answer
    std::string heat;         // restore: the heat box text
    int minimumLap = 0;       // restore: hundredths of a second
    link::DecoderGeneration generation = link::DecoderGeneration::Binary;  // decoder
    std::vector<std::uint8_t> bytes;                                       // serial, tcp
    bool asText = false;  // serial, tcp: written as -text (older decoders' lines)

    bool operator==(const JournalAction&) const = default;
};

// The action of decoder bytes that arrived on `link`: as text when an older decoder sent them
// and they are mostly printable, else as hexadecimal bytes.
JournalAction BytesAction(link::LinkKind link, link::DecoderGeneration generation,
                          std::span<const std::uint8_t> bytes);

// The line that does `action` again (without line end).
std::string FormatAction(const JournalAction& action);

// The version line a journal starts with.
std::string JournalVersionLine();

struct ParsedJournal {
    int version = 1;  // 1: written before journals had a version line
    std::vector<JournalAction> actions;
    // The lines that could not be read, in order: "regel N: ..." with the reason. The actions
    // of the other lines are read all the same.
    std::vector<Error> damaged;
};

ParsedJournal ParseJournal(std::string_view text);

// "serial" or "tcp".
const char* LinkName(link::LinkKind link);

}  // namespace tivaro::timing
