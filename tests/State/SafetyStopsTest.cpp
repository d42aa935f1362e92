#include <gtest/gtest.h>

#include "AppStateHarness.h"
#include "Monitors/BatteryMonitor.h"
#include "Platform/Sim/SimPowerSources.h"

namespace torvel {
namespace {

using R = ActivationReason;

BatteryState battery(std::int64_t percent, bool onAC) {
    return {percent, onAC, false, true, std::nullopt};
}

TEST(SafetyStops, SoftLimitSuspendsTheSessionOnceAndTheChargerResumesIt) {
    AppStateHarness h;
    h.state->handleBatteryStateChanged(battery(25, false));
    h.state->activate(Duration::preset(Duration::Kind::oneHour));
    h.scheduler.advance(600);
    for (std::int64_t percent = 24; percent >= 15; --percent) {
        h.state->handleBatteryStateChanged(battery(percent, false));
    }
    EXPECT_FALSE(h.state->isActive());
    EXPECT_TRUE(h.held().empty());
    EXPECT_FALSE(h.timer.isRunning());
    EXPECT_FALSE(h.sessions.loadActiveSession());
    ASSERT_EQ(h.notificationIDs(), std::vector<std::string>{"battery-soft-limit"});
    EXPECT_EQ(h.lastNotification().body, "Stopped at 20%");

    // Later stops while nothing runs neither save nor tell anything.
    h.scheduler.advance(300);
    h.state->handleBatteryStateChanged(battery(8, false));
    EXPECT_EQ(h.notificationIDs().size(), 1u);
    const auto suspended = h.sessions.loadSuspendedSession();
    ASSERT_TRUE(suspended);
    EXPECT_EQ(suspended->reasons, std::vector<R>{R::timer});
    EXPECT_EQ(suspended->duration, Duration::custom(3000));

    h.state->handleBatteryStateChanged(battery(8, true));  // the suspended record ages like a saved one
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::timer});
    EXPECT_NEAR(h.timer.remainingSeconds(), 2700, 1);
    EXPECT_EQ(h.notificationIDs().back(), "battery-resumed");
    EXPECT_FALSE(h.sessions.loadSuspendedSession());
}

TEST(SafetyStops, APendingRequestIsSuspendedAndWithoutResumeOnChargerOnlyTheAutomaticReasonsReturn) {
    AppStateHarness h;
    h.state->set(&SettingsValues::resumeOnCharger, false);
    h.state->set(&SettingsValues::autoActivateOnMirroring, true);
    h.state->handleBatteryStateChanged(battery(30, false));
    h.assertions.failNextCreate(-1);
    h.state->activate(Duration::preset(Duration::Kind::oneHour));
    ASSERT_TRUE(h.state->isRequestPending());
    h.state->handleBatteryStateChanged(battery(15, false));
    EXPECT_FALSE(h.state->isRequestPending());
    EXPECT_FALSE(h.timer.isRunning());
    EXPECT_TRUE(h.sessions.loadSuspendedSession());
    EXPECT_EQ(h.notificationIDs().back(), "battery-soft-limit");
    h.state->updateMonitorValues([](MonitorValues& m) { m.isMirroring = true; });
    EXPECT_FALSE(h.state->isActive());  // the stop also holds the automatic reasons back

    // The charger does not bring the session back behind the user's back; the automatic reasons return.
    h.state->handleBatteryStateChanged(battery(40, true));
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::mirroring});
    EXPECT_FALSE(h.timer.isRunning());
    EXPECT_TRUE(h.sessions.loadSuspendedSession());
    EXPECT_NE(h.notificationIDs().back(), "battery-resumed");
}

TEST(SafetyStops, AnExpiredSuspendedSessionDoesNotClaimToResume) {
    AppStateHarness h;
    h.state->handleBatteryStateChanged(battery(50, false));
    h.state->activate(Duration::custom(120));
    h.state->handleBatteryStateChanged(battery(15, false));
    ASSERT_TRUE(h.sessions.loadSuspendedSession());
    h.clock.advance(600);  // longer than what was left

    h.state->handleBatteryStateChanged(battery(15, true));
    EXPECT_FALSE(h.state->isActive());
    EXPECT_FALSE(h.sessions.loadSuspendedSession());
    EXPECT_EQ(h.notificationIDs(), std::vector<std::string>{"battery-soft-limit"});
}

