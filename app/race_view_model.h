#pragma once
// The race view's model: a read-only table over the race standings, one row per competitor
// of the race sheet (in skating, of the heat in force unless every heat is asked for), with
// the columns the race in force has: place, bib, name (when the sheet has a name column),
// heat (skating), laps done, the passing times as the sheet holds them and the lap times the
// program computes for as many laps as the race has, and the total. A finished competitor's
// row is tinted; each competitor's best lap is bold, the fastest lap of all stands out.
//
// It follows the race through the controller's events: reload() when the workbook, the race
// sheet or the sport changed, passingHandled() after each passing. A passing re-reads one row
// of the sheet and is announced as that one row changed, or moved to its new place when the
// order is by position; only a write over many rows (the common start) re-reads the sheet.

#include <QAbstractTableModel>
#include <QModelIndex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/result.h"
#include "timing/passing_result.h"
#include "timing/race.h"
#include "timing/race_standings.h"

namespace tivaro::app {

class RaceViewModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    using Order = timing::StandingsOrder;

    explicit RaceViewModel(QObject* parent = nullptr);

    // Reads the race sheet of `race` anew; the columns follow its sport. On failure the view
    // is left empty (what it showed belongs to another sheet), the message says why, and the
    // next passing reads the sheet again.
    Status reload(const timing::Race& race);
    // Brings the view up to date after the controller handled `result` on `race`.
    Status passingHandled(const timing::Race& race, const timing::PassingResult& result);

    void setOrder(Order order);
    Order order() const { return order_; }
    // The laps or heat of `race` may have changed: the columns and rows follow them.
    void followSetup(const timing::Race& race);
    // Skating: every heat instead of the heat in force.
    void showAllHeats(bool all);
    // The columns that stay in view while the others scroll: place, bib and name.
    int frozenColumns() const;

    const timing::RaceStandings& standings() const { return standings_; }
    // The model row of the competitor in sheet row `sheetRow`; -1 when there is none.
    int rowOfSheetRow(int sheetRow) const;
    // The competitor shown in model row `modelRow`; null when there is none.
    const timing::Standing* standingAt(int modelRow) const;
    // The competitor that changed last, at its current place; invalid when none.
    QModelIndex lastChanged() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    // A passing changed a competitor's row; `index` is its first cell at its new place.
    void rowChanged(const QModelIndex& index);

private:
    enum class ColumnKind { Place, Bib, Name, Heat, Laps, Passing, Lap, Total };
    struct Column {
        ColumnKind kind;
        int number = 0;  // Passing: 0 start, k "Doork k", the last-lap mark the finish; Lap: k
        bool operator==(const Column&) const = default;
    };

    std::vector<Column> ColumnsOfStandings() const;
    // The sheet rows shown, in the order chosen, and their places.
    std::vector<int> RowsInOrder();
    void Show(std::vector<Column> columns, std::vector<int> rows);
    std::optional<timing::Hundredths> BestLap(const timing::Standing& standing) const;
    bool IsBestLap(const timing::Standing& standing, int lap) const;
    bool IsFastestLap(const timing::Standing& standing, const Column& column) const;
    void ShowAll();
    void ShowRow(int sheetRow);
    // Moves the competitor of `sheetRow` to its place in `rows` and tells its row changed.
    void MoveRow(int sheetRow, std::vector<int> rows);
    void Reorder(std::vector<int> rows);

    timing::RaceStandings standings_;
    Order order_ = Order::ByBib;
    int laps_ = 0;                         // the race's laps
    std::string heat_;                     // the heat in force (skating)
    bool allHeats_ = false;                // every heat shown
    std::unordered_map<int, int> places_;  // sheet row: place
    std::optional<timing::Hundredths> fastestLap_;
    std::vector<Column> columns_;
    std::vector<int> rows_;  // the sheet row of each model row
    int lastChanged_ = 0;    // the sheet row that changed last; 0: none
};

}  // namespace tivaro::app
