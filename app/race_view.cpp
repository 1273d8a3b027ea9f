#include "app/race_view.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

namespace tivaro::app {

RaceView::RaceView(QWidget* parent)
    : QWidget(parent),
      model_(new RaceViewModel(this)),
      order_(new QComboBox(this)),
      table_(new QTableView(this)) {
    setObjectName(QStringLiteral("RaceView"));
    order_->setObjectName(QStringLiteral("RaceViewOrder"));
    table_->setObjectName(QStringLiteral("RaceViewTable"));

    order_->addItem(tr("Op rugnummer"),
                    QVariant::fromValue(static_cast<int>(RaceViewModel::Order::ByBib)));
    order_->addItem(tr("Op positie"),
                    QVariant::fromValue(static_cast<int>(RaceViewModel::Order::ByPosition)));
    auto* label = new QLabel(tr("Volgorde:"), this);
    label->setBuddy(order_);

    table_->setModel(model_);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto* choice = new QHBoxLayout;
    choice->addWidget(label);
    choice->addWidget(order_);
    choice->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(choice);
    layout->addWidget(table_);

    connect(order_, &QComboBox::currentIndexChanged, this, [this] {
        model_->setOrder(static_cast<RaceViewModel::Order>(order_->currentData().toInt()));
    });
    connect(model_, &RaceViewModel::rowChanged, table_,
            [this](const QModelIndex& index) { table_->scrollTo(index); });
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { emit competitorSelected(selectedBib()); });
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (const timing::Standing* standing = model_->standingAt(index.row())) {
            emit competitorPicked(QString::fromStdString(standing->bib).trimmed());
        }
    });
}

QString RaceView::selectedBib() const {
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        return {};
    }
    const timing::Standing* standing = model_->standingAt(rows.front().row());
    return standing ? QString::fromStdString(standing->bib).trimmed() : QString();
}

void RaceView::clearSelection() {
    table_->clearSelection();
}

Status RaceView::reload(const timing::Race& race) {
    return model_->reload(race);
}

Status RaceView::passingHandled(const timing::Race& race, const timing::PassingResult& result) {
    return model_->passingHandled(race, result);
}

}  // namespace tivaro::app
