#pragma once

#include <functional>
#include <optional>

#include "Core/Signal.h"
#include "Models/Date.h"
#include "Models/Duration.h"
#include "Platform/Clock.h"
#include "Platform/Scheduler.h"

namespace torvel {

/// The countdown of a timed session. The remaining time is always recomputed from the wall-clock end,
/// so a late tick (after a suspend, say) never drifts the end.
class TimerManager {
public:
    static constexpr double kTickSeconds = 1.0;

    TimerManager(Clock& clock, Scheduler& scheduler);
    TimerManager(const TimerManager&) = delete;
    TimerManager& operator=(const TimerManager&) = delete;

    bool isRunning() const { return isRunning_; }
    /// Seconds left, never negative; 0 when idle.
    double remainingSeconds() const { return remainingSeconds_; }
    /// Seconds left right now, from the wall clock: unlike remainingSeconds(), never a tick behind
    /// (after a suspend the first tick may not have run yet). 0 when idle.
    double secondsLeftNow() const;
    /// The end, for display; absent when idle.
    std::optional<Date> targetDate() const { return targetDate_; }

    /// Begins a countdown, replacing any running one; indefinite leaves the manager idle.
    void start(const Duration& duration);
    /// Ends the countdown without calling onExpired. Safe when idle.
    void stop();
    /// Moves the end of a running countdown later by `seconds`; nothing when idle.
    void extend(double seconds);
    /// Called once when a countdown reaches its end.
    void setOnExpired(std::function<void()> callback) { onExpired_ = std::move(callback); }

    /// Emitted whenever isRunning, remainingSeconds or targetDate changes (every tick while running).
    Signal<> changed;

private:
    void tick();

    Clock& clock_;
    Scheduler& scheduler_;
    bool isRunning_ = false;
    double remainingSeconds_ = 0.0;
    std::optional<Date> targetDate_;
    std::optional<Date> endDate_;
    std::function<void()> onExpired_;
    Timer timer_;
};

}  // namespace torvel