TEST(SafetyStops, GuardianRemindsOnTimeAndFollowsItsButtons) {
    AppStateHarness h;
    h.state->set(&SettingsValues::guardianHours, std::int64_t{2});
    h.state->toggle();
    h.scheduler.advance(2 * 3600 - 1);  // heartbeat re-evaluations every 30 s in between
    EXPECT_TRUE(h.notificationIDs().empty());
    h.scheduler.advance(1);
    ASSERT_EQ(h.notificationIDs(), std::vector<std::string>{"guardian-reminder"});
    EXPECT_EQ(h.lastNotification().body, "Awake for 2 h");
    EXPECT_EQ(h.lastNotification().categoryIdentifier, "GUARDIAN_REMINDER");
    h.scheduler.advance(3600);
    ASSERT_EQ(h.lastNotification().body, "Awake for 3 h");

    h.center.respond("guardian-reminder", "GUARDIAN_CONTINUE");
    h.scheduler.runPending();
    h.scheduler.advance(2 * 3600);
    EXPECT_EQ(h.lastNotification().body, "Awake for 2 h");  // counted from the continue

    h.center.respond("guardian-reminder", "GUARDIAN_DEACTIVATE");
    h.scheduler.runPending();
    EXPECT_FALSE(h.state->isActive());
    const auto count = h.notificationIDs().size();
    h.scheduler.advance(5 * 3600);
    EXPECT_EQ(h.notificationIDs().size(), count);
}

TEST(SafetyStops, OutOfRangeGuardianHoursAreClampedAndLoggedOnce) {
    AppStateHarness h;
    h.defaults.set("guardianHours", std::int64_t{9'000'000'000'000'000'000});
    h.start();
    h.state->toggle();
    h.state->toggle();
    h.state->toggle();
    int logged = 0;
    for (const char* category : {"AppState", "Settings"}) {
        for (const auto& line : h.log.messages(category))
            logged += line.find("guardianHours") != std::string::npos;
    }
    EXPECT_EQ(logged, 1);
    h.scheduler.advance(24 * 3600);
    EXPECT_EQ(h.notificationIDs(), std::vector<std::string>{"guardian-reminder"});
}

TEST(SafetyStops, DischargeForecastWarnsOncePerSessionBeforeTheLimit) {
    AppStateHarness h;
    SimPowerSources sources(h.scheduler);
    BatteryMonitor monitor(sources, h.clock, h.log);
    auto connection = monitor.stateChanged.connect(
        [&](const BatteryState& state) { h.state->handleBatteryStateChanged(state); });
    monitor.startMonitoring();
    h.state->safety().attachBatteryMonitor(monitor);

    sources.setOnAC(false);
    sources.setBatteryPercent(40);
    sources.emitChange();
    h.scheduler.runPending();
    h.state->toggle();
    // One percent every three minutes: 15 minutes before 20 % is reached at about 25 %. The heartbeat's
    // readings in between make the forecast step, so the exact moment may move by a percent.
    std::int64_t warnedAt = -1;
    for (int percent = 39; percent >= 21; --percent) {
        h.scheduler.advance(180);  // the heartbeat refreshes the battery in between
        sources.setBatteryPercent(percent);
        sources.emitChange();
        h.scheduler.runPending();
        if (warnedAt < 0 && !h.notificationIDs().empty()) warnedAt = percent;
    }
    EXPECT_GE(warnedAt, 24);
    EXPECT_LE(warnedAt, 26);
    EXPECT_EQ(h.notificationIDs(), std::vector<std::string>{"battery-predictive"});
    EXPECT_TRUE(h.lastNotification().body.starts_with("20% in 1")) << h.lastNotification().body;

    h.state->toggle();
    h.state->toggle();  // a new session may warn again
    h.state->reevaluateState();
    EXPECT_EQ(h.notificationIDs(), (std::vector<std::string>{"battery-predictive", "battery-predictive"}));
}

}  // namespace
}  // namespace torvel
