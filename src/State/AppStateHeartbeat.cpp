// The heartbeat: while the computer is kept awake, re-check every 30 s that the assertion still holds.
#include "State/AppState.h"
#include "Core/SleepPreventionService.h"
#include "Services/AudioFeedbackService.h"

namespace torvel {

namespace {
constexpr double kHeartbeatSeconds = 30.0;
constexpr std::int64_t kTickSeconds = 30;

// Whether the closed-lid tick `elapsedSeconds` into the pips sounds one. Reassuring at first, then
// rarer, so a night with the lid closed is not a night of pips: every tick for two minutes, then every
// five minutes up to ten, then every quarter of an hour.
bool pipsAt(std::int64_t elapsedSeconds, bool decay) {
    if (!decay || elapsedSeconds <= 120) return true;
    if (elapsedSeconds <= 600) return elapsedSeconds % 300 == 0;
    return elapsedSeconds % 900 == 0;
}
}  // namespace

void AppState::startHeartbeat() {
    if (heartbeatTimer_) return;
    heartbeatPipTickIndex_ = 0;
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
    // follow the system's change signals), so this tick never waits for another process.
    if (batteryStateRefresher_) {
        batteryStateRefresher_();
    } else {
        reevaluateState();
    }
    // The pip tells someone near a closed machine that it is still awake.
    if (!isActive_ || !settings_.heartbeatPipEnabled || !monitors_.isLidClosed) {
        heartbeatPipTickIndex_ = 0;
        return;
    }
    if (pipsAt(heartbeatPipTickIndex_ * kTickSeconds, settings_.heartbeatPipDecayEnabled) && services_.audio)
        services_.audio->play(AudioFeedbackService::kPipSound, settings_.heartbeatPipVolume);
    ++heartbeatPipTickIndex_;
}

}  // namespace torvel
