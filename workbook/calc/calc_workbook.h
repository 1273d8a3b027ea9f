#pragma once
// Inside the Calc engine only: the Workbook of a document open in Calc (made by CalcApp).
//
// Every call over the pipe costs a fraction of a millisecond, so the objects Calc hands out are
// kept: the sheet objects (they follow their sheet, which is what a SheetId promises) and, per
// row used, the block of that row and the cells written or coloured in it. Calc moves a kept
// block or cell along when rows or columns are inserted or deleted or cells are moved, and a
// moved one would then write into another cell than asked. So every kept row block carries a
// listener in Calc: a change of its values, or a move, drops it and its cells, and the next
// call asks Calc for new ones at the same address. Changes made by this workbook's own writes
// are told apart: Calc reports them during the write, on the writing thread; they move
// nothing and keep the objects.
//
// find() keeps the texts of the block it searched, with such a listener: any change of its
// values, this workbook's own writes included, or a move marks them stale and the next find
// reads the block again. Writes elsewhere cost nothing.
//
// UNO exceptions never leave: each operation turns them into an Error. When Calc went away
// or the document was closed in Calc, the error is Errc::Closed, and so is every later call.

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/util/XModifyBroadcaster.hpp>
#include <rtl/ref.hxx>

#include "workbook/calc/uno_session.h"
#include "workbook/cell_address.h"
#include "workbook/workbook.h"

namespace tivaro::workbook::calc {

class BlockWatch;
struct OwnWrites;

class CalcWorkbook final : public Workbook {
public:
    // The workbook of `document`, opened from `file`; reads its sheets and active sheet.
    static Result<std::unique_ptr<CalcWorkbook>> Make(std::shared_ptr<OpenDocument> document,
                                                      std::filesystem::path file);
    ~CalcWorkbook() override;

    const std::filesystem::path& path() const override { return path_; }
    std::vector<std::string> sheetNames() const override;
    Result<std::string> sheetName(SheetId sheet) const override;
    Result<SheetId> activeSheet() const override;
    Status activate(std::string_view sheetName) override;
    Result<int> find(SheetId sheet, std::string_view range, std::string_view text) override;
    Result<std::string> readCell(SheetId sheet, int row, int column) override;
    Result<std::vector<std::string>> readRow(SheetId sheet, int row, int lastColumn) override;
    Result<std::vector<std::vector<std::string>>> readBlock(SheetId sheet, int firstRow,
                                                            int lastRow, int lastColumn) override;
    Status writeCell(SheetId sheet, int row, int column, std::string_view text) override;
    Status writeRange(SheetId sheet, std::string_view range, std::string_view text) override;
    Status colourCell(SheetId sheet, int row, int column, std::uint32_t colour) override;
    // Holds Calc's screen over the batch; adjacent texts of a row go in one call.
    std::vector<Error> applyChanges(std::span<const CellChange> changes) override;
    // A listener on the block of every sheet; this workbook's own writes do not count.
    void watchOutsideChanges(int lastRow, int lastColumn,
                             std::function<void(SheetId)> changed) override;
    bool hasUnsavedChanges() const override { return unsaved_; }
    Result<SaveReport> save() override;
    Status writeCopy(const std::filesystem::path& file) override;
    Status close() override;

private:
    struct Sheet {
        css::uno::Reference<css::sheet::XSpreadsheet> object;
        std::string name;  // as last seen, for messages and for activate
    };
    // The texts of one searched block, kept while Calc reports no change in it.
    struct BlockCache {
        css::uno::Reference<css::util::XModifyBroadcaster> broadcaster;
        rtl::Reference<BlockWatch> watch;
        std::vector<std::string> folded;  // the cells' match texts without case
    };
    struct BlockKey {
        int sheet;
        int firstRow, firstColumn, lastRow, lastColumn;
        auto operator<=>(const BlockKey&) const = default;
    };
    // The objects of one row, kept while Calc reports no change but this workbook's writes.
    struct RowCache {
        int lastColumn = 0;
        css::uno::Reference<css::table::XCellRange> range;
        css::uno::Reference<css::sheet::XCellRangeData> data;
        css::uno::Reference<css::util::XModifyBroadcaster> broadcaster;
        rtl::Reference<BlockWatch> watch;
        std::map<int, css::uno::Reference<css::text::XText>> texts;
        std::map<int, css::uno::Reference<css::beans::XPropertySet>> fills;
    };

