#include "link/resend_filter.h"

namespace tivaro::link {

bool ResendFilter::seenBefore(const PassingIdentity& identity) {
    for (std::size_t k = 0; k < count_; ++k) {
        const PassingIdentity& known = handled_[k];
        // The numbers first: the time differs between almost any two passings.
        if (known.time == identity.time && known.number == identity.number && known == identity) {
            return true;
        }
    }
    handled_[next_] = identity;  // assigned into kept storage: no allocation once warm
    next_ = (next_ + 1) % kRemembered;
    if (count_ < kRemembered) {
        ++count_;
    }
    return false;
}

}  // namespace tivaro::link
