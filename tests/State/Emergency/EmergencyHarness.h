#pragma once

#include <memory>
#include <string>

#include "State/AppStateHarness.h"
#include "State/Emergency/LowBatteryEmergency.h"
#include "Core/EmergencyWorkRunner.h"
#include "Monitors/SleepBlockerMonitor.h"
#include "Platform/Sim/SimStayguardHelper.h"
#include "Platform/Sim/SimProcessControl.h"
#include "Platform/Sim/SimSessionAutomation.h"
#include "Platform/Sim/SimSleepBlockers.h"
#include "Platform/Sim/SimSounds.h"
#include "Services/AudioFeedbackService.h"
#include "Services/EmergencySleepService.h"
#include "Services/StayguardService.h"

namespace torvel {

/// The application state with the emergency's census, sleep service and alarm on the simulated machine.
struct EmergencyHarness {
    static constexpr std::int32_t kOwnPID = 100;
    static constexpr std::uint32_t kOwnUID = 1000;

    AppStateHarness h;
    SimSounds sounds{h.scheduler};
    AudioFeedbackService audio{sounds, h.log};
    SimAssertionTable table;
    SimProcessInfo processInfo;
    SimProcessControl control;
    SimSessionAutomation automation;
    SimStayguardHelper power{h.scheduler};
    StayguardService stayguard{power, h.log};
    SleepBlockerMonitor monitor{table, processInfo, h.log, kOwnPID, kOwnUID};
    EmergencySleepService sleep;
    std::shared_ptr<EmergencyWorkRunner> work;

    /// `realAutomation` and `realPower` put real adapters in place of the simulated ones.
    explicit EmergencyHarness(std::shared_ptr<EmergencyWorkRunner> runner = EmergencyWorkRunner::immediate(),
                              bool withStayguard = false, SessionAutomation* realAutomation = nullptr,
                              StayguardHelper* realPower = nullptr)
        : sleep(realAutomation ? *realAutomation : automation, control, h.clock, h.scheduler, h.log, kOwnUID,
                timing()),
          work(std::move(runner)) {
        automation.setStatuses({PermissionStatus::granted});
        h.state = std::make_unique<AppState>(
            AppStateServices{h.clock, h.scheduler, h.log, h.texts, h.defaults, h.sleepPrevention, h.timer,
                             h.notifications, h.sessions, h.guardian, &audio,
                             withStayguard ? &stayguard : nullptr, nullptr, work,
                             realPower ? realPower : &power},
            Calendar::utc());
        h.state->emergency().attach(&monitor, &sleep);
    }
    EmergencySleepTiming timing() {
        EmergencySleepTiming t;
        t.pause = [this](double seconds) { h.clock.advance(seconds); };
        return t;
    }
    AppState& state() { return *h.state; }
    LowBatteryEmergency& emergency() { return h.state->emergency(); }
    double now() const { return h.clock.suspendingNow(); }
    /// A blocking lock held by process `pid` of the user.
    void addBlocker(std::int32_t pid, const std::string& name) {
        processInfo.addProcess(pid, name, kOwnUID, name);
        control.addProcess(pid, name, kOwnUID);
        auto records = table.read().value_or(std::vector<AssertionRecord>{});
        records.push_back(AssertionRecord{pid, BlockerKind::systemSleep, true, "busy"});
        table.setRecords(records);
    }
    void battery(std::int64_t percent, bool onAC = false) {
        state().handleBatteryStateChanged(BatteryState{percent, onAC, false, true, std::nullopt});
        h.scheduler.runPending();  // the veto's answer
    }
    void thresholds(std::int64_t forceSleep, std::int64_t terminate) {
        state().set(&SettingsValues::emergencyForceSleepPercent, forceSleep);
        state().set(&SettingsValues::emergencyTerminateBlockersPercent, terminate);
    }
    /// Runs every step the deferred worker holds, with what each posts back to the main loop.
    void runHeldWork() {
        while (work->runHeldStep()) h.scheduler.runPending();
    }
    bool logged(std::string_view text) const { return h.log.contains("AppState", text); }
};

}  // namespace torvel
