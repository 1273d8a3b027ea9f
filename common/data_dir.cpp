#include "common/data_dir.h"

#include <cstdlib>
#include <system_error>

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
        return MakeError(Errc::Io,
                         "cannot create the data directory " + dir.string() + ": " + ec.message());
    }
    return {};
}

}  // namespace tivaro
