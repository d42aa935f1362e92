#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Platform/Log.h"
#include "Platform/Sounds.h"
#include "Support/Lifetime.h"

namespace torvel {

/// Plays Torvel's sounds at a volume: the lid-close sound, the heartbeat's pip and the looping
/// emergency alarm. Whether a sound was heard is logged once the sound server answered, never assumed.
/// Main thread only; the sounds themselves play without blocking it.
class AudioFeedbackService {
public:
    static constexpr const char* kLidCloseSound = "Submarine";
    static constexpr const char* kPipSound = "Pop";
    static constexpr const char* kAlarmSound = "Sosumi";

    /// Told on the main loop whether the alarm sounds: true once it is heard; false when it could not
    /// start or, having sounded, broke off. After a false no alarm plays and a new start may try again.
    using AlarmOutcome = std::function<void(bool sounding)>;

    AudioFeedbackService(Sounds& sounds, LogSink& log) : sounds_(sounds), log_(log, "AudioFeedback") {}

    /// Plays `name` once at `volume`, clamped to 0 to 1, and logs later whether it was heard; a missing
    /// sound is logged and skipped.
    void play(const std::string& name, double volume);
    /// Starts the looping alarm at `volume` (clamped) and returns at once; `outcome` follows. False
    /// when the sound is missing: then nothing follows. While an alarm starts or sounds, nothing
    /// changes, true is returned and only the first start's outcome is told. Nothing is told after
    /// stopEmergencyAlarm().
    bool startEmergencyAlarm(double volume, AlarmOutcome outcome);
    /// Stops the alarm, or the start still waiting for the server; nothing (not even a log line) when
    /// there is neither.
    void stopEmergencyAlarm();
    /// Whether the alarm is heard now.
    bool isAlarmPlaying() const { return alarm_ == Alarm::sounding; }

    /// `volume` within 0 to 1; NaN, which no comparison catches, becomes silence.
    static double clampVolume(double volume);

private:
    enum class Alarm { off, starting, sounding };
    void handleAlarmOutcome(bool heard, double volume, const AlarmOutcome& outcome);

    Sounds& sounds_;
    Logger log_;
    Alarm alarm_ = Alarm::off;
    std::uint64_t alarmAttempt_ = 0;  // what an older alarm's server still tells is dropped
    Lifetime lifetime_;
};

}  // namespace torvel
