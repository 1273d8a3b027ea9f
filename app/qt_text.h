#pragma once
// The core's texts (UTF-8) and paths as the window shows them.

#include <QString>
#include <filesystem>
#include <string>

namespace tivaro::app {

inline QString FromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

inline QString PathText(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

}  // namespace tivaro::app
