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

// Stops the shared Calc after the last test, while the program can still talk to it.
class SharedCalcEnvironment : public ::testing::Environment {
public:
    void TearDown() override { Shared().reset(); }
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

}  // namespace tivaro::workbook::test
