// Safety stops: a stop suspends the running session instead of discarding it.
#include "State/Safety/SafetyGuards.h"

#include <utility>

#include "Monitors/BatteryMonitor.h"
#include "Services/NotificationService.h"
#include "State/Lid/LidLock.h"
#include "State/SessionControl.h"
#include "Support/Localization.h"

namespace torvel {

SafetyGuards::SafetyGuards(SessionControl& session, LidLock& lidLock, Services services)
    : session_(session),
      lidLock_(lidLock),
      services_(services),
      log_(services.log, "AppState"),
      heartbeat_(session, services.scheduler, services.sleepPrevention, services.audio, services.log,
                 [this] {
                     readThermal();
                     readBattery();
                 }) {}

void SafetyGuards::stop(const StopCause& cause) {
    // A pending request is a session the desktop has not let run yet: it is stopped and suspended like
    // a running one, so that it comes back only as a stopped session does.
    const bool wasActive = session_.isActive() || session_.isRequestPending();
    const auto percent = session_.monitorValues().batteryState.percentage;
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
        session_.suspendSession();
        if (cause.kind == StopCause::Kind::batterySoftLimit) {
            notify("battery-soft-limit", "notification.battery_soft_limit", {cause.limit});
        } else if (cause.kind == StopCause::Kind::batteryHardLimit) {
            notify("battery-hard-limit", "notification.battery_hard_limit");
        }
        // The thermal notice comes from the thermal handler, which knows the new state.
    }
    lidLock_.release();
}

void SafetyGuards::checkPredictiveWarning() {
    const auto& battery = session_.monitorValues().batteryState;
    const SettingsValues& settings = session_.settings();
    if (!settings.predictiveBatteryWarning || !battery.hasBattery || battery.isOnACPower ||
        !session_.isActive())
        return;
    if (predictiveWarningSent_) return;
    const std::int64_t limit = session_.effectiveBatteryLimit();
    if (limit <= 0 || !minutesUntilThresholdProvider_) return;
    const auto minutes = minutesUntilThresholdProvider_(limit);
    if (!minutes || *minutes > settings.predictiveBatteryMinutes) return;
    predictiveWarningSent_ = true;
    notify("battery-predictive", "notification.predictive_warning", {limit, *minutes});
}

void SafetyGuards::sessionReleased() {
    heartbeat_.stop();
    predictiveWarningSent_ = false;
}

void SafetyGuards::attachBatteryMonitor(BatteryMonitor& monitor) {
    std::weak_ptr<BatteryMonitor> weak = monitor.weakSelf();
    batteryStateRefresher_ = [weak] {
        if (auto m = weak.lock()) m->refreshState();
    };
    minutesUntilThresholdProvider_ = [weak](std::int64_t threshold) -> std::optional<std::int64_t> {
        if (auto m = weak.lock()) return m->minutesUntilThreshold(threshold);
        return std::nullopt;
    };
}

void SafetyGuards::readBattery() {
    if (batteryStateRefresher_) {
        batteryStateRefresher_();
    } else {
        session_.reevaluateState();
    }
}

bool SafetyGuards::handleBatteryReading(const BatteryState& state) {
    const bool wasOnBattery = previouslyOnBattery_;
    previouslyOnBattery_ = !state.isOnACPower;
    if (!wasOnBattery || !state.isOnACPower || !session_.settings().resumeOnCharger) return false;
    // A suspended session whose time ran out while stopped resumes nothing: then the state is simply
    // re-evaluated and no "resumed" notice claims otherwise.
    if (!session_.resumeSuspendedSession()) return false;
    notify("battery-resumed", "notification.battery_resumed");
    return true;
}

bool SafetyGuards::handleThermalChange(ThermalState old, ThermalState now) {
    if (old != now) log_.info("AppState: thermal {} → {}", toString(old), toString(now));
    if (old == ThermalState::critical && now != ThermalState::critical) {
        // Whatever was suspended comes back when the heat is gone, charger or not.
        if (session_.resumeSuspendedSession() && session_.isActive()) {
            notify("thermal-resumed", "notification.thermal_resumed");
            return true;
        }
    } else if (now == ThermalState::serious || now == ThermalState::critical) {
        services_.notifications.sendThermalThrottle(now);
    }
    return false;
}

void SafetyGuards::notify(const std::string& id, const std::string& bodyKey,
                          const std::vector<long long>& args) {
    std::vector<TextArg> textArgs(args.begin(), args.end());
    services_.notifications.send(id, kNotificationTitle, services_.texts.format(bodyKey, textArgs));
}

}  // namespace torvel
