#include "timing/sports.h"

#include "timing/colours.h"

namespace tivaro::timing {

namespace {

// The counter as a number: 0 for the empty cell, k for the plain digits of 1..lastLapMark
// (no sign, no leading zero); nothing for "x" or any other text.
std::optional<int> CounterValue(std::string_view counter, int lastLapMark) {
    if (counter.empty()) {
        return 0;
    }
    if (counter.size() > 2 || counter.front() == '0') {
        return std::nullopt;
    }
    int value = 0;
    for (char c : counter) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (value > lastLapMark) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

const SportRules* RulesOf(Sport sport) {
    for (const SportRules& rules : kSports) {
        if (rules.sport == sport) {
            return &rules;
        }
    }
    return nullptr;
}

std::optional<Sport> SportOfBoxText(std::string_view boxText) {
    if (boxText.empty()) {
        return Sport::None;
    }
    for (const SportRules& rules : kSports) {
        if (rules.boxText == boxText) {
            return rules.sport;
        }
    }
    return std::nullopt;
}

LapStep DecideLapStep(const SportRules& sport, std::string_view counter, int lapCount) {
    LapStep step;
    if (counter == kFinishedMark) {
        step.passType = sport.coolDownName;
        step.colour = kLightYellow;
        return step;
    }
    const std::optional<int> value = CounterValue(counter, sport.lastLapMark);
    if (!value) {
        step.passType = "Opwarmen";
        step.colour = kYellow;
        return step;
    }
    const int k = *value;
    step.timeColumn = kStartColumn + k;
    step.colourCell = true;
    if (k == sport.lastLapMark) {
        step.newCounter = kFinishedMark;
        step.passType = "Finish";
        step.colour = kOrange;
        return step;
    }
    // The lap about to start is the last one when it reaches the lap count or the mark.
    const int next = k + 1;
    const bool lastLap = next == sport.lastLapMark || (sport.readsLapCount() && next == lapCount);
    step.newCounter = std::to_string(lastLap ? sport.lastLapMark : next);
    if (k == 0) {
        step.passType = "Start";
        step.colour = kGreen;
    } else {
        step.passType = "Doork " + std::to_string(k);
        step.colour = kYellow;
        step.colourCell = k < sport.firstUncolouredLap || k > sport.lastUncolouredLap;
    }
    return step;
}

std::string StartPulseCounter(const SportRules& sport, int lapCount) {
    return lapCount == 1 ? std::to_string(sport.lastLapMark) : std::string("1");
}

}  // namespace tivaro::timing
