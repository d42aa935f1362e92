#include <gtest/gtest.h>

#include "AppStateHarness.h"

namespace torvel {
namespace {

using R = ActivationReason;

TEST(AppStateActivation, ToggleStartsAndEndsAManualSession) {
    AppStateHarness h;
    h.state->toggle();
    EXPECT_TRUE(h.state->isActive());
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::manual});
    EXPECT_EQ(h.held(), std::vector<std::string>{"PreventUserIdleSystemSleep"});
    EXPECT_EQ(h.assertions.heldKeepAwake().at(0).name, "Torvel prevents sleep");
    auto saved = h.sessions.loadActiveSession();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->reasons, std::vector<R>{R::manual});
    EXPECT_FALSE(saved->duration);
    EXPECT_TRUE(h.guardian.isWatching());
    EXPECT_TRUE(h.state->safety().isHeartbeatRunning());

    h.state->toggle();
    EXPECT_FALSE(h.state->isActive());
    EXPECT_FALSE(h.state->currentAssertionType());
    EXPECT_TRUE(h.held().empty());
    EXPECT_FALSE(h.sessions.loadActiveSession());
    EXPECT_FALSE(h.guardian.isWatching());
    EXPECT_FALSE(h.state->safety().isHeartbeatRunning());
}

TEST(AppStateActivation, ToggleDuringAutomaticActivityPausesItForAnHour) {
    AppStateHarness h;
    h.state->set(&SettingsValues::autoActivateOnExternalDisplay, true);
    h.state->updateMonitorValues([](MonitorValues& m) { m.hasExternalDisplay = true; });
    ASSERT_EQ(h.held(), std::vector<std::string>{"NoDisplaySleepAssertion"});

    h.state->toggle();
    EXPECT_FALSE(h.state->isActive());
    EXPECT_FALSE(h.state->isManuallyActivated());
    ASSERT_TRUE(h.state->automationPause().pausedUntil());
    EXPECT_EQ(*h.state->automationPause().pausedUntil(), h.clock.now().addingSeconds(3600));

    h.scheduler.advance(3599);
    EXPECT_FALSE(h.state->isActive());
    h.scheduler.advance(1);  // the pause ends by itself, with no other event
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::externalDisplay});
    EXPECT_FALSE(h.state->automationPause().pausedUntil());
}

TEST(AppStateActivation, ToggleDuringACountdownEndsOnlyTheUserActivity) {
    AppStateHarness h;
    h.state->set(&SettingsValues::autoActivateOnMirroring, true);
    h.state->updateMonitorValues([](MonitorValues& m) { m.isMirroring = true; });
    h.state->activate(Duration::preset(Duration::Kind::oneHour));
    EXPECT_EQ(h.state->activeReasons(), (ReasonSet{R::timer, R::mirroring}));

    h.state->toggle();
    EXPECT_FALSE(h.timer.isRunning());
    EXPECT_FALSE(h.state->automationPause().pausedUntil());
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::mirroring});
    EXPECT_EQ(h.held(), std::vector<std::string>{"NoDisplaySleepAssertion"});
}

TEST(AppStateActivation, BatteryBelowTheLimitRefusesWithoutChangingAnything) {
    AppStateHarness h;
    h.state->automationPause().pause(AutomationPause::Mode::indefinitely);
    h.onBattery(25);
    h.state->set(&SettingsValues::batteryLimitPercent, 30);  // stops nothing: idle

    h.state->toggle();
    h.state->activate(Duration::preset(Duration::Kind::oneHour));
    EXPECT_FALSE(h.state->isActive());
    EXPECT_FALSE(h.timer.isRunning());
    EXPECT_EQ(h.state->automationPause().pausedUntil(), Date::distantFuture());
    EXPECT_EQ(h.assertions.createCount(), 0);
    ASSERT_EQ(h.notificationIDs(), (std::vector<std::string>{"battery-denied", "battery-denied"}));
    EXPECT_EQ(h.lastNotification().body, "Battery below 30%");

    // On the charger the same click starts a session (and ends the indefinite pause).
    h.state->updateMonitorValues([](MonitorValues& m) { m.batteryState.isOnACPower = true; });
    h.state->toggle();
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::manual});
    EXPECT_FALSE(h.state->automationPause().pausedUntil());
}

TEST(AppStateActivation, CountdownEndsTheSessionAndTellsTheUser) {
    AppStateHarness h;
    h.state->activate(Duration::preset(Duration::Kind::fifteenMinutes));
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::timer});
    ASSERT_TRUE(h.sessions.loadActiveSession()->duration);
    EXPECT_EQ(*h.sessions.loadActiveSession()->duration, Duration::custom(900));
    EXPECT_FALSE(h.guardian.isWatching());  // a timed session needs no reminder

    h.scheduler.advance(899);
    EXPECT_TRUE(h.state->isActive());
    h.scheduler.advance(1);
    EXPECT_FALSE(h.state->isActive());
    EXPECT_TRUE(h.held().empty());
    EXPECT_EQ(h.notificationIDs(), std::vector<std::string>{"timer-expired"});

    // With another reason still holding, the end is only "finished".
    h.state->set(&SettingsValues::autoActivateOnMirroring, true);
    h.state->updateMonitorValues([](MonitorValues& m) { m.isMirroring = true; });
    h.state->activate(Duration::custom(60));
    h.scheduler.advance(60);
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::mirroring});
    EXPECT_EQ(h.notificationIDs().back(), "timer-finished");
}

TEST(AppStateActivation, IndefiniteActivationReplacesTheCountdown) {
    AppStateHarness h;
    h.state->activate(Duration::preset(Duration::Kind::oneHour));
    h.state->activate(Duration::indefinite());
    EXPECT_FALSE(h.timer.isRunning());
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::manual});
    h.scheduler.advance(2 * 3600);
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::manual});
    EXPECT_TRUE(h.notificationIDs().empty());
}

TEST(AppStateActivation, DeactivateAllLeavesAutomaticReasonsAndClearsBothSessions) {
    AppStateHarness h;
    h.state->set(&SettingsValues::trustedNetworkActivationEnabled, true);
    EXPECT_TRUE(h.state->trustedNetworks().addTrustedSSID("Office"));
    EXPECT_FALSE(h.state->trustedNetworks().addTrustedSSID("Office"));
    h.state->activate(Duration::preset(Duration::Kind::twoHours));
    h.state->updateMonitorValues([](MonitorValues& m) {
        m.isWiFiConnected = true;
        m.currentSSID = "Office";
    });
    h.sessions.saveSuspendedSession(SavedSession{});

    h.state->deactivateAll();
    EXPECT_FALSE(h.timer.isRunning());
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::trustedNetwork});
    EXPECT_EQ(h.held(), std::vector<std::string>{"PreventSystemSleep"});
    EXPECT_FALSE(h.sessions.loadSuspendedSession());
    // The trusted network's session is rewritten as the active one.
    EXPECT_EQ(h.sessions.loadActiveSession()->reasons, std::vector<R>{R::trustedNetwork});
}

}  // namespace
}  // namespace torvel
