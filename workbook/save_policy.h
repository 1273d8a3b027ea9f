#pragma once
// When to save the workbook while passings come in. Each passing marks it changed; it is
// saved as soon as no more input is waiting, but not more often than twice a second, and
// during a long burst of input at least every half second or so, so that the file on disk
// follows the race within a second. Pending changes are saved on close.
//
// A pure policy: the caller passes the time and whether input is waiting, and drives it from
// a timer (nextCheck says when to ask again).

#include <chrono>
#include <optional>

namespace tivaro::workbook {

class SavePolicy {
public:
    using Clock = std::chrono::steady_clock;

    explicit SavePolicy(Clock::duration minimumInterval = std::chrono::milliseconds(500))
        : minimumInterval_(minimumInterval) {}

    // Something was written into the workbook at `now`.
    void markChanged(Clock::time_point now);

    // Whether to save at `now`. `inputWaiting`: more passings are queued behind this one.
    bool shouldSave(Clock::time_point now, bool inputWaiting) const;

    // Report the outcome of a save started at `now`. A failed save keeps the changes
    // pending; it is tried again no sooner than the minimum interval.
    void saved(Clock::time_point now);
    void saveFailed(Clock::time_point now);

    // When shouldSave(t, false) turns true if nothing else happens: the time for the timer
    // after a "no". nullopt when nothing is pending.
    std::optional<Clock::time_point> nextCheck(Clock::time_point now) const;

    bool pending() const { return pending_; }
    void setMinimumInterval(Clock::duration interval) { minimumInterval_ = interval; }
    // On close: save when anything is pending, whatever the time.
    bool shouldSaveOnClose() const { return pending_; }

private:
    Clock::duration minimumInterval_;
    bool pending_ = false;
    std::optional<Clock::time_point> lastAttempt_;
    Clock::time_point firstUnsaved_{};
};

}  // namespace tivaro::workbook
