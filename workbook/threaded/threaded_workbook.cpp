#include "workbook/threaded/threaded_workbook.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <future>
#include <mutex>
#include <variant>

#include "workbook/match_index.h"

namespace tivaro::workbook {

namespace {

// At most this many failures of one batch are passed on: a workbook that fails every write
// says so once per write otherwise.
constexpr std::size_t kMaxProblemsPerBatch = 8;

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

}  // namespace

struct ThreadedWorkbook::Shared {
    struct RangeWrite {
        SheetId sheet;
        std::string range;
        CellBlock block;
        std::string text;
    };
    struct Activate {
        std::string name;
    };
    struct Save {};
    struct WriteCopy {
        std::filesystem::path file;
    };
    struct Close {};
    using Op = std::variant<CellChange, RangeWrite, Activate, Save, WriteCopy, Close>;
    struct Queued {
        Op op;
        std::uint64_t sequence;
    };
    // Rows read again from the application, after it held every change up to `through`.
    struct Refresh {
        int sheet;
        int firstRow;
        std::vector<std::vector<std::string>> rows;
        std::uint64_t through;
    };

    ThreadedOptions options;

    std::mutex mutex;  // guards what follows, up to the worker's own part
    std::deque<Queued> queued;
    bool flushPosted = false;
    std::vector<Refresh> refreshes;
    std::vector<Error> problems;
    bool outsideChanged = false;
    std::vector<char> changedSheets;  // sheets a person changed, to be read again
    bool rereadPosted = false;
    std::atomic<bool> news{false};
    std::atomic<std::uint64_t> applied{0};  // the last change the application holds

    // The worker's own: the application and the workbook in it.
    std::unique_ptr<SpreadsheetApp> app;
    std::unique_ptr<Workbook> book;
    bool gone = false;    // the application lost the workbook: nothing more is tried
    bool closed = false;  // closed on request

    void tell() {
        news = true;
        if (options.wake) {
            options.wake();
        }
    }

