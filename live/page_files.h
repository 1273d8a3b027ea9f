#pragma once
// What the live server answers for a path: one of the page's files from the binary's
// resources, or nothing. The table is fixed, so no path (with dots, encoded dots, or an
// absolute file name) can reach anything else.

#include <QByteArray>
#include <optional>
#include <string_view>

namespace tivaro::live {

struct PageFile {
    QByteArray contentType;
    QByteArray body;
};

// The file served at `path` (the request target before any '?'), if any.
std::optional<PageFile> PageFileAt(std::string_view path);

}  // namespace tivaro::live
