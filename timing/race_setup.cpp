#include "timing/race_setup.h"

#include <algorithm>
#include <utility>

#include "timing/sports.h"

namespace tivaro::timing {

namespace {

Error Prefixed(std::string prefix, const Error& cause) {
    return MakeError(cause.code, std::move(prefix) + cause.message);
}

}  // namespace

RaceSetup::RaceSetup(RaceState& state, AppStarter startApp)
    : state_(state), startApp_(std::move(startApp)) {}

void RaceSetup::Changed() {
    if (changed_) {
        changed_();
    }
}

Status RaceSetup::Command1_Click(const std::filesystem::path& file) {
    const std::string what = "cannot open the race workbook " + file.string() + ": ";
    if (!startApp_) {
        return MakeError(Errc::Failed, what + "no spreadsheet application is available");
    }
    Result<std::unique_ptr<workbook::SpreadsheetApp>> app = startApp_();
    if (!app) {
        return Prefixed(what, app.error());
    }
    if (Status shown = (*app)->show(); !shown) {
        return Prefixed(what, shown.error());
    }
    Result<std::unique_ptr<workbook::Workbook>> opened = (*app)->open(file);
    if (!opened) {
        return Prefixed(what, opened.error());
    }
    Result<workbook::SheetId> active = (*opened)->activeSheet();
    if (!active) {
        return Prefixed(what, active.error());
    }

    // The earlier application and workbook are let go of, not closed.
    state_.excelApp = std::move(*app);
    state_.raceWorkbook = std::move(*opened);
    state_.raceSheet = *active;

    controls_.sportBox.enabled = true;
    controls_.sportBox.visible = true;
    controls_.sportPrompt.visible = true;
    controls_.heatBox.enabled = true;
    Changed();
    return {};
}

void RaceSetup::setSportText(std::string text) {
    controls_.sportBox.text = std::move(text);
    Changed();
}

Status RaceSetup::Combo1_Click() {
    const std::string& text = controls_.sportBox.text;
    const Sport* sport = FindSport(text);
    if (sport == nullptr && !text.empty()) {
        return {};
    }

    RaceControls next = controls_;
    next.heatBox.visible = false;
    next.lapSlider.visible = false;
    next.lapSlider.enabled = false;
    next.startPulseOption.enabled = false;
    next.recordOption.enabled = sport != nullptr;
    next.warmupOption.enabled = sport != nullptr;

    if (sport == nullptr) {
        // No sport: the lap prompt keeps its text, the race sheet stays the earlier one.
        next.lapPrompt.visible = false;
        next.warmupOption.caption = "Opwarmen";
        controls_ = std::move(next);
        sportInForce_.clear();
        Changed();
        return {};
    }

    next.lapPrompt.visible = true;
    next.warmupOption.caption = sport->warmupCaption;
    next.startPulseOption.enabled = sport->hasStartPulse;
    if (sport->readsLapCount()) {
        // The prompt shows the lap count as it was before the new maximum applies.
        next.lapPrompt.text = "Aantal rondes 1-" + std::to_string(sport->sliderMax) + " : " +
                              std::to_string(next.lapSlider.value);
        next.lapSlider.maximum = sport->sliderMax;
        next.lapSlider.value = std::min(next.lapSlider.value, next.lapSlider.maximum);
        next.lapSlider.visible = true;
        next.lapSlider.enabled = true;
    } else {
        next.lapPrompt.text = kHeatPrompt;
        next.heatBox.enabled = true;
        next.heatBox.visible = true;
    }

    // The sport's sheet is activated first; the race sheet is then the active sheet. A sport
    // whose sheet cannot be taken is refused as a whole: the box shows the sport in force
    // again and nothing of the set-up changes.
    const std::string what = "De sport " + text + " is niet gekozen: het blad \"" +
                             std::string(sport->sheetName) + "\" ";
    const auto refuse = [&](Error error) -> Status {
        controls_.sportBox.text = sportInForce_;
        Changed();
        return error;
    };
    if (!state_.raceWorkbook) {
        return refuse(MakeError(Errc::Closed, what + "is niet te openen, want er is geen "
                                                     "wedstrijdwerkboek open. Open eerst het "
                                                     "werkboek."));
    }
    if (Status activated = state_.raceWorkbook->activate(sport->sheetName); !activated) {
        if (activated.error().code == Errc::NoSuchSheet) {
            return refuse(
                MakeError(Errc::NoSuchSheet, what +
                                                 "ontbreekt in het werkboek. Voeg het blad toe of "
                                                 "kies een andere sport. (" +
                                                 activated.error().message + ")"));
        }
        return refuse(Prefixed(what + "is niet te gebruiken: ", activated.error()));
    }
    Result<workbook::SheetId> active = state_.raceWorkbook->activeSheet();
    if (!active) {
        return refuse(Prefixed(what + "is niet te gebruiken: ", active.error()));
    }
    state_.raceSheet = *active;
    controls_ = std::move(next);
    sportInForce_ = text;
    Changed();
    return {};
}

void RaceSetup::setHeatText(std::string text) {
    controls_.heatBox.text = std::move(text);
    Changed();
}

void RaceSetup::Combo2_Click() {
    static constexpr std::string_view kHeats[] = {"Heat 1", "Heat 2", "Heat 3", "Heat 4", "Heat 5"};
    for (std::string_view heat : kHeats) {
        if (controls_.heatBox.text == heat) {
            state_.heatNumber = std::string(heat.substr(heat.size() - 1));
            Changed();
            return;
        }
    }
}

void RaceSetup::setLapCount(int value) {
    SliderState& slider = controls_.lapSlider;
    slider.value = std::clamp(value, slider.minimum, slider.maximum);
    Changed();
}

void RaceSetup::Slider1_Change() {
    controls_.lapPrompt.text = "Aantal rondes " + std::to_string(controls_.lapSlider.value);
    Changed();
}

void RaceSetup::fase_opwarmen_Click() {
    state_.phase = 1;
    state_.startPulsePending = false;
    controls_.selectedPhase = PhaseOption::Warmup;
    Changed();
}

void RaceSetup::fase_startschot_Click() {
    state_.phase = 2;
    state_.startPulsePending = true;
    controls_.selectedPhase = PhaseOption::StartPulse;
    Changed();
}

void RaceSetup::fase_opnemen_Click() {
    state_.phase = 3;
    state_.startPulsePending = false;
    controls_.selectedPhase = PhaseOption::Record;
    controls_.startPulseOption.enabled = false;
    Changed();
}

}  // namespace tivaro::timing
