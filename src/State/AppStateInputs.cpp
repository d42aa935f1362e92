// The monitors' readings: each is recorded as an input, handed to the concern that reacts to it, and
// re-evaluated.
#include "State/AppState.h"
#include "State/Emergency/LowBatteryEmergency.h"

namespace torvel {

void AppState::updateMonitorValues(const std::function<void(MonitorValues&)>& change) {
    change(monitors_);
    reevaluateState();
}

void AppState::handleBatteryStateChanged(const BatteryState& state) {
    monitors_.batteryState = state;
    batteryStateChanged.emit();
    log_.debug("Battery: {}% ac={} charging={} active={}", state.percentage, state.isOnACPower,
               state.isCharging, isActive_);
    emergency_->updateWatchdog();
    // A session resumed on the charger has re-evaluated already.
    if (safety_.handleBatteryReading(state)) return;
    reevaluateState();
    emergency_->checkPower(services_.clock.suspendingNow());
}

void AppState::handleThermalStateChanged(ThermalState state) {
    const ThermalState old = monitors_.thermalState;
    monitors_.thermalState = state;
    // A session resumed as the heat went away has re-evaluated already.
    if (safety_.handleThermalChange(old, state)) return;
    reevaluateState();
}

}  // namespace torvel