    // Runs on the worker: everything queued goes into the application.
    static void Flush(const std::shared_ptr<Shared>& shared);
    // Runs on the worker: the sheets a person changed are read again.
    static void Reread(const std::shared_ptr<Shared>& shared);
    // Called by the application, from any thread.
    static void Changed(const std::weak_ptr<Shared>& weakShared,
                        const std::weak_ptr<WorkbookWorker>& weakWorker, SheetId sheet);
};

void ThreadedWorkbook::Shared::Flush(const std::shared_ptr<Shared>& shared) {
    std::deque<Queued> taken;
    {
        std::lock_guard lock(shared->mutex);
        taken.swap(shared->queued);
        shared->flushPosted = false;
    }
    if (taken.empty()) {
        return;
    }
    Workbook* book = shared->book.get();
    std::vector<Error> problems;
    const auto note = [&](const Error& error) {
        if (error.code == Errc::Closed) {
            if (shared->gone) {
                return;
            }
            shared->gone = true;
        } else if (problems.size() >= kMaxProblemsPerBatch) {
            return;
        }
        problems.push_back(error);
    };
    const auto usable = [&] { return book != nullptr && !shared->gone && !shared->closed; };
    std::map<int, std::pair<int, int>> touched;  // by sheet: the first and last row written
    const auto touch = [&](SheetId sheet, int first, int last) {
        auto [at, added] = touched.try_emplace(sheet.index, first, last);
        if (!added) {
            at->second.first = std::min(at->second.first, first);
            at->second.second = std::max(at->second.second, last);
        }
    };
    std::vector<CellChange> run;
    const auto applyRun = [&] {
        if (!run.empty() && usable()) {
            for (const Error& error : book->applyChanges(run)) {
                note(error);
            }
        }
        run.clear();
    };
    for (Queued& queued : taken) {
        if (auto* change = std::get_if<CellChange>(&queued.op)) {
            touch(change->sheet, change->row, change->row);
            run.push_back(std::move(*change));
            continue;
        }
        applyRun();
        if (!usable()) {
            continue;
        }
        if (auto* range = std::get_if<RangeWrite>(&queued.op)) {
            touch(range->sheet, range->block.first.row, range->block.last.row);
            if (Status done = book->writeRange(range->sheet, range->range, range->text); !done) {
                note(done.error());
            }
        } else if (auto* activate = std::get_if<Activate>(&queued.op)) {
            if (Status done = book->activate(activate->name); !done) {
                note(done.error());
            }
        } else if (std::holds_alternative<Save>(queued.op)) {
            if (Result<SaveReport> saved = book->save(); !saved) {
                note(saved.error());
            }
        } else if (auto* copy = std::get_if<WriteCopy>(&queued.op)) {
            if (Status done = book->writeCopy(copy->file); !done) {
                note(done.error());
            }
        } else if (std::holds_alternative<Close>(queued.op)) {
            if (Status done = book->close(); !done) {
                note(done.error());
            }
            shared->closed = true;
        }
    }
    applyRun();

    // What the application's formulas made of the rows written comes back to the copy.
    std::vector<Refresh> refreshes;
    const std::uint64_t through = taken.back().sequence;
    for (const auto& [sheet, rows] : touched) {
        if (!usable() || rows.first > shared->options.copiedRows) {
            continue;
        }
        const int last = std::min(rows.second, shared->options.copiedRows);
        Result<std::vector<std::vector<std::string>>> read =
            book->readBlock(SheetId{sheet}, rows.first, last, shared->options.copiedColumns);
        if (!read) {
            note(read.error());
            continue;
        }
        refreshes.push_back({sheet, rows.first, std::move(*read), through});
    }
    {
        std::lock_guard lock(shared->mutex);
        for (Refresh& refresh : refreshes) {
            shared->refreshes.push_back(std::move(refresh));
        }
        for (Error& error : problems) {
            shared->problems.push_back(std::move(error));
        }
    }
    shared->applied = through;
    shared->tell();
}

void ThreadedWorkbook::Shared::Reread(const std::shared_ptr<Shared>& shared) {
    std::vector<char> changed;
    {
        std::lock_guard lock(shared->mutex);
        changed.swap(shared->changedSheets);
        shared->changedSheets.assign(changed.size(), 0);
        shared->rereadPosted = false;
    }
    if (!shared->book || shared->gone || shared->closed) {
        return;
    }
    // On the worker every change queued before is in the application already or still queued
    // behind this read; the applied mark says which.
    const std::uint64_t through = shared->applied;
    std::vector<Refresh> refreshes;
    for (std::size_t sheet = 0; sheet < changed.size(); ++sheet) {
        if (!changed[sheet]) {
            continue;
        }
        Result<std::vector<std::vector<std::string>>> read =
            shared->book->readBlock(SheetId{static_cast<int>(sheet)}, 1, shared->options.copiedRows,
                                    shared->options.copiedColumns);
        if (read) {
            refreshes.push_back({static_cast<int>(sheet), 1, std::move(*read), through});
        }
    }
    {
        std::lock_guard lock(shared->mutex);
        for (Refresh& refresh : refreshes) {
            shared->refreshes.push_back(std::move(refresh));
        }
        shared->outsideChanged = true;
    }
    shared->tell();
}

void ThreadedWorkbook::Shared::Changed(const std::weak_ptr<Shared>& weakShared,
                                       const std::weak_ptr<WorkbookWorker>& weakWorker,
                                       SheetId sheet) {
    const std::shared_ptr<Shared> shared = weakShared.lock();
    const std::shared_ptr<WorkbookWorker> worker = weakWorker.lock();
    if (!shared || !worker) {
        return;
    }
    bool post = false;
    {
        std::lock_guard lock(shared->mutex);
        const auto index = static_cast<std::size_t>(sheet.index);
        if (index >= shared->changedSheets.size()) {
            return;
        }
        shared->changedSheets[index] = 1;
        post = !std::exchange(shared->rereadPosted, true);
    }
    if (post) {
        worker->post([weakShared] {
            if (std::shared_ptr<Shared> alive = weakShared.lock()) {
                Reread(alive);
            }
        });
    }
}

// ---------------------------------------------------------------------------------------------

ThreadedApp::ThreadedApp(Starter start, ThreadedOptions options)
    : start_(std::move(start)),
      options_(std::move(options)),
      worker_(std::make_shared<WorkbookWorker>()) {}

ThreadedApp::~ThreadedApp() = default;

void ThreadedApp::openLater(const std::filesystem::path& file, Opened done) {
    std::weak_ptr<WorkbookWorker> weakWorker = worker_;
    worker_->post(
        [start = start_, options = options_, file, done = std::move(done), weakWorker] {
            const std::shared_ptr<WorkbookWorker> worker = weakWorker.lock();
            if (!worker) {
                return;
            }
            Result<std::unique_ptr<SpreadsheetApp>> app = start();
            if (!app) {
                done(app.error(), false);
                return;
            }
            if (Status shown = (*app)->show(); !shown) {
                done(shown.error(), true);
                return;
            }
            Result<std::unique_ptr<Workbook>> opened = (*app)->open(file);
            if (!opened) {
                done(opened.error(), true);
                return;
            }
            Workbook& book = **opened;
            Result<SheetId> active = book.activeSheet();
            if (!active) {
                done(active.error(), true);
                return;
            }
            auto shared = std::make_shared<ThreadedWorkbook::Shared>();
            shared->options = options;
            std::unique_ptr<ThreadedWorkbook> threaded(
                new ThreadedWorkbook(worker, shared, options));
            threaded->path_ = book.path();
            threaded->active_ = active->index;
            const std::vector<std::string> names = book.sheetNames();
            for (std::size_t index = 0; index < names.size(); ++index) {
                SheetCopy copy(names[index], options.copiedRows, options.copiedColumns);
                Result<std::vector<std::vector<std::string>>> rows = book.readBlock(
                    SheetId{static_cast<int>(index)}, 1, options.copiedRows, options.copiedColumns);
                if (!rows) {
                    done(rows.error(), true);
                    return;
                }
                copy.setRows(1, *rows);
                threaded->sheets_.push_back(std::move(copy));
            }
            shared->changedSheets.assign(names.size(), 0);
            std::weak_ptr<ThreadedWorkbook::Shared> weakShared = shared;
            book.watchOutsideChanges(
                options.copiedRows, options.copiedColumns, [weakShared, weakWorker](SheetId sheet) {
                    ThreadedWorkbook::Shared::Changed(weakShared, weakWorker, sheet);
                });
            shared->app = std::move(*app);
            shared->book = std::move(*opened);
            done(std::unique_ptr<Workbook>(std::move(threaded)), true);
        },
        options_.openLimit);
}

Result<std::unique_ptr<Workbook>> ThreadedApp::open(const std::filesystem::path& file) {
    std::promise<Result<std::unique_ptr<Workbook>>> promise;
    std::future<Result<std::unique_ptr<Workbook>>> result = promise.get_future();
    openLater(file, [&promise](Result<std::unique_ptr<Workbook>> opened, bool) {
        promise.set_value(std::move(opened));
    });
    return result.get();
}

namespace {

class SharedApp final : public SpreadsheetApp {
public:
    explicit SharedApp(std::shared_ptr<ThreadedApp> app) : app_(std::move(app)) {}
    Status show() override { return app_->show(); }
    Result<std::unique_ptr<Workbook>> open(const std::filesystem::path& file) override {
        return app_->open(file);
    }

private:
    std::shared_ptr<ThreadedApp> app_;
};

}  // namespace

std::unique_ptr<SpreadsheetApp> ShareApp(std::shared_ptr<ThreadedApp> app) {
    return std::make_unique<SharedApp>(std::move(app));
}

// ---------------------------------------------------------------------------------------------

ThreadedWorkbook::ThreadedWorkbook(std::shared_ptr<WorkbookWorker> worker,
                                   std::shared_ptr<Shared> shared, ThreadedOptions options)
    : worker_(std::move(worker)), shared_(std::move(shared)), options_(std::move(options)) {}

ThreadedWorkbook::~ThreadedWorkbook() {
    // The application's workbook is let go of on the worker, behind what is still queued.
    worker_->post([shared = shared_] {
        Shared::Flush(shared);
        shared->book.reset();
        shared->app.reset();
    });
}

std::string ThreadedWorkbook::where(SheetId sheet) const {
    if (sheet.index >= 0 && sheet.index < static_cast<int>(sheets_.size())) {
        return "blad " + Quoted(sheets_[static_cast<std::size_t>(sheet.index)].name());
    }
    return "blad nummer " + std::to_string(sheet.index + 1);
}

Status ThreadedWorkbook::usable(SheetId sheet) const {
    if (lost_) {
        return *lost_;
    }
    if (closed_) {
        return MakeError(Errc::Closed,
                         "Het werkboek is gesloten; Tivaro leest of schrijft er niet meer in. "
                         "Open het opnieuw om verder te gaan. Werkboek: " +
                             Quoted(path_.string()));
    }
    if (sheet.index < 0 || sheet.index >= static_cast<int>(sheets_.size())) {
        return MakeError(Errc::NoSuchSheet, "Het werkboek heeft geen blad nummer " +
                                                std::to_string(sheet.index + 1) +
                                                ". Werkboek: " + Quoted(path_.string()));
    }
    return {};
}

Status ThreadedWorkbook::inCopy(SheetId sheet, int row, int column) const {
    if (row < 1 || row > kMaxRow || column < 1 || column > kMaxColumn) {
        return MakeError(Errc::BadAddress, "Er is geen cel op rij " + std::to_string(row) +
                                               ", kolom " + std::to_string(column) + " van " +
                                               where(sheet) +
                                               ". Werkboek: " + Quoted(path_.string()));
    }
    if (!sheets_[static_cast<std::size_t>(sheet.index)].holds(row, column)) {
        return MakeError(Errc::BadAddress,
                         "Cel " + CellName(row, column) + " van " + where(sheet) +
                             " ligt buiten het deel dat Tivaro bijhoudt (rij 1 tot " +
                             std::to_string(options_.copiedRows) + ", kolom A tot " +
                             ColumnName(options_.copiedColumns) +
                             "). Werkboek: " + Quoted(path_.string()));
    }
    return {};
}

void ThreadedWorkbook::absorb() {
    if (!shared_->news.exchange(false)) {
        return;
    }
    std::vector<Shared::Refresh> refreshes;
    std::vector<Error> problems;
    bool outside = false;
    {
        std::lock_guard lock(shared_->mutex);
        refreshes.swap(shared_->refreshes);
        problems.swap(shared_->problems);
        outside = std::exchange(shared_->outsideChanged, false);
    }
    outsideChanges_ = outsideChanges_ || outside;
    for (Shared::Refresh& refresh : refreshes) {
        SheetCopy& copy = sheets_[static_cast<std::size_t>(refresh.sheet)];
        int row = refresh.firstRow;
        for (std::vector<std::string>& cells : refresh.rows) {
            for (int column = 1; column <= static_cast<int>(cells.size()); ++column) {
                if (!copy.holds(row, column)) {
                    continue;
                }
                const auto pending = inFlight_.find({refresh.sheet, row, column});
                if (pending != inFlight_.end() && pending->second > refresh.through) {
                    continue;  // a change of ours is still on its way to that cell
                }
                copy.set(row, column, std::move(cells[static_cast<std::size_t>(column - 1)]));
            }
            ++row;
        }
    }
    const std::uint64_t applied = shared_->applied;
    std::erase_if(inFlight_, [applied](const auto& entry) { return entry.second <= applied; });
    for (Error& error : problems) {
        if (error.code == Errc::Closed && !lost_) {
            lost_ = error;
        }
        problems_.push_back(std::move(error));
    }
}

std::vector<std::string> ThreadedWorkbook::sheetNames() const {
    std::vector<std::string> names;
    for (const SheetCopy& sheet : sheets_) {
        names.push_back(sheet.name());
    }
    return names;
}

Result<std::string> ThreadedWorkbook::sheetName(SheetId sheet) const {
    if (Status valid = usable(sheet); !valid) {
        return valid.error();
    }
    return sheets_[static_cast<std::size_t>(sheet.index)].name();
}

Result<SheetId> ThreadedWorkbook::activeSheet() const {
    if (Status valid = usable(SheetId{active_}); !valid) {
        return valid.error();
    }
    return SheetId{active_};
}

Status ThreadedWorkbook::activate(std::string_view sheetName) {
    absorb();
    if (Status valid = usable(SheetId{active_}); !valid) {
        return valid;
    }
    std::string wanted;
    std::string folded;
    FoldCase(sheetName, wanted);
    for (std::size_t index = 0; index < sheets_.size(); ++index) {
        FoldCase(sheets_[index].name(), folded);
        if (folded == wanted) {
            active_ = static_cast<int>(index);
            queue(Shared::Activate{sheets_[index].name()});
            return {};
        }
    }
    return MakeError(Errc::NoSuchSheet, "Het werkboek heeft geen blad " +
                                            Quoted(std::string(sheetName)) +
                                            ". Werkboek: " + Quoted(path_.string()));
}

Result<int> ThreadedWorkbook::find(SheetId sheet, std::string_view range, std::string_view text) {
    absorb();
    if (Status valid = usable(sheet); !valid) {
        return valid.error();
    }
    const std::optional<CellBlock> block = ParseBlock(range);
    if (!block) {
        return MakeError(Errc::BadAddress, Quoted(std::string(range)) + " is geen celbereik (" +
                                               where(sheet) +
                                               "). Werkboek: " + Quoted(path_.string()));
    }
    if (block->first.column != block->last.column && block->first.row != block->last.row) {
        return MakeError(Errc::BadAddress, "Zoeken gaat in één kolom of één rij, niet in " +
                                               Quoted(std::string(range)) + " (" + where(sheet) +
                                               "). Werkboek: " + Quoted(path_.string()));
    }
    const SheetCopy& copy = sheets_[static_cast<std::size_t>(sheet.index)];
    if (!copy.holds(*block)) {
        return inCopy(sheet, block->last.row, block->last.column).error();
    }
    if (std::optional<int> position = copy.find(*block, text)) {
        return *position;
    }
    return MakeError(Errc::NotFound, Quoted(std::string(text)) + " staat niet in " +
                                         std::string(range) + " van " + where(sheet) +
                                         ". Werkboek: " + Quoted(path_.string()));
}

Result<std::string> ThreadedWorkbook::readCell(SheetId sheet, int row, int column) {
    absorb();
    if (Status valid = usable(sheet); !valid) {
        return valid.error();
    }
    if (Status valid = inCopy(sheet, row, column); !valid) {
        return valid.error();
    }
    return sheets_[static_cast<std::size_t>(sheet.index)].cell(row, column);
}

Result<std::vector<std::string>> ThreadedWorkbook::readRow(SheetId sheet, int row, int lastColumn) {
    absorb();
    if (Status valid = usable(sheet); !valid) {
        return valid.error();
    }
    if (Status valid = inCopy(sheet, row, std::max(lastColumn, 1)); !valid) {
        return valid.error();
    }
    const SheetCopy& copy = sheets_[static_cast<std::size_t>(sheet.index)];
    std::vector<std::string> cells;
    cells.reserve(static_cast<std::size_t>(lastColumn));
    for (int column = 1; column <= lastColumn; ++column) {
        cells.push_back(copy.cell(row, column));
    }
    return cells;
}

template <class Op>
void ThreadedWorkbook::queue(Op op) {
    bool post = false;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->queued.push_back({std::move(op), ++sequence_});
        post = !std::exchange(shared_->flushPosted, true);
    }
    if (post) {
        worker_->post([shared = shared_] { Shared::Flush(shared); }, options_.answerLimit);
    }
}

