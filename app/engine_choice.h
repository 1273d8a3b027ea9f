#pragma once
// Which spreadsheet engine opens the race workbook. LibreOffice Calc when it is installed: the
// workbook then stays open in Calc, where the organisers watch the times land and save it. The
// embedded engine otherwise, or when the user chose it (a setting that is remembered): it
// works on the .xlsx file itself. When Calc does not start, an .xlsx workbook is opened by the
// embedded engine instead, and the window says so and why.

#include <QString>
#include <filesystem>
#include <optional>

#include "common/result.h"
#include "timing/race.h"

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
};

// The engine for the next workbook: the embedded one when `preferEmbedded` or when Calc is not
// available (with the reason), else Calc.
EngineChoice ChooseEngine(bool preferEmbedded);

// Whether this build and this machine can open workbooks in Calc ("" when it can, else why).
QString CalcUnavailableReason();

// Opens `file` with the engine `choice` names. In Calc, a failure to start Calc falls back to
// the embedded engine for an .xlsx or .xlsm workbook: `choice` then says so. Touches no window
// or race, so it may run on another thread.
Result<timing::OpenedWorkbook> OpenWithEngine(EngineChoice& choice,
                                              const std::filesystem::path& file,
                                              const std::filesystem::path& backups,
                                              const CalcStart& calc);

// Lifts the lock another user's or machine's Calc holds on `file`, when the organiser says
// it is no longer open there.
Status LiftCalcLock(const std::filesystem::path& file);

// The open dialog's entry for the formats `kind` reads.
QString FormatsFilterFor(EngineKind kind);

}  // namespace tivaro::app
