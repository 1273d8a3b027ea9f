// The race view over the fake race workbook, driven by the race controller as the window will
// drive it: columns and headers per sport, the two orders, a passing announced as one row, the
// common start, and the order choice of the widget.

#include <QBrush>
#include <QComboBox>
#include <QPersistentModelIndex>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <memory>

#include "app/race_view.h"
#include "app/race_view_model.h"
#include "tests/support/fake_workbook.h"
#include "tests/support/race_book.h"
#include "timing/race_controller.h"

using namespace tivaro;
using tivaro::app::RaceView;
using tivaro::app::RaceViewModel;
using tivaro::testing::TransponderOf;

namespace {

// A race on the fake workbook whose every handled passing goes to the view's model.
class Track {
public:
    explicit Track(RaceViewModel& model) : model_(model) {
        timing::ControllerEvents events;
        events.passingHandled = [this](const timing::PassingResult& result, const std::string&) {
            const Status shown = model_.passingHandled(controller_->race(), result);
            QVERIFY2(shown.ok(), shown.ok() ? "" : shown.error().message.c_str());
        };
        timing::ControllerOptions options;
        options.startApp = tivaro::testing::FakeApp::Starter([this](const std::filesystem::path&) {
            auto made = tivaro::testing::MakeRaceBook();
            book = made.get();
            return made;
        });
        controller_ = std::make_unique<timing::RaceController>(std::move(options), events);
        if (!controller_->openWorkbook("race.xlsx").ok()) {
            qFatal("the fake race workbook does not open");
        }
    }

    // The sport chosen, the sheet read into the view, then `laps` and `phase` set.
    void Choose(const char* sport, int laps = 1, timing::Phase phase = timing::Phase::Recording) {
        QVERIFY(controller_->setup().chooseSport(sport).ok());
        QVERIFY(model_.reload(controller_->race()).ok());
        controller_->setup().moveLapSlider(laps);
        controller_->setup().choosePhase(phase);
    }
    void Pass(const std::string& code, const char* time) {
        controller_->handlePassing(link::Passing{code, time});
    }
    timing::SetupPanel& Panel() { return controller_->setup(); }

    tivaro::testing::FakeWorkbook* book = nullptr;

private:
    RaceViewModel& model_;
    std::unique_ptr<timing::RaceController> controller_;
};

QStringList Headers(const QAbstractItemModel& model) {
    QStringList headers;
    for (int column = 0; column < model.columnCount(); ++column) {
        headers << model.headerData(column, Qt::Horizontal).toString();
    }
    return headers;
}

QStringList Numbered(const QString& what, int first, int last) {
    QStringList texts;
    for (int k = first; k <= last; ++k) {
        texts << what.arg(k);
    }
    return texts;
}

int Column(const QAbstractItemModel& model, const QString& header) {
    return static_cast<int>(Headers(model).indexOf(header));
}

QString Cell(const QAbstractItemModel& model, int row, const QString& header) {
    return model.index(row, Column(model, header)).data().toString();
}

}  // namespace

class RaceViewTest : public QObject {
    Q_OBJECT

private slots:
    void columnsAndHeadersFitEachSport() {
        RaceViewModel model;
        Track track(model);
        QCOMPARE(model.columnCount(), 0);  // no sport yet

        track.book->cell("loop", 2, 4) = "naam";
        track.book->cell("loop", 3, 4) = "Anna de Vries";
        track.Choose("Lopen");
        QCOMPARE(Headers(model), QStringList({"Rugnr.", "Naam", "Ronde", "Start"}) +
                                     Numbered("Doork %1", 1, 4) + QStringList{"Finish"} +
                                     Numbered("Ronde %1", 1, 5) + QStringList{"Totaal"});
        QCOMPARE(model.rowCount(), 20);
        QCOMPARE(Cell(model, 0, "Rugnr."), QStringLiteral("201"));
        QCOMPARE(Cell(model, 0, "Naam"), QStringLiteral("Anna de Vries"));
        QCOMPARE(model.index(0, 0).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("Transponder 7405583"));

        track.Choose("Schaatsen");
        QCOMPARE(Headers(model), QStringList({"Rugnr.", "Heat", "Ronde", "Start"}) +
                                     Numbered("Doork %1", 1, 9) + QStringList{"Finish"} +
                                     Numbered("Ronde %1", 1, 10) + QStringList{"Totaal"});
        QCOMPARE(Cell(model, 1, "Heat"), QStringLiteral("2"));

        track.Choose("Fietsen");
        QCOMPARE(Headers(model), QStringList({"Rugnr.", "Ronde", "Start"}) +
                                     Numbered("Doork %1", 1, 7) + QStringList{"Finish"} +
                                     Numbered("Ronde %1", 1, 8) + QStringList{"Totaal"});
        QCOMPARE(Cell(model, 19, "Rugnr."), QStringLiteral("320"));
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
    }

