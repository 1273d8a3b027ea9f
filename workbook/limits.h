#pragma once
// How much of a workbook file the embedded engine is willing to hold in memory. A workbook
// file is outside input: its headers may claim any size and its compressed data may inflate
// a thousandfold, so every size is checked against these caps before memory is taken for it,
// and the data is inflated under the same cap whatever the headers said.
//
// Real race workbooks are well under 1 MiB on disk; a sheet with a member list of a few
// thousand rows is a few MiB of XML. The caps hold such workbooks many times over, while one
// hostile file costs at most a few hundred MiB and a few seconds before it is refused.

#include <cstdint>

namespace tivaro::workbook {

inline constexpr std::uint64_t kMiB = 1024 * 1024;

// The workbook file on disk; it is held in memory whole.
inline constexpr std::uint64_t kMaxFileBytes = 64 * kMiB;
// Entries (parts) in the package; a workbook has a few dozen.
inline constexpr std::uint64_t kMaxParts = 10'000;
// One part, inflated: a sheet, the shared strings, the styles.
inline constexpr std::uint64_t kMaxPartBytes = 32 * kMiB;
// All parts together, inflated, as the package's directory declares them.
inline constexpr std::uint64_t kMaxTotalBytes = 256 * kMiB;
// Tags ("<") in one XML part. A parsed element costs many times its text in memory, so this
// cap, more than the part size, bounds what a sheet of a million empty rows or cells costs.
// A cell with a value has four tags: this holds 500,000 such cells, 5,000 rows of 100 columns.
inline constexpr std::uint64_t kMaxXmlTags = 2'000'000;

// The caps a package is opened with; tests pass smaller ones.
struct PackageLimits {
    std::uint64_t fileBytes = kMaxFileBytes;
    std::uint64_t parts = kMaxParts;
    std::uint64_t partBytes = kMaxPartBytes;
    std::uint64_t totalBytes = kMaxTotalBytes;
};

}  // namespace tivaro::workbook