void ThreadedWorkbook::wrote(SheetId sheet, int row, int column, std::uint64_t sequence) {
    inFlight_[{sheet.index, row, column}] = sequence;
}

Status ThreadedWorkbook::writeCell(SheetId sheet, int row, int column, std::string_view text) {
    const CellChange change{CellChange::Kind::Text, sheet, row, column, std::string(text), 0};
    std::vector<Error> problems = applyChanges(std::span(&change, 1));
    if (!problems.empty()) {
        return problems.front();
    }
    return {};
}

Status ThreadedWorkbook::colourCell(SheetId sheet, int row, int column, std::uint32_t colour) {
    const CellChange change{CellChange::Kind::Colour, sheet, row, column, {}, colour};
    std::vector<Error> problems = applyChanges(std::span(&change, 1));
    if (!problems.empty()) {
        return problems.front();
    }
    return {};
}

std::vector<Error> ThreadedWorkbook::applyChanges(std::span<const CellChange> changes) {
    absorb();
    std::vector<Error> problems;
    for (const CellChange& change : changes) {
        if (Status valid = usable(change.sheet); !valid) {
            problems.push_back(valid.error());
            continue;
        }
        if (change.row < 1 || change.row > kMaxRow || change.column < 1 ||
            change.column > kMaxColumn) {
            problems.push_back(inCopy(change.sheet, change.row, change.column).error());
            continue;
        }
        if (change.kind == CellChange::Kind::Colour && change.colour > 0xFFFFFFu) {
            problems.push_back(MakeError(
                Errc::Failed, std::to_string(change.colour) +
                                  " is geen kleur (R + 256·G + 65536·B), voor cel " +
                                  CellName(change.row, change.column) + " van " +
                                  where(change.sheet) + ". Werkboek: " + Quoted(path_.string())));
            continue;
        }
        SheetCopy& copy = sheets_[static_cast<std::size_t>(change.sheet.index)];
        queue(change);
        if (change.kind == CellChange::Kind::Text && copy.holds(change.row, change.column)) {
            copy.set(change.row, change.column, change.text);
            wrote(change.sheet, change.row, change.column, sequence_);
        }
        unsaved_ = true;
    }
    return problems;
}

