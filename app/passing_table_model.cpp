#include "app/passing_table_model.h"

#include <QBrush>
#include <QFont>

namespace tivaro::app {

namespace {

const char* const kHeadings[kPassingColumns] = {"Transponder", "Rugnr.", "Tijd", "Type"};

}  // namespace

QColor ColourFromNumber(std::uint32_t colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

PassingTableModel::PassingTableModel(timing::PassingList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {
    list_.setListeners([this] { beginInsertRows({}, 0, 0); }, [this] { endInsertRows(); });
    list_.setChangeListener([this](std::size_t row) {
        const int shown = static_cast<int>(row);
        emit dataChanged(index(shown, 0), index(shown, kPassingColumns - 1));
    });
}

PassingTableModel::~PassingTableModel() {
    list_.setListeners({}, {});
    list_.setChangeListener({});
}

int PassingTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(list_.size());
}

int PassingTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kPassingColumns;
}

QVariant PassingTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kPassingColumns) {
        return {};
    }
    const timing::PassingRow& row = list_.row(static_cast<std::size_t>(index.row()));
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case kTransponderColumn:
                    return QString::fromStdString(row.transponder);
                case kBibColumn:
                    return QString::fromStdString(row.bib);
                case kTimeColumn:
                    return QString::fromStdString(row.time);
                default:
                    return row.takenBack
                               ? tr("%1 \u2014 teruggenomen").arg(QString::fromStdString(row.type))
                               : QString::fromStdString(row.type);
            }
        case Qt::BackgroundRole:
            return QBrush(ColourFromNumber(row.colour));
        case Qt::ForegroundRole:
            // The passing colours are all light: dark text stays readable on each of them.
            return QBrush(row.takenBack ? Qt::darkGray : Qt::black);
        case Qt::FontRole:
            if (row.takenBack) {
                QFont font;
                font.setStrikeOut(true);
                return font;
            }
            return {};
        case Qt::TextAlignmentRole:
            if (index.column() == kTimeColumn) {
                return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
            }
            if (index.column() != kTypeColumn) {
                return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
            }
            return {};
        default:
            return {};
    }
}

QVariant PassingTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kPassingColumns) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole) {
        return QString::fromLatin1(kHeadings[section]);
    }
    if (role == Qt::TextAlignmentRole && section == kTimeColumn) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    }
    if (role == Qt::TextAlignmentRole && section != kTypeColumn) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    return {};
}

}  // namespace tivaro::app
