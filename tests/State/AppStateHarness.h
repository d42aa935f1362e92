#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "State/AppState.h"
#include "Support/Localization.h"
#include "Core/SleepPreventionService.h"
#include "Core/TimerManager.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/MemoryDefaultsStore.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimNotificationCenter.h"
#include "Platform/Sim/SimPowerAssertions.h"
#include "Platform/Sim/VirtualScheduler.h"
#include "Services/GuardianService.h"
#include "Services/NotificationService.h"
#include "Services/DefaultsSessionPersistence.h"

namespace torvel {

/// An application state on the simulated machine, with every service real but the platform.
struct AppStateHarness {
    SimClock clock{Date(818035200.0)};  // 2026-12-06 00:00 UTC
    VirtualScheduler scheduler{clock};
    SimPowerAssertions assertions;
    CapturingLogSink log;
    Localization texts{log};
    MemoryDefaultsStore defaults;
    SleepPreventionService sleepPrevention{assertions, scheduler, log};
    TimerManager timer{clock, scheduler};
    SimNotificationCenter center{scheduler};
    NotificationService notifications{center, scheduler, texts, log};
    DefaultsSessionPersistence sessions{defaults, clock, log};
    GuardianService guardian{clock, scheduler};
    std::unique_ptr<AppState> state;
    Calendar calendar_;

    explicit AppStateHarness(Calendar calendar = Calendar::utc()) : calendar_(std::move(calendar)) {
        notifications.setup();
        scheduler.runPending();  // permission granted
        start();
    }

    /// Builds the application state from what the defaults store holds now (again, for a restart).
    void start() {
        state.reset();
        state = std::make_unique<AppState>(
            AppStateServices{clock, scheduler, log, texts, defaults, sleepPrevention, timer, notifications,
                             sessions, guardian},
            calendar_);
        texts.setTable({{"notification.battery_denied", "Battery below %ld%%"},
                        {"notification.battery_soft_limit", "Stopped at %ld%%"},
                        {"notification.battery_hard_limit", "Stopped at 10%%"},
                        {"notification.predictive_warning", "%ld%% in %ld min"},
                        {"notification.timer_expired", "Timer expired"},
                        {"notification.timer_finished", "Timer finished"},
                        {"notification.assertion_failure", "Could not keep awake"},
                        {"notification.guardian_reminder", "Awake for %ld h"},
                        {"error.assertion_failed", "Assertion failed (%ld)"},
                        {"error.screensaver_failed", "Screen saver failed (%ld)"}});
    }

    /// A launch after a quit or a crash: a new state from the stored settings, then the saved session.
    void relaunch() {
        start();
        if (auto saved = sessions.loadActiveSession()) state->restoreSession(*saved);
    }

    /// Keep-awake assertion types held on the machine now.
    std::vector<std::string> held() const {
        std::vector<std::string> out;
        for (const auto& a : assertions.heldKeepAwake()) out.push_back(a.platformType);
        return out;
    }
    /// Identifiers of the notifications posted, in order.
    std::vector<std::string> notificationIDs() const {
        std::vector<std::string> out;
        for (const auto& n : center.requests()) out.push_back(n.identifier);
        return out;
    }
    const NotificationRequest& lastNotification() const { return center.requests().back(); }
    std::vector<std::string> stateLines() const {
        auto lines = log.messages("AppState");
        std::erase_if(lines, [](const std::string& l) { return l.rfind("AppState: ", 0) != 0; });
        return lines;
    }
    void onBattery(std::int64_t percent) {
        state->updateMonitorValues([percent](MonitorValues& m) {
            m.batteryState = BatteryState{percent, false, false, true, std::nullopt};
        });
    }
};

}  // namespace torvel
