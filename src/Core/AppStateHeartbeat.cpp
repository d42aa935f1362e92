// The heartbeat: while the computer is kept awake, re-check every 30 s that the assertion still holds.
#include "Core/AppState.h"
#include "Core/SleepPreventionService.h"

namespace torvel {

namespace {
constexpr double kHeartbeatSeconds = 30.0;
}

void AppState::startHeartbeat() {
    if (heartbeatTimer_) return;
    heartbeatTimer_ = services_.scheduler.every(kHeartbeatSeconds, [this] { heartbeatTick(); });
    log_.info("Heartbeat watchdog started (every {}s)", static_cast<long>(kHeartbeatSeconds));
}

void AppState::stopHeartbeat() {
    if (!heartbeatTimer_) return;
    heartbeatTimer_.reset();
    log_.info("Heartbeat watchdog stopped");
}

void AppState::heartbeatTick() {
    if (!isActive_ || !currentAssertionType_) {
        stopHeartbeat();
        return;
    }
    const auto& battery = monitors_.batteryState;
    log_.info("Heartbeat: tick — battery={}% ac={} assertionAlive={}", battery.percentage,
              battery.isOnACPower, services_.sleepPrevention.isAssertionAlive());
    // A fresh battery reading re-evaluates through the battery handling, which also re-creates an
    // assertion the system dropped. The reading comes from what the power sources already know (they
    // follow the system's change signals), so this tick never waits for another process. The pip joins
    // this tick with the audio feedback.
    if (batteryStateRefresher_) {
        batteryStateRefresher_();
    } else {
        reevaluateState();
    }
}

}  // namespace torvel
