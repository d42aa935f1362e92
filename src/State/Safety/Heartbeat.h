#pragma once

#include <cstdint>
#include <functional>

#include "Platform/Log.h"
#include "Platform/Scheduler.h"

namespace torvel {

class AudioFeedbackService;
class SessionControl;
class SleepPreventionProtocol;

/// While the computer is kept awake, every 30 s: a fresh heat and battery reading (the battery's
/// re-evaluates, so the limits are checked and an assertion the system dropped is taken again), and with the lid closed a
/// pip that tells someone near the machine it is still awake. Main thread only.
class Heartbeat {
public:
    /// `readBattery` takes the tick's readings: the heat while the kill switch needs it, then the
    /// battery (or a re-evaluation where there is no battery monitor).
    Heartbeat(SessionControl& session, Scheduler& scheduler, SleepPreventionProtocol& sleepPrevention,
              AudioFeedbackService* audio, LogSink& log, std::function<void()> readBattery);
    Heartbeat(const Heartbeat&) = delete;
    Heartbeat& operator=(const Heartbeat&) = delete;

    /// Starts the ticks; nothing when they run already.
    void start();
    /// Stops them; allowed from inside a tick.
    void stop();
    bool isRunning() const { return timer_ != nullptr; }

private:
    void tick();

    SessionControl& session_;
    Scheduler& scheduler_;
    SleepPreventionProtocol& sleepPrevention_;
    AudioFeedbackService* audio_;
    Logger log_;
    std::function<void()> readBattery_;
    Timer timer_;
    /// Closed-lid ticks since the pips (re)started; the pips thin out as it grows.
    std::int64_t pipTickIndex_ = 0;
};

}  // namespace torvel
