#pragma once

#include <optional>

#include "Models/Calendar.h"
#include "Models/Date.h"
#include "Platform/Clock.h"
#include "Platform/Scheduler.h"
#include "Support/Signal.h"

namespace torvel {

class DefaultsStore;
class SessionControl;

/// The user's pause of the automatic triggers (for an hour, until the morning, or until further notice).
/// The end is stored, so a pause survives a restart, and a timer ends it on time; the decision reads
/// isPaused(). Main thread only.
class AutomationPause {
public:
    enum class Mode { oneHour, untilMorning, indefinitely };

    AutomationPause(SessionControl& session, Clock& clock, Scheduler& scheduler, DefaultsStore& defaults,
                    const Calendar& calendar);
    AutomationPause(const AutomationPause&) = delete;
    AutomationPause& operator=(const AutomationPause&) = delete;

    /// When the pause ends; Date::distantFuture() for an open-ended one, std::nullopt when not paused.
    const std::optional<Date>& pausedUntil() const { return pausedUntil_; }
    bool isPaused() const { return pausedUntil_.has_value(); }
    /// Pauses, stores the end and re-evaluates; `changed` follows.
    void pause(Mode mode);
    /// Ends the pause, stored and re-evaluated; `changed` follows.
    void resume();
    /// Lifts a pause because the user explicitly asked for automatic keep-awake; no pause: nothing.
    void overrideForExplicitKeepAwake();
    /// Tells observers that a pause began or ended (by the user or at its end).
    Signal<> changed;
    /// The next 07:00 strictly after `date`.
    static Date nextMorning(Date date, const Calendar& calendar);

    // For the session itself, which re-evaluates and tells observers on its own.
    /// Takes the stored pause back at start-up; an end already past is removed.
    void restore();
    /// Sets (or with std::nullopt ends) the pause, stored and timed, without a re-evaluation or `changed`.
    void setQuietly(std::optional<Date> until);
    /// Arms the end's timer afresh from the clock.
    void rescheduleExpiry();
    /// Ends, stored, a pause whose end has come though its timer has not run yet (after a suspend).
    void expireIfDue();

private:
    void persist();

    SessionControl& session_;
    Clock& clock_;
    Scheduler& scheduler_;
    DefaultsStore& defaults_;
    const Calendar& calendar_;
    std::optional<Date> pausedUntil_;
    Timer expiryTimer_;
};

}  // namespace torvel
