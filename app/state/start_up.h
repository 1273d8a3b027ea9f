#pragma once
// The race state's part of start-up: the values it holds before the first event.

#include <filesystem>

#include "app/state/race_state.h"

namespace tivaro {

// Puts `state` into its start-up values; the logs go into `dataDirectory`.
void ApplyStartUpValues(RaceState& state, const std::filesystem::path& dataDirectory);

}  // namespace tivaro
