// tivaro-make-workbook OUTPUT.xlsx: writes the demo race workbook.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <string>

#include "demo_workbook.h"
#include "workbook/atomic_file.h"

int main(int argc, char** argv) {
    std::string output;
    CLI::App app{
        "Writes the demo race workbook: the sheets \"schaats\", \"loop\" and \"fiets\" with "
        "twenty competitors each, and formulas for the lap times and the total.",
        "tivaro-make-workbook"};
    app.add_option("output", output, "the workbook to write (.xlsx)")->required();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }
    auto bytes = tivaro::demo::DemoWorkbookBytes();
    if (!bytes) {
        std::fprintf(stderr, "tivaro-make-workbook: %s\n", bytes.error().message.c_str());
        return 1;
    }
    if (auto written = tivaro::workbook::ReplaceFileAtomically(output, *bytes); !written) {
        std::fprintf(stderr, "tivaro-make-workbook: %s\n", written.error().message.c_str());
        return 1;
    }
    return 0;
}
