// How the state keeps the thermal monitor reading exactly while the kill switch depends on it.
#include "State/AppState.h"
#include "Monitors/ThermalMonitor.h"

namespace torvel {

void AppState::attachThermalMonitor(ThermalMonitor& monitor) {
    thermalMonitor_ = monitor.weakSelf();
    updateThermalWatch();
}

bool AppState::refreshThermalBeforeActivation(const PriorityDecision& decision) {
    // Only a session about to start needs it: a running one is watched by the periodic reading, and
    // an idle, cool Torvel reads nothing at all.
    if (decision.stopCause || decision.reasons.empty() || isActive_ || requestPending_) return false;
    if (refreshingThermal_ || !settings_.thermalKillSwitchEnabled) return false;
    const auto monitor = thermalMonitor_.lock();
    if (!monitor) return false;
    const ThermalState before = monitors_.thermalState;
    refreshingThermal_ = true;
    monitor->refresh();  // a change comes back through handleThermalStateChanged, which re-evaluates
    refreshingThermal_ = false;
    return monitors_.thermalState != before;
}

void AppState::updateThermalWatch() {
    // A pending request counts: it turns into a session the moment the desktop allows it.
    if (const auto monitor = thermalMonitor_.lock())
        monitor->setNeeded(settings_.thermalKillSwitchEnabled && (isActive_ || requestPending_));
}

}  // namespace torvel
