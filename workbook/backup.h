#pragma once
// File names for the copies a save makes: the backup of the workbook as it was opened, and
// the file a save goes to when another program changed the workbook on disk meanwhile.

#include <chrono>
#include <filesystem>
#include <string>

namespace tivaro::workbook {

// "20261206-201500" in local time.
std::string TimeStampText(std::chrono::system_clock::time_point when);

// `folder`/NAME-YYYYMMDD-HHMMSS.EXT for `original` NAME.EXT; "-2", "-3"... is added before
// the extension while such a file exists.
std::filesystem::path BackupPathFor(const std::filesystem::path& folder,
                                    const std::filesystem::path& original,
                                    std::chrono::system_clock::time_point when);

// "NAME (Tivaro YYYYMMDD-HHMMSS).EXT" beside `original`, numbered likewise while taken.
std::filesystem::path DivertedPathFor(const std::filesystem::path& original,
                                      std::chrono::system_clock::time_point when);

}  // namespace tivaro::workbook
