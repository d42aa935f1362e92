// The low-battery emergency: when it is live, the minute watchdog, the reading that chooses an action,
// the alarm and what a wake resets.
#include <algorithm>

#include "State/AppState.h"
#include "Core/EmergencyWorkRunner.h"
#include "Monitors/SleepBlockerMonitor.h"
#include "Services/AudioFeedbackService.h"
#include "Services/EmergencySleepService.h"
#include "Services/NotificationService.h"

namespace torvel {

namespace {
constexpr double kWatchdogSeconds = 60.0;
constexpr double kAlarmVolume = 1.0;

std::string describeBlockers(const std::vector<SleepBlocker>& census) {
    std::string out;
    for (const auto& blocker : census) {
        if (!out.empty()) out += ", ";
        out += fmt::format("{} ({})", blocker.displayName(), blocker.pid);
    }
    return out;
}
}  // namespace

void AppState::attachEmergencyPower(SleepBlockerMonitorProtocol* blockerMonitor,
                                    EmergencySleepService* emergencySleep) {
    sleepBlockerMonitor_ = blockerMonitor;
    emergencySleep_ = emergencySleep;
    emergencyStalledConnection_.reset();
    if (emergencySleep_) {
        emergencyStalledConnection_ = emergencySleep_->unattendedSendStalled.connect(
            [this] { notify("emergency-stalled", "notification.emergency_stalled"); });
    }
    updateEmergencyWatchdog();
    refreshAutomationConsent();
}

EmergencyWorkRunner& AppState::emergencyWork() {
    if (!services_.emergencyWork) services_.emergencyWork = EmergencyWorkRunner::background(services_.scheduler);
    return *services_.emergencyWork;
}

std::int64_t AppState::effectiveTerminateBlockersPercent() const {
    return EmergencyPowerPolicy::effectiveTerminatePercent(settings_.emergencyTerminateBlockersPercent,
                                                           settings_.emergencyForceSleepPercent);
}

EmergencyPowerAction AppState::decideEmergencyAction(bool hasBlockers, double now) const {
    const auto& battery = monitors_.batteryState;
    EmergencyPowerPolicy::Input input;
    input.hasBattery = battery.hasBattery;
    input.isOnACPower = battery.isOnACPower;
    input.batteryPercent = battery.percentage;
    input.hasBlockers = hasBlockers;
    input.forceSleepPercent = EmergencyPowerPolicy::forceSleepPercent(settings_.emergencyForceSleepPercent);
    input.terminateBlockersPercent = effectiveTerminateBlockersPercent();
    input.inCooldown = lastEmergencyActionAt_.has_value() &&
                       now - *lastEmergencyActionAt_ < EmergencyPowerPolicy::kCooldownSeconds;
    return EmergencyPowerPolicy::decide(input);
}

bool AppState::emergencyMayAct() const {
    const auto& battery = monitors_.batteryState;
    return sleepBlockerMonitor_ && emergencySleep_ && settings_.emergencyPowerEnabled && battery.hasBattery &&
           !battery.isOnACPower;
}

bool AppState::emergencyIsLive() const {
    return emergencyMayAct() &&
           monitors_.batteryState.percentage <= EmergencyPowerPolicy::watchPercent(settings_.emergencyForceSleepPercent);
}

void AppState::updateEmergencyWatchdog() {
    if (!emergencyIsLive()) {
        emergencyWatchdogTimer_.reset();
        stopEmergencyAlarm("the low-battery emergency is over", false);
        emergencyAlarmSilenced_ = false;
        // Plugging in ends both cooldowns: the next emergency starts afresh.
        if (monitors_.batteryState.isOnACPower) {
            lastEmergencyActionAt_.reset();
            lastTerminateAt_.reset();
        }
        return;
    }
    if (emergencyWatchdogTimer_) return;
    emergencyWatchdogTimer_ = services_.scheduler.every(kWatchdogSeconds, [this] {
        retryEmergencyAlarm();
        checkEmergencyPower(services_.clock.suspendingNow());
    });
    log_.info("Emergency watchdog armed at {}%", monitors_.batteryState.percentage);
}

void AppState::checkEmergencyPower(double now) {
    if (!emergencyMayAct()) return;
    if (emergencyEscalationInFlight_) {
        log_.info("Emergency escalation already running — skipping this reading");
        return;
    }
    const std::int64_t top = std::max(EmergencyPowerPolicy::forceSleepPercent(settings_.emergencyForceSleepPercent),
                                      effectiveTerminateBlockersPercent());
    if (top == 0 || monitors_.batteryState.percentage >= top) return;
    // The census blocks on the bus and /proc: it runs on the worker, and the answer is judged here
    // against the state as it is when it arrives.
    emergencyEscalationInFlight_ = true;
    SleepBlockerMonitorProtocol* monitor = sleepBlockerMonitor_;
    std::weak_ptr<int> alive = lifetime_;
    const bool started = emergencyWork().run([monitor] { return monitor->currentBlockers(); },
                                             [this, alive, now](std::vector<SleepBlocker> census) {
                                                 if (alive.expired()) return;
                                                 handleEmergencyCensus(std::move(census), now);
                                             });
    if (!started) {
        emergencyEscalationInFlight_ = false;
        log_.error("Emergency reading skipped — no worker thread for the blocker census");
    }
}

void AppState::handleEmergencyCensus(std::vector<SleepBlocker> census, double now) {
    emergencyEscalationInFlight_ = false;
    lastSleepBlockers_ = census;
    // The charger or the switch may have changed while the census ran.
    if (!emergencyMayAct()) return;
    const EmergencyPowerAction action = decideEmergencyAction(!census.empty(), now);
    if (action == EmergencyPowerAction::none) return;
    log_.info("Emergency: battery={}% action={} blockers=[{}]", monitors_.batteryState.percentage,
              toString(action), describeBlockers(census));
    beginEscalation(action, now);
}

std::string_view toString(EmergencyAlarmStatus status) {
    switch (status) {
        case EmergencyAlarmStatus::off:
            return "off";
        case EmergencyAlarmStatus::sounding:
            return "sounding";
        case EmergencyAlarmStatus::unavailable:
            return "unavailable";
    }
    return "off";
}

void AppState::startEmergencyAlarm(const std::string& reason) {
    if (!settings_.emergencyAlarmEnabled || !emergencyIsLive() || emergencyAlarmSilenced_ ||
        emergencyAlarmStarting_ || emergencyAlarmStatus_ == EmergencyAlarmStatus::sounding)
        return;
    emergencyAlarmReason_ = reason;
    requestEmergencyAlarm();
}

void AppState::requestEmergencyAlarm() {
    emergencyAlarmStarting_ = true;
    std::weak_ptr<int> alive = lifetime_;
    const bool asked =
        services_.audio && services_.audio->startEmergencyAlarm(kAlarmVolume, [this, alive](bool sounding) {
            if (!alive.expired()) handleEmergencyAlarmOutcome(sounding);
        });
    if (!asked) handleEmergencyAlarmOutcome(false);
}

void AppState::handleEmergencyAlarmOutcome(bool sounding) {
    // A stop in the meantime leaves the audio service silent: what it still tells is not wanted.
    if (!emergencyAlarmStarting_ && emergencyAlarmStatus_ != EmergencyAlarmStatus::sounding) return;
    emergencyAlarmStarting_ = false;
    const EmergencyAlarmStatus before = emergencyAlarmStatus_;
    if (sounding) {
        emergencyAlarmStatus_ = EmergencyAlarmStatus::sounding;
        log_.error("Emergency alarm ON at {}% — {}", monitors_.batteryState.percentage,
                   emergencyAlarmReason_);
    } else {
        emergencyAlarmStatus_ = EmergencyAlarmStatus::unavailable;
        if (before == EmergencyAlarmStatus::sounding) {
            log_.error("Emergency alarm fell silent, the sound server let it go — {}", emergencyAlarmReason_);
        } else {
            log_.error("Emergency alarm could not start — {}", emergencyAlarmReason_);
        }
        // Once per silent stretch: the retries each minute do not repeat it.
        if (before != EmergencyAlarmStatus::unavailable)
            services_.notifications.sendEmergencyAlarmUnavailable(monitors_.batteryState.percentage);
    }
    if (emergencyAlarmStatus_ != before) emergencyChanged.emit();
}

void AppState::retryEmergencyAlarm() {
    if (emergencyAlarmStatus_ != EmergencyAlarmStatus::unavailable || emergencyAlarmStarting_) return;
    // The emergency's end, the switch and a silence all stop the alarm, which clears the status: an
    // unavailable alarm is still wanted.
    log_.info("Emergency alarm: trying again — {}", emergencyAlarmReason_);
    requestEmergencyAlarm();
}

void AppState::stopEmergencyAlarm(const std::string& reason, bool latch) {
    if (emergencyAlarmStatus_ == EmergencyAlarmStatus::off && !emergencyAlarmStarting_) return;
    const bool changed = emergencyAlarmStatus_ != EmergencyAlarmStatus::off;
    emergencyAlarmStatus_ = EmergencyAlarmStatus::off;
    emergencyAlarmStarting_ = false;
    if (latch) emergencyAlarmSilenced_ = true;
    if (services_.audio) services_.audio->stopEmergencyAlarm();
    log_.info("Emergency alarm OFF — {}", reason);
    if (changed) emergencyChanged.emit();
}

void AppState::handleSystemDidWake(double now) {
    stopEmergencyAlarm("the computer woke up", false);
    if (!lastEmergencyActionAt_ && !lastTerminateAt_) return;
    // A cooldown counts from the wake, not from before the sleep.
    if (lastEmergencyActionAt_) lastEmergencyActionAt_ = now;
    if (lastTerminateAt_) lastTerminateAt_ = now;
    log_.info("Woke — emergency cooldowns restarted from now");
}

}  // namespace torvel
