// How long one more passing takes to reach the grid when it already holds many: the passing
// list, the table model's insert notification and the view's bookkeeping, with and without
// the view painting it.
//
//   tivaro_grid_bench [--benchmark_filter=...]

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QHeaderView>
#include <QTableView>

#include "app/passing_table_model.h"
#include "app/window_layout.h"
#include "timing/colours.h"

namespace {

using tivaro::timing::PassingList;
using tivaro::timing::PassingRow;

PassingRow Row(int i) {
    return {std::to_string(7404583 + i % 200), std::to_string(101 + i % 200) + " ", "10:15:30.25",
            "Doork 3", tivaro::timing::kYellow};
}

// A grid as the window builds it, holding `rows` passings.
struct Grid {
    explicit Grid(int rows) : model(list) {
        for (int i = 0; i < rows; ++i) {
            list.add(Row(i));
        }
        view.resize(273, 583);
        view.verticalHeader()->hide();
        view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view.setModel(&model);
        tivaro::app::SizeGridColumns(&view);
    }
    PassingList list;
    tivaro::app::PassingTableModel model;
    QTableView view;
};

void BM_AddPassing(benchmark::State& state) {
    Grid grid(static_cast<int>(state.range(0)));
    int i = 0;
    for (auto _ : state) {
        grid.list.add(Row(i++));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddPassing)->Arg(0)->Arg(100'000);

// The view on screen, repainted after every passing as the window's event loop does.
void BM_AddPassingShown(benchmark::State& state) {
    Grid grid(static_cast<int>(state.range(0)));
    grid.view.show();
    QApplication::processEvents();
    int i = 0;
    for (auto _ : state) {
        grid.list.add(Row(i++));
        grid.view.viewport()->repaint();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddPassingShown)->Arg(0)->Arg(100'000);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
