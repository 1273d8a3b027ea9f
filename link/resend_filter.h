#pragma once
// Tells a passing the decoder sent again from a new one. A decoder that loses its connection
// halfway through a line, or before it knows a record arrived, sends it again on the next
// connection; handled twice, it would give the competitor an extra lap of no time. Two
// passings with the same identity (decoder, passing number, code and time to the
// microsecond) are one passing, so the filter remembers the last few handled on its link.

#include <array>
#include <cstddef>

#include "link/passing.h"

namespace tivaro::link {

class ResendFilter {
public:
    static constexpr std::size_t kRemembered = 16;

    // True when `identity` is one of the last kRemembered handled; otherwise it is
    // remembered as handled.
    bool seenBefore(const PassingIdentity& identity);

private:
    std::array<PassingIdentity, kRemembered> handled_;
    std::size_t count_ = 0;  // identities remembered, up to kRemembered
    std::size_t next_ = 0;   // where the next one goes
};

}  // namespace tivaro::link
