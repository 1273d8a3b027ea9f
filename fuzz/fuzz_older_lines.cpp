// Older-decoder text lines on both links, with the raw log on. Properties: cutting the text
// into other arrivals changes nothing on either link; every passing line reaches the raw log
// exactly as it was handed on; no line held back grows past the line limit.

#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "fuzz/fuzz_harness.h"
#include "link/older_record.h"

namespace {

// A raw log in memory: a file that lives only as long as this process.
std::string RawLogPath() {
    static const int fd = memfd_create("tivaro-raw-log", 0);
    return "/proc/self/fd/" + std::to_string(fd);
}

std::string TakeRawLog() {
    const std::string path = RawLogPath();
    const int fd = std::stoi(path.substr(path.rfind('/') + 1));
    std::string text(static_cast<std::size_t>(lseek(fd, 0, SEEK_END)), '\0');
    if (!text.empty() &&
        pread(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
        std::abort();
    }
    if (ftruncate(fd, 0) != 0) {
        std::abort();
    }
    return text;
}

}  // namespace

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
    const std::span<const std::uint8_t> text(data + 1 + cutCount, size - 1 - cutCount);
    (void)link::ParseOlderPassingLine(
        std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));

    for (const link::LinkKind kind : {link::LinkKind::Serial, link::LinkKind::Tcp}) {
        std::vector<link::Passing> whole;
        std::string wholeLog;
        for (const bool cut : {false, true}) {
            fuzz::CheckingListener listener(false);
            fuzz::DumpingView view;
            link::ReceivePath path(kind, listener, &view, RawLogPath());
            path.setGeneration(link::DecoderGeneration::Older);
            fuzz::FeedInPieces(text, cut ? cuts : std::span<const std::uint8_t>(),
                               [&](std::span<const std::uint8_t> piece) { path.receive(piece); });
            const std::string log = TakeRawLog();
            if (listener.problems != 0) {
                std::abort();
            }
            if (!cut) {
                whole = listener.passings;
                wholeLog = log;
            } else if (listener.passings != whole || log != wholeLog) {
                std::abort();  // the cuts changed what came out
            }
            // Each raw log entry is a passing line followed by CR LF.
            if (!log.empty() && !log.ends_with("\r\n")) {
                std::abort();
            }
        }
    }
    return 0;
}