    void aPassingIsAnnouncedAsItsOneRow() {
        RaceViewModel model;
        Track track(model);
        track.Choose("Fietsen", 2);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
        QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
        QSignalSpy told(&model, &RaceViewModel::rowChanged);

        track.Pass(TransponderOf(2, 5), "8:0:0.00");  // bib 306, row 5 by bib
        track.Pass(TransponderOf(2, 5), "8:11:2.50");
        QCOMPARE(changed.count(), 2);
        for (const QList<QVariant>& signal : changed) {
            QCOMPARE(signal[0].toModelIndex().row(), 5);
            QCOMPARE(signal[1].toModelIndex().row(), 5);
            QCOMPARE(signal[1].toModelIndex().column(), model.columnCount() - 1);
        }
        QCOMPARE(told.count(), 2);
        QCOMPARE(told.last()[0].toModelIndex(), model.index(5, 0));
        QCOMPARE(model.lastChanged(), model.index(5, 0));
        QCOMPARE(Cell(model, 5, "Start"), QStringLiteral("8:0:0.00"));
        QCOMPARE(Cell(model, 5, "Doork 1"), QStringLiteral("8:11:2.50"));
        QCOMPARE(Cell(model, 5, "Ronde 1"), QStringLiteral("11:02.50"));
        QCOMPARE(Cell(model, 5, "Totaal"), QString());
        QVERIFY(!model.index(5, 0).data(Qt::BackgroundRole).isValid());

        track.Pass(TransponderOf(2, 5), "9:25:3.01");
        QCOMPARE(Cell(model, 5, "Finish"), QStringLiteral("9:25:3.01"));
        QCOMPARE(Cell(model, 5, "Ronde 2"), QStringLiteral("1:14:00.51"));
        QCOMPARE(Cell(model, 5, "Totaal"), QStringLiteral("1:25:03.01"));
        QCOMPARE(Cell(model, 5, "Ronde"), QStringLiteral("x"));
        QVERIFY(model.index(5, 3).data(Qt::BackgroundRole).value<QBrush>().color().isValid());

        // A warm-up passing and an unknown transponder change nothing.
        track.Panel().choosePhase(timing::Phase::Warmup);
        track.Pass(TransponderOf(2, 7), "9:26:0.00");
        track.Pass("123", "9:26:1.00");
        QCOMPARE(changed.count(), 3);
        QCOMPARE(reset.count(), 0);
        QCOMPARE(layout.count(), 0);
        QCOMPARE(moved.count(), 0);
    }

    void byPositionAPassingMovesOnlyItsRow() {
        RaceViewModel model;
        Track track(model);
        track.Choose("Lopen", 2);
        for (int i : {0, 1, 2}) {
            track.Pass(TransponderOf(1, i), "10:0:0.00");
        }
        track.Pass(TransponderOf(1, 1), "10:1:0.00");
        QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        const QPersistentModelIndex bib203 = model.index(2, 0);

        model.setOrder(RaceViewModel::Order::ByPosition);
        QCOMPARE(layout.count(), 1);
        QCOMPARE(reset.count(), 0);
        QCOMPARE(Cell(model, 0, "Rugnr."), QStringLiteral("202"));  // one lap done
        QCOMPARE(Cell(model, 1, "Rugnr."), QStringLiteral("201"));
        QCOMPARE(bib203.row(), 2);
        QCOMPARE(bib203.data().toString(), QStringLiteral("203"));

        // 203 passes first of the rest: it moves from third to second, nothing else moves.
        QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
        QSignalSpy told(&model, &RaceViewModel::rowChanged);
        track.Pass(TransponderOf(1, 2), "10:1:1.00");
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved[0][1].toInt(), 2);  // from row 2
        QCOMPARE(moved[0][4].toInt(), 1);  // to before row 1
        QCOMPARE(layout.count(), 1);
        QCOMPARE(told.count(), 1);
        QCOMPARE(told[0][0].toModelIndex(), model.index(1, 0));
        QCOMPARE(bib203.row(), 1);
        QCOMPARE(Cell(model, 2, "Rugnr."), QStringLiteral("201"));

