// tivaro-make-workbook OUTPUT.xlsx: writes the demo race workbook.

#include <cstdio>
#include <filesystem>

#include "demo_workbook.h"
#include "workbook/atomic_file.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tivaro-make-workbook OUTPUT.xlsx\n");
        return 2;
    }
    auto bytes = tivaro::demo::DemoWorkbookBytes();
    if (!bytes) {
        std::fprintf(stderr, "tivaro-make-workbook: %s\n", bytes.error().message.c_str());
        return 1;
    }
    const std::filesystem::path output = argv[1];
    if (auto written = tivaro::workbook::ReplaceFileAtomically(output, *bytes); !written) {
        std::fprintf(stderr, "tivaro-make-workbook: %s\n", written.error().message.c_str());
        return 1;
    }
    return 0;
}
