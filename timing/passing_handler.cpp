#include "timing/passing_handler.h"

#include <cmath>
#include <cstdint>
#include <utility>

#include "common/line_log.h"
#include "timing/colours.h"

namespace tivaro::timing {

namespace {

inline constexpr int kFirstCompetitorRow = 3;
inline constexpr int kLastCompetitorRow = 200;

std::string CellName(int column, int row) {
    std::string name;
    for (int c = column; c > 0; c = (c - 1) / 26) {
        name.insert(name.begin(), static_cast<char>('A' + (c - 1) % 26));
    }
    return name + std::to_string(row);
}

}  // namespace

PassingHandler::PassingHandler(RaceState& state, const RaceControls& controls, PassingList& list,
                               PassingEvents events)
    : state_(state), controls_(controls), list_(list), events_(std::move(events)) {}

void PassingHandler::HandlePassing() {
    wroteWorkbook_ = false;
    LookUpTransponder();
    if (!state_.transponderFound) {
        state_.passColour = kWhite;
        state_.passType = "Onbekend";
        ShowPassing();
        return;
    }

    state_.lapCountText.clear();
    state_.passColour = kLightCyan;
    state_.passType = "Opwarmen";
    // Every sport text other than the three, and every phase without a rule of its own,
    // leaves the passing a warm-up that writes nothing.
    const Sport* sport = FindSport(controls_.sportBox.text);
    if (sport == &kSkating) {
        HandleSkating();
    } else if (sport == &kRunning && state_.phase == 2) {
        HandleStartPulse();
    } else if (sport != nullptr && sport != &kSkating && state_.phase == 3) {
        HandleLapStep(*sport);
    }
    ShowPassing();
    if (wroteWorkbook_ && events_.workbookChanged) {
        events_.workbookChanged();
    }
}

void PassingHandler::LookUpTransponder() {
    const auto notFound = [this] {
        state_.bibNumber.clear();
        state_.transponderFound = false;
    };
    if (!state_.raceWorkbook || !state_.raceSheet) {
        notFound();
        return;
    }
    workbook::Workbook& book = *state_.raceWorkbook;
    Result<int> position = book.find(*state_.raceSheet, kTransponderBlock, state_.transponder);
    const int lastPosition = kLastCompetitorRow - kFirstCompetitorRow + 1;
    if (!position || *position < 1 || *position > lastPosition) {
        notFound();
        return;
    }
    state_.competitorRow = static_cast<std::int16_t>(*position + kFirstCompetitorRow - 1);
    Result<std::string> bib = book.readCell(*state_.raceSheet, state_.competitorRow, kBibColumn);
    if (!bib) {
        notFound();
        return;
    }
    state_.bibNumber = std::move(*bib);
    state_.transponderFound = true;
}

void PassingHandler::HandleSkating() {
    // Only the chosen heat is timed, and only while recording; everyone else warms up.
    if (state_.phase == 3) {
        std::string heat;
        if (!ReadCell(kHeatColumn, heat, "read the heat")) {
            return;
        }
        if (heat == state_.heatNumber) {
            HandleLapStep(kSkating);
            return;
        }
    }
    std::string counter;
    if (!ReadCell(kCounterColumn, counter, "read the lap counter")) {
        return;
    }
    if (counter == kFinishedMark) {
        state_.passType = kSkating.coolDownName;
        state_.passColour = kLightYellow;
    } else {
        state_.colourCellPending = true;
    }
}

void PassingHandler::HandleStartPulse() {
    bool recorded = true;
    if (state_.startPulsePending) {
        state_.passType = "Start!!";
        // Every row gets the common start time and its first lap, competitor or not.
        const std::string counter = StartPulseCounter(kRunning, controls_.lapSlider.value);
        recorded = WriteBlock(kStartTimeBlock, state_.passTime, "write the common start time") &&
                   WriteBlock(kCounterBlock, counter, "write the lap counters");
        if (recorded) {
            state_.startPulsePending = false;
        } else if (events_.notice) {
            // Nothing of the pulse may be lost: the next passing tries it again.
            events_.notice(MakeError(
                Errc::Failed, "De startpuls van " + state_.passTime +
                                  " staat niet in het werkboek; de startpuls blijft klaarstaan "
                                  "voor de volgende passering."));
        }
    } else {
        state_.passType = "Na Start puls";
    }
    state_.passColour = kGreen;
    state_.colourCellPending = recorded;
}

void PassingHandler::HandleLapStep(const Sport& sport) {
    if (!ReadCell(kCounterColumn, state_.lapCountText, "read the lap counter")) {
        return;
    }
    state_.passColour = kYellow;
    const LapStep step = DecideLapStep(sport, state_.lapCountText, controls_.lapSlider.value);
    bool recorded = true;
    if (step.timeColumn > 0) {
        // The time first, then the counter: a counter never runs ahead of its time.
        recorded = WriteCell(step.timeColumn, state_.passTime, "write the passing time") &&
                   WriteCell(kCounterColumn, step.newCounter, "write the lap counter");
    }
    state_.passType = step.passType;
    state_.passColour = step.colour;
    if (step.colourCell && recorded) {
        state_.colourCellPending = true;
    }
}

void PassingHandler::ShowPassing() {
    std::string& line = state_.logLine;
    line.clear();
    line.reserve(state_.transponder.size() + state_.bibNumber.size() + state_.passTime.size() +
                 state_.passType.size() + 4);
    line.append(state_.transponder).append("\t").append(state_.bibNumber).append(" \t");
    line.append(state_.passTime).append("\t").append(state_.passType);

    const auto colour = static_cast<std::uint32_t>(std::llround(state_.passColour));
    list_.add(PassingRow{state_.transponder, state_.bibNumber + " ", state_.passTime,
                         state_.passType, colour});

    if (state_.colourCellPending) {
        state_.colourCellPending = false;
        const std::string cell = CellName(kBibColumn, state_.competitorRow);
        if (!state_.raceWorkbook || !state_.raceSheet) {
            Report("colour the bib cell " + cell,
                   MakeError(Errc::Closed, "no race workbook is open"));
        } else if (Status coloured = state_.raceWorkbook->colourCell(
                       *state_.raceSheet, state_.competitorRow, kBibColumn, colour);
                   !coloured) {
            Report("colour the bib cell " + cell, coloured.error());
        } else {
            wroteWorkbook_ = true;
        }
    }

    // An empty log path keeps no coupling log.
    if (!state_.couplingLogPath.empty()) {
        if (Status appended = AppendLogLine(state_.couplingLogPath, line); !appended) {
            Report("append the passing to the coupling log", appended.error());
        }
    }
    if (events_.logged) {
        events_.logged(line);
    }
}

bool PassingHandler::ReadCell(int column, std::string& text, std::string_view what) {
    Result<std::string> value =
        state_.raceWorkbook->readCell(*state_.raceSheet, state_.competitorRow, column);
    if (!value) {
        Report(std::string(what) + " " + CellName(column, state_.competitorRow), value.error());
        return false;
    }
    text = std::move(*value);
    return true;
}

bool PassingHandler::WriteCell(int column, std::string_view text, std::string_view what) {
    Status written =
        state_.raceWorkbook->writeCell(*state_.raceSheet, state_.competitorRow, column, text);
    if (!written) {
        Report(std::string(what) + " " + CellName(column, state_.competitorRow), written.error());
        return false;
    }
    wroteWorkbook_ = true;
    return true;
}

bool PassingHandler::WriteBlock(std::string_view block, std::string_view text,
                                std::string_view what) {
    Status written = state_.raceWorkbook->writeRange(*state_.raceSheet, block, text);
    if (!written) {
        Report(std::string(what) + " " + std::string(block), written.error());
        return false;
    }
    wroteWorkbook_ = true;
    return true;
}

void PassingHandler::Report(std::string_view what, const Error& cause) {
    if (!events_.notice) {
        return;
    }
    std::string message = "passing of " + state_.transponder + " at " + state_.passTime;
    if (state_.transponderFound) {
        message +=
            ", row " + std::to_string(state_.competitorRow) + " (bib " + state_.bibNumber + ")";
    }
    message += ": cannot " + std::string(what) + ": " + cause.message;
    events_.notice(MakeError(cause.code, std::move(message)));
}

}  // namespace tivaro::timing
