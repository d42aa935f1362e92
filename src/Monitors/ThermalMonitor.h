#pragma once

#include <memory>
#include <utility>

#include "Models/BatteryState.h"
#include "Platform/Log.h"
#include "Platform/Scheduler.h"
#include "Platform/Thermal.h"
#include "Support/Lifetime.h"
#include "Support/Signal.h"

namespace torvel {

/// Follows the thermal state for the kill switch and the throttle notices. The sensors announce nothing,
/// and heat builds slowly: while the machine is cool, a session that depends on the answer (the
/// application state says so with setNeeded()) is read on the state's own heartbeat through
/// readIfNeeded(); only a machine warmer than nominal is read every kPollSeconds, until it cools down.
/// The monitor has no timer of its own while the machine is cool.
class ThermalMonitor {
public:
    /// Once warm: often enough that the kill switch acts within seconds, rarely enough not to wake a
    /// laptop much.
    static constexpr double kPollSeconds = 5.0;

    ThermalMonitor(Thermal& thermal, Scheduler& scheduler, LogSink& log);
    ThermalMonitor(const ThermalMonitor&) = delete;
    ThermalMonitor& operator=(const ThermalMonitor&) = delete;

    /// Told every state that differs from the one before; a repeat is not passed on.
    Signal<ThermalState> stateChanged;
    /// The last state read; nominal until the first reading (and after failed ones, the last good one).
    ThermalState currentState() const { return currentState_; }

    /// Reads now; a changed state goes to the callback. A failed reading keeps the state and stops the
    /// periodic reading of a cool machine (there is nothing to watch) until a reading succeeds.
    void refresh();
    /// Whether the application state depends on fresh readings (a session the kill switch guards).
    void setNeeded(bool needed);
    /// Reads now when the state depends on it and the periodic reading does not run already; a machine
    /// whose last reading failed is not read again here (only before an activation, through refresh()).
    void readIfNeeded();
    /// True while the periodic reading (of a warm machine) runs.
    bool isPolling() const { return pollTimer_ != nullptr; }

    /// Expires with the monitor, so that closures holding it can tell it is gone.
    std::weak_ptr<ThermalMonitor> weakSelf() { return lifetime_.weakPointer(*this); }

private:
    void updatePolling();

    Thermal& thermal_;
    Scheduler& scheduler_;
    Logger log_;
    ThermalState currentState_ = ThermalState::nominal;
    bool needed_ = false;
    bool failureLogged_ = false;
    /// The last reading failed: there is nothing to watch until one succeeds.
    bool unreadable_ = false;
    Timer pollTimer_;
    Lifetime lifetime_;
};

}  // namespace torvel
