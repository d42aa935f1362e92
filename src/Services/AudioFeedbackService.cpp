#include "Services/AudioFeedbackService.h"

namespace torvel {

double AudioFeedbackService::clampVolume(double volume) {
    if (!(volume > 0.0)) return 0.0;
    return volume > 1.0 ? 1.0 : volume;
}

void AudioFeedbackService::play(const std::string& name, double volume) {
    if (!sounds_.has(name)) {
        log_.error("No sound named {}", name);
        return;
    }
    const double clamped = clampVolume(volume);
    const bool ok = sounds_.play(name, clamped);
    log_.info("AudioFeedback: {} vol={:f} ok={}", name, clamped, ok);
}

bool AudioFeedbackService::startEmergencyAlarm(double volume) {
    if (alarmPlaying_) return true;
    if (!sounds_.has(kAlarmSound)) {
        log_.error("No sound named {} — no alarm", kAlarmSound);
        return false;
    }
    const double clamped = clampVolume(volume);
    alarmPlaying_ = sounds_.startLoop(kAlarmSound, clamped);
    log_.error("Emergency alarm: {} vol={:f} ok={}", kAlarmSound, clamped, alarmPlaying_);
    return alarmPlaying_;
}

void AudioFeedbackService::stopEmergencyAlarm() {
    if (!alarmPlaying_) return;
    alarmPlaying_ = false;
    sounds_.stopLoop();
    log_.info("Emergency alarm stopped");
}

}  // namespace torvel
