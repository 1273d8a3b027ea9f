#include "app/state/start_up.h"

#include "common/data_dir.h"

namespace tivaro {

void ApplyStartUpValues(RaceState& state, const std::filesystem::path& dataDirectory) {
    state = RaceState{};
    state.colourCellPending = false;
    state.rawLogPath = (dataDirectory / kRawLogName).string();
    state.couplingLogPath = (dataDirectory / kCouplingLogName).string();
    state.startPulsePending = true;
    state.tcpTextRemainder.clear();
    state.binaryDecoder = true;
    state.passingDecoded = false;
    state.rawRecord.assign(1, 0);
}

}  // namespace tivaro
