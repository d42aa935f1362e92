#pragma once

#include <string>

#include "Platform/Log.h"
#include "Platform/Sounds.h"

namespace torvel {

/// Plays Torvel's sounds at a volume: the lid-close sound, the heartbeat's pip and the looping
/// emergency alarm. Main thread only; the sounds themselves play without blocking it.
class AudioFeedbackService {
public:
    static constexpr const char* kLidCloseSound = "Submarine";
    static constexpr const char* kPipSound = "Pop";
    static constexpr const char* kAlarmSound = "Sosumi";

    AudioFeedbackService(Sounds& sounds, LogSink& log) : sounds_(sounds), log_(log, "AudioFeedback") {}

    /// Plays `name` once at `volume`, clamped to 0 to 1; a missing sound is logged and skipped.
    void play(const std::string& name, double volume);
    /// Starts the looping alarm at `volume` (clamped). True when it plays (also when it already did);
    /// false when the sound is missing or could not start, so the caller knows no alarm sounds.
    bool startEmergencyAlarm(double volume);
    /// Stops the alarm; nothing (not even a log line) when none plays.
    void stopEmergencyAlarm();
    /// Whether the alarm plays.
    bool isAlarmPlaying() const { return alarmPlaying_; }

    /// `volume` within 0 to 1; NaN, which no comparison catches, becomes silence.
    static double clampVolume(double volume);

private:
    Sounds& sounds_;
    Logger log_;
    bool alarmPlaying_ = false;
};

}  // namespace torvel
