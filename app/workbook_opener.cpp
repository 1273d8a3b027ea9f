#include "app/workbook_opener.h"

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <future>
#include <memory>
#include <utility>

#include "app/dialogs.h"
#include "app/qt_text.h"
#include "app/saved_setup.h"
#include "common/system_error.h"

namespace tivaro::app {

QString WorkbookFileFilter(EngineKind kind) {
    return QStringLiteral("Dovo Worksheets (dovo*.xls);;") + FormatsFilterFor(kind) +
           QStringLiteral(";;All files (*)");
}

std::array<int, 4> AreaBeside(const QWidget& window) {
    const QScreen* screen = window.screen();
    const QRect room = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    const QRect taken = window.frameGeometry();
    const int right = room.right() - taken.right();
    const int left = taken.left() - room.left();
    constexpr int kNarrowest = 480;
    if (std::max(left, right) >= kNarrowest) {
        const int x = right >= left ? taken.right() + 1 : room.left();
        return {x, room.top(), std::max(left, right), room.height()};
    }
    // No room beside it: the lower right part of the screen, over part of the timing window,
    // which is raised again once the workbook is open.
    const int width = std::max(kNarrowest, room.width() * 2 / 3);
    const int height = std::max(kNarrowest, room.height() * 2 / 3);
    return {room.right() + 1 - width, room.bottom() + 1 - height, width, height};
}

WorkbookOpener::WorkbookOpener(QWidget* window, Options options,
                               std::function<bool(const std::filesystem::path&)> mayOpen,
                               Opened opened)
    : QObject(window),
      window_(window),
      options_(std::move(options)),
      mayOpen_(std::move(mayOpen)),
      opened_(std::move(opened)) {}

WorkbookOpener::~WorkbookOpener() = default;

EngineChoice WorkbookOpener::engineForNextWorkbook() const {
    if (options_.startSpreadsheet) {
        return {EngineKind::Embedded, options_.engineName, {}};
    }
    return ChooseEngine(options_.preferEmbedded && options_.preferEmbedded());
}

void WorkbookOpener::askAndOpen() {
    if (opening()) {
        return;  // one workbook at a time
    }
    // The dialog starts where the last workbook was chosen.
    const QString folder = SavedSetup::Load().lastFolder;
    const QString filter = WorkbookFileFilter(engineForNextWorkbook().kind);
    const auto chosen = [this](std::optional<std::filesystem::path> file) {
        if (!file) {
            return;
        }
        SavedSetup::SaveLastFolder(PathText(file->parent_path()));
        open(*file);
    };
    if (options_.chooseWorkbook) {
        chosen(options_.chooseWorkbook(window_, filter, folder));
        return;
    }
    AskForFileToOpen(window_, tr("Wedstrijdwerkboek openen"), folder, filter, chosen);
}

void WorkbookOpener::open(const std::filesystem::path& file) {
    if (opening() || (mayOpen_ && !mayOpen_(file))) {
        return;
    }
    EngineChoice engine = engineForNextWorkbook();
    if (options_.startSpreadsheet) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        Result<timing::OpenedWorkbook> opened =
            timing::OpenWorkbook(options_.startSpreadsheet, file);
        QApplication::restoreOverrideCursor();
        finish(std::move(opened), file, engine);
        return;
    }
    if (engine.kind == EngineKind::Embedded) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        Result<timing::OpenedWorkbook> opened = OpenEmbedded(file, options_.backups);
        QApplication::restoreOverrideCursor();
        finish(std::move(opened), file, engine);
        return;
    }
    openInCalc(file, engine);
}

void WorkbookOpener::openInCalc(const std::filesystem::path& file, const EngineChoice& engine) {
    if (!calc_) {
        CalcStart start = options_.calcStart;
        if (!start.windowArea && !start.hidden) {
            start.windowArea = AreaBeside(*window_);
        }
        calc_ = CalcOnWorker(start);
    }
    opening_ = true;
    emit busy(true);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    emit report(tr("LibreOffice Calc wordt gestart en het werkboek geopend..."));
    if (!options_.openInBackground) {
        // Waits for the worker here (tests that drive the window step by step).
        std::promise<std::pair<Result<std::unique_ptr<workbook::Workbook>>, bool>> promise;
        auto result = promise.get_future();
        calc_->openLater(
            file, [&promise](Result<std::unique_ptr<workbook::Workbook>> opened, bool started) {
                promise.set_value({std::move(opened), started});
            });
        auto [opened, started] = result.get();
        calcOpened(std::move(opened), started, file, engine);
        return;
    }
    // The outcome comes from the worker's thread and is handled on the window's.
    QPointer<WorkbookOpener> guard(this);
    calc_->openLater(file, [guard, file, engine](Result<std::unique_ptr<workbook::Workbook>> opened,
                                                 bool started) {
        auto outcome =
            std::make_shared<Result<std::unique_ptr<workbook::Workbook>>>(std::move(opened));
        QMetaObject::invokeMethod(
            qApp,
            [guard, outcome, started, file, engine] {
                if (guard) {
                    guard->calcOpened(std::move(*outcome), started, file, engine);
                }
            },
            Qt::QueuedConnection);
    });
}

