#pragma once
// Where the logs live: "C:\zomradata\" on Windows, ~/zomradata/ elsewhere.

#include <filesystem>

#include "common/result.h"

namespace tivaro {

inline constexpr const char* kRawLogName = "tivaro.log";
inline constexpr const char* kCouplingLogName = "dovokop.log";

// The data directory for this user and platform (not created).
std::filesystem::path DataDirectory();

// Creates `dir` (and its parents) when missing.
Status EnsureDirectory(const std::filesystem::path& dir);

}  // namespace tivaro
