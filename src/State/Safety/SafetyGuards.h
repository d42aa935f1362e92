#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Core/PriorityChain.h"
#include "Models/BatteryState.h"
#include "Platform/Log.h"
#include "State/Safety/Heartbeat.h"

namespace torvel {

class AudioFeedbackService;
class BatteryMonitor;
class LidLock;
class Localization;
class NotificationService;
class SessionControl;
class SleepPreventionProtocol;
class ThermalMonitor;

/// The guards that end a session to protect the machine: the battery limits (the user's or the
/// profile's soft limit, the 10 % hard floor) and the thermal kill switch, with the predictive battery
/// warning and the heartbeat that keeps their readings fresh. A stop sets the running session aside
/// instead of discarding it; the charger's return or the heat going away brings it back. The decision
/// itself is the priority chain's; the guards carry out what it says. Main thread only.
class SafetyGuards {
public:
    /// What the guards work with; everything outlives them. The sound may be absent.
    struct Services {
        Scheduler& scheduler;
        LogSink& log;
        const Localization& texts;
        NotificationService& notifications;
        SleepPreventionProtocol& sleepPrevention;
        AudioFeedbackService* audio = nullptr;
    };

    SafetyGuards(SessionControl& session, LidLock& lidLock, Services services);
    SafetyGuards(const SafetyGuards&) = delete;
    SafetyGuards& operator=(const SafetyGuards&) = delete;

    /// Refreshes and forecasts through `monitor` while it exists; replaces earlier closures.
    void attachBatteryMonitor(BatteryMonitor& monitor);
    /// Installed by the battery monitor wiring: minutes until the charge reaches a percentage.
    void setMinutesUntilThresholdProvider(std::function<std::optional<std::int64_t>(std::int64_t)> provider) {
        minutesUntilThresholdProvider_ = std::move(provider);
    }
    /// Reads through `monitor` once before each activation and tells it while the kill switch needs
    /// fresh readings; it holds the monitor weakly. Replaces an earlier monitor.
    void attachThermalMonitor(ThermalMonitor& monitor);
    bool isHeartbeatRunning() const { return heartbeat_.isRunning(); }

    // For the session itself.
    /// A battery reading was recorded: coming back to the charger resumes a stopped session when the
    /// user allows it. True when it did (the session re-evaluated then).
    bool handleBatteryReading(const BatteryState& state);
    /// The thermal state went from `old` to `now`: the heat going away resumes a stopped session, rising
    /// heat is told. True when a session resumed (the session re-evaluated then).
    bool handleThermalChange(ThermalState old, ThermalState now);
    /// Before a session starts, reads the heat once; true when it changed (and so was re-evaluated).
    bool refreshThermalBeforeActivation(const PriorityDecision& decision);
    /// The decision's stop: sets the running (or pending) session aside, tells the user and lets the
    /// lid lock go. The session then releases what it held.
    void stop(const StopCause& cause);
    /// Warns once per session, on battery, when the charge will reach the limit within the set minutes.
    void checkPredictiveWarning();
    /// Asks the thermal monitor for readings exactly while the kill switch guards a session.
    void updateThermalWatch();
    /// The session holds the computer awake: the heartbeat runs.
    void sessionHeld() { heartbeat_.start(); }
    /// Nothing is held any more: the heartbeat stops and the next session may be warned again.
    void sessionReleased();

private:
    void readBattery();
    /// The heartbeat's reading of a cool machine's heat while the kill switch guards the session
    /// (SafetyGuardsThermal.cpp).
    void readThermal();
    void notify(const std::string& id, const std::string& bodyKey, const std::vector<long long>& args = {});

    SessionControl& session_;
    LidLock& lidLock_;
    Services services_;
    Logger log_;
    bool predictiveWarningSent_ = false;
    bool previouslyOnBattery_ = false;
    std::function<std::optional<std::int64_t>(std::int64_t)> minutesUntilThresholdProvider_;
    std::function<void()> batteryStateRefresher_;
    std::weak_ptr<ThermalMonitor> thermalMonitor_;
    /// Set during the reading before an activation, so the re-evaluation it causes reads no more.
    bool refreshingThermal_ = false;
    Heartbeat heartbeat_;
};

}  // namespace torvel
