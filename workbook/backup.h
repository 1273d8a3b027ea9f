#pragma once
// File names for the copies a save makes: the backup of the workbook as it was opened, and
// the file a save goes to when another program changed the workbook on disk meanwhile.

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

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

// Whether `fileName` is a name that BackupPathFor, or DivertedPathFor, gives `original` at
// some time.
bool IsBackupNameOf(std::string_view fileName, const std::filesystem::path& original);
bool IsDivertedNameOf(std::string_view fileName, const std::filesystem::path& original);

// Removes what saves of `workbook` that were killed before they finished left behind: the
// temporary files of the workbook itself and of its diverted copies beside it, and of its
// backups in `backupFolder`. Nothing else is touched (see RemoveStaleTemporaries).
void RemoveTemporariesOfKilledSaves(const std::filesystem::path& workbook,
                                    const std::filesystem::path& backupFolder);

}  // namespace tivaro::workbook
