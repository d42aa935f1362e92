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
    EXPECT_EQ(h.sessions.loadActiveSession()->timestamp, firstSave) << "the same session is not rewritten";

    h.assertions.drop(firstID);  // the system dropped it behind our back
    h.state->reevaluateState();
    EXPECT_NE(h.sleepPrevention.assertionID(), firstID);
    EXPECT_EQ(h.held(), std::vector<std::string>{"PreventUserIdleSystemSleep"});
    EXPECT_TRUE(h.stateLines().empty());
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

}  // namespace
}  // namespace torvel
