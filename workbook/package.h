#pragma once
// The zip package of a workbook, held in memory as the bytes that were read from disk.
// Parts are read through libzip; a new package is built from this one with some parts
// replaced or left out, every other part copied as it is (compressed data included).
//
// The package is outside input and is held to the caps of workbook/limits.h: the file size
// and the entry count are checked before libzip reads the directory, the declared sizes by
// checkDeclaredSizes(), and every part is inflated in chunks under the part cap, so neither a
// header that lies nor data that inflates without end can make the engine take more memory.

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "workbook/limits.h"

struct zip;

namespace tivaro::workbook {

// What a person can do about a damaged workbook; messages about one end with it.
inline constexpr const char* kDamagedWorkbookHint =
    "Open de werkmap in een rekenblad en sla hem opnieuw op, of neem een reservekopie.";

class Package {
public:
    // Opens the package held in `bytes`; `fileName` names it in messages (last, after what
    // happened and what to do). A file or directory over the caps is refused.
    static Result<Package> FromBytes(std::string bytes, std::string fileName,
                                     PackageLimits limits = {});

    Package(Package&&) noexcept;
    Package& operator=(Package&&) noexcept;
    ~Package();

    const std::string& bytes() const { return *bytes_; }
    std::vector<std::string> partNames() const;
    bool contains(std::string_view part) const;
    // The name under which the package stores `part`: part names compare without regard to
    // case, and a relationship may spell one differently from the zip entry. "" when absent.
    std::string storedName(std::string_view part) const;
    // Refuses a package whose directory declares a part, or all parts together, larger
    // inflated than the caps allow. `sheetOfPart` maps the stored name of a worksheet part to
    // its sheet's name, which the message then gives too.
    Status checkDeclaredSizes(const std::map<std::string, std::string>& sheetOfPart) const;

    // The part's uncompressed bytes. A part over the part cap, data that inflates to another
    // size than the directory declares, and damaged data (a bad checksum) are errors.
    Result<std::string> read(std::string_view part) const;
    // Inflates every part, read or not, and refuses the package at the first one that is
    // damaged as read() would: a part the engine never reads is still copied into every save,
    // and a save must not pass damage on without a word. `sheetOfPart` as for
    // checkDeclaredSizes.
    Status verifyAll(const std::map<std::string, std::string>& sheetOfPart) const;

    // A new package with the parts in `replaced` given new content (new parts are appended),
    // the parts in `removed` left out and every other part copied unchanged, in the order
    // they have in this package.
    Result<std::string> rebuild(const std::map<std::string, std::string>& replaced,
                                const std::set<std::string>& removed) const;

private:
    Package(std::unique_ptr<std::string> bytes, ::zip* archive, std::string fileName,
            PackageLimits limits);
    Error damaged(const std::string& what) const;
    // Inflates the part at `index` under the caps, checking size and checksum; keeps the
    // bytes in `keep` when given.
    Status inflate(std::uint64_t index, const std::string& name, std::string* keep) const;
    Error overCap(const std::string& part, const std::string& sheet, std::uint64_t size) const;

    std::unique_ptr<std::string> bytes_;  // stable address: libzip reads from it
    ::zip* archive_ = nullptr;
    std::string fileName_;
    PackageLimits limits_;
};

// The refusal of a workbook file of `size` bytes, over the cap.
Error FileTooLarge(std::uint64_t size, std::uint64_t cap, const std::string& fileName);

// A package built from scratch, for tools and tests: parts in the order given.
Result<std::string> BuildPackage(const std::vector<std::pair<std::string, std::string>>& parts);

}  // namespace tivaro::workbook
