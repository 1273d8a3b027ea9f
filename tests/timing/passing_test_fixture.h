#pragma once
// A race on the fake workbook: race state after start-up, controls, passing list and handler,
// with the coupling log in a scratch directory and every notice collected.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/state/start_up.h"
#include "race_book.h"
#include "timing/passing_handler.h"

namespace tivaro::testing {

class PassingFixture : public ::testing::Test {
protected:
    PassingFixture() {
        ApplyStartUpValues(state, dir.path());
        auto made = MakeRaceBook();
        book = made.get();
        state.raceWorkbook = std::move(made);
        state.raceSheet = book->sheetId("schaats");
        timing::PassingEvents events;
        events.notice = [this](const Error& e) { notices.push_back(e.message); };
        events.logged = [this](const std::string& line) { logged.push_back(line); };
        events.workbookChanged = [this] { ++changes; };
        handler = std::make_unique<timing::PassingHandler>(state, controls, list, events);
    }

    // The sport box shows `sport` with its sheet as the race sheet, in `phase`.
    void Race(const std::string& sport, int phase, int laps = 1) {
        controls.sportBox.text = sport;
        if (const timing::Sport* s = timing::FindSport(sport)) {
            state.raceSheet = book->sheetId(s->sheetName);
        }
        state.phase = static_cast<std::int16_t>(phase);
        controls.lapSlider.value = laps;
    }

    // Hands one passing to the handler; gives its name.
    std::string Pass(const std::string& code, const std::string& time = "10:0:1.00") {
        state.transponder = code;
        state.passTime = time;
        handler->HandlePassing();
        return state.passType;
    }

    std::string Cell(const char* sheet, int row, int column) const {
        return book->cellText(sheet, row, column);
    }
    std::string Log() const { return ReadFile(state.couplingLogPath); }

    ScratchDir dir;
    RaceState state;
    timing::RaceControls controls;
    timing::PassingList list;
    FakeWorkbook* book = nullptr;
    std::unique_ptr<timing::PassingHandler> handler;
    std::vector<std::string> notices;
    std::vector<std::string> logged;
    int changes = 0;
};

}  // namespace tivaro::testing
