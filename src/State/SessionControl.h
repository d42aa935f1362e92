#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "Core/SettingsValues.h"
#include "Models/AssertionType.h"
#include "Models/Profile.h"
#include "Models/ReasonSet.h"
#include "Services/SessionPersistence.h"
#include "Models/TrustedNetwork.h"
#include "State/MonitorValues.h"

namespace torvel {

/// The narrow view of the session that each of AppState's concerns (the emergency, the automation
/// pause, the triggers, the lid lock) is given: read the inputs and the outcome, ask for a new decision,
/// end what the user started. AppState is the one implementation; tests of a concern may fake it.
class SessionControl {
public:
    virtual ~SessionControl() = default;

    /// Recomputes the whole decision from the inputs and applies it.
    virtual void reevaluateState() = 0;
    /// Ends all user-started activity; automatic reasons that still hold keep the computer awake.
    virtual void deactivateAll() = 0;

    virtual bool isActive() const = 0;
    virtual const ReasonSet& activeReasons() const = 0;
    virtual const SettingsValues& settings() const = 0;
    virtual const MonitorValues& monitorValues() const = 0;

    // Concerns add what they need below, one block each, each member documented.

    // The low-battery emergency: what its sleep tears down, and puts back when the sleep fails.
    /// The stored session records, the running one and the one a battery or heat stop set aside.
    struct SessionSnapshot {
        std::optional<SavedSession> active;
        std::optional<SavedSession> suspended;
    };
    /// The stored records as they are now.
    virtual SessionSnapshot takeSessionSnapshot() const = 0;
    /// Puts a snapshot back: the suspended record is written, the active session restored.
    virtual void restoreSessionSnapshot(const SessionSnapshot& snapshot) = 0;
    // The process trigger.
    /// Records new monitor readings (the trigger's isProcessTriggerActive) and re-evaluates.
    virtual void updateMonitorValues(const std::function<void(MonitorValues&)>& change) = 0;
    /// Tells the observers of the settings that `key`, a list stored beside them, was assigned.
    virtual void publishSettingChanged(std::string_view key) = 0;

    // The trusted Wi-Fi trigger.
    /// Writes monitor readings without a re-evaluation, for a concern that re-evaluates once after all
    /// of its changes.
    virtual void recordMonitorValues(const std::function<void(MonitorValues&)>& change) = 0;
    /// Replaces the trusted list among the settings in memory; the trigger stores and announces it.
    virtual void replaceTrustedNetworks(std::vector<TrustedNetwork> networks) = 0;

    // The lid lock.
    /// An installation of the helper ended, whatever its outcome: a permission to sleep that waited for
    /// the helper's rule is read again.
    virtual void helperInstallFinished() = 0;

    // The profile list.
    /// The profile the running session was started from; std::nullopt when none.
    virtual const std::optional<Uuid>& activeProfileID() const = 0;
    /// Starts a session from `profile`: its duration, assertion type and battery limit.
    virtual void activateProfile(const Profile& profile) = 0;

    // The safety guards and their heartbeat.
    /// The decision wants the computer kept awake but the desktop refused: nothing is held yet.
    virtual bool isRequestPending() const = 0;
    /// The assertion held (or waited for); std::nullopt when the computer may sleep.
    virtual std::optional<AssertionType> currentAssertionType() const = 0;
    /// The active profile's override, else the global limit when enabled; 0 means none.
    virtual std::int64_t effectiveBatteryLimit() const = 0;
    /// Sets the running session aside as the suspended record and ends what the user started; the
    /// caller releases what was held.
    virtual void suspendSession() = 0;
    /// Brings the suspended record back; false when there is none or its time ran out while stopped.
    virtual bool resumeSuspendedSession() = 0;
};

}  // namespace torvel
