// The one re-evaluation: build the decision input, decide, and make the machine match.
#include "State/AppState.h"
#include "Core/SleepPreventionService.h"
#include "Core/TimerManager.h"
#include "Services/GuardianService.h"
#include "Services/NotificationService.h"
#include "Services/SessionPersistence.h"
#include "State/Emergency/LowBatteryEmergency.h"
#include "Support/Localization.h"

namespace torvel {

namespace {
// As often as the heartbeat: a desktop that refused may allow it once its session is up.
constexpr double kPendingRetrySeconds = 30.0;
}  // namespace

PriorityChainInput AppState::makePriorityChainInput() const {
    const Date now = services_.clock.now();
    const Profile* profile = profiles_.profileWithID(activeProfileID_);
    PriorityChainInput in;
    in.thermalKillSwitchEnabled = settings_.thermalKillSwitchEnabled;
    in.thermalState = monitors_.thermalState;
    in.hasBattery = monitors_.batteryState.hasBattery;
    in.isOnACPower = monitors_.batteryState.isOnACPower;
    in.batteryPercentage = monitors_.batteryState.percentage;
    in.effectiveBatteryLimit = effectiveBatteryLimit();
    in.isManuallyActivated = isManuallyActivated_;
    in.isTimerRunning = services_.timerManager.isRunning();
    in.isAutomationPaused = automationPause_.isPaused();
    in.autoActivateOnExternalDisplay = settings_.autoActivateOnExternalDisplay;
    in.hasExternalDisplay = monitors_.hasExternalDisplay;
    in.autoActivateOnMirroring = settings_.autoActivateOnMirroring;
    in.isMirroring = monitors_.isMirroring;
    if (profile) in.profileAssertionType = profile->assertionType;
    in.trustedNetworkActivationEnabled = settings_.trustedNetworkActivationEnabled;
    in.isWiFiConnected = monitors_.isWiFiConnected;
    in.hasTrustedNetworks = !settings_.trustedNetworks.empty();
    in.isOnTrustedNetwork = monitors_.currentSSID && trustedNetworks_.isTrustedSSID(*monitors_.currentSSID);
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
    if (const Profile* profile = profiles_.profileWithID(activeProfileID_);
        profile && profile->batteryLimitOverride) {
        return *profile->batteryLimitOverride;
    }
    return settings_.batteryLimitEnabled ? settings_.batteryLimitPercent : 0;
}

void AppState::reevaluateState() {
    const PriorityDecision first = decideSleepPrevention(makePriorityChainInput());
    // A fresh reading that changed the state has re-evaluated with it already.
    if (safety_.refreshThermalBeforeActivation(first)) return;
    if (first.stopCause) {
        safety_.stop(*first.stopCause);
        applyState(false, {}, std::nullopt);
        followDecision(activeReasons_);
        return;
    }
    safety_.checkPredictiveWarning();
    automationPause_.expireIfDue();
    if (activeProfileID_ && !profiles_.profileWithID(activeProfileID_)) activeProfileID_.reset();

    PriorityDecision decision;
    if (!emergency_->isSleepSendInFlight()) {
        // The steps above may have changed the inputs; a stop cause of this second look is ignored.
        decision = decideSleepPrevention(makePriorityChainInput());
        decision.stopCause.reset();
    }
    applyState(!decision.reasons.empty(), decision.reasons, decision.assertionType);
    followDecision(decision.reasons);
}

void AppState::followDecision(const ReasonSet& reasons) {
    safety_.updateThermalWatch();
    trustedNetworks_.updateLidWatch();
    lidLock_.followReasons(reasons);
}

void AppState::handleInhibitServicesChanged() {
    // Pending: the new service may take the request. Active: one that left took our inhibitor with it,
    // and the re-evaluation takes it again from what is there now rather than at the next heartbeat.
    if (!requestPending_ && !isActive_) return;
    log_.info("The inhibit services on the bus changed; {}",
              requestPending_ ? "retrying the pending request now" : "checking what is held");
    reevaluateState();
}

void AppState::applyState(bool active, const ReasonSet& reasons, std::optional<AssertionType> type) {
    const bool wasActive = isActive_;
    const bool wasPending = requestPending_;
    // A pending request is a decision already taken: retrying it is not a change worth a log line.
    const bool changed = active != (isActive_ || requestPending_) || reasons != activeReasons_ ||
                         type != currentAssertionType_;
    if (changed) {
        log_.info("AppState: {} reasons=[{}] type={} battery={}% ac={}", active ? "ACTIVE" : "INACTIVE",
                  joinedRawValues(reasons), type ? rawValue(*type) : std::string_view("<nil>"),
                  monitors_.batteryState.percentage, monitors_.batteryState.isOnACPower);
    }
    activeReasons_ = reasons;
    currentAssertionType_ = type;
    isActive_ = active;

    if (!active) {
        endPendingRequest();
        if (changed) activationChanged.emit();
        safety_.sessionReleased();
        services_.sleepPrevention.stop();
        services_.sleepPrevention.stopScreenSaverPrevention();
        screenSaverFailureTold_ = false;
        // A pending request was saved too, so that a restart would pick it up.
        if (wasActive || wasPending) services_.sessions.clearActiveSession();
        services_.guardian.stopWatching();
        return;
    }
    // A pending request keeps its status message (perhaps the refusal itself) until it is held.
    if (!wasActive && !wasPending) services_.notifications.clearLastStatusMessage();

    if (type) {
        if (const auto held = ensureSleepPreventionActive(*type); !held) {
            isActive_ = false;
            enterPendingRequest(held.error());
            if (changed || wasActive || !wasPending) activationChanged.emit();
            return;
        }
    }
    if (wasPending) {
        endPendingRequest();
        log_.info("The desktop now allows keeping the computer awake; the pending session runs");
    }
    if (changed || wasPending) activationChanged.emit();

    // A profile decides the screen saver through its own type; otherwise the setting does.
    applyScreenSaverPrevention(reasons.count(ActivationReason::profile)
                                   ? type == AssertionType::noDisplaySleep
                                   : settings_.preventScreenSaver);
    saveActiveSession();
    updateGuardian();
    safety_.sessionHeld();
}

void AppState::applyScreenSaverPrevention(bool wanted) {
    if (!wanted) {
        services_.sleepPrevention.stopScreenSaverPrevention();
        screenSaverFailureTold_ = false;
        return;
    }
    auto failure = services_.sleepPrevention.startScreenSaverPrevention();
    if (!failure) {
        screenSaverFailureTold_ = false;
        return;
    }
    // Every re-evaluation tries again; only the first failure of a run is worth the user's attention.
    if (screenSaverFailureTold_) return;
    log_.error("Screensaver prevention failed: {}", failure->localizedDescription(services_.texts));
    tellScreenSaverFailure();
}

void AppState::tellScreenSaverFailure() {
    if (screenSaverFailureTold_) return;
    screenSaverFailureTold_ = true;
    notify("assertion-failure", "notification.assertion_failure");
}

void AppState::enterPendingRequest(const std::string& error) {
    releaseEverything();
    if (requestPending_) {
        log_.debug("Sleep prevention still refused: {}", error);
        return;
    }
    requestPending_ = true;
    // The request itself stands, so a restart picks it up again.
    saveActiveSession();
    log_.error("Sleep prevention start failed: {}", error);
    log_.info("The keep-awake request stays pending and is retried every {} s",
              static_cast<long>(kPendingRetrySeconds));
    notify("assertion-failure", "notification.assertion_failure");
    pendingRetryTimer_ = services_.scheduler.every(kPendingRetrySeconds, [this] { reevaluateState(); });
}

void AppState::endPendingRequest() {
    if (!requestPending_) return;
    requestPending_ = false;
    pendingRetryTimer_.reset();  // allowed from inside its own callback
}

Result<void> AppState::ensureSleepPreventionActive(AssertionType type) {
    auto& service = services_.sleepPrevention;
    if (service.isActive() && service.currentType() == type && service.isAssertionAlive()) return {};
    // Also re-creates an assertion that the system dropped behind the service's back.
    if (auto failure = service.start(type)) return Failure{failure->localizedDescription(services_.texts)};
    return {};
}

void AppState::releaseEverything() {
    services_.sleepPrevention.stop();
    services_.sleepPrevention.stopScreenSaverPrevention();
    screenSaverFailureTold_ = false;
    services_.guardian.stopWatching();
    safety_.sessionReleased();
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
