#pragma once
// Frames the text lines of older decoders, which end their lines with CR LF. The two links
// cut lines a little differently:
//
// - Serial: a line runs up to and including its LF (CR LF included), across any number of
//   receive events.
// - TCP: the text is cut at every LF (the LF is dropped); a piece that ends with CR is a
//   complete line (CR included); any other piece is kept and put in front of the next
//   arrival (a later such piece of the same arrival replaces it).
//
// A line that grows past kMaxLineChars without its line end is dropped, with everything up to
// its LF, so memory stays bounded whatever arrives.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace tivaro::link {

inline constexpr std::size_t kMaxLineChars = 4096;

using LineHandler = std::function<void(std::string_view line)>;

class SerialLineFramer {
public:
    // Calls `onLine` for every line that `bytes` completes (each byte one character).
    void feed(std::span<const std::uint8_t> bytes, const LineHandler& onLine);
    // A new connection: the unfinished line of the old one is dropped and given back.
    std::string restart();
    const std::string& pending() const { return line_; }

private:
    std::string line_;
    bool skipping_ = false;  // an overlong line was dropped: skip to its LF
};

class TcpLineFramer {
public:
    void feed(std::span<const std::uint8_t> bytes, const LineHandler& onLine);
    std::string restart();
    const std::string& pending() const { return remainder_; }

private:
    std::string remainder_;
    std::string text_;       // reused from arrival to arrival
    bool skipping_ = false;  // an overlong line was dropped: skip to its LF
};

}  // namespace tivaro::link
