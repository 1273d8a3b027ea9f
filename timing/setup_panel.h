#pragma once
// The race set-up frame ("Wedstrijd informatie") without widgets: opening the race workbook,
// choosing sport and heat, the lap slider and the phase options. Each operation does what the
// control does when a person uses it: it changes the race's set-up and brings the controls
// model in line, so the window only has to show it. The replay drives the same panel, so a
// replayed race is set up exactly as the window sets it up.
//
// After any change of the controls the change listener runs. Every choice that took effect is
// also told to the action listener, as the journal action that makes it again.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "common/result.h"
#include "timing/journal_action.h"
#include "timing/race.h"
#include "timing/race_controls.h"

namespace tivaro::timing {

class SetupPanel {
public:
    // `race` must outlive the panel.
    explicit SetupPanel(Race& race);

    const RaceControls& controls() const { return controls_; }
    void setChangeListener(std::function<void()> listener) { changed_ = std::move(listener); }
    void setActionListener(std::function<void(const JournalAction&)> listener) {
        actionListener_ = std::move(listener);
    }

    // A workbook was opened (OpenWorkbook): the race takes it and the sport box is offered.
    // The sport in force stays, on the new workbook's sheet of that sport; when that sheet is
    // missing, the sport is cleared and the box asks for a choice (the error says so).
    Status takeWorkbook(OpenedWorkbook opened);

    // An entry of the sport box was selected ("Schaatsen", "Lopen", "Fietsen", or the empty
    // text for none): prepares heat box, lap prompt, slider and phase options for the sport
    // and makes its sheet the race sheet. Any other text changes nothing. A sport whose sheet
    // cannot be taken is refused with an error naming the sheet; the box then shows the sport
    // in force again and nothing else changes.
    Status chooseSport(const std::string& boxText);

    // An entry of the heat box was selected: "Heat 1" to "Heat 5" set the heat; other texts
    // change nothing.
    void chooseHeat(const std::string& boxText);

    // The lap slider was moved to `value` (kept within its range as a slider keeps it); the
    // lap prompt shows the new lap count.
    void moveLapSlider(int value);

    // A phase option was chosen (also the one already chosen: the start pulse is armed again,
    // unless `pulseGiven`: a set-up restored after its pulse was used).
    void choosePhase(Phase phase, bool pulseGiven = false);

    // A set-up restored at start (a `restore` action: sport and heat box texts, lap count,
    // phase, minimum lap time), before any workbook is open: it takes effect on the race sheet
    // of the workbook opened next. Texts that are no entry are left out.
    void restore(const JournalAction& restored);

    // The minimum lap time was set to `hundredths` (0: off; below 0 counts as 0).
    void setMinimumLap(std::int64_t hundredths);

private:
    void changed();
    void record(JournalAction action);
    void offerSport();  // a workbook is open: the sport box is offered

    Race& race_;
    RaceControls controls_;
    std::function<void()> changed_;
    std::function<void(const JournalAction&)> actionListener_;
};

}  // namespace tivaro::timing
