#pragma once
// Shared by the fuzz targets: a listener that checks and collects what a receive path hands
// on, a debug view that takes every dump, and a way to cut the input into arrivals.

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "link/receive_path.h"

namespace tivaro::fuzz {

// Every passing handed on carries a time text "h:m:s.hh". Binary records always give two
// hundredths digits; older lines take the last two characters of their fraction as they are.
class CheckingListener final : public link::ReceiveListener {
public:
    explicit CheckingListener(bool digitHundredths) : digitHundredths_(digitHundredths) {}
    void onPassing(const link::Passing& passing) override {
        const std::string& t = passing.time;
        const std::size_t dot = t.find('.');
        if (dot == std::string::npos || t.find(':') == std::string::npos) {
            std::abort();
        }
        if (digitHundredths_ &&
            (t.size() != dot + 3 || !std::isdigit(static_cast<unsigned char>(t[dot + 1])) ||
             !std::isdigit(static_cast<unsigned char>(t[dot + 2])))) {
            std::abort();
        }
        passings.push_back(passing);
    }
    void onSetAside(const link::SetAside& setAside) override {
        if (setAside.passing) {
            onPassing(*setAside.passing);  // decoded as far as it goes: still a time of day
            passings.pop_back();
            setAsidePassings.push_back(*setAside.passing);
        }
    }
    void onProblem(const Error&) override { ++problems; }

    std::vector<link::Passing> passings;
    std::vector<link::Passing> setAsidePassings;
    std::size_t problems = 0;

private:
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

// Feeds `data` in arrivals whose sizes are taken from `cuts` (each byte one size, 1..256,
// used round); all of `data` when `cuts` is empty.
template <class Feed>
void FeedInPieces(std::span<const std::uint8_t> data, std::span<const std::uint8_t> cuts,
                  Feed feed) {
    std::size_t next = 0;
    while (!data.empty()) {
        const std::size_t piece = cuts.empty() ? data.size() : 1 + cuts[next++ % cuts.size()];
        const std::size_t n = std::min(piece, data.size());
        feed(data.first(n));
        data = data.subspan(n);
    }
}

}  // namespace tivaro::fuzz
