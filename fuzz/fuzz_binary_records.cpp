// Binary framing, escape removal and record decoding on both links.

#include "fuzz/fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tivaro;
    const std::span<const std::uint8_t> input(data, size);
    for (const bool tcp : {false, true}) {
        RaceState state;
        ApplyStartUpValues(state, "/nonexistent");
        state.rawLogPath.clear();
        fuzz::CheckingSink sink(state, true);
        fuzz::DumpingView view;
        link::ReceivePath receive(state, sink, &view);
        fuzz::FeedInPieces(input, [&](std::span<const std::uint8_t> piece) {
            (void)(tcp ? receive.ReceiveTcp(piece) : receive.ReceiveSerial(piece));
        });
        if (state.rawRecord.empty() || state.rawRecord.size() > link::kMaxRecordBytes) {
            std::abort();
        }
    }
    return 0;
}
