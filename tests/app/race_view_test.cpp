// The race view over the fake race workbook, driven by the race controller as the window will
// drive it: columns and headers per sport, the two orders, a passing announced as one row, the
// common start, and the order choice of the widget.

#include <QBrush>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QPersistentModelIndex>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <memory>

#include "app/race_view.h"
#include "app/race_view_model.h"
#include "tests/support/fake_workbook.h"
#include "tests/support/race_book.h"
#include "timing/race_controller.h"
#include "timing/results.h"

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
        model_.followSetup(controller_->race());
    }
    void Heat(const char* heat) {
        controller_->setup().chooseHeat(heat);
        model_.followSetup(controller_->race());
    }
    void Pass(const std::string& code, const char* time) {
        controller_->handlePassing(link::Passing{code, time});
    }
    timing::SetupPanel& Panel() { return controller_->setup(); }
    const timing::Race& Race() const { return controller_->race(); }

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
        track.Choose("Lopen", 5);
        QCOMPARE(Headers(model), QStringList({"Plaats", "Rugnr.", "Naam", "Ronden", "Start"}) +
                                     Numbered("Doork %1", 1, 4) + QStringList{"Finish"} +
                                     Numbered("Ronde %1", 1, 5) + QStringList{"Totaal"});
        QCOMPARE(model.frozenColumns(), 3);
        QCOMPARE(model.rowCount(), 20);
        QCOMPARE(Cell(model, 0, "Rugnr."), QStringLiteral("201"));
        QCOMPARE(Cell(model, 0, "Naam"), QStringLiteral("Anna de Vries"));
        QCOMPARE(model.index(0, Column(model, "Rugnr.")).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("Transponder 7405583"));
        // As many laps as the race has: two laps, then the finish.
        track.Choose("Lopen", 2);
        QCOMPARE(Headers(model),
                 QStringList({"Plaats", "Rugnr.", "Naam", "Ronden", "Start", "Doork 1", "Finish",
                              "Ronde 1", "Ronde 2", "Totaal"}));

        // Skating: every heat until one is chosen, then that heat, unless all are asked for.
        track.Choose("Schaatsen");
        QCOMPARE(Headers(model), QStringList({"Plaats", "Rugnr.", "Heat", "Ronden", "Start"}) +
                                     Numbered("Doork %1", 1, 9) + QStringList{"Finish"} +
                                     Numbered("Ronde %1", 1, 10) + QStringList{"Totaal"});
        QCOMPARE(Cell(model, 1, "Heat"), QStringLiteral("2"));
        const int everyone = model.rowCount();
        track.Heat("Heat 2");
        QVERIFY(model.rowCount() > 0 && model.rowCount() < everyone);
        for (int row = 0; row < model.rowCount(); ++row) {
            QCOMPARE(Cell(model, row, "Heat"), QStringLiteral("2"));
        }
        model.showAllHeats(true);
        QCOMPARE(model.rowCount(), everyone);

        track.Choose("Fietsen", 8);
        QCOMPARE(Headers(model), QStringList({"Plaats", "Rugnr.", "Ronden", "Start"}) +
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
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed[0][0].toModelIndex(), model.index(5, 0));
        QCOMPARE(changed[0][1].toModelIndex(), model.index(5, model.columnCount() - 1));
        // The first lap time is the fastest of the race: every row may show that.
        track.Pass(TransponderOf(2, 5), "8:11:2.50");
        QCOMPARE(changed.count(), 3);
        QCOMPARE(changed[1][0].toModelIndex(), model.index(5, 0));
        QCOMPARE(changed[2][1].toModelIndex(),
                 model.index(model.rowCount() - 1, model.columnCount() - 1));
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
        QCOMPARE(Cell(model, 5, "Ronden"), QStringLiteral("2"));
        QVERIFY(model.index(5, Column(model, "Ronden"))
                    .data(Qt::ToolTipRole)
                    .toString()
                    .endsWith(QStringLiteral(": x")));
        QCOMPARE(Cell(model, 5, "Plaats"), QStringLiteral("1"));
        QVERIFY(model.index(5, 3).data(Qt::BackgroundRole).value<QBrush>().color().isValid());

        // A warm-up passing and an unknown transponder change nothing.
        track.Panel().choosePhase(timing::Phase::Warmup);
        track.Pass(TransponderOf(2, 7), "9:26:0.00");
        track.Pass("123", "9:26:1.00");
        QCOMPARE(changed.count(), 5);
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
        const QPersistentModelIndex bib203 = model.index(2, 1);

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
            QCOMPARE(Cell(model, row, "Ronden"), QStringLiteral("0"));
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
        track.Choose("Fietsen", 8);
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
        QCOMPARE(table->model()->index(0, 1).data().toString(), QStringLiteral("301"));
        order->setCurrentIndex(1);
        QCOMPARE(view.model().order(), RaceViewModel::Order::ByPosition);
        QCOMPARE(table->model()->index(0, 1).data().toString(), QStringLiteral("320"));
        order->setCurrentIndex(0);
        QCOMPARE(view.model().order(), RaceViewModel::Order::ByBib);
    }

    void placeBibAndNameStayInViewWhileTheLapsScroll() {
        RaceView view;
        Track track(view.model());
        track.book->cell("loop", 2, 4) = "naam";
        track.Choose("Lopen", 5);
        track.Pass(TransponderOf(1, 0), "10:0:0.00");
        view.resize(320, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto* table = view.findChild<QTableView*>(QStringLiteral("RaceViewTable"));
        auto* frozen = view.findChild<QTableView*>(QStringLiteral("RaceViewFrozen"));
        QVERIFY(frozen != nullptr);
        QScrollBar* across = table->horizontalScrollBar();
        QVERIFY(across->maximum() > 0);  // too narrow for every lap: it scrolls
        across->setValue(across->maximum());
        QTRY_VERIFY(frozen->isVisible());
        QCOMPARE(frozen->model(), table->model());
        for (int column = 0; column < table->model()->columnCount(); ++column) {
            QCOMPARE(frozen->isColumnHidden(column), column >= 3);
        }
        QCOMPARE(frozen->width(),
                 table->columnWidth(0) + table->columnWidth(1) + table->columnWidth(2));
        QCOMPARE(frozen->x(), table->frameWidth());
        QCOMPARE(frozen->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Naam"));
        // Rows scroll together, and a row chosen in either is chosen in both.
        QCOMPARE(frozen->selectionModel(), table->selectionModel());
        view.setRowHeight(17);
        QCOMPARE(frozen->rowHeight(0), table->rowHeight(0));
        QCOMPARE(frozen->rowHeight(0), 17);
        table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum());
        QCOMPARE(frozen->verticalScrollBar()->value(), table->verticalScrollBar()->value());
    }

    void theHeatBoxIsOfferedInSkatingOnly() {
        RaceView view;
        view.show();
        Track track(view.model());
        auto* allHeats = view.findChild<QCheckBox*>(QStringLiteral("AllHeatsBox"));
        QVERIFY(allHeats != nullptr);
        track.Choose("Lopen", 2);
        view.followSetup(track.Race());
        QVERIFY(!allHeats->isVisible());
        track.Choose("Schaatsen");
        QVERIFY(view.reload(track.Race()).ok());
        QVERIFY(allHeats->isVisible());
        const int everyone = view.model().rowCount();
        track.Heat("Heat 1");
        QVERIFY(view.model().rowCount() < everyone);
        allHeats->setChecked(true);
        QCOMPARE(view.model().rowCount(), everyone);
        allHeats->setChecked(false);
        QVERIFY(view.model().rowCount() < everyone);
    }

    void theResultsCsvSaysWhatTheViewShowsCellByCell() {
        RaceViewModel model;
        Track track(model);
        track.book->cell("loop", 2, 4) = "naam";
        track.Choose("Lopen", 2);
        model.setOrder(RaceViewModel::Order::ByPosition);
        const char* passings[][2] = {{"0", "10:0:0.00"}, {"1", "10:0:1.00"}, {"2", "10:0:2.00"},
                                     {"0", "10:1:0.00"}, {"1", "10:1:1.00"}, {"2", "10:1:30.00"},
                                     {"0", "10:2:0.00"}, {"1", "10:2:1.00"}, {"3", "10:0:9.00"}};
        for (const auto& [runner, time] : passings) {
            track.Pass(TransponderOf(1, std::atoi(runner)), time);
        }
        const timing::RaceResults results = timing::MakeResults(model.standings(), 2, "", "x");
        const QStringList lines = QString::fromStdString(timing::ResultsCsv(results))
                                      .remove(QChar(0xFEFF))
                                      .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        const QStringList header = lines.first().split(';');
        QCOMPARE(lines.size() - 1, model.rowCount());
        QCOMPARE(Cell(model, 0, "Plaats"), QStringLiteral("1"));
        for (int row = 0; row < model.rowCount(); ++row) {
            const QStringList fields = lines[row + 1].split(';');
            for (const char* shown :
                 {"Plaats", "Rugnr.", "Naam", "Ronden", "Ronde 1", "Ronde 2", "Totaal"}) {
                QCOMPARE(fields[header.indexOf(shown)], Cell(model, row, shown).trimmed());
            }
        }
    }
};

QTEST_MAIN(RaceViewTest)
#include "race_view_test.moc"
