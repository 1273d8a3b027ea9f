#include "app/race_view_model.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "app/qt_text.h"
#include "timing/results.h"

namespace tivaro::app {

namespace {

using timing::Standing;
using timing::StandingsChange;

// A pale shade of the finish's orange: the row of a competitor who has finished.
const QColor kFinishedTint(255, 226, 196);
// The fastest lap of the race.
const QColor kFastestLap(186, 104, 200);

QString Duration(const std::optional<timing::Hundredths>& duration) {
    return duration ? QString::fromStdString(timing::FormatDuration(*duration)) : QString();
}

std::vector<int> Without(std::vector<int> rows, int sheetRow) {
    std::erase(rows, sheetRow);
    return rows;
}

std::vector<int> Sorted(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
}

int PlaceOf(const std::vector<int>& rows, int sheetRow) {
    const auto at = std::find(rows.begin(), rows.end(), sheetRow);
    return at == rows.end() ? -1 : static_cast<int>(at - rows.begin());
}

}  // namespace

RaceViewModel::RaceViewModel(QObject* parent) : QAbstractTableModel(parent) {}

Status RaceViewModel::reload(const timing::Race& race) {
    laps_ = timing::RaceLaps(race.setup());
    heat_ = race.setup().heat;
    Result<StandingsChange> change = standings_.reload(race);
    if (!change) {
        // What is shown belongs to another sheet or sport: better nothing than that. Reading
        // "no workbook" cannot fail, and leaves the next passing to read the sheet again.
        (void)standings_.reload(nullptr, std::nullopt, race.setup().sport);
        ShowAll();
        return change.error();
    }
    ShowAll();
    return {};
}

Status RaceViewModel::passingHandled(const timing::Race& race,
                                     const timing::PassingResult& result) {
    followSetup(race);
    Result<StandingsChange> change = standings_.follow(race, result);
    if (!change) {
        return change.error();
    }
    switch (change->kind) {
        case StandingsChange::Kind::None:
            return {};
        case StandingsChange::Kind::Row:
            ShowRow(change->row);
            break;
        case StandingsChange::Kind::All:
            ShowAll();
            break;
    }
    const int place = result.found ? rowOfSheetRow(result.row) : -1;
    if (place >= 0) {
        lastChanged_ = result.row;
        emit rowChanged(index(place, 0));
    }
    return {};
}

void RaceViewModel::setOrder(Order order) {
    if (order == order_) {
        return;
    }
    order_ = order;
    Reorder(RowsInOrder());
}

void RaceViewModel::followSetup(const timing::Race& race) {
    const int laps = timing::RaceLaps(race.setup());
    if (laps == laps_ && race.setup().heat == heat_) {
        return;
    }
    laps_ = laps;
    heat_ = race.setup().heat;
    ShowAll();
}

void RaceViewModel::showAllHeats(bool all) {
    if (all != allHeats_) {
        allHeats_ = all;
        ShowAll();
    }
}

int RaceViewModel::frozenColumns() const {
    int frozen = 0;
    for (const Column& column : columns_) {
        if (column.kind != ColumnKind::Place && column.kind != ColumnKind::Bib &&
            column.kind != ColumnKind::Name) {
            break;
        }
        ++frozen;
    }
    return frozen;
}

std::vector<int> RaceViewModel::RowsInOrder() {
    const bool skating = standings_.sport() == timing::Sport::Skating;
    const std::vector<timing::ResultLine> lines =
        timing::PlaceCompetitors(standings_, laps_, skating && !allHeats_ ? heat_ : std::string());
    places_.clear();
    fastestLap_.reset();
    std::vector<int> rows;
    for (const timing::ResultLine& line : lines) {
        if (line.place) {
            places_[line.row] = *line.place;
        }
        if (line.bestLap && (!fastestLap_ || *line.bestLap < *fastestLap_)) {
            fastestLap_ = line.bestLap;
        }
        rows.push_back(line.row);
    }
    if (order_ == Order::ByBib) {
        const std::unordered_set<int> shown(rows.begin(), rows.end());
        std::vector<int> byBib = standings_.rowsInOrder(Order::ByBib);
        std::erase_if(byBib, [&](int row) { return !shown.contains(row); });
        return byBib;
    }
    return rows;
}

int RaceViewModel::rowOfSheetRow(int sheetRow) const {
    return PlaceOf(rows_, sheetRow);
}

QModelIndex RaceViewModel::lastChanged() const {
    const int place = rowOfSheetRow(lastChanged_);
    return place >= 0 ? index(place, 0) : QModelIndex();
}

std::vector<RaceViewModel::Column> RaceViewModel::ColumnsOfStandings() const {
    const timing::SportRules* rules = standings_.rules();
    if (rules == nullptr) {
        return {};
    }
    std::vector<Column> columns = {{ColumnKind::Place}, {ColumnKind::Bib}};
    if (standings_.hasNames()) {
        columns.push_back({ColumnKind::Name});
    }
    if (rules->sport == timing::Sport::Skating) {
        columns.push_back({ColumnKind::Heat});
    }
    columns.push_back({ColumnKind::Laps});
    const int laps = std::clamp(laps_, 1, rules->lastLapMark);
    for (int k = 0; k < laps; ++k) {
        columns.push_back({ColumnKind::Passing, k});
    }
    columns.push_back({ColumnKind::Passing, rules->lastLapMark});
    for (int k = 1; k <= laps; ++k) {
        columns.push_back({ColumnKind::Lap, k});
    }
    columns.push_back({ColumnKind::Total});
    return columns;
}

void RaceViewModel::ShowAll() {
    std::vector<Column> columns = ColumnsOfStandings();
    Show(std::move(columns), RowsInOrder());
}

void RaceViewModel::Show(std::vector<Column> columns, std::vector<int> rows) {
    if (columns != columns_ || Sorted(rows) != Sorted(rows_)) {
        beginResetModel();
        columns_ = std::move(columns);
        rows_ = std::move(rows);
        endResetModel();
        return;
    }
    // The same competitors and columns (the common start): the view keeps its place.
    Reorder(std::move(rows));
    if (!rows_.empty()) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }
}