    CalcWorkbook(std::shared_ptr<OpenDocument> document, std::filesystem::path file);
    Status loadSheets();

    // The sheet, or why it cannot be used (closed workbook, Calc gone, no such sheet).
    Result<const Sheet*> usable(SheetId sheet) const;
    Status checkCell(SheetId sheet, int row, int column) const;
    Result<CellBlock> parseBlock(SheetId sheet, std::string_view range) const;
    std::string where(SheetId sheet) const;
    std::string where(SheetId sheet, int row, int column) const;
    std::string workbookDetail() const;

    // Runs `body` and turns what Calc threw into an Error about `what` (a sheet or cell).
    template <class T, class Body>
    Result<T> guarded(SheetId sheet, const std::string& what, Body&& body);
    Error lostError() const;
    Error failure(SheetId sheet, const std::string& what, const css::uno::Exception& exception,
                  bool runtime);

    // A new block object at `block`, with a listener (null `own`: every change counts) that
    // was in place before the object could have moved.
    css::uno::Reference<css::table::XCellRange> watchedBlock(
        SheetId sheet, const CellBlock& block, const std::shared_ptr<OwnWrites>& own,
        css::uno::Reference<css::util::XModifyBroadcaster>& broadcaster,
        rtl::Reference<BlockWatch>& watch);
    std::vector<std::string> texts(const css::uno::Reference<css::table::XCellRange>& range,
                                   const css::uno::Reference<css::sheet::XCellRangeData>& data,
                                   int columns);
    Result<BlockCache*> searchedBlock(SheetId sheet, const CellBlock& block);
    RowCache& row(SheetId sheet, int row, int lastColumn);
    void dropCaches();
    void unwatchOutside();
    // Writes `texts` (one per column from `firstColumn` on) into one row with one call.
    void writeRun(SheetId sheet, int row, int firstColumn, const std::vector<std::string>& texts);

    std::shared_ptr<OpenDocument> document_;
    std::filesystem::path path_;
    css::uno::Reference<css::sheet::XSpreadsheetDocument> spreadsheet_;
    css::uno::Reference<css::container::XIndexAccess> sheetsByIndex_;
    css::uno::Reference<css::container::XNameAccess> sheetsByName_;
    std::vector<Sheet> sheets_;
    std::map<BlockKey, BlockCache> blockCaches_;
    std::map<std::pair<int, int>, RowCache> rows_;  // by sheet and row
    std::shared_ptr<OwnWrites> own_;
    struct OutsideWatch {
        css::uno::Reference<css::util::XModifyBroadcaster> broadcaster;
        rtl::Reference<BlockWatch> watch;
    };
    std::vector<OutsideWatch> outsideWatches_;
    int active_ = 0;
    bool unsaved_ = false;
    bool closed_ = false;  // closed by close()
    // What went away under the workbook; found out by any call, also a const one.
    enum class Lost { No, Document, Calc };
    mutable Lost lost_ = Lost::No;
};

// The app of a session: "Open" attaches to the workbook when Calc has it open already (the
// organisers opened it, or an earlier open of this program), and loads it otherwise.
class CalcApp final : public SpreadsheetApp {
public:
    explicit CalcApp(std::shared_ptr<Session> session) : session_(std::move(session)) {}

    // A document shows itself when it is loaded with a window; nothing else to show.
    Status show() override;
    Result<std::unique_ptr<Workbook>> open(const std::filesystem::path& file) override;

    const std::shared_ptr<Session>& session() const { return session_; }

private:
    Result<std::unique_ptr<Workbook>> openChecked(const std::filesystem::path& file);

    std::shared_ptr<Session> session_;
};

// The document of `file` among those open in the session's Calc; null when it is not open.
css::uno::Reference<css::frame::XModel> FindOpenDocument(Session& session,
                                                         const std::filesystem::path& file);

}  // namespace tivaro::workbook::calc
