#pragma once
// Shared by the fuzz targets: a receive path whose sink checks what it is handed.

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/state/start_up.h"
#include "link/receive_path.h"

namespace tivaro::fuzz {

// Every passing handed on carries a time text "h:m:s.hh". Binary records always give two
// hundredths digits; older lines take the last two characters of their fraction as they are.
class CheckingSink final : public link::PassingSink {
public:
    CheckingSink(const RaceState& state, bool digitHundredths)
        : state_(state), digitHundredths_(digitHundredths) {}
    void HandlePassing() override {
        const std::string& t = state_.passTime;
        const std::size_t dot = t.find('.');
        if (dot == std::string::npos || t.find(':') == std::string::npos) {
            std::abort();
        }
        if (digitHundredths_ &&
            (t.size() != dot + 3 || !std::isdigit(t[dot + 1]) || !std::isdigit(t[dot + 2]))) {
            std::abort();
        }
        ++passings;
    }
    std::size_t passings = 0;

private:
    const RaceState& state_;
    bool digitHundredths_;
};

class DumpingView final : public link::DebugView {
public:
    bool rawDumpWanted() const override { return true; }
    bool unescapedDumpWanted() const override { return true; }
    void appendRawDump(std::string_view text) override { size += text.size(); }
    void appendUnescapedDump(std::string_view text) override { size += text.size(); }
    void showSerialLine(std::string_view line) override { size += line.size(); }
    void note(std::string_view text) override { size += text.size(); }
    std::size_t size = 0;
};

// Splits the input into arrivals at positions taken from its first bytes, so the fuzzer also
// explores how records and lines are cut.
template <class Feed>
void FeedInPieces(std::span<const std::uint8_t> data, Feed feed) {
    if (data.empty()) {
        return;
    }
    const std::size_t piece = 1 + data[0] % 64;
    data = data.subspan(1);
    while (!data.empty()) {
        const std::size_t n = std::min(piece, data.size());
        feed(data.first(n));
        data = data.subspan(n);
    }
}

}  // namespace tivaro::fuzz
