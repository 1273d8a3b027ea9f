#pragma once
// What a killed LibreOffice leaves behind, and how much of it may go: the lock file beside a
// workbook (".~lock.NAME#"), the private profiles this program made for its own soffice
// ("tivaro-calc-profile-*") and soffice's temporary folders ("lu*.tmp"). Only what no running
// soffice of this user can still use is removed; a lock of another user or machine is never
// removed without asking.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tivaro::workbook::calc {

// The lock file LibreOffice keeps beside a document it has open.
std::filesystem::path LockFileOf(const std::filesystem::path& document);

// Who holds a lock file, from its line "NAME,USER,HOST,DATE,PROFILE;".
struct LockHolder {
    std::string name;  // the holder's name as set in LibreOffice; may be empty
    std::string user;  // the login name
    std::string host;
    std::string since;
    std::string profile;  // the holder's LibreOffice profile, as a file URL
    // "Jan de Vries op kantoor-pc, sinds 07.12.2025 09:15".
    std::string describe() const;
};
std::optional<LockHolder> ReadLock(const std::filesystem::path& lock);

// A soffice process of this user that runs now, with its command line.
struct RunningOffice {
    int pid = 0;
    std::string commandLine;  // arguments joined by spaces
};
std::vector<RunningOffice> RunningOffices();

// The login name and host name of this program, as LibreOffice writes them into a lock.
std::string LoginName();
std::string HostName();
// Whether a lock names this user on this machine.
bool IsMine(const LockHolder& holder);

// The user's own LibreOffice profile, which a soffice started without a profile uses.
std::filesystem::path DefaultProfile();

// Whether `holder` is a lock this user's LibreOffice left behind on this machine: it names
// this user and host, and the soffice on its profile is gone, or is the one the document was
// just looked for in (the soffice on `askedProfile`), which does not have it open.
bool IsOwnStaleLock(const LockHolder& holder, const std::vector<RunningOffice>& running,
                    const std::filesystem::path& askedProfile);

// Removes, from `tempDirectory`, private profiles of this program that no soffice in `running`
// uses, and, when none runs at all, soffice's temporary folders; only this user's and only
// those untouched for `minimumAge` (a soffice starting right now has made its folder already
// but may not show in `running` yet). Gives what was removed.
std::vector<std::filesystem::path> ClearLeftovers(const std::filesystem::path& tempDirectory,
                                                  const std::vector<RunningOffice>& running,
                                                  std::chrono::seconds minimumAge);

}  // namespace tivaro::workbook::calc
