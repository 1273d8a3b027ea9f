#pragma once
// Plain-text logs that survive a crash of the program: every entry is appended with its own
// open, write and close, so nothing stays buffered in this process between entries.

#include <filesystem>
#include <string_view>

#include "common/result.h"

namespace tivaro {

// Appends `text` followed by CR LF to `file`, creating the file when missing.
Status AppendLogLine(const std::filesystem::path& file, std::string_view text);

}  // namespace tivaro
