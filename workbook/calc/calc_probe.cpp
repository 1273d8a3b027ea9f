#include "workbook/calc/calc_probe.h"

#include <functional>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeMovement.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/table/XTableRows.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include "workbook/calc/calc_workbook.h"

namespace tivaro::workbook {

namespace css = calc::css;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

namespace {

// Runs `change` on the sheet of that name of the document of `file`.
Status ChangeSheet(const SpreadsheetApp& app, const std::filesystem::path& file,
                   const std::string& sheet,
                   const std::function<void(const Reference<css::sheet::XSpreadsheet>&)>& change) {
    const auto* calcApp = dynamic_cast<const calc::CalcApp*>(&app);
    if (calcApp == nullptr) {
        return MakeError(Errc::Failed, "not a Calc app");
    }
    try {
        const Reference<css::sheet::XSpreadsheetDocument> document(
            calc::FindOpenDocument(*calcApp->session(), file), UNO_QUERY_THROW);
        const Reference<css::container::XNameAccess> sheets(document->getSheets(), UNO_QUERY_THROW);
        Reference<css::sheet::XSpreadsheet> target;
        sheets->getByName(calc::FromUtf8(sheet)) >>= target;
        change(target);
        return {};
    } catch (const css::uno::Exception& e) {
        return MakeError(Errc::Failed, "changing " + sheet + " in Calc failed: " + calc::Detail(e));
    }
}

css::table::CellRangeAddress AddressOf(const Reference<css::sheet::XSpreadsheet>& sheet,
                                       const std::string& block) {
    return Reference<css::sheet::XCellRangeAddressable>(
               sheet->getCellRangeByName(calc::FromUtf8(block)), UNO_QUERY_THROW)
        ->getRangeAddress();
}

}  // namespace

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

namespace tivaro::workbook {

Status InsertRowsInCalc(const SpreadsheetApp& app, const std::filesystem::path& file,
                        const std::string& sheet, int row, int count) {
    return ChangeSheet(app, file, sheet, [&](const Reference<css::sheet::XSpreadsheet>& target) {
        Reference<css::table::XColumnRowRange>(target, UNO_QUERY_THROW)
            ->getRows()
            ->insertByIndex(row - 1, count);
    });
}

Status InsertColumnsInCalc(const SpreadsheetApp& app, const std::filesystem::path& file,
                           const std::string& sheet, int column, int count) {
    return ChangeSheet(app, file, sheet, [&](const Reference<css::sheet::XSpreadsheet>& target) {
        Reference<css::table::XColumnRowRange>(target, UNO_QUERY_THROW)
            ->getColumns()
            ->insertByIndex(column - 1, count);
    });
}

Status MoveCellsInCalc(const SpreadsheetApp& app, const std::filesystem::path& file,
                       const std::string& sheet, const std::string& block,
                       const std::string& destination) {
    return ChangeSheet(app, file, sheet, [&](const Reference<css::sheet::XSpreadsheet>& target) {
        const css::table::CellRangeAddress to = AddressOf(target, destination);
        css::table::CellAddress cell;
        cell.Sheet = to.Sheet;
        cell.Column = to.StartColumn;
        cell.Row = to.StartRow;
        Reference<css::sheet::XCellRangeMovement>(target, UNO_QUERY_THROW)
            ->moveRange(cell, AddressOf(target, block));
    });
}

}  // namespace tivaro::workbook

namespace tivaro::workbook {

Status OpenInCalc(const SpreadsheetApp& app, const std::filesystem::path& file) {
    const auto* calcApp = dynamic_cast<const calc::CalcApp*>(&app);
    if (calcApp == nullptr) {
        return MakeError(Errc::Failed, "not a Calc app");
    }
    try {
        css::uno::Sequence<css::beans::PropertyValue> properties(1);
        properties.getArray()[0].Name = "Hidden";
        properties.getArray()[0].Value <<= calcApp->session()->options().hidden;
        const Reference<css::lang::XComponent> document =
            calcApp->session()->desktop()->loadComponentFromURL(
                calc::FromUtf8(calc::FileUrl(std::filesystem::absolute(file))), "_blank", 0,
                properties);
        if (!document.is()) {
            return MakeError(Errc::Failed, "Calc did not open " + file.string());
        }
        return {};
    } catch (const css::uno::Exception& e) {
        return MakeError(Errc::Failed,
                         "opening " + file.string() + " in Calc failed: " + calc::Detail(e));
    }
}

Result<int> DocumentsOpenInCalc(const SpreadsheetApp& app, const std::filesystem::path& file) {
    const auto* calcApp = dynamic_cast<const calc::CalcApp*>(&app);
    if (calcApp == nullptr) {
        return MakeError(Errc::Failed, "not a Calc app");
    }
    try {
        int count = 0;
        const Reference<css::container::XEnumeration> components =
            calcApp->session()->desktop()->getComponents()->createEnumeration();
        while (components->hasMoreElements()) {
            const Reference<css::frame::XModel> model(components->nextElement(),
                                                      css::uno::UNO_QUERY);
            const auto path =
                model.is() ? calc::PathOfFileUrl(calc::ToUtf8(model->getURL())) : std::nullopt;
            std::error_code error;
            if (path && std::filesystem::equivalent(*path, file, error)) {
                ++count;
            }
        }
        return count;
    } catch (const css::uno::Exception& e) {
        return MakeError(Errc::Failed, "listing the documents in Calc failed: " + calc::Detail(e));
    }
}

}  // namespace tivaro::workbook

namespace tivaro::workbook {

Status QuitCalc(const SpreadsheetApp& app) {
    const auto* calcApp = dynamic_cast<const calc::CalcApp*>(&app);
    if (calcApp == nullptr) {
        return MakeError(Errc::Failed, "not a Calc app");
    }
    try {
        if (!calcApp->session()->desktop()->terminate()) {
            return MakeError(Errc::Failed, "Calc refused to quit");
        }
    } catch (const css::lang::DisposedException&) {
        // Calc went away while it answered: it quit.
    } catch (const css::uno::Exception& e) {
        return MakeError(Errc::Failed, "quitting Calc failed: " + calc::Detail(e));
    }
    return {};
}

}  // namespace tivaro::workbook
