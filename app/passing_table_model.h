#pragma once
// The passing grid's model: a read-only table over the passing list, newest passing in row 0,
// each row on its passing's colour. It holds no copy of the rows; a new passing is announced
// as one row inserted at the top, so adding stays cheap however long the race runs.

#include <QAbstractTableModel>
#include <QColor>
#include <cstdint>

#include "timing/passing_list.h"

namespace tivaro::app {

enum PassingColumn { kTransponderColumn = 0, kBibColumn = 1, kTimeColumn = 2, kTypeColumn = 3 };
inline constexpr int kPassingColumns = 4;

// A colour number R + 256·G + 65536·B as a colour.
QColor ColourFromNumber(std::uint32_t colour);

class PassingTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    // Takes over the list's listeners until the model is destroyed; `list` must outlive it.
    explicit PassingTableModel(timing::PassingList& list, QObject* parent = nullptr);
    ~PassingTableModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    timing::PassingList& list_;
};

}  // namespace tivaro::app
