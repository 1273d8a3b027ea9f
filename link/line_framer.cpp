#include "link/line_framer.h"

#include <cstring>
#include <utility>

namespace tivaro::link {

namespace {

constexpr char kLineFeed = '\n';
constexpr char kCarriageReturn = '\r';

std::string_view AsText(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

void SerialLineFramer::feed(std::span<const std::uint8_t> bytes, const LineHandler& onLine) {
    std::string_view text = AsText(bytes);
    while (!text.empty()) {
        const std::size_t lf = text.find(kLineFeed);
        const std::size_t take = lf == std::string_view::npos ? text.size() : lf + 1;
        if (skipping_) {
            skipping_ = lf == std::string_view::npos;
        } else if (line_.size() + take > kMaxLineChars + (lf == std::string_view::npos ? 0 : 1)) {
            // Too long for a line even with its LF: dropped up to that LF.
            line_.clear();
            skipping_ = lf == std::string_view::npos;
        } else {
            line_.append(text.substr(0, take));
            if (lf != std::string_view::npos) {
                // Taken out first, so the framer is empty for the next line whatever the
                // handler does.
                const std::string complete = std::exchange(line_, std::string());
                onLine(complete);
            }
        }
        text.remove_prefix(take);
    }
}

std::string SerialLineFramer::restart() {
    skipping_ = false;
    return std::exchange(line_, std::string());
}

void TcpLineFramer::feed(std::span<const std::uint8_t> bytes, const LineHandler& onLine) {
    std::string_view arrival = AsText(bytes);
    if (skipping_) {
        const std::size_t lf = arrival.find(kLineFeed);
        if (lf == std::string_view::npos) {
            return;
        }
        arrival.remove_prefix(lf + 1);
        skipping_ = false;
    }

    text_.assign(remainder_);
    text_.append(arrival);
    remainder_.clear();

    // Cut at every LF (dropped). A piece that ends with CR is a complete line; any other piece
    // is kept as the unfinished start of the next arrival's first line.
    std::size_t begin = 0;
    for (;;) {
        const std::size_t lf = text_.find(kLineFeed, begin);
        const std::string_view piece = std::string_view(text_).substr(
            begin, lf == std::string::npos ? std::string::npos : lf - begin);
        if (!piece.empty() && piece.back() == kCarriageReturn) {
            onLine(piece);
        } else {
            remainder_.assign(piece);
        }
        if (lf == std::string::npos) {
            break;
        }
        begin = lf + 1;
    }
    if (remainder_.size() > kMaxLineChars) {
        remainder_.clear();
        skipping_ = true;
    }
}

std::string TcpLineFramer::restart() {
    skipping_ = false;
    return std::exchange(remainder_, std::string());
}

}  // namespace tivaro::link
