#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "Models/AutomationConsent.h"
#include "Models/SleepBlocker.h"
#include "Platform/Clock.h"
#include "Platform/Log.h"
#include "Platform/ProcessControl.h"
#include "Platform/Scheduler.h"
#include "Platform/SessionAutomation.h"
#include "Support/Lifetime.h"
#include "Support/Signal.h"

namespace torvel {

/// How long to wait for things; production uses the defaults.
struct EmergencySleepTiming {
    /// How long a launched authority gets to come up, on the suspending clock.
    double launchTimeout = 3.0;
    /// The pause between consent reads while it comes up.
    double pollInterval = 0.05;
    /// How long an unattended sleep request may take before the caller gives up on it.
    double stallBound = 10.0;
    /// Waits `seconds` (tests advance a simulated clock instead); empty: really sleeps.
    std::function<void(double)> pause;
};

/// Puts the session to sleep for the emergency steps and the menu, and asks the consent for it
/// without ever prompting when nobody may be there to answer. Thread-safe: every blocking call is
/// meant for the emergency's worker thread, the menu's interactive sleep included, since polkit may
/// take as long as a password prompt or never answer at all.
class EmergencySleepService {
public:
    EmergencySleepService(SessionAutomation& automation, ProcessControl& control, Clock& clock,
                          Scheduler& scheduler, LogSink& log, std::uint32_t ownUID,
                          EmergencySleepTiming timing = {});
    /// Waits for a hung unattended request to return (the port bounds every call).
    ~EmergencySleepService();
    EmergencySleepService(const EmergencySleepService&) = delete;
    EmergencySleepService& operator=(const EmergencySleepService&) = delete;

    /// Emitted on the main loop when an unattended request outlives the stall bound.
    Signal<> unattendedSendStalled;

    /// Sends the sleep request; true when it went through.
    bool sleepNow(bool interactive);
    /// What would stop an unattended sleep right now, read without prompting; std::nullopt: nothing.
    std::optional<UnattendedSleepObstacle> unattendedSleepObstacle();
    /// The consent status (see SessionAutomation), starting the authority when it is down.
    PermissionStatus consentStatus(bool askUserIfNeeded);
    /// Whether a sleep request is out and has not returned; the menu offers no sleep meanwhile.
    bool isSendInFlight() const;
    /// Asks the processes behind `blockers` to quit; the pids signalled, in order.
    std::vector<std::int32_t> terminate(const std::vector<SleepBlocker>& blockers);

private:
    struct Outcome {
        bool done = false;
        bool succeeded = false;
    };

    PermissionStatus statusAfterLaunch(bool askUserIfNeeded);
    bool send(bool interactive);
    bool sendUnattended();
    void pause(double seconds);

    SessionAutomation& automation_;
    ProcessControl& control_;
    Clock& clock_;
    Scheduler& scheduler_;
    Logger log_;
    std::uint32_t ownUID_;
    EmergencySleepTiming timing_;
    mutable std::mutex mutex_;      // guards inFlight_ and every Outcome
    std::condition_variable done_;  // an unattended request returned
    bool inFlight_ = false;
    std::thread sender_;  // the last unattended request; joined before the next starts
    // The stall is told on the main loop, from the requesting thread: not at all once the service is gone.
    Lifetime lifetime_;
};

}  // namespace torvel
