// The window's corrections: passings entered by hand, passings taken back, the minimum lap
// time; and the race journal that records every action from the moment a workbook is opened.

#include <QDateTime>
#include <QDoubleSpinBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <cmath>

#include "app/main_window.h"
#include "app/message_area.h"
#include "app/race_view.h"
#include "app/status_line.h"

namespace tivaro::app {

namespace {

timing::Hundredths ComputerTimeOfDay() {
    const QTime now = QTime::currentTime();
    return static_cast<timing::Hundredths>(now.msecsSinceStartOfDay()) / 10;
}

}  // namespace

void MainWindow::followDecoderClock(const timing::PassingResult& result) {
    if (result.source != timing::PassingSource::Decoder) {
        return;
    }
    if (const std::optional<timing::Hundredths> decoder =
            timing::ParseTimeOfDay(result.passing.time)) {
        decoderClockOffset_ = timing::Elapsed(ComputerTimeOfDay(), *decoder);
    }
}

std::string MainWindow::handTimeNow() const {
    return timing::PassingTimeText(ComputerTimeOfDay() + decoderClockOffset_.value_or(0));
}

void MainWindow::enterHandPassing() {
    const QString bib = ui_.handBibBox->text().trimmed();
    const QString typed = ui_.handTimeBox->text().trimmed();
    const std::string time = typed.isEmpty() ? handTimeNow() : typed.toStdString();
    if (Status entered = controller_->handPassing(bib.toStdString(), time); !entered) {
        report(QString::fromStdString(entered.error().message));
        ui_.handBibBox->setFocus();
        return;
    }
    const timing::PassingRow& row = controller_->passings().row(0);
    report(tr("Handmatige passering ingevoerd: rugnummer %1 om %2, %3.")
               .arg(bib, QString::fromStdString(row.time), QString::fromStdString(row.type)));
    ui_.handBibBox->clear();
    ui_.handTimeBox->clear();
    ui_.handBibBox->setFocus();
    updateTakeBackButton();
}

void MainWindow::pickCompetitor() {
    ui_.handBibBox->setText(pickedBib_);
    enterHandPassing();
}

void MainWindow::takeBackChosen() {
    Status taken;
    QString bib;
    lastTakenBack_.clear();
    if (chosenInGrid_) {
        const QModelIndexList rows = ui_.passingGrid->selectionModel()->selectedRows();
        if (rows.isEmpty()) {
            return;
        }
        const auto index = static_cast<std::size_t>(rows.front().row());
        bib = QString::fromStdString(controller_->passings().row(index).bib).trimmed();
        taken = controller_->takeBackPassing(controller_->passings().arrivalOf(index));
    } else {
        bib = raceView_->selectedBib();
        if (bib.isEmpty()) {
            return;
        }
        taken = controller_->takeBack(bib.toStdString());
    }
    updateTakeBackButton();
    if (!taken) {
        report(QString::fromStdString(taken.error().message));
        return;
    }
    report(tr("%1 teruggenomen: de tijd is gewist en de rondeteller teruggezet. Was het een "
              "vergissing, voer de passering dan met die tijd met de hand opnieuw in.")
               .arg(lastTakenBack_));
}

void MainWindow::updateTakeBackButton() {
    bool possible = false;
    if (chosenInGrid_) {
        const QModelIndexList rows = ui_.passingGrid->selectionModel()->selectedRows();
        possible = !rows.isEmpty() && controller_->canTakeBack(controller_->passings().arrivalOf(
                                          static_cast<std::size_t>(rows.front().row())));
    } else {
        possible = !raceView_->selectedBib().isEmpty() && controller_->race().workbook();
    }
    ui_.takeBackButton->setEnabled(possible);
}

void MainWindow::chooseMinimumLap() {
    controller_->setup().setMinimumLap(std::llround(ui_.minimumLapBox->value() * 100));
}

void MainWindow::startJournal(const std::filesystem::path& file) {
    Result<timing::RaceJournal> started = timing::RaceJournal::Start(
        dataDirectory_, file, controller_->setupAsJournal(), timing::RaceJournal::Clock::now());
    journalFailing_ = false;
    if (!started) {
        journal_.reset();
        report(QString::fromStdString(started.error().message));
        return;
    }
    journal_ = std::move(*started);
    report(tr("Het wedstrijdjournaal staat in %1.")
               .arg(QString::fromStdString(journal_->path().string())));
}

void MainWindow::recordInJournal(const std::string& line) {
    if (!journal_) {
        return;
    }
    if (Status written = journal_->record(line, timing::RaceJournal::Clock::now()); !written) {
        if (!journalFailing_) {
            journalFailing_ = true;
            report(tr("Het wedstrijdjournaal wordt niet bijgewerkt: %1")
                       .arg(QString::fromStdString(written.error().message)));
        }
    } else if (journalFailing_) {
        journalFailing_ = false;
        report(tr("Het wedstrijdjournaal wordt weer bijgewerkt."));
    }
}

}  // namespace tivaro::app
