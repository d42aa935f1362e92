// The one re-evaluation: build the decision input, decide, and make the machine match.
#include "Core/AppState.h"
#include "Core/Localization.h"
#include "Core/SleepPreventionService.h"
#include "Core/TimerManager.h"
#include "Services/GuardianService.h"
#include "Services/NotificationService.h"
#include "Services/SessionPersistence.h"

namespace torvel {

PriorityChainInput AppState::makePriorityChainInput() const {
    const Date now = services_.clock.now();
    const Profile* profile = profileWithID(activeProfileID_);
    PriorityChainInput in;
    in.thermalKillSwitchEnabled = settings_.thermalKillSwitchEnabled;
    in.thermalState = monitors_.thermalState;
    in.hasBattery = monitors_.batteryState.hasBattery;
    in.isOnACPower = monitors_.batteryState.isOnACPower;
    in.batteryPercentage = monitors_.batteryState.percentage;
    in.effectiveBatteryLimit = effectiveBatteryLimit();
    in.isManuallyActivated = isManuallyActivated_;
    in.isTimerRunning = services_.timerManager.isRunning();
    in.isAutomationPaused = automationPausedUntil_.has_value();
    in.autoActivateOnExternalDisplay = settings_.autoActivateOnExternalDisplay;
    in.hasExternalDisplay = monitors_.hasExternalDisplay;
    in.autoActivateOnMirroring = settings_.autoActivateOnMirroring;
    in.isMirroring = monitors_.isMirroring;
    if (profile) in.profileAssertionType = profile->assertionType;
    in.trustedNetworkActivationEnabled = settings_.trustedNetworkActivationEnabled;
    in.isWiFiConnected = monitors_.isWiFiConnected;
    in.hasTrustedNetworks = !settings_.trustedNetworks.empty();
    in.isOnTrustedNetwork = monitors_.currentSSID && isTrustedSSID(*monitors_.currentSSID);
    in.trustedNetworkAssertionType = settings_.trustedNetworkAssertionType;
    in.trustedNetworkLatchedWhileLidClosed = monitors_.trustedNetworkLatchedWhileLidClosed;
    in.isLidClosed = monitors_.isLidClosed;
    in.isTrustedNetworkLatchValid =
        monitors_.trustedNetworkLatchDeadline && now < *monitors_.trustedNetworkLatchDeadline;
    in.isProcessTriggerActive = monitors_.isProcessTriggerActive;
    in.processTriggerAssertionType = settings_.processTriggerAssertionType;
    in.preventDisplaySleep = settings_.preventDisplaySleep;
    return in;
}

std::int64_t AppState::effectiveBatteryLimit() const {
    if (const Profile* profile = profileWithID(activeProfileID_); profile && profile->batteryLimitOverride) {
        return *profile->batteryLimitOverride;
    }
    return settings_.batteryLimitEnabled ? settings_.batteryLimitPercent : 0;
}

void AppState::reevaluateState() {
    const PriorityDecision first = decideSleepPrevention(makePriorityChainInput());
    if (first.stopCause) {
        applyStopDecision(*first.stopCause);
        return;
    }
    const auto& battery = monitors_.batteryState;
    if (settings_.predictiveBatteryWarning && battery.hasBattery && !battery.isOnACPower && isActive_) {
        checkPredictiveWarning();
    }
    if (automationPausedUntil_ && services_.clock.now() >= *automationPausedUntil_) {
        automationPausedUntil_.reset();
        persistAutomationPause();
    }
    if (activeProfileID_ && !profileWithID(activeProfileID_)) activeProfileID_.reset();

    PriorityDecision decision;
    if (!sleepSendInFlight_) {
        // The steps above may have changed the inputs; a stop cause of this second look is ignored.
        decision = decideSleepPrevention(makePriorityChainInput());
        decision.stopCause.reset();
    }
    applyState(!decision.reasons.empty(), decision.reasons, decision.assertionType);
    // The lid-closed sleep defeat follows the final reasons once the privileged helper is wired in.
}

void AppState::applyState(bool active, const ReasonSet& reasons, std::optional<AssertionType> type) {
    const bool wasActive = isActive_;
    const bool changed = active != isActive_ || reasons != activeReasons_ || type != currentAssertionType_;
    if (changed) {
        log_.info("AppState: {} reasons=[{}] type={} battery={}% ac={}", active ? "ACTIVE" : "INACTIVE",
                  joinedRawValues(reasons), type ? rawValue(*type) : std::string_view("<nil>"),
                  monitors_.batteryState.percentage, monitors_.batteryState.isOnACPower);
    }
    activeReasons_ = reasons;
    currentAssertionType_ = type;
    isActive_ = active;
    if (changed) activationChanged.emit();

    if (!active) {
        stopHeartbeat();
        services_.sleepPrevention.stop();
        services_.sleepPrevention.stopScreenSaverPrevention();
        if (wasActive) services_.sessions.clearActiveSession();
        services_.guardian.stopWatching();
        predictiveWarningSent_ = false;
        return;
    }
    if (!wasActive) services_.notifications.clearLastStatusMessage();

    if (type) {
        std::string error;
        if (!ensureSleepPreventionActive(*type, &error)) {
            log_.error("Sleep prevention start failed: {}", error);
            notify("assertion-failure", "notification.assertion_failure");
            releaseEverything();
            services_.sessions.clearActiveSession();
            isActive_ = false;
            activeReasons_.clear();
            currentAssertionType_.reset();
            activationChanged.emit();
            return;
        }
    }

    // A profile decides the screen saver through its own type; otherwise the setting does.
    const bool wantScreenSaver = reasons.count(ActivationReason::profile)
                                     ? type == AssertionType::noDisplaySleep
                                     : settings_.preventScreenSaver;
    if (wantScreenSaver) {
        if (auto failure = services_.sleepPrevention.startScreenSaverPrevention()) {
            log_.error("Screensaver prevention failed: {}", failure->localizedDescription(services_.texts));
            notify("assertion-failure", "notification.assertion_failure");
        }
    } else {
        services_.sleepPrevention.stopScreenSaverPrevention();
    }

    saveActiveSession();
    updateGuardian();
    startHeartbeat();
}

bool AppState::ensureSleepPreventionActive(AssertionType type, std::string* error) {
    auto& service = services_.sleepPrevention;
    if (service.isActive() && service.currentType() == type && service.isAssertionAlive()) return true;
    // Also re-creates an assertion that the system dropped behind the service's back.
    if (auto failure = service.start(type)) {
        if (error) *error = failure->localizedDescription(services_.texts);
        return false;
    }
    return true;
}

void AppState::releaseEverything() {
    services_.sleepPrevention.stop();
    services_.sleepPrevention.stopScreenSaverPrevention();
    services_.guardian.stopWatching();
    predictiveWarningSent_ = false;
}

SavedSession AppState::currentSessionRecord() const {
    SavedSession session;
    session.timestamp = services_.clock.now();
    if (services_.timerManager.isRunning()) {
        session.duration = Duration::custom(services_.timerManager.secondsLeftNow());
    }
    const auto sorted = sortedForDisplay(activeReasons_);
    session.reasons.assign(sorted.begin(), sorted.end());
    session.profileID = activeProfileID_;
    return session;
}

void AppState::saveActiveSession() {
    services_.sessions.saveActiveSession(currentSessionRecord());
}

void AppState::updateGuardian() {
    // A watch that runs keeps its start time: re-evaluations must not delay the reminder.
    if (!services_.timerManager.isRunning() && settings_.guardianEnabled) {
        if (services_.guardian.isWatching()) return;
        const auto hours = settings_.guardianHours;
        if ((hours < GuardianService::kMinHours || hours > GuardianService::kMaxHours) &&
            !guardianRangeLogged_) {
            guardianRangeLogged_ = true;
            log_.info("Stored guardianHours {} is outside {} to {}; the reminder uses the nearest of them",
                      hours, GuardianService::kMinHours, GuardianService::kMaxHours);
        }
        services_.guardian.startWatching(hours);
    } else {
        services_.guardian.stopWatching();
    }
}

}  // namespace torvel
