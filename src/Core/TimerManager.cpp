#include "Core/TimerManager.h"

#include <algorithm>
#include <utility>

namespace torvel {

namespace {
// Seconds from `now` to `end`, never negative.
double secondsLeft(Date end, Date now) {
    return std::max(0.0, end.secondsSince(now));
}
}  // namespace

TimerManager::TimerManager(Clock& clock, Scheduler& scheduler) : clock_(clock), scheduler_(scheduler) {}

void TimerManager::start(const Duration& duration) {
    stop();

    const Date now = clock_.now();
    Date end;
    switch (duration.kind()) {
        case Duration::Kind::indefinite:
            return;  // open-ended: no countdown
        case Duration::Kind::until:
            end = duration.untilDate();  // already resolved by the caller
            break;
        default:
            // Saturating: an absurd custom length ends at the far future instead of overflowing.
            end = now.addingSeconds(duration.timeInterval(now).value_or(0.0));
            break;
    }

    endDate_ = end;
    targetDate_ = end;
    remainingSeconds_ = secondsLeft(end, now);
    isRunning_ = true;
    // The handle cancels the tick when this manager stops or goes away.
    timer_ = scheduler_.every(kTickSeconds, [this] { tick(); });
    changed.emit();
}

double TimerManager::secondsLeftNow() const {
    return endDate_ ? secondsLeft(*endDate_, clock_.now()) : 0.0;
}

void TimerManager::stop() {
    const bool wasRunning = isRunning_ || timer_ || endDate_;
    timer_.reset();  // may be the timer we are running in; the scheduler allows that
    isRunning_ = false;
    remainingSeconds_ = 0.0;
    targetDate_.reset();
    endDate_.reset();
    if (wasRunning) changed.emit();
}

void TimerManager::extend(double seconds) {
    if (!isRunning_ || !endDate_) return;
    endDate_ = endDate_->addingSeconds(seconds);
    targetDate_ = endDate_;
    remainingSeconds_ = secondsLeft(*endDate_, clock_.now());
    changed.emit();
}

void TimerManager::tick() {
    if (!endDate_) {
        stop();
        return;
    }
    // Recomputed from the wall-clock end every time, so a late tick (after a suspend) never drifts.
    remainingSeconds_ = secondsLeft(*endDate_, clock_.now());
    if (remainingSeconds_ <= 0.0) {
        stop();
        // A copy, so the callback may start a new countdown or replace itself while it runs.
        if (auto expired = onExpired_) expired();
        return;
    }
    changed.emit();
}

}  // namespace torvel
