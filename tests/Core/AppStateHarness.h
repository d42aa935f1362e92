#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Core/AppState.h"
#include "Core/Localization.h"
#include "Core/SleepPreventionService.h"
#include "Core/TimerManager.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimPowerAssertions.h"
#include "Platform/Sim/VirtualScheduler.h"
#include "Services/GuardianService.h"
#include "Services/NotificationService.h"
#include "Services/SessionPersistence.h"

namespace torvel {

/// Default settings with some changed.
template <typename Change>
SettingsValues settingsWith(Change change) {
    SettingsValues settings;
    change(settings);
    return settings;
}

/// An application state on the simulated machine, with every service real but the platform.
struct AppStateHarness {
    SimClock clock{Date(818035200.0)};  // 2026-12-06 00:00 UTC
    VirtualScheduler scheduler{clock};
    SimPowerAssertions assertions;
    CapturingLogSink log;
    Localization texts{log};
    SleepPreventionService sleepPrevention{assertions, scheduler, log};
    TimerManager timer{clock, scheduler};
    NotificationService notifications{log};
    MemorySessionPersistence sessions;
    GuardianService guardian{clock, scheduler};
    std::unique_ptr<AppState> state;

    explicit AppStateHarness(SettingsValues settings = {}, Calendar calendar = Calendar::utc()) {
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
        state = std::make_unique<AppState>(
            AppStateServices{clock, scheduler, log, texts, sleepPrevention, timer, notifications, sessions, guardian},
            settings, std::move(calendar));
    }

    /// Keep-awake assertion types held on the machine now.
    std::vector<std::string> held() const {
        std::vector<std::string> out;
        for (const auto& a : assertions.heldKeepAwake()) out.push_back(a.platformType);
        return out;
    }
    std::vector<std::string> notificationIDs() const {
        std::vector<std::string> out;
        for (const auto& n : notifications.recent()) out.push_back(n.id);
        return out;
    }
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
