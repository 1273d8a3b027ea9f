#include "app/passing_table_model.h"

#include <QBrush>

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
}

PassingTableModel::~PassingTableModel() {
    list_.setListeners({}, {});
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
                    return QString::fromStdString(row.type);
            }
        case Qt::BackgroundRole:
            return QBrush(ColourFromNumber(row.colour));
        case Qt::ForegroundRole:
            // The passing colours are all light: dark text stays readable on each of them.
            return QBrush(Qt::black);
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
