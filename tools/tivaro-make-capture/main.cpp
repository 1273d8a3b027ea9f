// tivaro-make-capture: writes the sample decoder captures of a short skating heat on the demo
// workbook: binary records as a current decoder sends them, and the same race as the text
// lines of an older decoder.
//
//   tivaro-make-capture BINARY_OUT OLDER_OUT

#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "decoder/record_writer.h"

namespace {

struct Passing {
    std::string code;
    std::uint64_t micros;
};

// Heat 1 of the demo workbook's skating sheet: competitors i = 0, 5, 10, 15 (bibs 101, 106,
// 111, 116); 116 carries the text transponder "KX-04138" (i % 4 == 3). A warm-up lap each,
// then start and ten laps of about 36 s, and one transponder the workbook does not know.
std::vector<Passing> Race() {
    const std::string codes[] = {"7404583", "7404588", "7404593", "KX-04138"};
    std::vector<Passing> race;
    std::uint64_t clock = (19ull * 3600 + 5 * 60) * 1'000'000;  // 19:05:00
    for (int k = 0; k < 4; ++k) {
        race.push_back({codes[k], clock + k * 2'310'000ull});
    }
    race.push_back({"9999999", clock + 9'990'000});
    clock += 60'000'000;
    for (int lap = 0; lap <= 10; ++lap) {
        for (int k = 0; k < 4; ++k) {
            const std::uint64_t spread = static_cast<std::uint64_t>(k) * 1'130'000 + lap * 70'000;
            race.push_back({codes[k], clock + lap * 36'250'000ull + spread});
        }
    }
    return race;
}

}  // namespace

int main(int argc, char** argv) {
    std::string binaryPath;
    std::string olderPath;
    CLI::App app{
        "Writes the sample captures of a short skating heat on the demo workbook: as binary "
        "records of a current decoder (BINARY_OUT) and as text lines of an older one "
        "(OLDER_OUT).",
        "tivaro-make-capture"};
    app.add_option("binary", binaryPath, "the binary capture to write")
        ->required()
        ->option_text("BINARY_OUT");
    app.add_option("older", olderPath, "the older-decoder capture to write")
        ->required()
        ->option_text("OLDER_OUT");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }
    const std::vector<Passing> race = Race();

    std::vector<std::uint8_t> binary;
    std::string older;
    std::uint32_t number = 0;
    for (const Passing& p : race) {
        tivaro::decoder::PassingRecordFields fields;
        fields.passingNumber = ++number;
        if (p.code.find_first_not_of("0123456789") == std::string::npos) {
            fields.transponderNumber = static_cast<std::uint32_t>(std::stoul(p.code));
        } else {
            fields.transponderText = p.code;
        }
        fields.timeMicros = p.micros;
        fields.strength = 0x8E;  // a byte that goes out escaped
        fields.hits = 24;
        fields.decoderId = 0x0D0C8F01;
        tivaro::decoder::AppendEscaped(tivaro::decoder::BuildPassingRecord(fields), binary);
        if (number % 5 == 0) {
            tivaro::decoder::StatusRecordFields status;
            status.noise = 41;
            status.temperature = 215;
            status.decoderId = fields.decoderId;
            tivaro::decoder::AppendEscaped(tivaro::decoder::BuildStatusRecord(status), binary);
        }

        const std::uint64_t seconds = p.micros / 1'000'000;
        const std::uint64_t millis = (p.micros / 1000) % 1000;
        char text[160];
        std::snprintf(text, sizeof text, "\x01@\t3\t%u\t%s\t%llu.%02llu\t24\t112\t0", number,
                      p.code.c_str(), static_cast<unsigned long long>(seconds),
                      static_cast<unsigned long long>(millis / 10));
        older += tivaro::decoder::OlderLineWithCheck(text);
        if (number % 5 == 0) {
            older += tivaro::decoder::OlderLineWithCheck("\x01#\t3\t41\t0");
        }
    }

    std::ofstream binaryOut(binaryPath, std::ios::binary);
    binaryOut.write(reinterpret_cast<const char*>(binary.data()),
                    static_cast<std::streamsize>(binary.size()));
    std::ofstream olderOut(olderPath, std::ios::binary);
    olderOut << older;
    if (!binaryOut || !olderOut) {
        std::fputs("tivaro-make-capture: de opnames konden niet worden geschreven\n", stderr);
        return 1;
    }
    return 0;
}
