#include "Services/EmergencySleepService.h"

#include <chrono>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include "Services/BlockerTermination.h"

namespace torvel {

EmergencySleepService::EmergencySleepService(SessionAutomation& automation, ProcessControl& control,
                                             Clock& clock, Scheduler& scheduler, LogSink& log,
                                             std::uint32_t ownUID, EmergencySleepTiming timing)
    : automation_(automation),
      control_(control),
      clock_(clock),
      scheduler_(scheduler),
      log_(log, "EmergencySleep"),
      ownUID_(ownUID),
      timing_(std::move(timing)) {}

EmergencySleepService::~EmergencySleepService() {
    // The thread touches our members until it returns; the port bounds its call, so this ends.
    if (sender_.joinable()) sender_.join();
}

PermissionStatus EmergencySleepService::consentStatus(bool askUserIfNeeded) {
    PermissionStatus status = automation_.permissionStatus(askUserIfNeeded);
    if (status == PermissionStatus::notRunning) {
        log_.info(
            "Consent to sleep unreadable while polkit is down (status -600) — starting it and asking again");
        status = statusAfterLaunch(askUserIfNeeded);
    }
    if (status == PermissionStatus::noAnswer) {
        // It is there but hung: starting it again would only wait as long once more.
        log_.error("polkit did not answer (status -1712) — consent to sleep is unreadable right now");
    } else if (status != PermissionStatus::granted) {
        log_.info("Consent for the session's sleep not granted: status {}", toString(status));
    }
    return status;
}

PermissionStatus EmergencySleepService::statusAfterLaunch(bool askUserIfNeeded) {
    automation_.launch();
    const double deadline = clock_.suspendingNow() + timing_.launchTimeout;
    for (;;) {
        if (!(clock_.suspendingNow() < deadline)) {
            log_.error("polkit did not come up in time — consent to sleep is unreadable right now");
            return PermissionStatus::notRunning;
        }
        pause(timing_.pollInterval);
        const PermissionStatus status = automation_.permissionStatus(askUserIfNeeded);
        if (status != PermissionStatus::notRunning) return status;
    }
}

void EmergencySleepService::pause(double seconds) {
    if (timing_.pause) {
        timing_.pause(seconds);
        return;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

std::optional<UnattendedSleepObstacle> EmergencySleepService::unattendedSleepObstacle() {
    if (isSendInFlight()) return UnattendedSleepObstacle::sendPending;
    const auto consent = consentFromStatus(consentStatus(false));
    if (!consent) return UnattendedSleepObstacle::consentUnreadable;
    switch (*consent) {
        case AutomationConsent::granted:
            return std::nullopt;
        case AutomationConsent::notAsked:
            return UnattendedSleepObstacle::consentNotAsked;
        case AutomationConsent::denied:
            return UnattendedSleepObstacle::consentDenied;
    }
    return UnattendedSleepObstacle::consentUnreadable;
}

bool EmergencySleepService::isSendInFlight() const {
    std::lock_guard lock(mutex_);
    return inFlight_;
}

// No special case for root: logind decides who may suspend, and it lets root through anyway.
bool EmergencySleepService::sleepNow(bool interactive) {
    if (!interactive) return sendUnattended();
    {
        std::lock_guard lock(mutex_);
        if (inFlight_) {
            log_.error("a sleep request is already out — not sending a second one from the menu");
            return false;
        }
        inFlight_ = true;
    }
    const bool succeeded = send(true);
    std::lock_guard lock(mutex_);
    inFlight_ = false;
    return succeeded;
}

bool EmergencySleepService::sendUnattended() {
    if (consentStatus(false) != PermissionStatus::granted) {
        log_.error(
            "no consent to sleep and nobody here to grant it — skipping the session's sleep rather than "
            "blocking on a polkit prompt");
        return false;
    }
    std::unique_lock lock(mutex_);
    if (inFlight_) {
        log_.error("previous unattended sleep request has not returned — not stacking another");
        return false;
    }
    inFlight_ = true;
    // The previous sender cleared the flag as its last step, so this join does not wait.
    if (sender_.joinable()) sender_.join();
    auto outcome = std::make_shared<Outcome>();
    try {
        sender_ = std::thread([this, outcome] {
            const bool succeeded = send(false);
            {
                std::lock_guard guard(mutex_);
                outcome->succeeded = succeeded;
                outcome->done = true;
                inFlight_ = false;
            }
            done_.notify_all();
        });
    } catch (const std::system_error& e) {
        // No thread, no request: a flag left set would shut both paths for good.
        inFlight_ = false;
        log_.error("could not start the unattended sleep request: {}", e.what());
        return false;
    }
    const bool returned = done_.wait_for(lock, std::chrono::duration<double>(timing_.stallBound),
                                         [&outcome] { return outcome->done; });
    if (returned) return outcome->succeeded;
    log_.error(
        "unattended sleep request did not return within {} s — the unattended path stays shut until it does",
        timing_.stallBound);
    scheduler_.post(lifetime_.guard([this] { unattendedSendStalled.emit(); }));
    return false;
}

bool EmergencySleepService::send(bool interactive) {
    const auto slept = automation_.sleep(interactive);
    if (slept) return true;
    log_.error("the session's sleep failed: {}",
               slept.error().empty() ? std::string("no reason given") : slept.error());
    return false;
}

std::vector<std::int32_t> EmergencySleepService::terminate(const std::vector<SleepBlocker>& blockers) {
    return terminateBlockers(blockers, control_, ownUID_, log_);
}

}  // namespace torvel
