// Opening a workbook file of any content with the embedded engine, then reading, finding and
// writing on every sheet, as a race does.

#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "workbook/xlsx_app.h"

namespace {

std::filesystem::path ScratchFile() {
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("tivaro-fuzz-" + std::to_string(::getpid()) + ".xlsx");
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tivaro::workbook;
    const std::filesystem::path file = ScratchFile();
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    XlsxApp app(std::filesystem::temp_directory_path());
    auto book = app.open(file);
    if (!book) {
        if (book.error().message.empty()) {
            std::abort();  // every failure says what went wrong
        }
        return 0;
    }
    Workbook& workbook = **book;
    const auto names = workbook.sheetNames();
    for (const std::string& name : names) {
        if (!workbook.activate(name)) {
            continue;
        }
        const auto sheet = workbook.activeSheet();
        if (!sheet) {
            continue;
        }
        (void)workbook.find(*sheet, "B3:B200", "7404583");
        for (int row = 1; row <= 4; ++row) {
            for (int column = 1; column <= 20; column += 3) {
                (void)workbook.readCell(*sheet, row, column);
            }
        }
        (void)workbook.writeCell(*sheet, 3, 6, "1:2:3.05");
        (void)workbook.writeRange(*sheet, "T3:T5", "1");
        (void)workbook.colourCell(*sheet, 3, 1, 65535);
        if (workbook.readCell(*sheet, 3, 6).ok() &&
            *workbook.readCell(*sheet, 3, 6) != "1:2:3.05") {
            std::abort();  // a written text reads back as written
        }
    }
    return 0;
}
