#pragma once
// The race set-up: opening the race workbook, choosing sport and heat, the phase options and
// the lap slider. It works on the race state and on a plain controls model that the window
// binds its widgets to; it holds no widget itself.
//
// Each handler does what the control it is named after does when a person uses it, and asks
// no question about whether the control could be reached at that moment. After any change of
// the controls the change listener runs, so the window can bring its widgets in line.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/state/race_state.h"
#include "common/result.h"
#include "timing/race_controls.h"
#include "workbook/workbook.h"

namespace tivaro::timing {

class RaceSetup {
public:
    // Starts a new spreadsheet application; called once for every workbook opened.
    using AppStarter = std::function<Result<std::unique_ptr<workbook::SpreadsheetApp>>()>;

    RaceSetup(RaceState& state, AppStarter startApp);

    const RaceControls& controls() const { return controls_; }
    void setChangeListener(std::function<void()> listener) { changed_ = std::move(listener); }

    // The open button, once the user has chosen `file`: starts a new application, shows it,
    // opens the file and takes its active sheet as the race sheet, then offers the sport box.
    // On failure nothing changes: the earlier application, workbook and sheet stay in force.
    Status Command1_Click(const std::filesystem::path& file);

    // The sport box's text, as typed or selected; a passing reads it as the sport in force.
    void setSportText(std::string text);
    // A sport was selected: prepares heat box, lap prompt, slider and phase options for the
    // sport and makes its sheet the race sheet. A workbook without that sheet (or no workbook)
    // gives an error naming the sheet; the box then shows the sport in force again and
    // nothing else changes.
    Status Combo1_Click();

    void setHeatText(std::string text);
    // A heat was selected: "Heat 1" to "Heat 5" set the heat number; other texts do nothing.
    void Combo2_Click();

    // Moves the lap slider to `value`, kept within its range as a slider keeps it.
    void setLapCount(int value);
    // The slider was moved: the lap prompt shows the new lap count.
    void Slider1_Change();

    void fase_opwarmen_Click();    // warm-up
    void fase_startschot_Click();  // one common start pulse for everyone (arms it again)
    void fase_opnemen_Click();     // recording; the start-pulse option becomes unusable

private:
    void Changed();

    RaceState& state_;
    AppStarter startApp_;
    RaceControls controls_;
    std::string sportInForce_;  // the box text of the last sport that took effect
    std::function<void()> changed_;
};

}  // namespace tivaro::timing
