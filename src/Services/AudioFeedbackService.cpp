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
    sounds_.play(name, clamped, lifetime_.guard([this, name, clamped](bool heard) {
        if (heard) {
            log_.info("AudioFeedback: {} vol={:f} heard", name, clamped);
        } else {
            log_.error("AudioFeedback: {} vol={:f} could not play", name, clamped);
        }
    }));
}

bool AudioFeedbackService::startEmergencyAlarm(double volume, AlarmOutcome outcome) {
    if (alarm_ != Alarm::off) return true;
    if (!sounds_.has(kAlarmSound)) {
        log_.error("No sound named {} — no alarm", kAlarmSound);
        return false;
    }
    const double clamped = clampVolume(volume);
    alarm_ = Alarm::starting;
    const std::uint64_t attempt = ++alarmAttempt_;
    sounds_.startLoop(kAlarmSound, clamped,
                      lifetime_.guard([this, attempt, clamped, outcome = std::move(outcome)](bool heard) {
                          if (attempt == alarmAttempt_) handleAlarmOutcome(heard, clamped, outcome);
                      }));
    return true;
}

void AudioFeedbackService::handleAlarmOutcome(bool heard, double volume, const AlarmOutcome& outcome) {
    if (heard) {
        alarm_ = Alarm::sounding;
        log_.error("Emergency alarm: {} vol={:f} sounding", kAlarmSound, volume);
    } else {
        const bool brokeOff = alarm_ == Alarm::sounding;
        alarm_ = Alarm::off;
        ++alarmAttempt_;
        if (brokeOff) {
            log_.error("Emergency alarm: {} broke off — the sound server let it go", kAlarmSound);
        } else {
            log_.error("Emergency alarm: {} vol={:f} could not sound", kAlarmSound, volume);
        }
    }
    if (outcome) outcome(heard);
}

void AudioFeedbackService::stopEmergencyAlarm() {
    if (alarm_ == Alarm::off) return;
    alarm_ = Alarm::off;
    ++alarmAttempt_;
    sounds_.stopLoop();
    log_.info("Emergency alarm stopped");
}

}  // namespace torvel
