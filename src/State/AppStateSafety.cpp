// Safety stops: a stop suspends the running session instead of discarding it.
#include "State/AppState.h"
#include "Core/TimerManager.h"
#include "Monitors/BatteryMonitor.h"
#include "Services/NotificationService.h"
#include "Services/SessionPersistence.h"
#include "Services/StayguardServiceProtocol.h"

namespace torvel {

void AppState::applyStopDecision(const StopCause& cause) {
    // A pending request is a session the desktop has not let run yet: it is stopped and suspended like
    // a running one, so that it comes back only as a stopped session does.
    const bool wasActive = isActive_ || isRequestPending();
    const auto percent = monitors_.batteryState.percentage;
    switch (cause.kind) {
        case StopCause::Kind::batterySoftLimit:
            log_.info("AppState: STOP — battery soft limit ({}% < {}%, wasActive={})", percent, cause.limit,
                      wasActive);
            break;
        case StopCause::Kind::batteryHardLimit:
            log_.info("AppState: STOP — battery hard limit ({}% < 10%, wasActive={})", percent, wasActive);
            break;
        case StopCause::Kind::thermalCritical:
            log_.info("AppState: STOP — thermal critical kill-switch");
            break;
    }
    if (wasActive) {
        suspendCurrentSession();
        if (cause.kind == StopCause::Kind::batterySoftLimit) {
            notify("battery-soft-limit", "notification.battery_soft_limit", {cause.limit});
        } else if (cause.kind == StopCause::Kind::batteryHardLimit) {
            notify("battery-hard-limit", "notification.battery_hard_limit");
        }
        // The thermal notice comes from the thermal handler, which knows the new state.
    }
    if (auto* stayguard = services_.stayguard; stayguard && stayguard->isInstalled()) {
        if (stayguard->lidLockHeld() != false) stayguard->setLidLock(false);
    }
    applyState(false, {}, std::nullopt);
}

void AppState::suspendCurrentSession() {
    services_.sessions.saveSuspendedSession(currentSessionRecord());

    isManuallyActivated_ = false;
    activeProfileID_.reset();
    services_.timerManager.stop();
}

void AppState::checkPredictiveWarning() {
    if (predictiveWarningSent_) return;
    const std::int64_t limit = effectiveBatteryLimit();
    if (limit <= 0 || !minutesUntilThresholdProvider_) return;
    const auto minutes = minutesUntilThresholdProvider_(limit);
    if (!minutes || *minutes > settings_.predictiveBatteryMinutes) return;
    predictiveWarningSent_ = true;
    notify("battery-predictive", "notification.predictive_warning", {limit, *minutes});
}

void AppState::attachBatteryMonitor(BatteryMonitor& monitor) {
    std::weak_ptr<BatteryMonitor> weak = monitor.weakSelf();
    batteryStateRefresher_ = [weak] {
        if (auto m = weak.lock()) m->refreshState();
    };
    minutesUntilThresholdProvider_ = [weak](std::int64_t threshold) -> std::optional<std::int64_t> {
        if (auto m = weak.lock()) return m->minutesUntilThreshold(threshold);
        return std::nullopt;
    };
}

void AppState::handleBatteryStateChanged(const BatteryState& state) {
    const bool wasOnBattery = previouslyOnBattery_;
    monitors_.batteryState = state;
    previouslyOnBattery_ = !state.isOnACPower;
    batteryStateChanged.emit();
    log_.debug("Battery: {}% ac={} charging={} active={}", state.percentage, state.isOnACPower,
               state.isCharging, isActive_);
    emergency_->updateWatchdog();

    if (wasOnBattery && state.isOnACPower && settings_.resumeOnCharger) {
        // A suspended session whose time ran out while stopped resumes nothing: then the state is
        // simply re-evaluated and no "resumed" notice claims otherwise.
        if (resumeSuspendedSession()) {
            notify("battery-resumed", "notification.battery_resumed");
            return;
        }
    }
    reevaluateState();
    emergency_->checkPower(services_.clock.suspendingNow());
}

void AppState::handleThermalStateChanged(ThermalState state) {
    const ThermalState old = monitors_.thermalState;
    monitors_.thermalState = state;
    if (old != state) log_.info("AppState: thermal {} → {}", toString(old), toString(state));

    if (old == ThermalState::critical && state != ThermalState::critical) {
        // Whatever was suspended comes back when the heat is gone, charger or not.
        if (resumeSuspendedSession() && isActive_) {
            notify("thermal-resumed", "notification.thermal_resumed");
            return;
        }
    } else if (state == ThermalState::serious || state == ThermalState::critical) {
        services_.notifications.sendThermalThrottle(state);
    }
    reevaluateState();
}

}  // namespace torvel
