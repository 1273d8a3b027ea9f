#include "tests/workbook/calc_suite.h"

#include <unistd.h>

#include <memory>

#include <gtest/gtest.h>

namespace tivaro::workbook::test {

namespace {

std::unique_ptr<SpreadsheetApp>& Shared() {
    static std::unique_ptr<SpreadsheetApp> app;
    return app;
}

std::unique_ptr<ThreadedApp>& SharedThreaded() {
    static std::unique_ptr<ThreadedApp> app;
    return app;
}

// Stops the shared Calc after the last test, while the program can still talk to it.
class SharedCalcEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        SharedThreaded().reset();
        Shared().reset();
    }
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new SharedCalcEnvironment);

}  // namespace

std::string PipeFor(const std::string& purpose) {
    return "tivaro-test-" + purpose + "-" + std::to_string(getpid());
}

CalcOptions SharedCalcOptions() {
    CalcOptions options = DisposableCalcOptions(PipeFor("shared"));
    options.saveThroughCalc = true;
    return options;
}

SpreadsheetApp* SharedCalc() {
    if (!Shared()) {
        auto started = StartCalc(SharedCalcOptions());
        if (!started) {
            ADD_FAILURE() << "LibreOffice Calc does not start: " << started.error().message;
            return nullptr;
        }
        Shared() = std::move(*started);
    }
    return Shared().get();
}

ThreadedApp* SharedThreadedCalc() {
    // Joins the shared Calc, which this thread starts and so keeps alive.
    if (SharedCalc() == nullptr) {
        return nullptr;
    }
    if (!SharedThreaded()) {
        SharedThreaded() = StartCalcOnWorker(SharedCalcOptions());
    }
    return SharedThreaded().get();
}

void Settle(Workbook& book) {
    if (auto* threaded = dynamic_cast<ThreadedWorkbook*>(&book)) {
        ASSERT_TRUE(threaded->settle(std::chrono::seconds(60))) << "Calc did not answer";
    }
}

}  // namespace tivaro::workbook::test
