#include "live/page_files.h"

#include <QFile>
#include <array>

namespace tivaro::live {

namespace {

struct Route {
    std::string_view path;
    const char* resource;
    const char* contentType;
};

constexpr std::array<Route, 4> kRoutes{{
    {"/", ":/live/index.html", "text/html; charset=utf-8"},
    {"/index.html", ":/live/index.html", "text/html; charset=utf-8"},
    {"/live.css", ":/live/live.css", "text/css; charset=utf-8"},
    {"/live.js", ":/live/live.js", "text/javascript; charset=utf-8"},
}};

}  // namespace

std::optional<PageFile> PageFileAt(std::string_view path) {
    for (const Route& route : kRoutes) {
        if (route.path == path) {
            QFile file(QString::fromLatin1(route.resource));
            if (!file.open(QIODevice::ReadOnly)) {
                return std::nullopt;
            }
            return PageFile{route.contentType, file.readAll()};
        }
    }
    return std::nullopt;
}

}  // namespace tivaro::live