void RaceViewModel::ShowRow(int sheetRow) {
    const std::unordered_map<int, int> places = places_;
    const std::optional<timing::Hundredths> fastest = fastestLap_;
    MoveRow(sheetRow, RowsInOrder());
    if ((places != places_ || fastest != fastestLap_) && !rows_.empty()) {
        // Others' places or the fastest lap changed with this passing.
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }
}

void RaceViewModel::MoveRow(int sheetRow, std::vector<int> rows) {
    const int from = PlaceOf(rows_, sheetRow);
    const int to = PlaceOf(rows, sheetRow);
    if (Without(rows_, sheetRow) != Without(rows, sheetRow)) {
        // Other rows moved as well (a passing can shift where the day is cut): a new layout,
        // or a new table when the competitors changed too.
        if (from < 0 || to < 0) {
            beginResetModel();
            rows_ = std::move(rows);
            endResetModel();
            return;
        }
        Reorder(std::move(rows));
    } else if (from < 0 && to >= 0) {
        beginInsertRows({}, to, to);
        rows_ = std::move(rows);
        endInsertRows();
        return;
    } else if (from >= 0 && to < 0) {
        beginRemoveRows({}, from, from);
        rows_ = std::move(rows);
        endRemoveRows();
        return;
    } else if (from != to) {
        beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
        rows_ = std::move(rows);
        endMoveRows();
    }
    if (to >= 0) {
        emit dataChanged(index(to, 0), index(to, columnCount() - 1));
    }
}

void RaceViewModel::Reorder(std::vector<int> rows) {
    if (rows == rows_) {
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::unordered_map<int, int> places;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        places[rows[i]] = static_cast<int>(i);
    }
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before) {
        const auto place = places.find(rows_[static_cast<std::size_t>(old.row())]);
        after.push_back(place == places.end() ? QModelIndex()
                                              : createIndex(place->second, old.column()));
    }
    changePersistentIndexList(before, after);
    rows_ = std::move(rows);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

std::optional<timing::Hundredths> RaceViewModel::BestLap(const Standing& standing) const {
    std::optional<timing::Hundredths> best;
    for (int k = 0; k < laps_ && k < static_cast<int>(standing.laps.size()); ++k) {
        const auto& lap = standing.laps[static_cast<std::size_t>(k)];
        if (lap && (!best || *lap < *best)) {
            best = lap;
        }
    }
    return best;
}

bool RaceViewModel::IsBestLap(const Standing& standing, int lap) const {
    const auto& time = standing.laps[static_cast<std::size_t>(lap - 1)];
    return time && time == BestLap(standing);
}

