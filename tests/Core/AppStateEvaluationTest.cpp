#include <gtest/gtest.h>

#include "AppStateHarness.h"

namespace torvel {
namespace {

using R = ActivationReason;

TEST(AppStateEvaluation, RepeatedEvaluationIsSilentButRepairsTheAssertion) {
    AppStateHarness h;
    h.state->toggle();
    const auto firstID = h.sleepPrevention.assertionID();
    const Date firstSave = h.sessions.loadActiveSession()->timestamp;
    h.log.clear();

    h.clock.advance(5);
    h.state->reevaluateState();
    EXPECT_TRUE(h.stateLines().empty());
    EXPECT_EQ(h.sleepPrevention.assertionID(), firstID);  // a live assertion is left alone
    EXPECT_GT(h.sessions.loadActiveSession()->timestamp, firstSave);

    h.assertions.drop(firstID);  // the system dropped it behind our back
    h.state->reevaluateState();
    EXPECT_NE(h.sleepPrevention.assertionID(), firstID);
    EXPECT_EQ(h.held(), std::vector<std::string>{"PreventUserIdleSystemSleep"});
    EXPECT_TRUE(h.stateLines().empty());
}

TEST(AppStateEvaluation, DisplaySettingSwapsTheHeldAssertionAtOnce) {
    AppStateHarness h;
    h.state->toggle();
    const int creates = h.assertions.createCount();
    h.state->set(&SettingsValues::preventDisplaySleep, true);
    EXPECT_EQ(h.held(), std::vector<std::string>{"NoDisplaySleepAssertion"});
    EXPECT_EQ(h.assertions.createCount(), creates + 1);
    EXPECT_EQ(h.assertions.releaseCount(), 1);
}

TEST(AppStateEvaluation, FailedAssertionTearsTheSessionDownAndRetriesLater) {
    AppStateHarness h;
    h.assertions.failNextCreate(-536870199);
    h.state->toggle();
    EXPECT_FALSE(h.state->isActive());
    EXPECT_TRUE(h.state->activeReasons().empty());
    EXPECT_TRUE(h.held().empty());
    EXPECT_FALSE(h.sessions.loadActiveSession());
    EXPECT_EQ(h.notificationIDs(), std::vector<std::string>{"assertion-failure"});
    EXPECT_TRUE(h.log.contains("AppState", "Sleep prevention start failed: Assertion failed (-536870199)"));
    EXPECT_TRUE(h.state->isManuallyActivated());  // the input stays: the next evaluation tries again

    h.state->reevaluateState();
    EXPECT_TRUE(h.state->isActive());
    EXPECT_EQ(h.held(), std::vector<std::string>{"PreventUserIdleSystemSleep"});
}

TEST(AppStateEvaluation, ScreenSaverFollowsTheSettingOrTheProfileType) {
    AppStateHarness h;
    h.state->set(&SettingsValues::preventScreenSaver, true);
    h.state->toggle();
    EXPECT_TRUE(h.sleepPrevention.isScreenSaverPreventionActive());

    Profile quiet{Uuid::random(), "Quiet", Duration::indefinite(), AssertionType::noIdleSleep, {}, {}};
    Profile show{Uuid::random(), "Show", Duration::indefinite(), AssertionType::noDisplaySleep, {}, {}};
    h.state->setProfiles({quiet, show});
    h.state->activateProfile(quiet);
    EXPECT_FALSE(h.sleepPrevention.isScreenSaverPreventionActive());
    h.state->activateProfile(show);
    EXPECT_TRUE(h.sleepPrevention.isScreenSaverPreventionActive());

    // A failing refresh tells the user once and keeps the session.
    h.assertions.failUserActivity(-1);
    h.scheduler.advance(4);
    EXPECT_TRUE(h.state->isActive());
    EXPECT_FALSE(h.sleepPrevention.isScreenSaverPreventionActive());
    EXPECT_EQ(h.notificationIDs(), std::vector<std::string>{"assertion-failure"});
}

TEST(AppStateEvaluation, DeletedProfileIsClearedByTheNextEvaluation) {
    AppStateHarness h;
    Profile p{Uuid::random(), "Focus", Duration::custom(1800), AssertionType::noSystemSleep, {}, {}};
    h.state->setProfiles({p});
    h.state->activateProfile(p);
    EXPECT_EQ(h.state->activeReasons(), (ReasonSet{R::timer, R::profile}));
    EXPECT_EQ(h.held(), std::vector<std::string>{"PreventSystemSleep"});

    h.state->setProfiles({});
    EXPECT_FALSE(h.state->activeProfileID());
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::timer});
    EXPECT_EQ(h.held(), std::vector<std::string>{"PreventUserIdleSystemSleep"});
}