        // 203 finishes: it leads.
        track.Pass(TransponderOf(1, 2), "10:2:0.00");
        QCOMPARE(Cell(model, 0, "Rugnr."), QStringLiteral("203"));
        QCOMPARE(Cell(model, 0, "Totaal"), QStringLiteral("2:00.00"));
        QCOMPARE(model.lastChanged(), model.index(0, 0));

        model.setOrder(RaceViewModel::Order::ByBib);
        QCOMPARE(Cell(model, 0, "Rugnr."), QStringLiteral("201"));
        QCOMPARE(bib203.row(), 2);
        QCOMPARE(reset.count(), 0);
    }

    void theCommonStartRefreshesEveryRowInPlace() {
        RaceViewModel model;
        Track track(model);
        track.Choose("Lopen", 3, timing::Phase::StartPulse);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        track.Pass(TransponderOf(1, 4), "10:0:0.00");
        QCOMPARE(reset.count(), 0);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed[0][0].toModelIndex(), model.index(0, 0));
        QCOMPARE(changed[0][1].toModelIndex(),
                 model.index(model.rowCount() - 1, model.columnCount() - 1));
        for (int row = 0; row < model.rowCount(); ++row) {
            QCOMPARE(Cell(model, row, "Start"), QStringLiteral("10:0:0.00"));
            QCOMPARE(Cell(model, row, "Ronde"), QStringLiteral("1"));
        }
        QCOMPARE(model.lastChanged(), model.index(4, 0));
    }

    void anUnreadableTimeSaysSoAndTheRestIsShown() {
        RaceViewModel model;
        Track track(model);
        track.book->cell("fiets", 3, 6) = "8:0:0.00";
        track.book->cell("fiets", 3, 7) = "kwijt";
        track.book->cell("fiets", 3, 8) = "8:22:0.00";
        track.book->cell("fiets", 3, 9) = "8:33:0.00";
        track.Choose("Fietsen");
        QCOMPARE(Cell(model, 0, "Doork 1"), QStringLiteral("kwijt"));
        QVERIFY(model.index(0, Column(model, "Doork 1"))
                    .data(Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("geen tijd")));
        QVERIFY(!model.index(0, Column(model, "Doork 2")).data(Qt::ToolTipRole).isValid());
        QCOMPARE(Cell(model, 0, "Ronde 1"), QString());
        QCOMPARE(Cell(model, 0, "Ronde 2"), QString());
        QCOMPARE(Cell(model, 0, "Ronde 3"), QStringLiteral("11:00.00"));
    }

    void theWidgetsOrderChoiceSortsTheTable() {
        RaceView view;
        QCOMPARE(view.objectName(), QStringLiteral("RaceView"));
        auto* order = view.findChild<QComboBox*>(QStringLiteral("RaceViewOrder"));
        auto* table = view.findChild<QTableView*>(QStringLiteral("RaceViewTable"));
        QVERIFY(order != nullptr && table != nullptr);
        QCOMPARE(table->model(), &view.model());
        QCOMPARE(order->itemText(0), QStringLiteral("Op rugnummer"));
        QCOMPARE(order->itemText(1), QStringLiteral("Op positie"));

        Track track(view.model());
        track.Choose("Fietsen", 2);
        track.Pass(TransponderOf(2, 19), "8:0:0.00");
        track.Pass(TransponderOf(2, 19), "8:10:0.00");
        QCOMPARE(table->model()->index(0, 0).data().toString(), QStringLiteral("301"));
        order->setCurrentIndex(1);
        QCOMPARE(view.model().order(), RaceViewModel::Order::ByPosition);
        QCOMPARE(table->model()->index(0, 0).data().toString(), QStringLiteral("320"));
        order->setCurrentIndex(0);
        QCOMPARE(view.model().order(), RaceViewModel::Order::ByBib);
    }
};

QTEST_MAIN(RaceViewTest)
#include "race_view_test.moc"
