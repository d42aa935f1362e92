#include <gtest/gtest.h>

#include "AppStateHarness.h"

namespace torvel {
namespace {

using R = ActivationReason;

TEST(SessionRestore, ATimedSessionComesBackWithWhatWasLeft) {
    AppStateHarness h;
    h.state->activate(Duration::preset(Duration::Kind::thirtyMinutes));
    h.clock.advance(600);  // the process is killed here: nothing but the stored record survives
    h.relaunch();
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::timer});
    EXPECT_NEAR(h.timer.remainingSeconds(), 1200, 1);
}

TEST(SessionRestore, ManualAndProfileSessionsComeBackUntimed) {
    AppStateHarness h;
    const Profile presentation = h.state->profileLibrary().profiles().at(0);
    h.state->profileLibrary().toggleProfile(presentation);
    h.clock.advance(3 * 24 * 3600.0);
    h.relaunch();
    EXPECT_EQ(h.state->activeProfileID(), presentation.id);
    EXPECT_EQ(h.state->activeReasons(), (ReasonSet{R::manual, R::profile}));

    // Older versions stored the profile's name, shown or stored.
    h.defaults.set("activeSession.profileName", std::string("default_profile.presentation"));
    h.relaunch();
    EXPECT_EQ(h.state->activeProfileID(), presentation.id);
    h.defaults.set("activeSession.profileName", std::string("Gone"));
    h.relaunch();
    EXPECT_FALSE(h.state->activeProfileID());
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::manual});
}

TEST(SessionRestore, AStopRightAfterWakingSavesWhatIsLeftAndStaysSuspendedAcrossALaunch) {
    AppStateHarness h;
    h.state->handleBatteryStateChanged({50, false, false, true, std::nullopt});
    h.state->activate(Duration::preset(Duration::Kind::oneHour));
    h.clock.suspend(1800);  // asleep; the battery report arrives before the countdown's first tick
    h.state->handleBatteryStateChanged({12, false, false, true, std::nullopt});
    ASSERT_FALSE(h.state->isActive());
    ASSERT_TRUE(h.sessions.loadSuspendedSession());
    EXPECT_EQ(h.sessions.loadSuspendedSession()->duration, Duration::custom(1800));
    h.relaunch();
    EXPECT_FALSE(h.state->isActive());
    ASSERT_TRUE(h.sessions.loadSuspendedSession());

    h.state->handleBatteryStateChanged({12, false, false, true, std::nullopt});  // first reading on battery
    h.state->handleBatteryStateChanged({12, true, true, true, std::nullopt});
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::timer});
    EXPECT_NEAR(h.timer.remainingSeconds(), 1800, 1);
    EXPECT_EQ(h.notificationIDs().back(), "battery-resumed");
}

TEST(SessionRestore, HeartbeatsOfAnUnchangedSessionWriteNothing) {
    AppStateHarness h;
    h.state->activate(Duration::preset(Duration::Kind::oneHour));
    const int writes = h.defaults.writeCount();
    h.scheduler.advance(10 * 30 + 1);  // ten heartbeats and 300 countdown ticks
    EXPECT_EQ(h.defaults.writeCount(), writes);
    h.relaunch();  // the record written once still brings the session back
    EXPECT_NEAR(h.timer.remainingSeconds(), 3600 - 301, 1);
}

}  // namespace
}  // namespace torvel
