#pragma once
// The results of a race on paper and in files: pages painted on a printer or a PDF (A4, a
// title block, a table whose header comes back on every page, a footer with the date), and
// the CSV text written to a file. Used by the window and by tivaro-replay alike.

#include <QDateTime>
#include <filesystem>

#include "common/result.h"
#include "timing/results.h"

class QPagedPaintDevice;

namespace tivaro::results {

// Paints `results` on `device`, page after page; `madeAt` dates the pages. The number of
// pages painted.
int PaintResults(QPagedPaintDevice& device, const timing::RaceResults& results,
                 const QDateTime& madeAt);

// Writes `results` to `file` as a PDF or as CSV, by the file's extension (".pdf", ".csv", in
// any case). The file is replaced whole or left as it was; the message names the file and the
// reason. A PDF needs a QGuiApplication.
Status WriteResults(const timing::RaceResults& results, const std::filesystem::path& file,
                    const QDateTime& madeAt = QDateTime::currentDateTime());

}  // namespace tivaro::results
