// Pausing the automatic triggers for an hour, until the morning, or until further notice.
#include "State/AppState.h"
#include "Platform/DefaultsStore.h"

#include <algorithm>

namespace torvel {

namespace {
constexpr int kMorningHour = 7;
constexpr std::string_view kPauseKey = "automationPausedUntil";
}  // namespace

void AppState::pauseAutomation(PauseMode mode) {
    const Date now = services_.clock.now();
    switch (mode) {
        case PauseMode::oneHour:
            automationPausedUntil_ = now.addingSeconds(3600.0);
            break;
        case PauseMode::untilMorning:
            automationPausedUntil_ = nextMorning(now, calendar_);
            break;
        case PauseMode::indefinitely:
            automationPausedUntil_ = Date::distantFuture();
            break;
    }
    persistAutomationPause();
    rescheduleAutomationPauseExpiry();
    reevaluateState();
    automationPauseChanged.emit();
}

void AppState::resumeAutomation() {
    automationPausedUntil_.reset();
    persistAutomationPause();
    rescheduleAutomationPauseExpiry();
    reevaluateState();
    automationPauseChanged.emit();
}

void AppState::overrideAutomationPauseForExplicitKeepAwake() {
    if (!automationPausedUntil_) return;
    resumeAutomation();
}

Date AppState::nextMorning(Date date, const Calendar& calendar) {
    if (auto morning = calendar.nextDate(date, kMorningHour, 0, Calendar::Repeated::first)) return *morning;
    return date.addingSeconds(3600.0);
}

void AppState::persistAutomationPause() {
    if (automationPausedUntil_) {
        services_.defaults.set(kPauseKey, automationPausedUntil_->secondsSinceReferenceDate());
    } else {
        services_.defaults.remove(kPauseKey);
    }
}

void AppState::restoreAutomationPause() {
    const auto stored = services_.defaults.object(kPauseKey);
    if (!stored) return;
    // Written as a double; an integer is read too, anything else is not a pause.
    std::optional<double> seconds;
    if (auto d = std::get_if<double>(&*stored))
        seconds = *d;
    else if (auto i = std::get_if<std::int64_t>(&*stored))
        seconds = static_cast<double>(*i);
    if (seconds && Date(*seconds) > services_.clock.now()) {
        automationPausedUntil_ = Date(*seconds);
        rescheduleAutomationPauseExpiry();
        reevaluateState();
    } else {
        services_.defaults.remove(kPauseKey);
    }
}

void AppState::rescheduleAutomationPauseExpiry() {
    automationPauseExpiryTimer_.reset();
    if (!automationPausedUntil_ || *automationPausedUntil_ == Date::distantFuture()) return;
    const double seconds = std::max(0.0, automationPausedUntil_->secondsSince(services_.clock.now()));
    automationPauseExpiryTimer_ = services_.scheduler.after(seconds, [this] {
        automationPausedUntil_.reset();
        persistAutomationPause();
        reevaluateState();
        automationPauseChanged.emit();
    });
}

}  // namespace torvel
