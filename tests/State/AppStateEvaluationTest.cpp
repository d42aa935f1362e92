#include <gtest/gtest.h>

#include "AppStateHarness.h"
#include "UI/AutomationActions.h"

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
    EXPECT_EQ(h.sessions.loadActiveSession()->timestamp, firstSave) << "the same session is not rewritten";

    h.assertions.drop(firstID);  // the system dropped it behind our back
    h.state->reevaluateState();
    EXPECT_NE(h.sleepPrevention.assertionID(), firstID);
    EXPECT_EQ(h.held(), std::vector<std::string>{"PreventUserIdleSystemSleep"});
    EXPECT_TRUE(h.stateLines().empty());
}

TEST(AppStateEvaluation, RefusedAssertionLeavesARequestPendingThatIsRetriedAndToldOnce) {
    AppStateHarness h;
    std::vector<bool> publishedPending;  // each change of the pending flag as observers saw it
    auto connection = h.state->activationChanged.connect([&] {
        if (publishedPending.empty() || publishedPending.back() != h.state->isRequestPending())
            publishedPending.push_back(h.state->isRequestPending());
    });
    h.assertions.failNextCreate(-536870199);
    h.state->activate(Duration::custom(3600));
    EXPECT_FALSE(h.state->isActive());
    EXPECT_TRUE(h.state->isRequestPending());
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::timer});  // the request, not a stopped session
    EXPECT_TRUE(h.timer.isRunning());
    EXPECT_TRUE(h.held().empty());
    EXPECT_TRUE(h.sessions.loadActiveSession()) << "a restart picks the request up again";
    EXPECT_EQ(publishedPending.back(), true);
    EXPECT_EQ(AutomationActions::status(h.state.get()).dialogKey, "intent.dialog.pending");

    // Refused again on every retry and on other re-evaluations: still one notice, one state line.
    for (int i = 0; i < 3; ++i) {
        h.assertions.failNextCreate(-1);
        h.scheduler.advance(30);
        h.assertions.failNextCreate(-1);
        h.state->updateMonitorValues([](MonitorValues&) {});
    }
    EXPECT_EQ(h.notificationIDs(), std::vector<std::string>{"assertion-failure"});
    EXPECT_EQ(h.stateLines().size(), 1u);
    EXPECT_TRUE(h.state->isRequestPending());

    // The next retry succeeds: the session runs, and the retry timer is gone.
    h.scheduler.advance(30);
    EXPECT_TRUE(h.state->isActive());
    EXPECT_FALSE(h.state->isRequestPending());
    EXPECT_EQ(publishedPending.back(), false) << "the end of the pending state is published";
    EXPECT_EQ(h.held(), std::vector<std::string>{"PreventUserIdleSystemSleep"});
    EXPECT_TRUE(h.state->safety().isHeartbeatRunning());
    EXPECT_EQ(AutomationActions::status(h.state.get()).dialogKey, "intent.dialog.awake");
    const auto timersWhileRunning = h.scheduler.activeTimerCount();

    // The system drops the assertion and refuses a new one: a new pending period, told once more.
    h.assertions.drop(h.sleepPrevention.assertionID());
    h.assertions.failNextCreate(-2);
    h.scheduler.advance(30);  // the heartbeat notices
    EXPECT_TRUE(h.state->isRequestPending());
    EXPECT_FALSE(h.state->safety().isHeartbeatRunning());
    EXPECT_EQ(h.notificationIDs(), (std::vector<std::string>{"assertion-failure", "assertion-failure"}));

    // Ending the request ends the pending state and its timer.
    h.state->deactivateAll();
    EXPECT_FALSE(h.state->isRequestPending());
    EXPECT_LT(h.scheduler.activeTimerCount(), timersWhileRunning);
    EXPECT_EQ(AutomationActions::status(h.state.get()).dialogKey, "intent.dialog.off");
}

