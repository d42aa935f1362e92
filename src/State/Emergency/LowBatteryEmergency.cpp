// The low-battery emergency: when it is live, the minute watchdog, the reading that chooses an action,
// the alarm and what a wake resets.
#include "State/Emergency/LowBatteryEmergency.h"

#include <algorithm>

#include "Core/EmergencyWorkRunner.h"
#include "Monitors/SleepBlockerMonitor.h"
#include "Services/AudioFeedbackService.h"
#include "Services/EmergencySleepService.h"
#include "Services/NotificationService.h"
#include "Support/Localization.h"

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

// The emergency is a concern of the application state and logs as part of it.
LowBatteryEmergency::LowBatteryEmergency(SessionControl& session, LowBatteryEmergencyServices services)
    : session_(session), services_(std::move(services)), log_(services_.log, "AppState") {}

LowBatteryEmergency::~LowBatteryEmergency() = default;

void LowBatteryEmergency::attach(SleepBlockerMonitorProtocol* blockerMonitor, EmergencySleepService* emergencySleep) {
    blockerMonitor_ = blockerMonitor;
    emergencySleep_ = emergencySleep;
    stalledConnection_.reset();
    if (emergencySleep_) {
        stalledConnection_ = emergencySleep_->unattendedSendStalled.connect([this] {
            services_.notifications.send("emergency-stalled", kNotificationTitle,
                                         services_.texts.format("notification.emergency_stalled", {}));
        });
    }
    updateWatchdog();
    refreshAutomationConsent();
}

EmergencyWorkRunner& LowBatteryEmergency::work() {
    if (!services_.work) services_.work = EmergencyWorkRunner::background(services_.scheduler);
    return *services_.work;
}

std::int64_t LowBatteryEmergency::effectiveTerminateBlockersPercent() const {
    const auto& settings = session_.settings();
    return EmergencyPowerPolicy::effectiveTerminatePercent(settings.emergencyTerminateBlockersPercent,
                                                           settings.emergencyForceSleepPercent);
}

EmergencyPowerAction LowBatteryEmergency::decideAction(bool hasBlockers, double now) const {
    EmergencyPowerPolicy::Input input;
    input.hasBattery = battery().hasBattery;
    input.isOnACPower = battery().isOnACPower;
    input.batteryPercent = battery().percentage;
    input.hasBlockers = hasBlockers;
    input.forceSleepPercent = EmergencyPowerPolicy::forceSleepPercent(session_.settings().emergencyForceSleepPercent);
    input.terminateBlockersPercent = effectiveTerminateBlockersPercent();
    input.inCooldown = lastActionAt_.has_value() && now - *lastActionAt_ < EmergencyPowerPolicy::kCooldownSeconds;
    return EmergencyPowerPolicy::decide(input);
}

bool LowBatteryEmergency::mayAct() const {
    return blockerMonitor_ && emergencySleep_ && session_.settings().emergencyPowerEnabled && battery().hasBattery &&
           !battery().isOnACPower;
}

bool LowBatteryEmergency::isLive() const {
    return mayAct() &&
           battery().percentage <= EmergencyPowerPolicy::watchPercent(session_.settings().emergencyForceSleepPercent);
}

void LowBatteryEmergency::updateWatchdog() {
    if (!isLive()) {
        watchdogTimer_.reset();
        stopAlarm("the low-battery emergency is over", false);
        alarmSilenced_ = false;
        // Plugging in ends both cooldowns: the next emergency starts afresh.
        if (battery().isOnACPower) {
            lastActionAt_.reset();
            lastTerminateAt_.reset();
        }
        return;
    }
    if (watchdogTimer_) return;
    watchdogTimer_ = services_.scheduler.every(kWatchdogSeconds, [this] {
        retryAlarm();
        checkPower(services_.clock.suspendingNow());
    });
    log_.info("Emergency watchdog armed at {}%", battery().percentage);
}

