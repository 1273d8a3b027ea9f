#include "app/corrections_row.h"

#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QTime>

#include "app/qt_text.h"
#include "app/race_view.h"

namespace tivaro::app {

namespace {

timing::Hundredths ComputerTimeOfDay() {
    const QTime now = QTime::currentTime();
    return static_cast<timing::Hundredths>(now.msecsSinceStartOfDay()) / 10;
}

}  // namespace

CorrectionsRow::CorrectionsRow(const WindowControls& ui, RaceView& raceView,
                               timing::RaceController& controller, QWidget* window)
    : QObject(window), ui_(ui), raceView_(raceView), controller_(controller) {
    connect(ui_.handPassingButton, &QPushButton::clicked, this, &CorrectionsRow::enterHandPassing);
    connect(ui_.takeBackButton, &QPushButton::clicked, this, &CorrectionsRow::takeBackChosen);
    for (QLineEdit* box : {ui_.handBibBox, ui_.handTimeBox}) {
        connect(box, &QLineEdit::returnPressed, this, &CorrectionsRow::enterHandPassing);
    }
    connect(&raceView_, &RaceView::competitorPicked, this, &CorrectionsRow::enterHandPassingFor);
    // The passing to take back is chosen in the grid or, as a competitor, in the race view;
    // choosing in one clears the other.
    connect(ui_.passingGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] {
                if (ui_.passingGrid->selectionModel()->hasSelection()) {
                    chosenInGrid_ = true;
                    raceView_.clearSelection();
                }
                updateTakeBack();
            });
    connect(&raceView_, &RaceView::competitorSelected, this, [this](const QString& bib) {
        if (!bib.isEmpty()) {
            chosenInGrid_ = false;
            ui_.passingGrid->clearSelection();
        }
        updateTakeBack();
    });
    auto* toBib = new QShortcut(QKeySequence(Qt::Key_F2), window);
    connect(toBib, &QShortcut::activated, this, [this] {
        ui_.handBibBox->setFocus();
        ui_.handBibBox->selectAll();
    });
    for (QWidget* view :
         {static_cast<QWidget*>(ui_.passingGrid), static_cast<QWidget*>(&raceView_.table())}) {
        auto* remove = new QShortcut(QKeySequence(QKeySequence::Delete), view, nullptr, nullptr,
                                     Qt::WidgetShortcut);
        connect(remove, &QShortcut::activated, this, [this] {
            if (ui_.takeBackButton->isEnabled()) {
                takeBackChosen();
            }
        });
    }
    updateTakeBack();
}

void CorrectionsRow::passingHandled(const timing::PassingResult& result) {
    if (result.source == timing::PassingSource::Decoder && !result.takesBack) {
        if (const std::optional<timing::Hundredths> decoder =
                timing::ParseTimeOfDay(result.passing.time)) {
            decoderClockOffset_ = timing::Elapsed(ComputerTimeOfDay(), *decoder);
        }
    }
    if (result.takesBack) {
        const timing::PassingList& list = controller_.passings();
        const timing::PassingRow& taken = list.row(list.indexOf(*result.takesBack));
        lastTakenBack_ =
            tr("De %1 van rugnummer %2 om %3")
                .arg(FromUtf8(taken.type), FromUtf8(taken.bib).trimmed(), FromUtf8(taken.time));
    }
    // A newer passing of the competitor chosen makes the one chosen no longer its latest.
    updateTakeBack();
}

std::string CorrectionsRow::handTimeNow() const {
    return timing::PassingTimeText(ComputerTimeOfDay() + decoderClockOffset_.value_or(0));
}

void CorrectionsRow::enterHandPassingFor(const QString& bib) {
    ui_.handBibBox->setText(bib);
    enterHandPassing();
}

void CorrectionsRow::enterHandPassing() {
    const QString bib = ui_.handBibBox->text().trimmed();
    const QString typed = ui_.handTimeBox->text().trimmed();
    const std::string time = typed.isEmpty() ? handTimeNow() : typed.toStdString();
    if (Status entered = controller_.handPassing(bib.toStdString(), time); !entered) {
        emit report(FromUtf8(entered.error().message));
        ui_.handBibBox->setFocus();
        return;
    }
    const timing::PassingRow& row = controller_.passings().row(0);
    emit report(tr("Handmatige passering ingevoerd: rugnummer %1 om %2, %3.")
                    .arg(bib, FromUtf8(row.time), FromUtf8(row.type)));
    ui_.handBibBox->clear();
    ui_.handTimeBox->clear();
    ui_.handBibBox->setFocus();
    updateTakeBack();
}

void CorrectionsRow::takeBackChosen() {
    Status taken;
    lastTakenBack_.clear();
    if (chosenInGrid_) {
        const QModelIndexList rows = ui_.passingGrid->selectionModel()->selectedRows();
        if (rows.isEmpty()) {
            return;
        }
        const auto index = static_cast<std::size_t>(rows.front().row());
        taken = controller_.takeBackPassing(controller_.passings().arrivalOf(index));
    } else {
        const QString bib = raceView_.selectedBib();
        if (bib.isEmpty()) {
            return;
        }
        taken = controller_.takeBack(bib.toStdString());
    }
    updateTakeBack();
    if (!taken) {
        emit report(FromUtf8(taken.error().message));
        return;
    }
    emit report(tr("%1 teruggenomen: de tijd is gewist en de rondeteller teruggezet. Was het "
                   "een vergissing, voer de passering dan met die tijd met de hand opnieuw in.")
                    .arg(lastTakenBack_));
}

void CorrectionsRow::updateTakeBack() {
    bool possible = false;
    if (chosenInGrid_) {
        const QModelIndexList rows = ui_.passingGrid->selectionModel()->selectedRows();
        possible = !rows.isEmpty() && controller_.canTakeBack(controller_.passings().arrivalOf(
                                          static_cast<std::size_t>(rows.front().row())));
    } else {
        possible = !raceView_.selectedBib().isEmpty() && controller_.race().workbook();
    }
    ui_.takeBackButton->setEnabled(possible);
}

}  // namespace tivaro::app
