#pragma once
// Opening the race workbook for the window: the file is asked for without blocking the window,
// the engine chosen (Calc or embedded), and the workbook opened; Calc takes a second or two to
// start and load, so it opens on the worker thread that makes every call to Calc, while the
// race goes on. That worker lives as long as the opener, so a Calc it started lives on between
// workbooks and the next one opens at once. A workbook that could
// not be saved where it is (read-only) is offered to be copied elsewhere and opened there.
// One workbook is opened at a time.

#include <QObject>
#include <QString>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "app/engine_choice.h"
#include "common/result.h"
#include "timing/race.h"

class QWidget;

namespace tivaro::app {

// The open dialog's file filter, in the dialog's syntax: the race workbooks by name, the
// workbook formats the engine `kind` reads, and all files.
QString WorkbookFileFilter(EngineKind kind);

// Where Calc's window goes: beside `window` on its screen where there is room, else the
// lower right of the screen (x, y, width, height).
std::array<int, 4> AreaBeside(const QWidget& window);

class WorkbookOpener final : public QObject {
    Q_OBJECT
public:
    struct Options {
        // Asks for the workbook given the dialog's file filter and the folder to start in;
        // nothing when cancelled. Empty: the file dialog, which does not block the window.
        std::function<std::optional<std::filesystem::path>(QWidget*, const QString& filter,
                                                           const QString& folder)>
            chooseWorkbook;
        // Asks where a copy goes. Empty: the save dialog, which does not block the window.
        std::function<std::optional<std::filesystem::path>(QWidget*, const QString& suggested)>
            chooseSaveTarget;
        // Asks a yes-or-no question without blocking the window (see WindowOptions::ask).
        std::function<void(const QString& question, const QString& yes,
                           std::function<void(bool)> answer)>
            ask;
        // A spreadsheet given from outside, and how the title names it; empty: the engine
        // choice below.
        timing::AppStarter startSpreadsheet;
        QString engineName;
        CalcStart calcStart;
        std::function<bool()> preferEmbedded;
        bool openInBackground = true;
        std::filesystem::path backups;  // the embedded engine's backup folder
    };
    // What an open gave: the workbook or why not, the file, and the engine it was opened with.
    using Opened =
        std::function<void(Result<timing::OpenedWorkbook> opened, const std::filesystem::path& file,
                           const EngineChoice& engine)>;

    // `window` parents the dialogs; `mayOpen` is asked once a file is chosen (the workbook in
    // force must be saved first); `opened` receives every open's outcome.
    WorkbookOpener(QWidget* window, Options options,
                   std::function<bool(const std::filesystem::path&)> mayOpen, Opened opened);
    ~WorkbookOpener() override;

    // The open button: asks for the file, then opens it.
    void askAndOpen();
    // Opens `file`.
    void open(const std::filesystem::path& file);
    bool opening() const { return opening_; }

signals:
    // Opening started or ended (the open button is not usable meanwhile).
    void busy(bool opening);
    void report(const QString& message);
    void failure(const QString& message);

private:
    EngineChoice engineForNextWorkbook() const;
    void openInCalc(const std::filesystem::path& file, const EngineChoice& engine);
    void calcOpened(Result<std::unique_ptr<workbook::Workbook>> opened, bool started,
                    const std::filesystem::path& file, EngineChoice engine);
    void finish(Result<timing::OpenedWorkbook> opened, const std::filesystem::path& file,
                const EngineChoice& engine);
    void offerCopy(const std::filesystem::path& file, const QString& message);
    // Another user's or machine's Calc holds the workbook: asks whether to lift its lock.
    void offerToLift(const std::filesystem::path& file, const QString& message);
    void copyTo(const std::filesystem::path& file, const std::filesystem::path& target);

    QWidget* window_;
    Options options_;
    std::function<bool(const std::filesystem::path&)> mayOpen_;
    Opened opened_;
    std::shared_ptr<workbook::ThreadedApp> calc_;
    bool opening_ = false;
};

}  // namespace tivaro::app