bool RaceViewModel::IsFastestLap(const Standing& standing, const Column& column) const {
    return column.kind == ColumnKind::Lap && fastestLap_ &&
           standing.laps[static_cast<std::size_t>(column.number - 1)] == fastestLap_;
}

const Standing* RaceViewModel::standingAt(int modelRow) const {
    if (modelRow < 0 || modelRow >= static_cast<int>(rows_.size())) {
        return nullptr;
    }
    return standings_.find(rows_[static_cast<std::size_t>(modelRow)]);
}

int RaceViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RaceViewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant RaceViewModel::data(const QModelIndex& index, int role) const {
    const Standing* standing = standingAt(index.row());
    if (!index.isValid() || standing == nullptr || index.column() >= columnCount()) {
        return {};
    }
    const Column& column = columns_[static_cast<std::size_t>(index.column())];
    const bool time = column.kind == ColumnKind::Passing || column.kind == ColumnKind::Lap ||
                      column.kind == ColumnKind::Total || column.kind == ColumnKind::Place;
    switch (role) {
        case Qt::DisplayRole:
            switch (column.kind) {
                case ColumnKind::Place: {
                    const auto place = places_.find(standing->row);
                    return place == places_.end() ? QVariant() : QVariant(place->second);
                }
                case ColumnKind::Bib:
                    return FromUtf8(standing->bib);
                case ColumnKind::Name:
                    return FromUtf8(standing->name);
                case ColumnKind::Heat:
                    return FromUtf8(standing->heat);
                case ColumnKind::Laps:
                    return std::min(standing->lapsDone, laps_);
                case ColumnKind::Passing:
                    return FromUtf8(standing->passings[static_cast<std::size_t>(column.number)]);
                case ColumnKind::Lap:
                    return Duration(standing->laps[static_cast<std::size_t>(column.number - 1)]);
                case ColumnKind::Total:
                    return Duration(standing->total);
            }
            return {};
        case Qt::ToolTipRole:
            if (column.kind == ColumnKind::Laps) {
                return tr("Rondeteller in het werkboek: %1").arg(FromUtf8(standing->counter));
            }
            if (column.kind == ColumnKind::Bib && !standing->transponder.empty()) {
                return tr("Transponder %1").arg(FromUtf8(standing->transponder));
            }
            if (column.kind == ColumnKind::Passing) {
                const auto k = static_cast<std::size_t>(column.number);
                if (!standing->times[k] && !standing->passings[k].empty()) {
                    return tr(
                        "Dit is geen tijd: de ronden voor en na deze passering hebben "
                        "geen rondetijd. Verbeter de cel in het werkboek.");
                }
            }
            return {};
        case Qt::BackgroundRole:
            if (IsFastestLap(*standing, column)) {
                return QBrush(kFastestLap);
            }
            return standing->finished ? QVariant(QBrush(kFinishedTint)) : QVariant();
        case Qt::ForegroundRole:
            if (IsFastestLap(*standing, column)) {
                return QBrush(Qt::white);
            }
            return standing->finished ? QVariant(QBrush(Qt::black)) : QVariant();
        case Qt::FontRole:
            if (column.kind == ColumnKind::Lap && IsBestLap(*standing, column.number)) {
                QFont bold;
                bold.setBold(true);
                return bold;
            }
            return {};
        case Qt::TextAlignmentRole:
            if (time) {
                return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
            }
            if (column.kind == ColumnKind::Laps || column.kind == ColumnKind::Heat) {
                return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
            }
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        default:
            return {};
    }
}

QVariant RaceViewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount() ||
        role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    const Column& column = columns_[static_cast<std::size_t>(section)];
    switch (column.kind) {
        case ColumnKind::Place:
            return tr("Plaats");
        case ColumnKind::Bib:
            return tr("Rugnr.");
        case ColumnKind::Name:
            return tr("Naam");
        case ColumnKind::Heat:
            return tr("Heat");
        case ColumnKind::Laps:
            return tr("Ronden");
        case ColumnKind::Passing:
            if (column.number == 0) {
                return tr("Start");
            }
            if (column.number == standings_.rules()->lastLapMark) {
                return tr("Finish");
            }
            return tr("Doork %1").arg(column.number);
        case ColumnKind::Lap:
            return tr("Ronde %1").arg(column.number);
        case ColumnKind::Total:
            return tr("Totaal");
    }
    return {};
}

}  // namespace tivaro::app
