#include "common/data_dir.h"

#include <cstdlib>
#include <system_error>

#include "common/system_error.h"

namespace tivaro {

std::filesystem::path DataDirectory() {
#ifdef _WIN32
    return std::filesystem::path("C:\\zomradata\\");
#else
    const char* home = std::getenv("HOME");
    std::filesystem::path base = (home && *home) ? home : ".";
    return base / "zomradata";
#endif
}

Status EnsureDirectory(const std::filesystem::path& dir) {
    std::error_code ec;
    if (std::filesystem::is_directory(dir, ec)) {
        return {};
    }
    std::filesystem::create_directories(dir, ec);
    if (ec && !std::filesystem::is_directory(dir)) {
        return MakeError(Errc::Io, "de map voor de logs kan niet worden gemaakt (" +
                                       SystemErrorText(ec) + "): " + dir.string());
    }
    return {};
}

}  // namespace tivaro
