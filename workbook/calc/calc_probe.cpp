#include "workbook/calc/calc_probe.h"

#include <com/sun/star/util/XCloseable.hpp>

#include "workbook/calc/calc_workbook.h"

namespace tivaro::workbook {

namespace css = calc::css;

std::optional<int> CalcProcessId(const SpreadsheetApp& app) {
    const auto* calcApp = dynamic_cast<const calc::CalcApp*>(&app);
    if (calcApp == nullptr) {
        return std::nullopt;
    }
    return calcApp->session()->processId();
}

Status CloseInCalc(const SpreadsheetApp& app, const std::filesystem::path& file) {
    const auto* calcApp = dynamic_cast<const calc::CalcApp*>(&app);
    if (calcApp == nullptr) {
        return MakeError(Errc::Failed, "not a Calc app");
    }
    try {
        const css::uno::Reference<css::util::XCloseable> document(
            calc::FindOpenDocument(*calcApp->session(), file), css::uno::UNO_QUERY);
        if (!document.is()) {
            return MakeError(Errc::NotFound, file.string() + " is not open in Calc");
        }
        document->close(true);
        return {};
    } catch (const css::uno::Exception& e) {
        return MakeError(Errc::Failed,
                         "closing " + file.string() + " in Calc failed: " + calc::Detail(e));
    }
}

}  // namespace tivaro::workbook
