#pragma once
// A spreadsheet application on a thread of its own, for an application that is slow to answer
// or may not answer at all (one in another process, which a person may be using). The race's
// thread never waits on it:
//
// - Opening runs on the worker. The opened workbook keeps a copy of the top-left block of
//   every sheet (SheetCopy), read in one call per sheet.
// - Reads (readCell, readRow, readBlock, find, the sheet names) are answered from the copy.
// - Writes and colours change the copy at once and are queued for the worker, which puts
//   what is queued together into the application in as few calls as it allows (see
//   Workbook::applyChanges), and then reads the rows it wrote again, so that what the
//   application's own formulas made of them reaches the copy.
// - Cells a person changes in the application reach the copy too: the application tells the
//   worker (Workbook::watchOutsideChanges) and the worker reads the sheet again. A cell with
//   a change of ours still on its way keeps ours.
// - Saving, copying and closing are queued behind the writes; what fails comes back through
//   news(), with whether the application has stopped answering and how much waits for it.
//
// The workbook is used from one thread (the race's); the worker calls `wake` from its own
// thread when there is news, for the owner to ask news() on its thread.

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "workbook/threaded/sheet_copy.h"
#include "workbook/threaded/workbook_worker.h"
#include "workbook/workbook.h"

namespace tivaro::workbook {

struct ThreadedOptions {
    // The block of every sheet kept in the copy: rows 1..copiedRows, columns 1..copiedColumns.
    int copiedRows = 256;
    int copiedColumns = 32;
    // A call to the application that takes longer: it does not answer.
    std::chrono::milliseconds answerLimit{2'000};
    // How long starting the application and opening a workbook may take before it counts as
    // not answering.
    std::chrono::milliseconds openLimit{90'000};
    // Called on the worker's thread when news waits.
    std::function<void()> wake;
};

class ThreadedWorkbook;

class ThreadedApp final : public SpreadsheetApp {
public:
    using Starter = std::function<Result<std::unique_ptr<SpreadsheetApp>>()>;
    // What an open gave, and whether the application started at all (a failure to start may
    // be met with another engine).
    using Opened = std::function<void(Result<std::unique_ptr<Workbook>> opened, bool started)>;

    // `start` runs on the worker for every open: it joins the application, or starts it.
    ThreadedApp(Starter start, ThreadedOptions options);
    ~ThreadedApp() override;

    // Shown by the open that follows.
    Status show() override { return {}; }
    // Opens `file` on the worker and waits for it: for tools, tests and benchmarks.
    Result<std::unique_ptr<Workbook>> open(const std::filesystem::path& file) override;
    // Opens `file` on the worker; `done` runs on the worker's thread.
    void openLater(const std::filesystem::path& file, Opened done);

private:
    Starter start_;
    ThreadedOptions options_;
    std::shared_ptr<WorkbookWorker> worker_;
};

// `app` for one more owner: a race lets go of the app of each workbook it leaves, while the
// worker, and a soffice it started, must live on for the next.
std::unique_ptr<SpreadsheetApp> ShareApp(std::shared_ptr<ThreadedApp> app);

class ThreadedWorkbook final : public Workbook {
public:
    struct Shared;  // between the workbook and its worker

    ~ThreadedWorkbook() override;

    const std::filesystem::path& path() const override { return path_; }
    std::vector<std::string> sheetNames() const override;
    Result<std::string> sheetName(SheetId sheet) const override;
    Result<SheetId> activeSheet() const override;
    Status activate(std::string_view sheetName) override;
    Result<int> find(SheetId sheet, std::string_view range, std::string_view text) override;
    Result<std::string> readCell(SheetId sheet, int row, int column) override;
    Result<std::vector<std::string>> readRow(SheetId sheet, int row, int lastColumn) override;
    Status writeCell(SheetId sheet, int row, int column, std::string_view text) override;
    Status writeRange(SheetId sheet, std::string_view range, std::string_view text) override;
    Status colourCell(SheetId sheet, int row, int column, std::uint32_t colour) override;
    std::vector<Error> applyChanges(std::span<const CellChange> changes) override;
    WorkbookNews news() override;
    bool hasUnsavedChanges() const override { return unsaved_; }
    // Queued: the report names the file; a failure comes through news().
    Result<SaveReport> save() override;
    Status writeCopy(const std::filesystem::path& file) override;
    Status close() override;

    // Also takes in what came back.
    bool settle(std::chrono::milliseconds limit) override;

private:
    friend class ThreadedApp;
    ThreadedWorkbook(std::shared_ptr<WorkbookWorker> worker, std::shared_ptr<Shared> shared,
                     ThreadedOptions options);

    Status usable(SheetId sheet) const;
    Status inCopy(SheetId sheet, int row, int column) const;
    std::string where(SheetId sheet) const;
    // Queues `op` (a Shared::Op) for the worker.
    template <class Op>
    void queue(Op op);
    void wrote(SheetId sheet, int row, int column, std::uint64_t sequence);
    // Takes in what the worker sent back: rows read again, failures.
    void absorb();

    std::shared_ptr<WorkbookWorker> worker_;
    std::shared_ptr<Shared> shared_;
    ThreadedOptions options_;
    std::filesystem::path path_;
    std::vector<SheetCopy> sheets_;
    int active_ = 0;
    bool unsaved_ = false;
    bool closed_ = false;
    std::optional<Error> lost_;   // the application lost the workbook
    std::uint64_t sequence_ = 0;  // of the last change queued
    // The cells changed here that the application may not hold yet: by sheet, row, column,
    // the sequence of their last change. Rows read again before it do not overwrite them.
    std::map<std::tuple<int, int, int>, std::uint64_t> inFlight_;
    std::vector<Error> problems_;
    bool outsideChanges_ = false;
};

}  // namespace tivaro::workbook
