#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

#include "Support/Signal.h"
#include "Models/Date.h"
#include "Models/Duration.h"
#include "Platform/Clock.h"
#include "Platform/Scheduler.h"

namespace torvel {

/// The countdown of a timed session. The remaining time is always computed from the wall-clock end,
/// so a late wake-up (after a suspend, say) never drifts the end.
///
/// It wakes the machine only when something can see the difference: once a second while someone shows
/// seconds (an open menu or window holds a SecondsDemand), at each change of the shown text otherwise
/// (see ShownText), and always at the end.
class TimerManager {
public:
    /// The tick while seconds are shown.
    static constexpr double kTickSeconds = 1.0;

    /// How finely the always-visible countdown text (the tray title) reads the remaining time.
    enum class ShownText {
        nothing,  // nothing shows it (headless): wake only for the end
        minutes,  // whole minutes, then seconds during the last minute
    };

    /// While one of these lives, the countdown ticks every second. Move-only; safe to outlive the manager.
    class SecondsDemand {
    public:
        /// An empty token, demanding nothing (for members filled in later).
        SecondsDemand() = default;
        /// Takes over the demand of `other`, which is left empty.
        SecondsDemand(SecondsDemand&& other) noexcept = default;
        /// Gives up this token's demand and takes over that of `other`.
        SecondsDemand& operator=(SecondsDemand&& other) noexcept;
        /// Gives the demand up.
        ~SecondsDemand();
        /// Gives the demand up early; the destructor does the same.
        void reset();

    private:
        friend class TimerManager;
        explicit SecondsDemand(std::weak_ptr<TimerManager> manager) : manager_(std::move(manager)) {}
        std::weak_ptr<TimerManager> manager_;
    };

    /// Counts on `clock`'s wall time; wakes through `scheduler`.
    TimerManager(Clock& clock, Scheduler& scheduler);
    TimerManager(const TimerManager&) = delete;
    TimerManager& operator=(const TimerManager&) = delete;

    /// True while a countdown runs.
    bool isRunning() const { return isRunning_; }
    /// Seconds left now, from the wall clock, never negative; 0 when idle. Right whenever read, however
    /// long ago the last wake-up was.
    double remainingSeconds() const;
    /// The same as remainingSeconds(); kept for the callers that save or report the time left.
    double secondsLeftNow() const { return remainingSeconds(); }
    /// The end, for display; absent when idle.
    std::optional<Date> targetDate() const { return targetDate_; }

    /// Begins a countdown, replacing any running one; indefinite leaves the manager idle.
    void start(const Duration& duration);
    /// Ends the countdown without emitting expired. Safe when idle.
    void stop();
    /// Moves the end of a running countdown later by `seconds`; nothing when idle.
    void extend(double seconds);
    /// Emitted once when a countdown reaches its end; an observer may start a new one.
    Signal<> expired;

    /// Ticks every second until the returned token is destroyed; for views that show seconds.
    [[nodiscard]] SecondsDemand showSeconds();
    /// Number of live SecondsDemand tokens.
    std::size_t secondsDemandCount() const { return secondsDemands_; }
    /// What the always-visible countdown text shows; nothing until a tray sets it.
    void setShownText(ShownText shown);
    /// What the always-visible countdown text shows now.
    ShownText shownText() const { return shownText_; }

    /// Re-arms the wake-up after the machine woke or the wall clock was set: a timer counting on the
    /// suspending clock knows neither. An end already passed is handled now.
    void resynchronize();

    /// Emitted when isRunning or targetDate changes and at every wake-up of a running countdown (each
    /// time the shown text may have changed).
    Signal<> changed;

private:
    void tick();
    void arm();
    /// Seconds until the next wake-up that someone can see, never more than the time to the end.
    double nextWakeDelay(double remaining) const;
    void releaseDemand();

    Clock& clock_;
    Scheduler& scheduler_;
    bool isRunning_ = false;
    std::optional<Date> targetDate_;
    std::optional<Date> endDate_;
    Timer timer_;
    ShownText shownText_ = ShownText::nothing;
    std::size_t secondsDemands_ = 0;
    std::shared_ptr<TimerManager> self_{this, [](TimerManager*) {}};
};

}  // namespace torvel
