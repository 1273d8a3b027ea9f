#pragma once
// The race set-up controls as plain values: what the window shows in its "Wedstrijd
// informatie" frame, without any widget. The set-up panel keeps them in line with the race;
// the window binds its widgets to them.
//
// Default values are the state after start-up: only the open button is in view and usable.

#include <cstdint>
#include <string>

#include "timing/sports.h"

namespace tivaro::timing {

struct ComboBoxState {
    std::string text;
    bool visible = false;
    bool enabled = true;

    bool operator==(const ComboBoxState&) const = default;
};

struct TextBoxState {
    std::string text;
    bool visible = false;

    bool operator==(const TextBoxState&) const = default;
};

struct SliderState {
    int value = 1;  // the lap count
    int minimum = 1;
    int maximum = 5;
    bool visible = false;
    bool enabled = false;

    bool operator==(const SliderState&) const = default;
};

struct OptionState {
    std::string caption;
    bool enabled = false;

    bool operator==(const OptionState&) const = default;
};

struct RaceControls {
    bool openButtonEnabled = true;  // Command1

    ComboBoxState sportBox;  // Combo1: "Schaatsen", "Lopen", "Fietsen"
    TextBoxState sportPrompt{"Kies hier Schaatsen, Lopen \r\nof Fietsen\r\n"};  // Text2
    ComboBoxState heatBox;                                                      // Combo2
    TextBoxState lapPrompt{"Kies hier voor schaatsen \r\nde heat\r\n"};         // Text3
    SliderState lapSlider;                                                      // Slider1

    OptionState warmupOption{"Opwarmen"};                       // fase_opwarmen
    OptionState startPulseOption{"1 Startpuls voor iedereen"};  // fase_startschot
    OptionState recordOption{"Tijd Opnemen (evt Start)"};       // fase_opnemen
    Phase selectedPhase = Phase::None;
    // The shortest lap in hundredths of a second: a competitor's passing sooner than this after
    // the last one recorded is a double read. 0: off.
    std::int64_t minimumLap = 0;

    bool operator==(const RaceControls&) const = default;
};

inline constexpr const char* kHeatPrompt = "Kies hier voor schaatsen de heat";

}  // namespace tivaro::timing