void LowBatteryEmergency::checkPower(double now) {
    if (!mayAct()) return;
    if (escalationInFlight_) {
        log_.info("Emergency escalation already running — skipping this reading");
        return;
    }
    const std::int64_t top = std::max(
        EmergencyPowerPolicy::forceSleepPercent(session_.settings().emergencyForceSleepPercent),
        effectiveTerminateBlockersPercent());
    if (top == 0 || battery().percentage >= top) return;
    // The census blocks on the bus and /proc: it runs on the worker, and the answer is judged here
    // against the state as it is when it arrives.
    escalationInFlight_ = true;
    SleepBlockerMonitorProtocol* monitor = blockerMonitor_;
    const bool started = work().run([monitor] { return monitor->currentBlockers(); },
                                    lifetime_.guard([this, now](std::vector<SleepBlocker> census) {
                                        handleCensus(std::move(census), now);
                                    }));
    if (!started) {
        escalationInFlight_ = false;
        log_.error("Emergency reading skipped — no worker thread for the blocker census");
    }
}

void LowBatteryEmergency::handleCensus(std::vector<SleepBlocker> census, double now) {
    escalationInFlight_ = false;
    lastSleepBlockers_ = census;
    // The charger or the switch may have changed while the census ran.
    if (!mayAct()) return;
    const EmergencyPowerAction action = decideAction(!census.empty(), now);
    if (action == EmergencyPowerAction::none) return;
    log_.info("Emergency: battery={}% action={} blockers=[{}]", battery().percentage, toString(action),
              describeBlockers(census));
    beginEscalation(action, now);
}

void LowBatteryEmergency::startAlarm(const std::string& reason) {
    if (!session_.settings().emergencyAlarmEnabled || !isLive() || alarmSilenced_ || alarmStarting_ ||
        alarmStatus_ == EmergencyAlarmStatus::sounding)
        return;
    alarmReason_ = reason;
    requestAlarm();
}

void LowBatteryEmergency::requestAlarm() {
    alarmStarting_ = true;
    const bool asked =
        services_.audio && services_.audio->startEmergencyAlarm(
                               kAlarmVolume, lifetime_.guard([this](bool sounding) { handleAlarmOutcome(sounding); }));
    if (!asked) handleAlarmOutcome(false);
}

void LowBatteryEmergency::handleAlarmOutcome(bool sounding) {
    // A stop in the meantime leaves the audio service silent: what it still tells is not wanted.
    if (!alarmStarting_ && alarmStatus_ != EmergencyAlarmStatus::sounding) return;
    alarmStarting_ = false;
    const EmergencyAlarmStatus before = alarmStatus_;
    if (sounding) {
        alarmStatus_ = EmergencyAlarmStatus::sounding;
        log_.error("Emergency alarm ON at {}% — {}", battery().percentage, alarmReason_);
    } else {
        alarmStatus_ = EmergencyAlarmStatus::unavailable;
        if (before == EmergencyAlarmStatus::sounding) {
            log_.error("Emergency alarm fell silent, the sound server let it go — {}", alarmReason_);
        } else {
            log_.error("Emergency alarm could not start — {}", alarmReason_);
        }
        // Once per silent stretch: the retries each minute do not repeat it.
        if (before != EmergencyAlarmStatus::unavailable)
            services_.notifications.sendEmergencyAlarmUnavailable(battery().percentage);
    }
    if (alarmStatus_ != before) changed.emit();
}

void LowBatteryEmergency::retryAlarm() {
    if (alarmStatus_ != EmergencyAlarmStatus::unavailable || alarmStarting_) return;
    // The emergency's end, the switch and a silence all stop the alarm, which clears the status: an
    // unavailable alarm is still wanted.
    log_.info("Emergency alarm: trying again — {}", alarmReason_);
    requestAlarm();
}

void LowBatteryEmergency::stopAlarm(const std::string& reason, bool latch) {
    if (alarmStatus_ == EmergencyAlarmStatus::off && !alarmStarting_) return;
    const bool wasOn = alarmStatus_ != EmergencyAlarmStatus::off;
    alarmStatus_ = EmergencyAlarmStatus::off;
    alarmStarting_ = false;
    if (latch) alarmSilenced_ = true;
    if (services_.audio) services_.audio->stopEmergencyAlarm();
    log_.info("Emergency alarm OFF — {}", reason);
    if (wasOn) changed.emit();
}

void LowBatteryEmergency::handleResume(double now) {
    stopAlarm("the computer woke up", false);
    if (!lastActionAt_ && !lastTerminateAt_) return;
    // A cooldown counts from the wake, not from before the sleep.
    if (lastActionAt_) lastActionAt_ = now;
    if (lastTerminateAt_) lastTerminateAt_ = now;
    log_.info("Woke — emergency cooldowns restarted from now");
}

}  // namespace torvel