Status ThreadedWorkbook::writeRange(SheetId sheet, std::string_view range, std::string_view text) {
    absorb();
    if (Status valid = usable(sheet); !valid) {
        return valid;
    }
    const std::optional<CellBlock> block = ParseBlock(range);
    if (!block) {
        return MakeError(Errc::BadAddress, Quoted(std::string(range)) + " is geen celbereik (" +
                                               where(sheet) +
                                               "). Werkboek: " + Quoted(path_.string()));
    }
    queue(Shared::RangeWrite{sheet, std::string(range), *block, std::string(text)});
    SheetCopy& copy = sheets_[static_cast<std::size_t>(sheet.index)];
    const int lastRow = std::min(block->last.row, copy.rows());
    const int lastColumn = std::min(block->last.column, copy.columns());
    for (int row = block->first.row; row <= lastRow; ++row) {
        for (int column = block->first.column; column <= lastColumn; ++column) {
            copy.set(row, column, std::string(text));
            wrote(sheet, row, column, sequence_);
        }
    }
    unsaved_ = true;
    return {};
}

WorkbookNews ThreadedWorkbook::news() {
    absorb();
    WorkbookNews news;
    news.problems = std::exchange(problems_, {});
    news.outsideChanges = std::exchange(outsideChanges_, false);
    news.notAnswering = worker_->overdue();
    news.waitingChanges = static_cast<std::size_t>(sequence_ - shared_->applied);
    return news;
}

Result<SaveReport> ThreadedWorkbook::save() {
    absorb();
    if (Status valid = usable(SheetId{active_}); !valid) {
        return valid.error();
    }
    queue(Shared::Save{});
    unsaved_ = false;
    return SaveReport{path_, ""};
}

Status ThreadedWorkbook::writeCopy(const std::filesystem::path& file) {
    absorb();
    if (Status valid = usable(SheetId{active_}); !valid) {
        return valid;
    }
    queue(Shared::WriteCopy{file});
    return {};
}

Status ThreadedWorkbook::close() {
    absorb();
    if (closed_ || lost_) {
        return {};
    }
    queue(Shared::Close{});
    closed_ = true;
    unsaved_ = false;
    return {};
}

bool ThreadedWorkbook::settle(std::chrono::milliseconds limit) {
    const bool done = worker_->drain(limit);
    absorb();
    return done;
}

}  // namespace tivaro::workbook