TEST(AppStateEvaluation, BatterySoftLimitSuspendsTheSessionOnce) {
    AppStateHarness h;
    h.onBattery(50);
    h.state->activate(Duration::preset(Duration::Kind::oneHour));
    h.scheduler.advance(600);

    h.onBattery(15);
    EXPECT_FALSE(h.state->isActive());
    EXPECT_TRUE(h.held().empty());
    EXPECT_FALSE(h.timer.isRunning());
    auto suspended = h.sessions.loadSuspendedSession();
    ASSERT_TRUE(suspended);
    EXPECT_EQ(suspended->reasons, std::vector<R>{R::timer});
    EXPECT_EQ(suspended->duration, Duration::custom(3000));
    EXPECT_FALSE(h.sessions.loadActiveSession());
    ASSERT_EQ(h.notificationIDs(), std::vector<std::string>{"battery-soft-limit"});
    EXPECT_EQ(h.lastNotification().body, "Stopped at 20%");
    EXPECT_TRUE(
        h.log.contains("AppState", "AppState: STOP — battery soft limit (15% < 20%, wasActive=true)"));

    // While the cause holds, each evaluation repeats the stop without saving or telling anything.
    h.state->reevaluateState();
    EXPECT_TRUE(
        h.log.contains("AppState", "AppState: STOP — battery soft limit (15% < 20%, wasActive=false)"));
    EXPECT_EQ(h.notificationIDs().size(), 1u);
    EXPECT_EQ(h.sessions.loadSuspendedSession()->duration, Duration::custom(3000));

    h.onBattery(8);  // below the floor, whatever the settings
    EXPECT_TRUE(
        h.log.contains("AppState", "AppState: STOP — battery hard limit (8% < 10%, wasActive=false)"));
}

TEST(AppStateEvaluation, PredictiveWarningIsSentOncePerSession) {
    AppStateHarness h;
    h.state->setMinutesUntilThresholdProvider([](std::int64_t) { return std::optional<std::int64_t>(12); });
    h.onBattery(40);
    h.state->toggle();
    h.state->reevaluateState();
    h.state->reevaluateState();
    ASSERT_EQ(h.notificationIDs(), std::vector<std::string>{"battery-predictive"});
    EXPECT_EQ(h.lastNotification().body, "20% in 12 min");

    h.state->toggle();
    h.state->toggle();  // a new session may warn again
    h.state->reevaluateState();
    EXPECT_EQ(h.notificationIDs().size(), 2u);
}

TEST(AppStateEvaluation, GuardianRemindsAfterTheConfiguredHoursDespiteReevaluations) {
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
    EXPECT_EQ(h.lastNotification().body, "Awake for 3 h");
}

TEST(AppStateEvaluation, PauseUntilMorningEndsAtSevenInTheUsersZone) {
    auto prague = Calendar::named("Europe/Prague");
    ASSERT_TRUE(prague);
    AppStateHarness h(*prague);
    h.state->set(&SettingsValues::autoActivateOnExternalDisplay, true);
    h.clock.setNow(*prague->date({2026, 12, 6, 23, 10, 0}));
    h.state->updateMonitorValues([](MonitorValues& m) { m.hasExternalDisplay = true; });

    h.state->pauseAutomation(AppState::PauseMode::untilMorning);
    EXPECT_EQ(h.state->automationPausedUntil(), prague->date({2026, 12, 7, 7, 0, 0}));
    EXPECT_FALSE(h.state->isActive());
    h.scheduler.advance(7 * 3600 + 50 * 60);
    EXPECT_TRUE(h.state->isActive());

    h.state->pauseAutomation(AppState::PauseMode::indefinitely);
    EXPECT_FALSE(h.state->isActive());
    h.scheduler.advance(365 * 24 * 3600.0);
    EXPECT_FALSE(h.state->isActive());
    h.state->overrideAutomationPauseForExplicitKeepAwake();
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::externalDisplay});
}

}  // namespace
}  // namespace torvel
