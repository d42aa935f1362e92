#include "Core/TimerManager.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace torvel {

namespace {

constexpr double kSecondsPerMinute = 60.0;
// A main-loop timer may fire a little early; a wake-up this close before a change of the shown text
// counts as that change instead of asking for another wake-up a moment later.
constexpr double kEarlyFiringSlack = 0.05;

// Seconds from `now` to `end`, never negative.
double secondsLeft(Date end, Date now) {
    return std::max(0.0, end.secondsSince(now));
}

}  // namespace

TimerManager::SecondsDemand& TimerManager::SecondsDemand::operator=(SecondsDemand&& other) noexcept {
    if (this != &other) {
        reset();
        manager_ = std::exchange(other.manager_, {});
    }
    return *this;
}

TimerManager::SecondsDemand::~SecondsDemand() {
    reset();
}

void TimerManager::SecondsDemand::reset() {
    if (const auto manager = std::exchange(manager_, {}).lock()) manager->releaseDemand();
}

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
    isRunning_ = true;
    arm();
    changed.emit();
}

double TimerManager::remainingSeconds() const {
    return endDate_ ? secondsLeft(*endDate_, clock_.now()) : 0.0;
}

void TimerManager::stop() {
    const bool wasRunning = isRunning_ || timer_ || endDate_;
    timer_.reset();  // may be the timer we are running in; the scheduler allows that
    isRunning_ = false;
    targetDate_.reset();
    endDate_.reset();
    if (wasRunning) changed.emit();
}

void TimerManager::extend(double seconds) {
    if (!isRunning_ || !endDate_) return;
    endDate_ = endDate_->addingSeconds(seconds);
    targetDate_ = endDate_;
    arm();  // the wake-up was aimed at the old end
    changed.emit();
}

TimerManager::SecondsDemand TimerManager::showSeconds() {
    ++secondsDemands_;
    if (secondsDemands_ == 1) arm();
    return SecondsDemand(self_);
}

void TimerManager::releaseDemand() {
    if (secondsDemands_ == 0) return;
    --secondsDemands_;
    if (secondsDemands_ == 0) arm();
}

void TimerManager::setShownText(ShownText shown) {
    if (shown == shownText_) return;
    shownText_ = shown;
    arm();
}

void TimerManager::resynchronize() {
    if (!isRunning_) return;
    if (remainingSeconds() <= 0.0) {
        tick();  // the end passed while the timer could not see it: handle it now, not hours later
        return;
    }
    arm();
    changed.emit();  // the shown time jumped
}

double TimerManager::nextWakeDelay(double remaining) const {
    // An end already reached is handled one tick later, as a countdown started at its end expects.
    if (remaining <= 0.0) return kTickSeconds;
    double step = 0.0;  // the granularity of the shown text; 0: only the end is seen
    if (secondsDemands_ > 0) {
        step = kTickSeconds;
    } else if (shownText_ == ShownText::minutes) {
        step = remaining - kEarlyFiringSlack > kSecondsPerMinute ? kSecondsPerMinute : kTickSeconds;
    }
    if (step == 0.0) return remaining;
    // The shown text changes when the remaining time crosses the next multiple of `step` below it.
    const double boundary = (std::ceil((remaining - kEarlyFiringSlack) / step) - 1.0) * step;
    if (!std::isfinite(boundary) || boundary <= 0.0) return remaining;
    return remaining - boundary;
}

void TimerManager::arm() {
    timer_.reset();
    if (!isRunning_ || !endDate_) return;
    // Holds the manager weakly: the handle cancels the wake-up when the manager stops or goes away.
    timer_ = scheduler_.after(nextWakeDelay(remainingSeconds()), [this] { tick(); });
}

void TimerManager::tick() {
    if (!endDate_) {
        stop();
        return;
    }
    if (remainingSeconds() <= 0.0) {
        stop();
        expired.emit();
        return;
    }
    arm();
    changed.emit();
}

}  // namespace torvel
