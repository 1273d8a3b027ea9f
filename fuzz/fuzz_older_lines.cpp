// Older-decoder text lines on both links, and the passing-line parser.

#include "fuzz/fuzz_harness.h"
#include "link/older_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tivaro;
    const std::span<const std::uint8_t> input(data, size);
    (void)link::ParseOlderPassingLine(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const bool tcp : {false, true}) {
        RaceState state;
        ApplyStartUpValues(state, "/nonexistent");
        state.rawLogPath.clear();
        state.binaryDecoder = false;
        fuzz::CheckingSink sink(state, false);
        fuzz::DumpingView view;
        link::ReceivePath receive(state, sink, &view);
        fuzz::FeedInPieces(input, [&](std::span<const std::uint8_t> piece) {
            (void)(tcp ? receive.ReceiveTcp(piece) : receive.ReceiveSerial(piece));
        });
        if (state.serialTextLine.size() > link::kMaxLineChars ||
            state.tcpTextRemainder.size() > link::kMaxLineChars) {
            std::abort();
        }
    }
    return 0;
}
