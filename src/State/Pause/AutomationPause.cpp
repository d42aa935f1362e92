// Pausing the automatic triggers for an hour, until the morning, or until further notice.
#include "State/Pause/AutomationPause.h"

#include <algorithm>
#include <string_view>

#include "Platform/DefaultsStore.h"
#include "State/SessionControl.h"

namespace torvel {

namespace {
constexpr int kMorningHour = 7;
constexpr std::string_view kPauseKey = "automationPausedUntil";
}  // namespace

AutomationPause::AutomationPause(SessionControl& session, Clock& clock, Scheduler& scheduler,
                                 DefaultsStore& defaults, const Calendar& calendar)
    : session_(session), clock_(clock), scheduler_(scheduler), defaults_(defaults), calendar_(calendar) {}

void AutomationPause::pause(Mode mode) {
    const Date now = clock_.now();
    switch (mode) {
        case Mode::oneHour:
            pausedUntil_ = now.addingSeconds(3600.0);
            break;
        case Mode::untilMorning:
            pausedUntil_ = nextMorning(now, calendar_);
            break;
        case Mode::indefinitely:
            pausedUntil_ = Date::distantFuture();
            break;
    }
    persist();
    rescheduleExpiry();
    session_.reevaluateState();
    changed.emit();
}

void AutomationPause::resume() {
    pausedUntil_.reset();
    persist();
    rescheduleExpiry();
    session_.reevaluateState();
    changed.emit();
}

void AutomationPause::overrideForExplicitKeepAwake() {
    if (!pausedUntil_) return;
    resume();
}

Date AutomationPause::nextMorning(Date date, const Calendar& calendar) {
    if (auto morning = calendar.nextDate(date, kMorningHour, 0, Calendar::Repeated::first)) return *morning;
    return date.addingSeconds(3600.0);
}

void AutomationPause::setQuietly(std::optional<Date> until) {
    pausedUntil_ = until;
    persist();
    rescheduleExpiry();
}

void AutomationPause::expireIfDue() {
    if (pausedUntil_ && clock_.now() >= *pausedUntil_) {
        pausedUntil_.reset();
        persist();
    }
}

void AutomationPause::persist() {
    if (pausedUntil_) {
        defaults_.set(kPauseKey, pausedUntil_->secondsSinceReferenceDate());
    } else {
        defaults_.remove(kPauseKey);
    }
}

void AutomationPause::restore() {
    const auto stored = defaults_.object(kPauseKey);
    if (!stored) return;
    // Written as a double; an integer is read too, anything else is not a pause.
    std::optional<double> seconds;
    if (auto d = std::get_if<double>(&*stored))
        seconds = *d;
    else if (auto i = std::get_if<std::int64_t>(&*stored))
        seconds = static_cast<double>(*i);
    if (seconds && Date(*seconds) > clock_.now()) {
        pausedUntil_ = Date(*seconds);
        rescheduleExpiry();
        session_.reevaluateState();
    } else {
        defaults_.remove(kPauseKey);
    }
}

void AutomationPause::rescheduleExpiry() {
    expiryTimer_.reset();
    if (!pausedUntil_ || *pausedUntil_ == Date::distantFuture()) return;
    const double seconds = std::max(0.0, pausedUntil_->secondsSince(clock_.now()));
    // The timer dies with this object, so the callback never outlives it.
    expiryTimer_ = scheduler_.after(seconds, [this] {
        pausedUntil_.reset();
        persist();
        session_.reevaluateState();
        changed.emit();
    });
}

}  // namespace torvel