void WorkbookOpener::calcOpened(Result<std::unique_ptr<workbook::Workbook>> opened, bool started,
                                const std::filesystem::path& file, EngineChoice engine) {
    opening_ = false;
    QApplication::restoreOverrideCursor();
    emit busy(false);
    if (!opened && !started && EmbeddedReads(file)) {
        // Calc did not start: the embedded engine opens an .xlsx workbook itself.
        engine = EmbeddedInstead(opened.error());
        finish(OpenEmbedded(file, options_.backups), file, engine);
        return;
    }
    const std::string what = "Het wedstrijdwerkboek is niet geopend: ";
    if (!opened) {
        finish(MakeError(opened.error().code, what + opened.error().message), file, engine);
        return;
    }
    Result<workbook::SheetId> active = (*opened)->activeSheet();
    if (!active) {
        finish(MakeError(active.error().code, what + active.error().message), file, engine);
        return;
    }
    finish(timing::OpenedWorkbook{workbook::ShareApp(calc_), std::move(*opened), *active}, file,
           engine);
    // Calc's window came up beside this one; the grid stays in front.
    window_->raise();
    window_->activateWindow();
}

void WorkbookOpener::finish(Result<timing::OpenedWorkbook> opened,
                            const std::filesystem::path& file, const EngineChoice& engine) {
    if (!opened && opened.error().code == Errc::ReadOnly) {
        const QString message = QString::fromStdString(opened.error().message);
        emit report(message);
        offerCopy(file, message);
        return;
    }
    if (!opened && opened.error().code == Errc::Locked) {
        const QString message = QString::fromStdString(opened.error().message);
        emit report(message);
        offerToLift(file, message);
        return;
    }
    opened_(std::move(opened), file, engine);
}

void WorkbookOpener::offerToLift(const std::filesystem::path& file, const QString& message) {
    const QString question =
        message + QStringLiteral("\n\n") +
        tr("Is het werkboek daar niet meer open? Dan kan de vergrendeling worden opgeheven en "
           "het werkboek hier geopend.");
    const auto answer = [this, file](bool yes) {
        if (!yes) {
            return;
        }
        if (Status lifted = LiftCalcLock(file); !lifted) {
            const QString text = QString::fromStdString(lifted.error().message);
            emit report(text);
            emit failure(text);
            return;
        }
        emit report(tr("Vergrendeling opgeheven: %1").arg(PathText(file)));
        open(file);
    };
    if (options_.ask) {
        options_.ask(question, tr("Opheffen en openen"), answer);
    } else {
        AskQuestion(window_, question, tr("Opheffen en openen"), answer);
    }
}

void WorkbookOpener::offerCopy(const std::filesystem::path& file, const QString& message) {
    const QString question = message + QStringLiteral("\n\n") +
                             tr("Een kopie op een andere plaats opslaan en daarmee verder gaan?");
    const auto answer = [this, file](bool yes) {
        if (!yes) {
            return;
        }
        const QString suggested =
            PathText(std::filesystem::path(QDir::homePath().toStdString()) / file.filename());
        const auto chosen = [this, file](std::optional<std::filesystem::path> target) {
            if (target) {
                copyTo(file, *target);
            }
        };
        if (options_.chooseSaveTarget) {
            chosen(options_.chooseSaveTarget(window_, suggested));
            return;
        }
        AskForFileToSave(
            window_, tr("Kopie van het wedstrijdwerkboek opslaan als"), suggested,
            tr("Werkmappen (*%1)").arg(QString::fromStdString(file.extension().string())), chosen);
    };
    if (options_.ask) {
        options_.ask(question, tr("Opslaan als..."), answer);
    } else {
        AskQuestion(window_, question, tr("Opslaan als..."), answer);
    }
}

void WorkbookOpener::copyTo(const std::filesystem::path& file,
                            const std::filesystem::path& target) {
    std::error_code error;
    std::filesystem::copy_file(file, target, std::filesystem::copy_options::overwrite_existing,
                               error);
    if (error) {
        const QString text =
            tr("De kopie kon niet worden gemaakt: kies een andere plaats. (%1: %2)")
                .arg(PathText(target), QString::fromStdString(SystemErrorText(error)));
        emit report(text);
        emit failure(text);
        return;
    }
    // The copy takes the file's permissions along; it is made writable for the race.
    std::filesystem::permissions(target, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, error);
    emit report(tr("Kopie van het werkboek gemaakt: %1").arg(PathText(target)));
    open(target);
}

}  // namespace tivaro::app
