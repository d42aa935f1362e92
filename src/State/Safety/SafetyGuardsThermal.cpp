// How the guards keep the thermal monitor reading exactly while the kill switch depends on it.
#include "Monitors/ThermalMonitor.h"
#include "State/Safety/SafetyGuards.h"
#include "State/SessionControl.h"

namespace torvel {

void SafetyGuards::attachThermalMonitor(ThermalMonitor& monitor) {
    thermalMonitor_ = monitor.weakSelf();
    updateThermalWatch();
}

bool SafetyGuards::refreshThermalBeforeActivation(const PriorityDecision& decision) {
    // Only a session about to start needs it: a running one is read with the heartbeat, and
    // an idle, cool Torvel reads nothing at all.
    if (decision.stopCause || decision.reasons.empty() || session_.isActive() || session_.isRequestPending())
        return false;
    if (refreshingThermal_ || !session_.settings().thermalKillSwitchEnabled) return false;
    const auto monitor = thermalMonitor_.lock();
    if (!monitor) return false;
    const ThermalState before = session_.monitorValues().thermalState;
    refreshingThermal_ = true;
    monitor->refresh();  // a change comes back through the session's thermal handling, which re-evaluates
    refreshingThermal_ = false;
    return session_.monitorValues().thermalState != before;
}

void SafetyGuards::readThermal() {
    // A change comes back through the session's thermal handling, which may stop the session.
    if (const auto monitor = thermalMonitor_.lock()) monitor->readIfNeeded();
}

void SafetyGuards::updateThermalWatch() {
    // A pending request counts: it turns into a session the moment the desktop allows it.
    if (const auto monitor = thermalMonitor_.lock())
        monitor->setNeeded(session_.settings().thermalKillSwitchEnabled &&
                           (session_.isActive() || session_.isRequestPending()));
}

}  // namespace torvel
