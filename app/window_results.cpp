// The results of the race in force from the window: saved as a PDF or CSV, or printed.

#include <QDateTime>
#include <QPrintDialog>
#include <QPrinter>

#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "results/results_files.h"
#include "timing/results.h"

namespace tivaro::app {

void MainWindow::saveResults() {
    workbook::Workbook* book = controller_->race().workbook();
    // Beside the workbook, named after it.
    const std::filesystem::path suggested =
        book == nullptr
            ? dataDirectory_ / "uitslag.pdf"
            : book->path().parent_path() / (book->path().stem().string() + "-uitslag.pdf");
    askForFileToSave(options_.chooseResultsFile, tr("Uitslag opslaan"), PathText(suggested),
                     tr("PDF (*.pdf);;CSV voor een rekenblad (*.csv)"),
                     [this](const std::filesystem::path& file) { writeResultsTo(file); });
}

void MainWindow::writeResultsTo(const std::filesystem::path& file) {
    Result<timing::RaceResults> results = timing::ResultsOfRace(controller_->race());
    Status written = results ? results::WriteResults(*results, file) : Status(results.error());
    if (!written) {
        const QString text = tr("De uitslag is niet opgeslagen. Kies een andere plaats of naam "
                                "en probeer het opnieuw. (%1)")
                                 .arg(FromUtf8(written.error().message));
        report(text);
        showMessage(text);
        return;
    }
    report(tr("Uitslag opgeslagen in %1.").arg(QString::fromStdString(file.string())));
}

void MainWindow::printResults() {
    Result<timing::RaceResults> results = timing::ResultsOfRace(controller_->race());
    if (!results) {
        const QString text =
            tr("De uitslag kan niet worden afgedrukt: %1").arg(FromUtf8(results.error().message));
        report(text);
        showMessage(text);
        return;
    }
    auto* printer = new QPrinter(QPrinter::HighResolution);
    printer->setPageSize(QPageSize(QPageSize::A4));
    printer->setPageOrientation(results->laps > 6 ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer->setDocName(tr("Uitslag %1").arg(FromUtf8(results->title)));
    auto* dialog = new QPrintDialog(printer, this);
    dialog->setWindowTitle(tr("Uitslag afdrukken"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Opened without blocking the window: the race goes on while the organiser chooses.
    connect(
        dialog, &QDialog::finished, this,
        [this, printer, results = std::move(*results)](int result) {
            if (result == QDialog::Accepted) {
                if (results::PaintResults(*printer, results, QDateTime::currentDateTime()) == 0) {
                    showMessage(
                        tr("De uitslag kon niet worden afgedrukt: de printer "
                           "weigerde. Kijk de printer na, of sla de uitslag op als "
                           "PDF."));
                } else {
                    report(tr("Uitslag naar de printer gestuurd."));
                }
            }
            delete printer;
        });
    dialog->open();
}

}  // namespace tivaro::app
