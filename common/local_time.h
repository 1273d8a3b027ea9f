#pragma once
// The local time of day of a moment, the same on POSIX and on Windows.

#include <ctime>

namespace tivaro {

std::tm LocalTime(std::time_t when);

}  // namespace tivaro
