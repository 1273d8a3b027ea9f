#include "workbook/calc/leftovers.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tivaro::workbook::calc {

namespace {

constexpr std::string_view kProfilePrefix = "tivaro-calc-profile-";

bool OwnedByMe(const std::filesystem::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && info.st_uid == ::getuid();
}

bool UntouchedFor(const std::filesystem::path& path, std::chrono::seconds age) {
    std::error_code error;
    const auto written = std::filesystem::last_write_time(path, error);
    return !error && std::filesystem::file_time_type::clock::now() - written >= age;
}

// A profile named by a file URL ("file:///tmp/p;" in a lock, "file:///tmp/p" on a command line).
std::filesystem::path ProfileOfUrl(std::string url) {
    while (!url.empty() && (url.back() == ';' || url.back() == '/')) {
        url.pop_back();
    }
    constexpr std::string_view kScheme = "file://";
    if (!url.starts_with(kScheme)) {
        return {};
    }
    return std::filesystem::path(url.substr(kScheme.size())).lexically_normal();
}

// The profile a soffice runs on.
std::filesystem::path ProfileOf(const RunningOffice& office) {
    constexpr std::string_view kOption = "-env:UserInstallation=";
    const std::size_t at = office.commandLine.find(kOption);
    if (at == std::string::npos) {
        return DefaultProfile();
    }
    const std::size_t start = at + kOption.size();
    const std::size_t end = office.commandLine.find(' ', start);
    return ProfileOfUrl(office.commandLine.substr(start, end - start));
}

// One profile lies in the other (a lock may name the profile's user folder).
bool SameProfile(const std::filesystem::path& a, const std::filesystem::path& b) {
    if (a.empty() || b.empty()) {
        return false;
    }
    const std::string x = a.string() + "/";
    const std::string y = b.string() + "/";
    return x.starts_with(y) || y.starts_with(x);
}

}  // namespace

std::filesystem::path DefaultProfile() {
    std::filesystem::path config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
        config = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr) {
        config = std::filesystem::path(home) / ".config";
    }
    return (config / "libreoffice" / "4").lexically_normal();
}

std::filesystem::path LockFileOf(const std::filesystem::path& document) {
    return document.parent_path() / (".~lock." + document.filename().string() + "#");
}

std::string LockHolder::describe() const {
    return (name.empty() ? user : name) + " op " + host + ", sinds " + since;
}

std::optional<LockHolder> ReadLock(const std::filesystem::path& lock) {
    std::ifstream in(lock);
    std::string line;
    if (!std::getline(in, line)) {
        return std::nullopt;
    }
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, ',');) {
        fields.push_back(field);
    }
    if (fields.size() < 4) {
        return std::nullopt;
    }
    std::string profile;
    for (std::size_t i = 4; i < fields.size(); ++i) {
        profile += (i > 4 ? "," : "") + fields[i];
    }
    return LockHolder{fields[0], fields[1], fields[2], fields[3], profile};
}

std::vector<RunningOffice> RunningOffices() {
    std::vector<RunningOffice> running;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos ||
            !OwnedByMe(entry.path())) {
            continue;
        }
        std::ifstream comm(entry.path() / "comm");
        std::string command;
        std::getline(comm, command);
        if (command != "soffice.bin") {
            continue;
        }
        // A zombie has finished; its state is the third field of stat.
        std::ifstream stat(entry.path() / "stat");
        std::string statLine;
        std::getline(stat, statLine);
        const std::size_t afterName = statLine.rfind(')');
        if (afterName != std::string::npos && afterName + 2 < statLine.size() &&
            statLine[afterName + 2] == 'Z') {
            continue;
        }
        std::ifstream cmdline(entry.path() / "cmdline", std::ios::binary);
        std::string arguments((std::istreambuf_iterator<char>(cmdline)),
                              std::istreambuf_iterator<char>());
        for (char& c : arguments) {
            if (c == '\0') {
                c = ' ';
            }
        }
        running.push_back({std::stoi(name), std::move(arguments)});
    }
    return running;
}

std::string LoginName() {
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_name) {
        return entry->pw_name;
    }
    return {};
}

std::string HostName() {
    std::array<char, 256> name{};
    if (::gethostname(name.data(), name.size() - 1) != 0) {
        return {};
    }
    return name.data();
}

bool IsMine(const LockHolder& holder) {
    return !holder.user.empty() && holder.user == LoginName() && holder.host == HostName();
}

bool IsOwnStaleLock(const LockHolder& holder, const std::vector<RunningOffice>& running,
                    const std::filesystem::path& askedProfile) {
    if (!IsMine(holder)) {
        return false;
    }
    const std::filesystem::path profile = ProfileOfUrl(holder.profile);
    if (profile.empty()) {
        // Which soffice wrote it cannot be told: stale only when no other one runs.
        return running.size() <= 1;
    }
    if (SameProfile(profile, askedProfile)) {
        return true;  // only one soffice runs on a profile
    }
    for (const RunningOffice& office : running) {
        if (SameProfile(profile, ProfileOf(office))) {
            return false;
        }
    }
    return true;
}

std::vector<std::filesystem::path> ClearLeftovers(const std::filesystem::path& tempDirectory,
                                                  const std::vector<RunningOffice>& running,
                                                  std::chrono::seconds minimumAge) {
    std::vector<std::filesystem::path> removed;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(tempDirectory, error)) {
        const std::filesystem::path& path = entry.path();
        const std::string name = path.filename().string();
        const bool profile = name.starts_with(kProfilePrefix);
        const bool sofficeTemp = name.starts_with("lu") && name.ends_with(".tmp");
        if ((!profile && !sofficeTemp) || !OwnedByMe(path) || !UntouchedFor(path, minimumAge)) {
            continue;
        }
        bool inUse = false;
        if (profile) {
            for (const RunningOffice& office : running) {
                inUse = inUse || office.commandLine.find(name) != std::string::npos;
            }
        } else {
            // Which soffice a temporary folder belongs to cannot be told.
            inUse = !running.empty();
        }
        if (inUse) {
            continue;
        }
        std::error_code gone;
        std::filesystem::remove_all(path, gone);
        if (!gone) {
            removed.push_back(path);
        }
    }
    return removed;
}

}  // namespace tivaro::workbook::calc
