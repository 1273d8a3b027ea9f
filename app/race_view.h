#pragma once
// The race view, for the window to place beside the passing list: the standings of the race
// in a table, with a choice of order (by bib or by position). The row a passing changed is
// brought into view. The window calls reload() and passingHandled() from the controller's
// events and posts what they return in its status line.

#include <QWidget>

#include "app/race_view_model.h"
#include "common/result.h"
#include "timing/passing_result.h"
#include "timing/race.h"

class QComboBox;
class QTableView;

namespace tivaro::app {

class RaceView final : public QWidget {
    Q_OBJECT
public:
    explicit RaceView(QWidget* parent = nullptr);

    RaceViewModel& model() { return *model_; }
    QTableView& table() { return *table_; }

    // The workbook, race sheet or sport of `race` changed.
    Status reload(const timing::Race& race);
    // The controller handled `result` on `race`.
    Status passingHandled(const timing::Race& race, const timing::PassingResult& result);

    // The bib of the competitor selected; empty when none is.
    QString selectedBib() const;
    void clearSelection();

signals:
    // A competitor was selected (empty: the selection was cleared).
    void competitorSelected(const QString& bib);
    // A competitor was double-clicked: a passing of that competitor is entered by hand.
    void competitorPicked(const QString& bib);

private:
    RaceViewModel* model_;
    QComboBox* order_;
    QTableView* table_;
};

}  // namespace tivaro::app
