#pragma once
// The race view, for the window to place beside the passing list: the standings of the race
// in a table, with a choice of order (by bib or by position) and, in skating, of every heat
// instead of the heat in force. Place, bib and name stay in view while the other columns
// scroll (a second table over the first shows them). The row a passing changed is brought
// into view. The window calls reload(), followSetup() and passingHandled() from the
// controller's events and posts what they return in its status line; the results buttons
// ask the window to save or print the results.

#include <QWidget>

#include "app/race_view_model.h"
#include "common/result.h"
#include "timing/passing_result.h"
#include "timing/race.h"

class QCheckBox;
class QComboBox;
class QTableView;

namespace tivaro::app {

class RaceView final : public QWidget {
    Q_OBJECT
public:
    explicit RaceView(QWidget* parent = nullptr);

    RaceViewModel& model() { return *model_; }
    QTableView& table() { return *table_; }
    // Rows of `height` pixels, in the table and its frozen columns alike.
    void setRowHeight(int height);

    // The workbook, race sheet or sport of `race` changed.
    Status reload(const timing::Race& race);
    // The controller handled `result` on `race`.
    Status passingHandled(const timing::Race& race, const timing::PassingResult& result);
    // The set-up of `race` changed (laps, heat).
    void followSetup(const timing::Race& race);

    // The bib of the competitor selected; empty when none is.
    QString selectedBib() const;
    void clearSelection();

signals:
    // A competitor was selected (empty: the selection was cleared).
    void competitorSelected(const QString& bib);
    // A competitor was double-clicked: a passing of that competitor is entered by hand.
    void competitorPicked(const QString& bib);
    void saveResultsRequested();
    void printResultsRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Lays the frozen table over the first columns of the table, as wide as they are.
    void placeFrozen();

    RaceViewModel* model_;
    QComboBox* order_;
    QCheckBox* allHeats_;
    QTableView* table_;
    QTableView* frozen_;
};

}  // namespace tivaro::app
