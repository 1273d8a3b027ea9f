#include "tools/tivaro-replay/replay.h"

#include <optional>
#include <string>

#include "app/state/start_up.h"
#include "common/data_dir.h"
#include "link/receive_path.h"
#include "timing/passing_handler.h"
#include "timing/passing_list.h"

namespace tivaro::replay {

namespace {

class Replay {
public:
    Replay(const ReplayOptions& options, std::ostream& out, std::ostream& err)
        : options_(options),
          out_(out),
          err_(err),
          setup_(state_, options.startApp),
          handler_(state_, setup_.controls(), list_, Events()),
          receive_(state_, handler_) {
        ApplyStartUpValues(state_, options.dataDirectory);
        receive_.setNoticeListener([this](const std::string& message) { Tell(message); });
        if (Status made = EnsureDirectory(options.dataDirectory); !made) {
            Fail(made.error());
        }
    }

    void Run(const Action& action) {
        line_ = action.line;
        switch (action.kind) {
            case ActionKind::Open:
                SaveWorkbook();
                Check(setup_.Command1_Click(options_.scenarioFolder / action.text));
                break;
            case ActionKind::Sport:
                setup_.setSportText(action.text);
                Check(setup_.Combo1_Click());
                break;
            case ActionKind::Heat:
                setup_.setHeatText(action.text);
                setup_.Combo2_Click();
                break;
            case ActionKind::Laps:
                setup_.setLapCount(action.number);
                setup_.Slider1_Change();
                break;
            case ActionKind::Phase:
                ChoosePhase(action.phase);
                break;
            case ActionKind::Decoder:
                state_.binaryDecoder = action.binary;
                break;
            case ActionKind::Serial:
                linkInForce_ = link::ReceivePath::Link::Serial;
                Check(receive_.ReceiveSerial(action.bytes));
                break;
            case ActionKind::Tcp:
                linkInForce_ = link::ReceivePath::Link::Tcp;
                Check(receive_.ReceiveTcp(action.bytes));
                break;
            case ActionKind::Reconnect:
                if (linkInForce_) {
                    receive_.ConnectionStarted(*linkInForce_);
                }
                break;
            case ActionKind::Passing:
                state_.transponder = action.text;
                state_.passTime = action.time;
                handler_.HandlePassing();
                break;
        }
    }

    // Puts the open workbook's changes on disk, as the window does shortly after a passing.
    void SaveWorkbook() {
        if (!state_.raceWorkbook || !state_.raceWorkbook->hasUnsavedChanges()) {
            return;
        }
        Result<workbook::SaveReport> saved = state_.raceWorkbook->save();
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
    timing::PassingEvents Events() {
        timing::PassingEvents events;
        events.notice = [this](const Error& error) { Fail(error); };
        events.logged = [this](const std::string& line) { out_ << line << '\n'; };
        return events;
    }

    void ChoosePhase(Phase phase) {
        switch (phase) {
            case Phase::Warmup:
                setup_.fase_opwarmen_Click();
                break;
            case Phase::Pulse:
                setup_.fase_startschot_Click();
                break;
            case Phase::Record:
                setup_.fase_opnemen_Click();
                break;
        }
    }

    void Check(const Status& status) {
        if (!status) {
            Fail(status.error());
        }
    }
    void Check(const std::vector<Error>& errors) {
        for (const Error& error : errors) {
            Fail(error);
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
    RaceState state_;
    timing::RaceSetup setup_;
    timing::PassingList list_;
    timing::PassingHandler handler_;
    link::ReceivePath receive_;
    std::optional<link::ReceivePath::Link> linkInForce_;
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
