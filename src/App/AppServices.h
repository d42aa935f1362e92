#pragma once

#include "Core/SleepPreventionService.h"
#include "Core/TimerManager.h"
#include "Monitors/SleepBlockerMonitor.h"
#include "Services/AudioFeedbackService.h"
#include "Services/DefaultsSessionPersistence.h"
#include "Services/EmergencySleepService.h"
#include "Services/GuardianService.h"
#include "Services/LoginItemService.h"
#include "Services/LowPowerModeController.h"
#include "Services/NotificationService.h"
#include "Services/StayguardService.h"
#include "State/AppState.h"

namespace torvel {

struct MachineParts;

/// The services the application state is built on, over the machine's parts. Each member holds
/// references into the ones declared before it, so it is built after them and ends before them.
struct AppServices {
    AppServices(MachineParts& machine, Clock& clock, Scheduler& scheduler, Localization& texts,
                DefaultsStore& defaults, LogSink& log);
    AppServices(const AppServices&) = delete;
    AppServices& operator=(const AppServices&) = delete;

    /// What AppState is built on: these services and the basics they were given.
    AppStateServices forState();

    Clock& clock;
    Scheduler& scheduler;
    Localization& texts;
    DefaultsStore& defaults;
    LogSink& log;
    SleepPreventionService sleepPrevention;
    TimerManager timer;
    NotificationService notifications;
    DefaultsSessionPersistence sessions;
    GuardianService guardian;
    AudioFeedbackService audio;
    StayguardService stayguard;
    LowPowerModeController lowPowerController;
    // The low-battery emergency's census and sleep. The state's worker thread uses them until the
    // state is gone, so they live here, below it.
    SleepBlockerMonitor blockers;
    EmergencySleepService emergencySleep;
    /// Starting Torvel at login, for the settings window.
    LoginItemService loginItems;
    StayguardHelper& stayguardHelper;
};

}  // namespace torvel
