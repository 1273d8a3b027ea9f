#include "workbook/backup.h"

#include <algorithm>
#include <ctime>

#include "workbook/atomic_file.h"

namespace tivaro::workbook {

namespace {

std::filesystem::path FirstFree(const std::filesystem::path& folder, const std::string& stem,
                                const std::string& extension) {
    std::filesystem::path candidate = folder / (stem + extension);
    for (int number = 2; std::filesystem::exists(candidate); ++number) {
        candidate = folder / (stem + "-" + std::to_string(number) + extension);
    }
    return candidate;
}

bool AllDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

// "20261206-201500", as TimeStampText writes it.
bool IsTimeStamp(std::string_view text) {
    return text.size() == 15 && text[8] == '-' && AllDigits(text.substr(0, 8)) &&
           AllDigits(text.substr(9));
}

// Whether `fileName` is PREFIX + time stamp + MIDDLE, then "-N" or nothing, then EXTENSION:
// a name FirstFree gave.
bool IsStampedName(std::string_view fileName, std::string_view prefix, std::string_view middle,
                   std::string_view extension) {
    if (fileName.size() < prefix.size() + 15 + middle.size() + extension.size() ||
        !fileName.starts_with(prefix) || !fileName.ends_with(extension)) {
        return false;
    }
    fileName.remove_prefix(prefix.size());
    fileName.remove_suffix(extension.size());
    if (!IsTimeStamp(fileName.substr(0, 15)) || fileName.substr(15, middle.size()) != middle) {
        return false;
    }
    const std::string_view number = fileName.substr(15 + middle.size());
    return number.empty() || (number.size() >= 2 && number[0] == '-' &&
                              AllDigits(number.substr(1)) && number[1] != '0');
}

}  // namespace

std::string TimeStampText(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

std::filesystem::path BackupPathFor(const std::filesystem::path& folder,
                                    const std::filesystem::path& original,
                                    std::chrono::system_clock::time_point when) {
    return FirstFree(folder, original.stem().string() + "-" + TimeStampText(when),
                     original.extension().string());
}

std::filesystem::path DivertedPathFor(const std::filesystem::path& original,
                                      std::chrono::system_clock::time_point when) {
    const std::filesystem::path folder =
        original.has_parent_path() ? original.parent_path() : std::filesystem::path(".");
    return FirstFree(folder, original.stem().string() + " (Tivaro " + TimeStampText(when) + ")",
                     original.extension().string());
}

bool IsBackupNameOf(std::string_view fileName, const std::filesystem::path& original) {
    return IsStampedName(fileName, original.stem().string() + "-", "",
                         original.extension().string());
}

bool IsDivertedNameOf(std::string_view fileName, const std::filesystem::path& original) {
    return IsStampedName(fileName, original.stem().string() + " (Tivaro ", ")",
                         original.extension().string());
}

void RemoveTemporariesOfKilledSaves(const std::filesystem::path& workbook,
                                    const std::filesystem::path& backupFolder) {
    const std::string name = workbook.filename().string();
    const std::filesystem::path folder =
        workbook.has_parent_path() ? workbook.parent_path() : std::filesystem::path(".");
    RemoveStaleTemporaries(folder, [&](std::string_view target) {
        return target == name || IsDivertedNameOf(target, workbook);
    });
    RemoveStaleTemporaries(
        backupFolder, [&](std::string_view target) { return IsBackupNameOf(target, workbook); });
}

}  // namespace tivaro::workbook
