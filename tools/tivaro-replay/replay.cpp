#include "tools/tivaro-replay/replay.h"

#include <optional>
#include <string>

#include "common/data_dir.h"
#include "timing/race_controller.h"

namespace tivaro::replay {

namespace {

class Replay {
public:
    Replay(const ReplayOptions& options, std::ostream& out, std::ostream& err)
        : options_(options),
          out_(out),
          err_(err),
          controller_(
              timing::ControllerOptions{options.startApp, options.dataDirectory / kCouplingLogName,
                                        options.dataDirectory / kRawLogName},
              Events()) {
        if (Status made = EnsureDirectory(options.dataDirectory); !made) {
            Fail(made.error());
        }
    }

    void Run(const Action& action) {
        line_ = action.line;
        timing::SetupPanel& setup = controller_.setup();
        switch (action.kind) {
            case ActionKind::Open:
                SaveWorkbook();
                Check(controller_.openWorkbook(options_.scenarioFolder / action.text));
                break;
            case ActionKind::Sport:
                Check(setup.chooseSport(action.text));
                break;
            case ActionKind::Heat:
                setup.chooseHeat(action.text);
                break;
            case ActionKind::Laps:
                setup.moveLapSlider(action.number);
                break;
            case ActionKind::Phase:
                setup.choosePhase(action.phase);
                break;
            case ActionKind::Decoder:
                controller_.chooseDecoderGeneration(action.generation);
                break;
            case ActionKind::Serial:
            case ActionKind::Tcp:
                linkInForce_ = action.kind == ActionKind::Serial ? link::LinkKind::Serial
                                                                 : link::LinkKind::Tcp;
                controller_.onDecoderBytes(*linkInForce_, action.bytes);
                break;
            case ActionKind::Reconnect:
                if (linkInForce_) {
                    controller_.connectionStarted(*linkInForce_);
                }
                break;
            case ActionKind::Passing:
                controller_.handlePassing(link::Passing{action.text, action.time});
                break;
        }
    }

    // Puts the open workbook's changes on disk, as the window does shortly after a passing.
    void SaveWorkbook() {
        workbook::Workbook* book = controller_.race().workbook();
        if (book == nullptr || !book->hasUnsavedChanges()) {
            return;
        }
        Result<workbook::SaveReport> saved = book->save();
        if (!saved) {
            Fail(saved.error());
        } else if (!saved->notice.empty()) {
            Tell(saved->notice);
        }
    }

    // The end of the scenario: the open workbook is saved.
    void Finish() {
        line_ = 0;
        SaveWorkbook();
    }

    bool ok() const { return ok_; }

private:
    timing::ControllerEvents Events() {
        timing::ControllerEvents events;
        events.problem = [this](const Error& error) { Fail(error); };
        events.notice = [this](const std::string& text) { Tell(text); };
        events.passingHandled = [this](const timing::PassingResult&, const std::string& line) {
            out_ << line << '\n';
        };
        return events;
    }

    void Check(const Status& status) {
        if (!status) {
            Fail(status.error());
        }
    }

    void Tell(const std::string& message) {
        err_ << options_.scenarioName;
        if (line_ > 0) {
            err_ << ':' << line_;
        }
        err_ << ": " << message << '\n';
    }
    void Fail(const Error& error) {
        ok_ = false;
        Tell(error.message);
    }

    const ReplayOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    timing::RaceController controller_;
    std::optional<link::LinkKind> linkInForce_;
    int line_ = 0;
    bool ok_ = true;
};

}  // namespace

bool RunScenario(const std::vector<Action>& actions, const ReplayOptions& options,
                 std::ostream& out, std::ostream& err) {
    Replay replay(options, out, err);
    for (const Action& action : actions) {
        replay.Run(action);
    }
    replay.Finish();
    out.flush();
    return replay.ok();
}

}  // namespace tivaro::replay
