#include "app/workbook_opener.h"

#include <QApplication>
#include <QDir>
#include <QThread>
#include <QWidget>
#include <memory>

#include "app/dialogs.h"
#include "app/qt_text.h"
#include "app/saved_setup.h"
#include "common/system_error.h"

namespace tivaro::app {

QString WorkbookFileFilter(EngineKind kind) {
    return QStringLiteral("Dovo Worksheets (dovo*.xls);;") + FormatsFilterFor(kind) +
           QStringLiteral(";;All files (*)");
}

WorkbookOpener::WorkbookOpener(QWidget* window, Options options,
                               std::function<bool(const std::filesystem::path&)> mayOpen,
                               Opened opened)
    : QObject(window),
      window_(window),
      options_(std::move(options)),
      mayOpen_(std::move(mayOpen)),
      opened_(std::move(opened)) {}

WorkbookOpener::~WorkbookOpener() {
    // A workbook still being opened is waited for: its thread must not outlive the window.
    if (thread_ != nullptr) {
        thread_->wait();
    }
}

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
    if (engine.kind == EngineKind::Embedded || !options_.openInBackground) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        Result<timing::OpenedWorkbook> opened =
            OpenWithEngine(engine, file, options_.backups, options_.calcStart);
        QApplication::restoreOverrideCursor();
        finish(std::move(opened), file, engine);
        return;
    }
    // Calc takes a second or two to start and load: the window goes on meanwhile.
    emit busy(true);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    emit report(tr("LibreOffice Calc wordt gestart en het werkboek geopend..."));
    auto result = std::make_shared<std::optional<Result<timing::OpenedWorkbook>>>();
    auto chosen = std::make_shared<EngineChoice>(engine);
    thread_ = QThread::create(
        [result, chosen, file, backups = options_.backups, calc = options_.calcStart] {
            result->emplace(OpenWithEngine(*chosen, file, backups, calc));
        });
    connect(thread_, &QThread::finished, this, [this, result, chosen, file] {
        thread_->deleteLater();
        thread_ = nullptr;
        QApplication::restoreOverrideCursor();
        emit busy(false);
        finish(std::move(**result), file, *chosen);
    });
    thread_->start();
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
