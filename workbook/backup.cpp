#include "workbook/backup.h"

#include <ctime>

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

}  // namespace tivaro::workbook
