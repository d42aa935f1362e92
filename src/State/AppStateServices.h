#pragma once

#include <memory>

#include "Platform/Clock.h"
#include "Platform/Log.h"
#include "Platform/Scheduler.h"

namespace torvel {

class AudioFeedbackService;
class DefaultsStore;
class EmergencyWorkRunner;
class GuardianService;
class Localization;
class LowPowerModeController;
class NotificationService;
class StayguardHelper;
class SessionPersistence;
class SleepPreventionProtocol;
class StayguardServiceProtocol;
class TimerManager;

/// What AppState is built on. Everything is owned elsewhere and outlives the state.
struct AppStateServices {
    Clock& clock;
    Scheduler& scheduler;
    LogSink& log;
    Localization& texts;
    DefaultsStore& defaults;
    SleepPreventionProtocol& sleepPrevention;
    TimerManager& timerManager;
    NotificationService& notifications;
    SessionPersistence& sessions;
    GuardianService& guardian;
    /// The lid-close sound and the heartbeat's pip; absent: silence.
    AudioFeedbackService* audio = nullptr;
    /// Absent until the Stayguard helper is wired in.
    StayguardServiceProtocol* stayguard = nullptr;
    /// Absent without the helper: the power saver is then left alone.
    LowPowerModeController* lowPowerMode = nullptr;
    /// Where the low-battery emergency's blocking reads run; absent: a worker thread of its own.
    std::shared_ptr<EmergencyWorkRunner> emergencyWork = nullptr;
    /// Tells whether a suspend would be refused before one is sent; absent: never known.
    StayguardHelper* stayguardHelper = nullptr;
};

}  // namespace torvel
