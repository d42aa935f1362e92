// The heartbeat: while the computer is kept awake, re-check every 30 s that the assertion still holds.
#include "State/Safety/Heartbeat.h"

#include <utility>

#include "Core/SleepPreventionService.h"
#include "Services/AudioFeedbackService.h"
#include "State/SessionControl.h"

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

Heartbeat::Heartbeat(SessionControl& session, Scheduler& scheduler, SleepPreventionProtocol& sleepPrevention,
                     AudioFeedbackService* audio, LogSink& log, std::function<void()> readBattery)
    : session_(session),
      scheduler_(scheduler),
      sleepPrevention_(sleepPrevention),
      audio_(audio),
      log_(log, "AppState"),
      readBattery_(std::move(readBattery)) {}

void Heartbeat::start() {
    if (timer_) return;
    pipTickIndex_ = 0;
    timer_ = scheduler_.every(kHeartbeatSeconds, [this] { tick(); });
    log_.info("Heartbeat watchdog started (every {}s)", static_cast<long>(kHeartbeatSeconds));
}

void Heartbeat::stop() {
    if (!timer_) return;
    timer_.reset();
    log_.info("Heartbeat watchdog stopped");
}

void Heartbeat::tick() {
    if (!session_.isActive() || !session_.currentAssertionType()) {
        stop();
        return;
    }
    const auto& battery = session_.monitorValues().batteryState;
    log_.info("Heartbeat: tick — battery={}% ac={} assertionAlive={}", battery.percentage,
              battery.isOnACPower, sleepPrevention_.isAssertionAlive());
    // A fresh battery reading re-evaluates through the battery handling, which also re-creates an
    // assertion the system dropped. The reading comes from what the power sources already know (they
    // follow the system's change signals), so this tick never waits for another process.
    readBattery_();
    // The pip tells someone near a closed machine that it is still awake.
    const SettingsValues& settings = session_.settings();
    if (!session_.isActive() || !settings.heartbeatPipEnabled || !session_.monitorValues().isLidClosed) {
        pipTickIndex_ = 0;
        return;
    }
    if (pipsAt(pipTickIndex_ * kTickSeconds, settings.heartbeatPipDecayEnabled) && audio_)
        audio_->play(AudioFeedbackService::kPipSound, settings.heartbeatPipVolume);
    ++pipTickIndex_;
}

}  // namespace torvel
