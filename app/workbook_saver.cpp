#include "app/workbook_saver.h"

#include <algorithm>
#include <utility>

namespace tivaro::app {

namespace {

using Clock = workbook::SavePolicy::Clock;

constexpr auto kPauseWhileInputWaits = std::chrono::milliseconds(50);

}  // namespace

WorkbookSaver::WorkbookSaver(std::function<workbook::Workbook*()> workbook,
                             std::function<bool()> inputWaiting,
                             std::function<void(const QString&)> report,
                             std::chrono::milliseconds interval, QObject* parent)
    : QObject(parent),
      workbook_(std::move(workbook)),
      inputWaiting_(std::move(inputWaiting)),
      report_(std::move(report)),
      interval_(interval),
      policy_(interval) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &WorkbookSaver::due);
}

void WorkbookSaver::markChanged() {
    policy_.markChanged(Clock::now());
    // A zero timeout runs once the events already waiting (more decoder bytes) are handled.
    if (!timer_.isActive()) {
        timer_.start(0);
    }
}

void WorkbookSaver::check() {
    if (!policy_.pending()) {
        return;
    }
    const bool waiting = inputWaiting_ && inputWaiting_();
    if (policy_.shouldSave(Clock::now(), waiting)) {
        Save();
        Schedule(Clock::duration::zero());
    } else {
        // Input is waiting: its handling asks again; the pause only matters when that input
        // brings no passing.
        Schedule(waiting ? kPauseWhileInputWaits : Clock::duration::zero());
    }
}

bool WorkbookSaver::saveNow() {
    if (!policy_.shouldSaveOnClose()) {
        return true;
    }
    const bool saved = Save();
    Schedule(Clock::duration::zero());
    return saved;
}

void WorkbookSaver::setInterval(std::chrono::milliseconds interval) {
    interval_ = interval;
    policy_.setMinimumInterval(interval);
}

void WorkbookSaver::forget() {
    policy_ = workbook::SavePolicy(interval_);
    failing_ = false;
    timer_.stop();
}

bool WorkbookSaver::Save() {
    const Clock::time_point now = Clock::now();
    workbook::Workbook* book = workbook_ ? workbook_() : nullptr;
    if (book == nullptr) {
        policy_.saved(now);
        return true;
    }
    Result<workbook::SaveReport> saved = book->save();
    if (!saved) {
        policy_.saveFailed(now);
        failing_ = true;
        const QString why = QString::fromStdString(saved.error().message);
        report_(tr("Het wedstrijdwerkboek is niet opgeslagen; Tivaro probeert het opnieuw. %1")
                    .arg(why));
        emit failingChanged(true, why);
        return false;
    }
    policy_.saved(now);
    if (!saved->notice.empty()) {
        report_(QString::fromStdString(saved->notice));
    } else if (failing_) {
        report_(tr("Het wedstrijdwerkboek is weer opgeslagen, in %1.")
                    .arg(QString::fromStdString(saved->writtenTo.string())));
    }
    if (failing_) {
        failing_ = false;
        emit failingChanged(false, {});
    }
    return true;
}

void WorkbookSaver::Schedule(Clock::duration atLeast) {
    const Clock::time_point now = Clock::now();
    const std::optional<Clock::time_point> next = policy_.nextCheck(now);
    if (!next) {
        timer_.stop();
        return;
    }
    timer_.start(std::chrono::ceil<std::chrono::milliseconds>(std::max(*next - now, atLeast)));
}

}  // namespace tivaro::app
