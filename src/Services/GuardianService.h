#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "Models/Date.h"
#include "Platform/Clock.h"
#include "Platform/Scheduler.h"
#include "Support/Signal.h"

namespace torvel {

/// Reminds the user that the computer is still kept awake: after the chosen hours, then every hour.
class GuardianService {
public:
    static constexpr double kRecurrenceSeconds = 3600.0;
    /// The range the settings offer; a stored value outside it is clamped.
    static constexpr std::int64_t kMinHours = 1, kMaxHours = 24;

    GuardianService(Clock& clock, Scheduler& scheduler) : clock_(clock), scheduler_(scheduler) {}

    /// Starts a new watch whose first reminder comes `hours` from now (clamped to 1 to 24).
    void startWatching(std::int64_t hours);
    void stopWatching();
    /// A reminder is pending.
    bool isWatching() const { return timer_ != nullptr; }
    /// Emitted at each reminder with the whole hours since the watch started (at least 1).
    Signal<std::int64_t> reminder;

private:
    void fireReminder();

    Clock& clock_;
    Scheduler& scheduler_;
    Timer timer_;
    std::optional<Date> activationDate_;
};

}  // namespace torvel
