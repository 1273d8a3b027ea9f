#pragma once
// tivaro-replay --live: plays a scenario while the live results server serves its race, and
// goes on serving the race as it ended until SIGTERM or SIGINT, which end it cleanly. Needs a
// Qt application object.

#include <chrono>
#include <ostream>
#include <vector>

#include <QtGlobal>

#include "timing/journal_action.h"
#include "tools/tivaro-replay/replay.h"

namespace tivaro::replay {

struct LiveOptions {
    quint16 port = 8080;                // 0: any free port (the one taken is printed)
    std::chrono::milliseconds pace{0};  // between two actions of the scenario
};

// Returns the exit status: 0 when ended by a signal after a race without failures, 1 when a
// failure happened on the way, 3 when the port could not be opened.
int PlayLive(const std::vector<timing::JournalAction>& actions, const ReplayOptions& options,
             const LiveOptions& live, std::ostream& out, std::ostream& err);

}  // namespace tivaro::replay
