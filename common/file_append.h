#pragma once
// Appending to a file whole or not at all, on POSIX and on Windows: the file is opened, the
// bytes written to its end and the file closed again; when a write fails (the disk is full)
// the file is cut back to where it ended, so no half entry is left behind for the next one to
// be glued onto.

#include <filesystem>
#include <string_view>

#include "common/result.h"

namespace tivaro {

// Appends `bytes` to `file`, creating it when missing.
Status AppendWhole(const std::filesystem::path& file, std::string_view bytes);

}  // namespace tivaro
