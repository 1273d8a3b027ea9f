#pragma once
// The scenario of a replayed race: one action per line, each naming a control of the race
// window or a decoder input.
//
//   open PATH                 the open button, PATH chosen (relative to the scenario's folder)
//   sport TEXT                the sport box shows TEXT (possibly empty); its selection runs
//   heat TEXT                 the heat box shows TEXT; its selection runs
//   laps N                    the lap slider moves to N; its notification runs
//   phase warmup|pulse|record that phase option is chosen
//   decoder binary|older      that decoder generation is chosen
//   serial HEX... / tcp HEX...   bytes arriving in one receive event on that link
//   serial-text TEXT / tcp-text TEXT   characters arriving; \r \n \t \\ \xHH are escapes
//   passing CODE TIME         a passing handed straight to the passing handler
//   manual BIB TIME           a passing entered by hand for the competitor with that bib
//   undo BIB                  that competitor's latest recorded lap step is taken back
//   min-lap SECONDS           the minimum lap time (0: off), e.g. 2.5
//   reconnect [serial|tcp]    that link (without one: the link of the last serial or tcp
//                             action) drops and is made again
//
// A line whose first non-blank character is '#' is a comment; blank lines are skipped. TEXT
// is everything after the single space that follows the action's name, taken as it is. A line
// may end in CR LF.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "link/passing.h"
#include "timing/sports.h"

namespace tivaro::replay {

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
};

struct Action {
    ActionKind kind = ActionKind::Open;
    int line = 0;      // 1-based line of the scenario
    std::string text;  // open: path; sport, heat: text; passing: code; manual, undo: bib
    std::string time;  // passing, manual: time text
    int number = 0;    // laps; min-lap: hundredths of a second
    std::optional<link::LinkKind> link;           // reconnect: the link named
    timing::Phase phase = timing::Phase::Warmup;  // phase
    link::DecoderGeneration generation = link::DecoderGeneration::Binary;  // decoder
    std::vector<std::uint8_t> bytes;  // serial, tcp (also the -text forms)
};

// Every action of `scenario`, or an error "line N: reason" for the first malformed line.
Result<std::vector<Action>> ParseScenario(std::string_view scenario);

}  // namespace tivaro::replay
