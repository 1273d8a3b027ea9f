#include "timing/setup_panel.h"

#include <algorithm>
#include <utility>

namespace tivaro::timing {

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

void SetupPanel::takeWorkbook(OpenedWorkbook opened) {
    race_.takeWorkbook(std::move(opened));
    offerSport();
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
    const SportRules* rules = RulesOf(*sport);

    RaceControls next = controls_;
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

void SetupPanel::setMinimumLap(std::int64_t hundredths) {
    hundredths = std::max<std::int64_t>(hundredths, 0);
    race_.setMinimumLap(hundredths);
    controls_.minimumLap = hundredths;
    record({.kind = ActionKind::MinimumLap, .number = static_cast<int>(hundredths)});
    changed();
}

}  // namespace tivaro::timing
