#include "app/engine_choice.h"

#include <QObject>
#include <algorithm>
#include <cctype>

#include "workbook/xlsx_app.h"
#ifdef TIVARO_WITH_CALC
#include "workbook/calc/calc_app.h"
#include "workbook/calc/leftovers.h"
#endif
#include "common/system_error.h"

namespace tivaro::app {

bool EmbeddedReads(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".xlsx" || extension == ".xlsm";
}

namespace {

QString EmbeddedName() {
    return QObject::tr("ingebouwde rekenmodule");
}

timing::AppStarter EmbeddedStarter(std::filesystem::path backups) {
    return [backups = std::move(backups)]() -> Result<std::unique_ptr<workbook::SpreadsheetApp>> {
        return std::unique_ptr<workbook::SpreadsheetApp>(
            std::make_unique<workbook::XlsxApp>(backups));
    };
}

}  // namespace

QString CalcUnavailableReason() {
#ifdef TIVARO_WITH_CALC
    if (Status available = workbook::CalcAvailable(); !available) {
        return QString::fromStdString(available.error().message);
    }
    return {};
#else
    return QObject::tr("Deze Tivaro is gebouwd zonder LibreOffice Calc.");
#endif
}

EngineChoice ChooseEngine(bool preferEmbedded) {
    if (preferEmbedded) {
        return {EngineKind::Embedded, EmbeddedName(), {}};
    }
    if (const QString why = CalcUnavailableReason(); !why.isEmpty()) {
        return {EngineKind::Embedded, EmbeddedName(), why};
    }
    return {EngineKind::Calc, QStringLiteral("LibreOffice Calc"), {}};
}

Result<timing::OpenedWorkbook> OpenEmbedded(const std::filesystem::path& file,
                                            const std::filesystem::path& backups) {
    return timing::OpenWorkbook(EmbeddedStarter(backups), file);
}

std::shared_ptr<workbook::ThreadedApp> CalcOnWorker(const CalcStart& calc) {
#ifdef TIVARO_WITH_CALC
    workbook::CalcOptions options;
    options.headless = calc.headless;
    options.hidden = calc.hidden;
    options.pipeName = calc.pipeName.toStdString();
    options.profileDirectory = calc.profileDirectory;
    options.privateProfile = calc.privateProfile;
    options.quitWhenDone = calc.quitWhenDone;
    options.windowArea = calc.windowArea;
    // The file on disk follows the race: the window saves through Calc.
    options.saveThroughCalc = true;
    return workbook::StartCalcOnWorker(options);
#else
    (void)calc;
    return nullptr;
#endif
}

EngineChoice EmbeddedInstead(const Error& why) {
    return {
        EngineKind::Embedded, EmbeddedName(),
        QObject::tr("LibreOffice Calc startte niet: %1").arg(QString::fromStdString(why.message))};
}

QString FormatsFilterFor(EngineKind kind) {
    return kind == EngineKind::Calc ? QObject::tr("Werkmappen (*.xlsx *.xlsm *.xls *.ods)")
                                    : QObject::tr("Excel-werkmappen (*.xlsx *.xlsm)");
}

Status LiftCalcLock(const std::filesystem::path& file) {
#ifdef TIVARO_WITH_CALC
    std::error_code error;
    const std::filesystem::path lock = workbook::calc::LockFileOf(file);
    if (!std::filesystem::remove(lock, error) && error) {
        return MakeError(Errc::Io,
                         "De vergrendeling kon niet worden opgeheven: " + SystemErrorText(error) +
                             ". Vergrendelbestand: \"" + lock.string() + "\"");
    }
#else
    (void)file;
#endif
    return {};
}

}  // namespace tivaro::app
