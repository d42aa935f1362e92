// The user's activation commands: toggle, activate, deactivate, and the end of a countdown.
#include "State/AppState.h"
#include "State/Emergency/LowBatteryEmergency.h"
#include "Core/TimerManager.h"
#include "Services/GuardianService.h"
#include "Services/NotificationService.h"
#include "Services/SessionPersistence.h"

namespace torvel {

namespace {
constexpr double kTogglePauseSeconds = 3600.0;
}

void AppState::toggle() {
    // A click on the icon is the quickest way to silence the alarm, for the rest of this emergency.
    emergency_->stopAlarm("the user clicked the tray icon", true);
    const bool userStarted =
        services_.timerManager.isRunning() || isManuallyActivated_ || activeProfileID_.has_value();
    if (!userStarted) {
        bool automatic = false;
        for (auto reason : activeReasons_) automatic = automatic || isAutomatic(reason);
        if (automatic) {
            // Only the automatic triggers keep the computer awake: the click pauses them for an hour
            // rather than starting a session on top of them.
            automationPause_.setQuietly(services_.clock.now().addingSeconds(kTogglePauseSeconds));
        } else {
            if (!canActivate()) return;
            isManuallyActivated_ = true;
            automationPause_.setQuietly(std::nullopt);
        }
    } else {
        services_.timerManager.stop();
        isManuallyActivated_ = false;
        activeProfileID_.reset();
    }
    automationPause_.rescheduleExpiry();
    reevaluateState();
}

void AppState::activate(const Duration& duration) {
    if (!canActivate()) return;
    services_.notifications.clearLastStatusMessage();
    activeProfileID_.reset();
    if (duration.kind() == Duration::Kind::indefinite) {
        services_.timerManager.stop();
        isManuallyActivated_ = true;
    } else {
        isManuallyActivated_ = false;
        services_.timerManager.start(duration);
    }
    reevaluateState();
}

void AppState::activateProfile(const Profile& profile) {
    if (!canActivate()) return;
    services_.notifications.clearLastStatusMessage();
    activeProfileID_ = profile.id;
    if (profile.duration.kind() == Duration::Kind::indefinite) {
        isManuallyActivated_ = true;
        services_.timerManager.stop();
    } else {
        isManuallyActivated_ = false;
        services_.timerManager.start(profile.duration);
    }
    reevaluateState();
}

void AppState::deactivateAll() {
    isManuallyActivated_ = false;
    activeProfileID_.reset();
    trustedNetworks_.clearLatch();
    services_.timerManager.stop();
    services_.guardian.stopWatching();
    services_.sessions.clearActiveSession();
    services_.sessions.clearSuspendedSession();
    // A transient process no longer counts. Last among the inputs, because a monitor that changes its
    // state re-evaluates at once, and should see the user's activity already ended.
    processTrigger_.watchTransientPID(std::nullopt);
    processTrigger_.watchTransientDesktopId(std::nullopt);
    automationPause_.rescheduleExpiry();
    reevaluateState();
}

bool AppState::canActivate() {
    // The 10 % floor is not checked here: the decision stops such a session at once.
    const std::int64_t limit = effectiveBatteryLimit();
    const auto& battery = monitors_.batteryState;
    if (limit > 0 && battery.hasBattery && !battery.isOnACPower && battery.percentage < limit) {
        log_.info("Activation refused: battery {}% is below the limit of {}%", battery.percentage, limit);
        notify("battery-denied", "notification.battery_denied", {limit});
        return false;
    }
    return true;
}

void AppState::handleTimerExpired() {
    isManuallyActivated_ = false;
    activeProfileID_.reset();
    reevaluateState();
    if (isActive_) {
        notify("timer-finished", "notification.timer_finished");
    } else {
        notify("timer-expired", "notification.timer_expired");
    }
}

}  // namespace torvel
