#include "timing/setup_panel.h"

#include <algorithm>
#include <utility>

namespace tivaro::timing {

namespace {

// The controls as the sport box entry `boxText` (of `rules`, null for none) prepares them.
RaceControls ControlsFor(RaceControls next, const SportRules* rules, const std::string& boxText) {
    next.sportBox.text = boxText;
    next.heatBox.visible = false;
    next.lapSlider.visible = false;
    next.lapSlider.enabled = false;
    next.startPulseOption.enabled = false;
    next.recordOption.enabled = rules != nullptr;
    next.warmupOption.enabled = rules != nullptr;
    if (rules == nullptr) {
        // No sport: the lap prompt keeps its text, the race sheet stays the earlier one.
        next.lapPrompt.visible = false;
        next.warmupOption.caption = "Opwarmen";
    } else {
        next.lapPrompt.visible = true;
        next.warmupOption.caption = rules->warmupCaption;
        next.startPulseOption.enabled = rules->hasStartPulse;
        if (rules->readsLapCount()) {
            // The prompt shows the lap count as it was before the new maximum applies.
            next.lapPrompt.text = "Aantal rondes 1-" + std::to_string(rules->sliderMax) + " : " +
                                  std::to_string(next.lapSlider.value);
            next.lapSlider.maximum = rules->sliderMax;
            next.lapSlider.value = std::min(next.lapSlider.value, next.lapSlider.maximum);
            next.lapSlider.visible = true;
            next.lapSlider.enabled = true;
        } else {
            next.lapPrompt.text = kHeatPrompt;
            next.heatBox.enabled = true;
            next.heatBox.visible = true;
        }
    }
    return next;
}

}  // namespace

SetupPanel::SetupPanel(Race& race) : race_(race) {}

void SetupPanel::changed() {
    if (changed_) {
        changed_();
    }
}

void SetupPanel::record(JournalAction action) {
    if (actionListener_) {
        actionListener_(action);
    }
}

Status SetupPanel::takeWorkbook(OpenedWorkbook opened) {
    Status taken = race_.takeWorkbook(std::move(opened));
    if (const SportRules* rules = RulesOf(race_.setup().sport)) {
        controls_ = ControlsFor(controls_, rules, std::string(rules->boxText));
        controls_.lapSlider.value = race_.setup().lapCount;
        if (rules->readsLapCount()) {
            controls_.lapPrompt.text = "Aantal rondes " + std::to_string(race_.setup().lapCount);
        }
    }
    if (!taken) {
        // The sport box asks for a choice; the phase stays chosen for when one is made.
        controls_.sportBox.text.clear();
        controls_.heatBox.visible = false;
        controls_.lapSlider.visible = false;
        controls_.lapSlider.enabled = false;
        controls_.lapPrompt.visible = false;
    }
    offerSport();
    return taken;
}

void SetupPanel::offerSport() {
    controls_.sportBox.enabled = true;
    controls_.sportBox.visible = true;
    controls_.sportPrompt.visible = true;
    controls_.heatBox.enabled = true;
    changed();
}

Status SetupPanel::chooseSport(const std::string& boxText) {
    const std::optional<Sport> sport = SportOfBoxText(boxText);
    if (!sport) {
        changed();  // not an entry: the box shows the sport in force again
        return {};
    }
    RaceControls next = ControlsFor(controls_, RulesOf(*sport), boxText);
    if (Status chosen = race_.chooseSport(*sport); !chosen) {
        changed();  // the box shows the sport in force again
        return chosen;
    }
    controls_ = std::move(next);
    race_.setLapCount(controls_.lapSlider.value);
    record({.kind = ActionKind::Sport, .text = boxText});
    changed();
    return {};
}

void SetupPanel::chooseHeat(const std::string& boxText) {
    static constexpr std::string_view kHeats[] = {"Heat 1", "Heat 2", "Heat 3", "Heat 4", "Heat 5"};
    for (std::string_view heat : kHeats) {
        if (boxText == heat) {
            controls_.heatBox.text = boxText;
            race_.chooseHeat(std::string(heat.substr(heat.size() - 1)));
            record({.kind = ActionKind::Heat, .text = boxText});
            changed();
            return;
        }
    }
    changed();  // not an entry: the box shows the heat in force again
}

void SetupPanel::moveLapSlider(int value) {
    SliderState& slider = controls_.lapSlider;
    slider.value = std::clamp(value, slider.minimum, slider.maximum);
    race_.setLapCount(slider.value);
    controls_.lapPrompt.text = "Aantal rondes " + std::to_string(slider.value);
    record({.kind = ActionKind::Laps, .number = slider.value});
    changed();
}

void SetupPanel::choosePhase(Phase phase, bool pulseGiven) {
    race_.choosePhase(phase, pulseGiven);
    controls_.selectedPhase = phase;
    if (phase == Phase::Recording) {
        controls_.startPulseOption.enabled = false;
    }
    if (phase != Phase::None) {
        record({.kind = ActionKind::Phase,
                .phase = phase,
                .pulseGiven = pulseGiven && phase == Phase::StartPulse});
    }
    changed();
}

void SetupPanel::restore(const JournalAction& restored) {
    const std::optional<Sport> sport = SportOfBoxText(restored.text);
    const SportRules* rules = sport ? RulesOf(*sport) : nullptr;
    RaceSetup setup;
    setup.sport = rules != nullptr ? rules->sport : Sport::None;
    setup.phase = rules != nullptr ? restored.phase : Phase::None;
    setup.startPulseArmed = setup.phase == Phase::StartPulse && !restored.pulseGiven;
    setup.lapCount = std::clamp(restored.number, 1,
                                rules != nullptr && rules->readsLapCount() ? rules->sliderMax : 5);
    setup.minimumLap = std::max(restored.minimumLap, 0);
    static constexpr std::string_view kHeats[] = {"Heat 1", "Heat 2", "Heat 3", "Heat 4", "Heat 5"};
    for (std::string_view heat : kHeats) {
        if (restored.heat == heat) {
            setup.heat = std::string(heat.substr(heat.size() - 1));
            controls_.heatBox.text = restored.heat;
        }
    }
    race_.restore(setup);
    controls_.lapSlider.value = setup.lapCount;
    if (rules != nullptr) {
        // Shown once a workbook is open; chosen already.
        const bool open = controls_.sportBox.visible;
        controls_ = ControlsFor(controls_, rules, restored.text);
        controls_.sportBox.visible = open;
        controls_.sportPrompt.visible = open;
        controls_.heatBox.visible = open && controls_.heatBox.visible;
        controls_.lapSlider.visible = open && controls_.lapSlider.visible;
        controls_.lapPrompt.visible = open;
        if (rules->readsLapCount()) {
            controls_.lapPrompt.text = "Aantal rondes " + std::to_string(setup.lapCount);
        }
    }
    controls_.selectedPhase = setup.phase;
    controls_.minimumLap = setup.minimumLap;
    JournalAction action = restored;
    action.kind = ActionKind::Restore;
    action.line = 0;
    action.text = rules != nullptr ? std::string(rules->boxText) : std::string();
    action.number = setup.lapCount;
    action.phase = setup.phase;
    action.minimumLap = static_cast<int>(setup.minimumLap);
    record(std::move(action));
    changed();
}

void SetupPanel::setMinimumLap(std::int64_t hundredths) {
    hundredths = std::max<std::int64_t>(hundredths, 0);
    race_.setMinimumLap(hundredths);
    controls_.minimumLap = hundredths;
    record({.kind = ActionKind::MinimumLap, .number = static_cast<int>(hundredths)});
    changed();
}

}  // namespace tivaro::timing
