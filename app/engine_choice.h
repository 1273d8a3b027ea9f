#pragma once
// Which spreadsheet engine opens the race workbook. LibreOffice Calc when it is installed: the
// workbook then stays open in Calc, where the organisers watch the times land and save it. The
// embedded engine otherwise, or when the user chose it (a setting that is remembered): it
// works on the .xlsx file itself. When Calc does not start, an .xlsx workbook is opened by the
// embedded engine instead, and the window says so and why.

#include <QString>
#include <array>
#include <filesystem>
#include <memory>
#include <optional>

#include "common/result.h"
#include "timing/race.h"
#include "workbook/threaded/threaded_workbook.h"

namespace tivaro::app {

enum class EngineKind { Calc, Embedded };

struct EngineChoice {
    EngineKind kind = EngineKind::Embedded;
    QString name;    // how the title names it
    QString reason;  // why the embedded engine, when Calc was wanted; "" otherwise
};

// How Calc is started for the window; tests give a headless one of their own.
struct CalcStart {
    bool headless = false;
    bool hidden = false;
    QString pipeName;                        // empty: the user's pipe
    std::filesystem::path profileDirectory;  // empty: the user's profile
    bool privateProfile = false;
    bool quitWhenDone = false;
    // Where Calc's window goes (see CalcOptions::windowArea).
    std::optional<std::array<int, 4>> windowArea;
};

// The engine for the next workbook: the embedded one when `preferEmbedded` or when Calc is not
// available (with the reason), else Calc.
EngineChoice ChooseEngine(bool preferEmbedded);

// Whether this build and this machine can open workbooks in Calc ("" when it can, else why).
QString CalcUnavailableReason();

// Opens `file` with the embedded engine, on the calling thread (it is quick).
Result<timing::OpenedWorkbook> OpenEmbedded(const std::filesystem::path& file,
                                            const std::filesystem::path& backups);

// Calc on a worker thread of its own, which starts or joins Calc at its first open and makes
// every call to it; null when this build has no Calc.
std::shared_ptr<workbook::ThreadedApp> CalcOnWorker(const CalcStart& calc);

// Whether the embedded engine reads `file`: an .xlsx or .xlsm workbook, which it opens when
// Calc does not start.
bool EmbeddedReads(const std::filesystem::path& file);

// The embedded engine instead of a Calc that did not start (`why`).
EngineChoice EmbeddedInstead(const Error& why);

// Lifts the lock another user's or machine's Calc holds on `file`, when the organiser says
// it is no longer open there.
Status LiftCalcLock(const std::filesystem::path& file);

// The open dialog's entry for the formats `kind` reads.
QString FormatsFilterFor(EngineKind kind);

}  // namespace tivaro::app
