#pragma once
// The zip package of a workbook, held in memory as the bytes that were read from disk.
// Parts are read through libzip; a new package is built from this one with some parts
// replaced or left out, every other part copied as it is (compressed data included).

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

struct zip;

namespace tivaro::workbook {

class Package {
public:
    // Opens the package held in `bytes`; `fileName` names it in messages.
    static Result<Package> FromBytes(std::string bytes, std::string fileName);

    Package(Package&&) noexcept;
    Package& operator=(Package&&) noexcept;
    ~Package();

    const std::string& bytes() const { return *bytes_; }
    std::vector<std::string> partNames() const;
    bool contains(std::string_view part) const;
    // The name under which the package stores `part`: part names compare without regard to
    // case, and a relationship may spell one differently from the zip entry. "" when absent.
    std::string storedName(std::string_view part) const;
    // The part's uncompressed bytes. Damaged data (a bad checksum) is an error.
    Result<std::string> read(std::string_view part) const;

    // A new package with the parts in `replaced` given new content (new parts are appended),
    // the parts in `removed` left out and every other part copied unchanged, in the order
    // they have in this package.
    Result<std::string> rebuild(const std::map<std::string, std::string>& replaced,
                                const std::set<std::string>& removed) const;

private:
    Package(std::unique_ptr<std::string> bytes, ::zip* archive, std::string fileName);

    std::unique_ptr<std::string> bytes_;  // stable address: libzip reads from it
    ::zip* archive_ = nullptr;
    std::string fileName_;
};

// A package built from scratch, for tools and tests: parts in the order given.
Result<std::string> BuildPackage(const std::vector<std::pair<std::string, std::string>>& parts);

}  // namespace tivaro::workbook
