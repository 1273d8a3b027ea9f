#pragma once
// Plays the actions of a race journal into a race controller, as the window's controls and
// links did when the race was run: for tivaro-replay, and for a race resumed after a restart,
// which is rebuilt from its journal before it goes on.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "common/result.h"
#include "link/passing.h"
#include "timing/journal_action.h"
#include "timing/race_controller.h"

namespace tivaro::timing {

class JournalPlayer {
public:
    // Opens the workbook an open action names (its text) and hands it to the controller.
    using Opener = std::function<Status(const std::string& named)>;

    // `controller` must outlive the player.
    JournalPlayer(RaceController& controller, Opener open)
        : controller_(controller), open_(std::move(open)) {}

    // Does what `action` did. An error for what the race refused (a sport without its sheet,
    // a take-back that did not fit), as the window said it then.
    Status play(const JournalAction& action);

private:
    RaceController& controller_;
    Opener open_;
    std::optional<link::LinkKind> linkInForce_;  // the link of the last bytes
};

}  // namespace tivaro::timing
