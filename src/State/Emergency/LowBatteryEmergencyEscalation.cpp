// Carrying out the emergency's action (permission, veto, termination, sleep, and putting back what a
// failed sleep tore down) and the menu's Sleep now on the same machinery. Every step that asks logind
// or polkit runs off the main loop; each answer is judged against the state it comes back to.
#include <set>
#include <utility>

#include "Core/EmergencyWorkRunner.h"
#include "Monitors/SleepBlockerMonitor.h"
#include "Platform/StayguardHelper.h"
#include "Services/EmergencySleepService.h"
#include "Services/NotificationService.h"
#include "State/Emergency/LowBatteryEmergency.h"
#include "State/Lid/LidLock.h"

namespace torvel {

namespace {

std::string obstacleText(UnattendedSleepObstacle obstacle) {
    switch (obstacle) {
        case UnattendedSleepObstacle::consentNotAsked:
            return "no permission to suspend — it has not been granted yet, so nothing here could put the "
                   "computer to sleep";
        case UnattendedSleepObstacle::consentDenied:
            return "no permission to suspend — it was refused, so nothing here could put the computer to sleep";
        case UnattendedSleepObstacle::sendPending:
            return "a sleep request is still out — either in flight or wedged, so this one could not be sent";
        case UnattendedSleepObstacle::consentUnreadable:
            return "the permission to suspend could not be read — polkit did not answer, so we do not know "
                   "whether a sleep would land";
    }
    return "unknown obstacle";
}

std::vector<std::string> displayNames(const std::vector<SleepBlocker>& blockers) {
    std::vector<std::string> names;
    for (const auto& blocker : blockers) names.push_back(blocker.displayName());
    return names;
}

}  // namespace

void LowBatteryEmergency::beginEscalation(EmergencyPowerAction action, double now) {
    escalationInFlight_ = true;
    const std::uint64_t ticket = ++latestConsentReadTicket_;
    EmergencySleepService* sleep = emergencySleep_;
    const bool started = work().run(
        [sleep] { return sleep->unattendedSleepObstacle(); },
        lifetime_.guard([this, action, now, ticket](std::optional<UnattendedSleepObstacle> obstacle) {
            escalateIfSleepCouldLand(action, obstacle, now, ticket);
        }));
    if (!started) escalateIfSleepCouldLand(action, UnattendedSleepObstacle::consentUnreadable, now, ticket);
}

void LowBatteryEmergency::escalateIfSleepCouldLand(EmergencyPowerAction action,
                                                   std::optional<UnattendedSleepObstacle> obstacle, double now,
                                                   std::uint64_t consentTicket) {
    // A request sent while the obstacle was read (the menu's) is an obstacle too.
    if (!obstacle && sleepRequestOut()) obstacle = UnattendedSleepObstacle::sendPending;
    if (!obstacle) {
        publishConsent(AutomationConsent::granted, consentTicket);
        releaseSleepOverride();
        readSleepVeto([this, action, now](SleepVeto veto) { escalate(action, veto, now); });
        return;
    }
    if (*obstacle == UnattendedSleepObstacle::consentNotAsked) publishConsent(AutomationConsent::notAsked, consentTicket);
    if (*obstacle == UnattendedSleepObstacle::consentDenied) publishConsent(AutomationConsent::denied, consentTicket);
    // No cooldown: the next reading tries again.
    const std::string text = obstacleText(*obstacle);
    skipEscalation(text, text, false);
}

void LowBatteryEmergency::escalate(EmergencyPowerAction action, SleepVeto veto, double now) {
    // The fresh census asks logind and reads /proc: on the worker; what it finds is judged here.
    SleepBlockerMonitorProtocol* monitor = blockerMonitor_;
    const bool started = work().run(
        [monitor] { return monitor ? monitor->currentBlockers() : std::vector<SleepBlocker>{}; },
        lifetime_.guard([this, action, veto, now](std::vector<SleepBlocker> census) {
            lastSleepBlockers_ = census;
            escalateWithCensus(action, veto, now, census);
        }));
    if (!started) {
        log_.error("Emergency escalation dropped — no worker to take the census on");
        escalationInFlight_ = false;
    }
}

void LowBatteryEmergency::restoreSleepOverride() {
    if (services_.lidLock && services_.lidLock->isInstalled()) session_.reevaluateState();
}

void LowBatteryEmergency::skipEscalation(const std::string& why, const std::string& alarmReason,
                                         bool restoreOverride) {
    log_.error("Emergency escalation skipped at {}% — {}", battery().percentage, why);
    if (restoreOverride) restoreSleepOverride();
    escalationInFlight_ = false;
    startAlarm(alarmReason);
}

void LowBatteryEmergency::escalateWithCensus(EmergencyPowerAction action, SleepVeto veto, double now,
                                             const std::vector<SleepBlocker>& census) {
    const auto percent = battery().percentage;
    if (!session_.settings().emergencyPowerEnabled || decideAction(!census.empty(), now) != action) {
        log_.info("Emergency escalation dropped — conditions changed while the suspend veto was being read");
        restoreSleepOverride();
        escalationInFlight_ = false;
        return;
    }
    if (veto == SleepVeto::vetoed)
        return skipEscalation("the system would refuse the suspend, so the computer would stay awake",
                              "the system refuses the suspend", true);
    // Nobody may be there to type the password, and an unanswered prompt would hold the request.
    if (veto == SleepVeto::challenge)
        return skipEscalation("the system would suspend only after a password, and nobody may be here to type it",
                              "the suspend needs a password", true);
    // The menu may have sent a request while the veto and the census were read: nothing is killed
    // for a sleep that cannot be sent.
    if (sleepRequestOut()) {
        const std::string text = obstacleText(UnattendedSleepObstacle::sendPending);
        return skipEscalation(text, text, false);
    }
    // Not knowing whether the suspend would land, nothing is killed for it; the sleep is still tried.
    const bool terminateDue = !lastTerminateAt_ || now - *lastTerminateAt_ >= EmergencyPowerPolicy::kCooldownSeconds;
    if (action == EmergencyPowerAction::terminateBlockersThenSleep && veto == SleepVeto::clear && terminateDue) {
        const std::vector<std::int32_t> signalled =
            emergencySleep_ ? emergencySleep_->terminate(census) : std::vector<std::int32_t>{};
        lastTerminateAt_ = now;
        if (!signalled.empty()) {
            const std::set<std::int32_t> pids(signalled.begin(), signalled.end());
            std::vector<std::string> names;
            for (const auto& blocker : census)
                if (pids.contains(blocker.pid)) names.push_back(blocker.displayName());
            services_.notifications.sendEmergencyBlockersTerminated(names);
        }
    }
    sleepUnattended(now, lifetime_.guard([this, percent, names = displayNames(census)](bool success) {
        escalationInFlight_ = false;
        if (!success) {
            log_.error("Emergency sleep failed at {}% — no cooldown set, watchdog will retry the sleep", percent);
            startAlarm("the sleep request came back unsuccessful");
            return;
        }
        services_.notifications.sendEmergencySleep(percent, names);
    }));
}

bool LowBatteryEmergency::sleepRequestOut() const {
    return sleepSendInFlight_ || (emergencySleep_ && emergencySleep_->isSendInFlight());
}

std::uint64_t LowBatteryEmergency::beginSleepSend() {
    sleepSendInFlight_ = true;
    sleepSendOwner_ = ++lastSleepSendToken_;
    return sleepSendOwner_;
}

void LowBatteryEmergency::endSleepSend(std::uint64_t token) {
    if (token != sleepSendOwner_) return;  // another path's request: its own answer clears it
    sleepSendOwner_ = 0;
    sleepSendInFlight_ = false;
}

void LowBatteryEmergency::sleepUnattended(double now, std::function<void(bool)> completion) {
    if (!emergencySleep_) {
        completion(false);
        return;
    }
    const std::uint64_t token = beginSleepSend();
    const SessionControl::SessionSnapshot snapshot = session_.takeSessionSnapshot();
    session_.deactivateAll();
    EmergencySleepService* sleep = emergencySleep_;
    auto outcome = [this, alive = lifetime_.watch(), token, snapshot, now, completion](bool result) {
        if (alive.expired()) return completion(false);
        endSleepSend(token);
        completion(applySleepOutcome(result, snapshot, now));
    };
    if (!work().run([sleep] { return sleep->sleepNow(false); }, outcome)) outcome(false);
}

bool LowBatteryEmergency::applySleepOutcome(bool success, const SessionControl::SessionSnapshot& snapshot,
                                            double now) {
    if (success) {
        stopAlarm("the computer is going to sleep", false);
        lastActionAt_ = now;  // the cooldown, for a manual sleep too
        return true;
    }
    // Always: while the request was out nothing was held, so a session started meanwhile only shows
    // (and is only held again) once the state is re-evaluated without the flag.
    session_.reevaluateState();
    if (!session_.isActive()) {
        log_.error("Sleep failed — restoring the veto and the session it tore down");
        session_.restoreSessionSnapshot(snapshot);
    } else {
        log_.error("Sleep failed — restoring the veto, but a newer session is running and stays");
    }
    return false;
}

void LowBatteryEmergency::releaseSleepOverride() {
    if (services_.lidLock) services_.lidLock->release();
}

void LowBatteryEmergency::readSleepVeto(std::function<void(SleepVeto)> done) {
    auto conclude = [this](std::optional<SuspendAnswer> answer) {
        if (!answer) {
            log_.error("Could not read the suspend veto — sleep may proceed unverified, terminating may not");
            lastSleepVeto_ = SleepVeto::unknown;
        } else {
            lastSleepVeto_ = *answer == SuspendAnswer::yes         ? SleepVeto::clear
                             : *answer == SuspendAnswer::challenge ? SleepVeto::challenge
                                                                   : SleepVeto::vetoed;
        }
        return lastSleepVeto_;
    };
    if (!services_.stayguardHelper) {
        done(conclude(std::nullopt));
        return;
    }
    services_.stayguardHelper->readSuspendVetoed(lifetime_.guard(
        [conclude, done = std::move(done)](std::optional<SuspendAnswer> answer) { done(conclude(answer)); }));
}

void LowBatteryEmergency::publishConsent(AutomationConsent consent, std::uint64_t ticket) {
    // A read that started earlier but answered later must not overwrite a newer answer.
    if (ticket <= publishedConsentReadTicket_) return;
    publishedConsentReadTicket_ = ticket;
    if (automationConsent_ == consent) return;
    automationConsent_ = consent;
    changed.emit();
}

void LowBatteryEmergency::refreshAutomationConsent() {
    if (!emergencySleep_ || !session_.settings().emergencyPowerEnabled || isRefreshingConsent_) return;
    isRefreshingConsent_ = true;
    const std::uint64_t ticket = ++latestConsentReadTicket_;
    EmergencySleepService* sleep = emergencySleep_;
    const bool started = work().run([sleep] { return sleep->consentStatus(false); },
                                    lifetime_.guard([this, ticket](PermissionStatus status) {
                                        isRefreshingConsent_ = false;
                                        if (auto consent = consentFromStatus(status)) publishConsent(*consent, ticket);
                                    }));
    if (!started) isRefreshingConsent_ = false;
}

void LowBatteryEmergency::resolveAutomationConsent() {
    if (!emergencySleep_) return;
    const std::uint64_t ticket = ++latestConsentReadTicket_;
    EmergencySleepService* sleep = emergencySleep_;
    const auto resolve = lifetime_.guard([this, ticket](PermissionStatus status) {
        const auto consent = consentFromStatus(status);
        if (!consent) {
            log_.info("Consent button did nothing — polkit would not say whether the grant is in place");
            return;
        }
        publishConsent(*consent, ticket);
        if (*consent == AutomationConsent::granted) return;
        // Asking once would grant one suspend at most; the rule grants it for good, without a
        // password, as an unattended emergency needs.
        consentAwaitsInstall_ = true;
        if (services_.installHelper) services_.installHelper();
    });
    if (!work().run([sleep] { return sleep->consentStatus(false); }, resolve))
        log_.error("The permission to sleep cannot be read: no worker to read it on");
}

void LowBatteryEmergency::handleHelperInstallFinished() {
    // The permission to sleep was missing: the rule may have granted it.
    if (std::exchange(consentAwaitsInstall_, false)) refreshAutomationConsent();
}

LowBatteryEmergency::SleepNowReadiness LowBatteryEmergency::sleepNowReadiness() const {
    if (sleepRequestOut()) return SleepNowReadiness::sendPending;
    // The lid lock is let go before sleeping; only the system's own refusal stops the sleep. A
    // password logind would ask for is the user's to type.
    return lastSleepVeto_ == SleepVeto::vetoed ? SleepNowReadiness::sleepVetoed : SleepNowReadiness::ready;
}

void LowBatteryEmergency::sleepNow(double now) {
    if (!emergencySleep_) return;
    if (sleepRequestOut()) {
        log_.error("Sleep now aborted — an earlier sleep request is still out");
        return;
    }
    releaseSleepOverride();
    readSleepVeto([this, now](SleepVeto veto) {
        // The reading took a turn of the loop, and the emergency may have sent its request meanwhile.
        if (sleepRequestOut()) {
            log_.error("Sleep now aborted — a sleep request went out while the veto was read");
            restoreSleepOverride();
            return;
        }
        if (veto == SleepVeto::vetoed) return abortOnSleepVeto();
        sleepInteractively(now);
    });
}

void LowBatteryEmergency::abortOnSleepVeto() {
    log_.error("Sleep aborted — the system would refuse the suspend, so the computer would stay awake");
    restoreSleepOverride();
}

void LowBatteryEmergency::sleepInteractively(double now) {
    if (!emergencySleep_) return;
    const std::uint64_t token = beginSleepSend();
    const SessionControl::SessionSnapshot snapshot = session_.takeSessionSnapshot();
    session_.deactivateAll();
    EmergencySleepService* sleep = emergencySleep_;
    auto outcome = lifetime_.guard([this, token, snapshot, now](bool result) {
        endSleepSend(token);
        refreshAutomationConsent();  // the request may have asked the user
        applySleepOutcome(result, snapshot, now);
    });
    // logind may wait on polkit, and polkit on a password or on nothing at all: never on the main loop.
    if (!work().run([sleep] { return sleep->sleepNow(true); }, outcome)) {
        log_.error("Sleep now failed — no worker to send the request on");
        outcome(false);
    }
}

void LowBatteryEmergency::refreshSleepBlockers() {
    if (!blockerMonitor_ || isRefreshingBlockers_) return;
    isRefreshingBlockers_ = true;
    SleepBlockerMonitorProtocol* monitor = blockerMonitor_;
    const bool started = work().run([monitor] { return monitor->currentBlockers(); },
                                    lifetime_.guard([this](std::vector<SleepBlocker> census) {
                                        isRefreshingBlockers_ = false;
                                        const SleepVeto before = lastSleepVeto_;
                                        const bool blockersChanged = census != lastSleepBlockers_;
                                        lastSleepBlockers_ = std::move(census);
                                        readSleepVeto([this, before, blockersChanged](SleepVeto veto) {
                                            if (blockersChanged || veto != before) changed.emit();
                                        });
                                    }));
    if (!started) isRefreshingBlockers_ = false;
}

}  // namespace torvel