TEST(AppStateEvaluation, PendingRequestRetriesWhenAnInhibitServiceAppearsAndEnds) {
    AppStateHarness h;
    h.state->handleInhibitServicesChanged();  // nothing pending: nothing happens
    EXPECT_TRUE(h.held().empty());

    // A click ends a pending manual request for good, also across a restart.
    h.assertions.failNextCreate(-1);
    h.state->toggle();
    ASSERT_TRUE(h.state->isRequestPending());
    h.state->toggle();
    EXPECT_FALSE(h.state->isRequestPending());
    h.relaunch();
    EXPECT_FALSE(h.state->isManuallyActivated());
    EXPECT_TRUE(h.held().empty());

    h.assertions.failNextCreate(-1);
    h.state->activate(Duration::custom(60));
    ASSERT_TRUE(h.state->isRequestPending());
    h.state->handleInhibitServicesChanged();
    EXPECT_TRUE(h.state->isActive());
    EXPECT_FALSE(h.state->isRequestPending());

    h.assertions.drop(h.sleepPrevention.assertionID());
    h.assertions.failNextCreate(-1);
    h.scheduler.advance(30);
    ASSERT_TRUE(h.state->isRequestPending());
    h.assertions.failNextCreate(-1);
    h.scheduler.advance(30);  // the countdown ends while pending
    EXPECT_FALSE(h.state->isRequestPending());
    EXPECT_FALSE(h.sessions.loadActiveSession()) << "nothing for a restart to bring back";
    EXPECT_EQ(h.scheduler.activeTimerCount(), 0u);
    EXPECT_EQ(h.notificationIDs().back(), "timer-expired");
}

TEST(AppStateEvaluation, ScreenSaverFollowsTheSettingOrTheProfileType) {
    AppStateHarness h;
    h.state->set(&SettingsValues::preventScreenSaver, true);
    h.state->toggle();
    EXPECT_TRUE(h.sleepPrevention.isScreenSaverPreventionActive());

    Profile quiet{Uuid::random(), "Quiet", Duration::indefinite(), AssertionType::noIdleSleep, {}, {}};
    Profile show{Uuid::random(), "Show", Duration::indefinite(), AssertionType::noDisplaySleep, {}, {}};
    h.state->profileLibrary().setProfiles({quiet, show});
    h.state->activateProfile(quiet);
    EXPECT_FALSE(h.sleepPrevention.isScreenSaverPreventionActive());
    h.state->activateProfile(show);
    EXPECT_TRUE(h.sleepPrevention.isScreenSaverPreventionActive());
}

TEST(AppStateEvaluation, ScreenSaverFailureIsToldOnceUntilThePreventionWorksAgain) {
    AppStateHarness h;
    h.state->set(&SettingsValues::preventScreenSaver, true);
    h.assertions.failUserActivity(-7);
    h.state->toggle();                                    // starting it fails
    for (int i = 0; i < 3; ++i) h.scheduler.advance(30);  // heartbeats re-evaluate and fail again
    h.state->reevaluateState();
    EXPECT_TRUE(h.state->isActive());
    EXPECT_EQ(h.notificationIDs(), std::vector<std::string>{"assertion-failure"});

    // It works again, then its refresh fails: a new failure, told again, and only once.
    h.assertions.failUserActivity(0);
    h.scheduler.advance(30);
    ASSERT_TRUE(h.sleepPrevention.isScreenSaverPreventionActive());
    h.assertions.failUserActivity(-7);
    for (int i = 0; i < 3; ++i) h.scheduler.advance(30);
    EXPECT_TRUE(h.state->isActive());
    EXPECT_EQ(h.notificationIDs(), (std::vector<std::string>{"assertion-failure", "assertion-failure"}));

    // A new session may tell it again.
    h.state->deactivateAll();
    h.state->toggle();
    h.scheduler.advance(30);
    EXPECT_EQ(h.notificationIDs().size(), 3u);
}

TEST(AppStateEvaluation, DeletedProfileIsClearedByTheNextEvaluation) {
    AppStateHarness h;
    Profile p{Uuid::random(), "Focus", Duration::custom(1800), AssertionType::noSystemSleep, {}, {}};
    h.state->profileLibrary().setProfiles({p});
    h.state->activateProfile(p);
    EXPECT_EQ(h.state->activeReasons(), (ReasonSet{R::timer, R::profile}));
    EXPECT_EQ(h.held(), std::vector<std::string>{"PreventSystemSleep"});

    h.state->profileLibrary().setProfiles({});
    EXPECT_FALSE(h.state->activeProfileID());
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::timer});
    EXPECT_EQ(h.held(), std::vector<std::string>{"PreventUserIdleSystemSleep"});
}

}  // namespace
}  // namespace torvel
