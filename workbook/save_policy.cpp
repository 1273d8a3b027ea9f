#include "workbook/save_policy.h"

#include <algorithm>

namespace tivaro::workbook {

void SavePolicy::markChanged(Clock::time_point now) {
    if (!pending_) {
        pending_ = true;
        firstUnsaved_ = now;
    }
}

bool SavePolicy::shouldSave(Clock::time_point now, bool inputWaiting) const {
    if (!pending_) {
        return false;
    }
    if (lastAttempt_ && now - *lastAttempt_ < minimumInterval_) {
        return false;
    }
    // In a burst, the oldest unsaved change decides: it must not wait much longer than the
    // interval for the burst to end.
    return !inputWaiting || now - firstUnsaved_ >= minimumInterval_;
}

void SavePolicy::saved(Clock::time_point now) {
    pending_ = false;
    lastAttempt_ = now;
}

void SavePolicy::saveFailed(Clock::time_point now) {
    lastAttempt_ = now;
}

std::optional<SavePolicy::Clock::time_point> SavePolicy::nextCheck(Clock::time_point now) const {
    if (!pending_) {
        return std::nullopt;
    }
    // Once input stops, only the rate limit holds a save back; while input keeps coming the
    // caller asks again after each passing anyway.
    return lastAttempt_ ? std::max(now, *lastAttempt_ + minimumInterval_) : now;
}

}  // namespace tivaro::workbook
