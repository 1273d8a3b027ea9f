#include "app/race_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

namespace tivaro::app {

RaceView::RaceView(QWidget* parent)
    : QWidget(parent),
      model_(new RaceViewModel(this)),
      order_(new QComboBox(this)),
      allHeats_(new QCheckBox(tr("Alle heats"), this)),
      table_(new QTableView(this)),
      frozen_(new QTableView(table_)) {
    setObjectName(QStringLiteral("RaceView"));
    order_->setObjectName(QStringLiteral("RaceViewOrder"));
    allHeats_->setObjectName(QStringLiteral("AllHeatsBox"));
    allHeats_->setToolTip(
        tr("Toon de deelnemers van alle heats, niet alleen van de heat die nu "
           "rijdt."));
    allHeats_->hide();
    table_->setObjectName(QStringLiteral("RaceViewTable"));
    frozen_->setObjectName(QStringLiteral("RaceViewFrozen"));
    auto* save = new QPushButton(tr("Uitslag opslaan\u2026"), this);
    save->setObjectName(QStringLiteral("SaveResultsButton"));
    auto* print = new QPushButton(tr("Afdrukken\u2026"), this);
    print->setObjectName(QStringLiteral("PrintResultsButton"));

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

    // The frozen columns: the same model and selection, no scroll bars of its own, its rows
    // scrolled with the table's.
    frozen_->setModel(model_);
    frozen_->setSelectionModel(table_->selectionModel());
    frozen_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    frozen_->setSelectionBehavior(QAbstractItemView::SelectRows);
    frozen_->setSelectionMode(QAbstractItemView::SingleSelection);
    frozen_->setFocusPolicy(Qt::NoFocus);
    frozen_->verticalHeader()->hide();
    frozen_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    frozen_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frozen_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frozen_->setVerticalScrollMode(table_->verticalScrollMode());
    frozen_->setFrameShape(QFrame::NoFrame);
    table_->viewport()->stackUnder(frozen_);
    table_->installEventFilter(this);
    connect(frozen_->verticalScrollBar(), &QScrollBar::valueChanged, table_->verticalScrollBar(),
            &QScrollBar::setValue);
    connect(table_->verticalScrollBar(), &QScrollBar::valueChanged, frozen_->verticalScrollBar(),
            &QScrollBar::setValue);
    connect(table_->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this] { placeFrozen(); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { placeFrozen(); });
    connect(model_, &QAbstractItemModel::layoutChanged, this, [this] { placeFrozen(); });

    auto* choice = new QHBoxLayout;
    choice->addWidget(label);
    choice->addWidget(order_);
    choice->addWidget(allHeats_);
    choice->addStretch();
    choice->addWidget(save);
    choice->addWidget(print);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(choice);
    layout->addWidget(table_);

    connect(order_, &QComboBox::currentIndexChanged, this, [this] {
        model_->setOrder(static_cast<RaceViewModel::Order>(order_->currentData().toInt()));
    });
    connect(allHeats_, &QCheckBox::toggled, model_, &RaceViewModel::showAllHeats);
    connect(save, &QPushButton::clicked, this, &RaceView::saveResultsRequested);
    connect(print, &QPushButton::clicked, this, &RaceView::printResultsRequested);
    connect(model_, &RaceViewModel::rowChanged, table_,
            [this](const QModelIndex& index) { table_->scrollTo(index); });
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { emit competitorSelected(selectedBib()); });
    for (QTableView* view : {table_, frozen_}) {
        connect(view, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
            if (const timing::Standing* standing = model_->standingAt(index.row())) {
                emit competitorPicked(QString::fromStdString(standing->bib).trimmed());
            }
        });
    }
}

bool RaceView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
        placeFrozen();
    }
    return QWidget::eventFilter(watched, event);
}

void RaceView::placeFrozen() {
    const int frozen = model_->frozenColumns();
    int width = 0;
    for (int column = 0; column < model_->columnCount(); ++column) {
        frozen_->setColumnHidden(column, column >= frozen);
        if (column < frozen) {
            frozen_->setColumnWidth(column, table_->columnWidth(column));
            width += table_->columnWidth(column);
        }
    }
    frozen_->horizontalHeader()->setFixedHeight(table_->horizontalHeader()->height());
    // Rows as high as the table's, or they drift apart as they scroll.
    frozen_->verticalHeader()->setMinimumSectionSize(
        table_->verticalHeader()->minimumSectionSize());
    frozen_->verticalHeader()->setDefaultSectionSize(
        table_->verticalHeader()->defaultSectionSize());
    frozen_->setVisible(frozen > 0);
    frozen_->setGeometry(table_->frameWidth(), table_->frameWidth(), width,
                         table_->viewport()->height() + table_->horizontalHeader()->height());
    frozen_->verticalScrollBar()->setValue(table_->verticalScrollBar()->value());
}

void RaceView::setRowHeight(int height) {
    table_->verticalHeader()->setMinimumSectionSize(
        std::min(height, table_->verticalHeader()->minimumSectionSize()));
    table_->verticalHeader()->setDefaultSectionSize(height);
    placeFrozen();
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
    Status shown = model_->reload(race);
    allHeats_->setVisible(model_->standings().sport() == timing::Sport::Skating);
    return shown;
}

void RaceView::followSetup(const timing::Race& race) {
    model_->followSetup(race);
    allHeats_->setVisible(model_->standings().sport() == timing::Sport::Skating);
}

Status RaceView::passingHandled(const timing::Race& race, const timing::PassingResult& result) {
    return model_->passingHandled(race, result);
}

}  // namespace tivaro::app
