// Binary framing, escape removal, record checks and decoding. The input is a byte stream after
// a header that says where to cut it into arrivals. Properties: the serial and the TCP link
// give the same passings, and set aside the same records, for the same bytes, however they are
// cut; memory stays bounded.

#include "fuzz/fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tivaro;
    if (size < 1) {
        return 0;
    }
    const std::size_t cutCount = data[0] % 16;
    if (size < 1 + cutCount) {
        return 0;
    }
    const std::span<const std::uint8_t> cuts(data + 1, cutCount);
    const std::span<const std::uint8_t> stream(data + 1 + cutCount, size - 1 - cutCount);

    std::vector<link::Passing> reference;
    std::vector<link::Passing> referenceSetAside;
    std::uint64_t setAside = 0;
    bool checked = false;
    for (const link::LinkKind kind : {link::LinkKind::Serial, link::LinkKind::Tcp}) {
        for (const bool cut : {false, true}) {
            fuzz::CheckingListener listener(true);
            fuzz::DumpingView view;
            link::ReceivePath path(kind, listener, &view);
            fuzz::FeedInPieces(stream, cut ? cuts : std::span<const std::uint8_t>(),
                               [&](std::span<const std::uint8_t> piece) { path.receive(piece); });
            if (listener.problems != 0) {
                std::abort();  // binary records write no log that could fail
            }
            if (kind == link::LinkKind::Serial && !cut) {
                reference = listener.passings;
                referenceSetAside = listener.setAsidePassings;
                setAside = path.setAsideCount();
                checked = path.recordsChecked();
            } else if (listener.passings != reference ||
                       listener.setAsidePassings != referenceSetAside ||
                       path.setAsideCount() != setAside || path.recordsChecked() != checked) {
                std::abort();  // the links or the cuts disagree
            }
        }
    }
    return 0;
}
