#include <gtest/gtest.h>

#include "State/AppStateHarness.h"
#include "Core/Profiles.h"

namespace torvel {
namespace {

using R = ActivationReason;

const Profile& builtIn(const AppState& state, std::size_t index) {
    return state.profileLibrary().profiles().at(index);
}

TEST(AppStateProfiles, TogglingRunsOneProfileAtATime) {
    AppStateHarness h;
    const Profile presentation = builtIn(*h.state, 0);  // indefinite, display stays on
    const Profile download = builtIn(*h.state, 1);      // eight hours, idle sleep only

    h.state->profileLibrary().toggleProfile(presentation);
    EXPECT_EQ(h.state->activeReasons(), (ReasonSet{R::manual, R::profile}));
    EXPECT_EQ(h.held(), std::vector<std::string>{"NoDisplaySleepAssertion"});
    EXPECT_TRUE(h.sleepPrevention.isScreenSaverPreventionActive());

    h.state->profileLibrary().toggleProfile(download);
    EXPECT_EQ(h.state->activeProfileID(), download.id);
    EXPECT_EQ(h.state->activeReasons(), (ReasonSet{R::timer, R::profile}));
    EXPECT_EQ(h.held(), std::vector<std::string>{"PreventUserIdleSystemSleep"});
    EXPECT_NEAR(h.timer.remainingSeconds(), 8 * 3600, 1e-6);

    h.state->profileLibrary().toggleProfile(download);
    EXPECT_FALSE(h.state->isActive());
    EXPECT_FALSE(h.timer.isRunning());
}

TEST(AppStateProfiles, TheRunningProfilesLimitReplacesTheGlobalOne) {
    AppStateHarness h;
    const Profile presentation = builtIn(*h.state, 0);  // limit 15
    h.state->handleBatteryStateChanged({22, false, false, true, std::nullopt});
    h.state->profileLibrary().toggleProfile(presentation);
    h.state->handleBatteryStateChanged({17, false, false, true, std::nullopt});
    EXPECT_TRUE(h.state->isActive());  // below the global 20 %, above the profile's 15 %

    // Deleting the running profile keeps the session but brings the global limit back.
    h.state->profileLibrary().deleteProfile(presentation.id);
    EXPECT_FALSE(h.state->isActive());
    EXPECT_EQ(h.notificationIDs().back(), "battery-soft-limit");
    EXPECT_EQ(h.lastNotification().body, "Stopped at 20%");
}

TEST(AppStateProfiles, TheBuiltInsAndEditsAndCopiesAreStoredAndSurviveARestart) {
    AppStateHarness h;
    ASSERT_EQ(h.state->profileLibrary().profiles(), defaultProfiles());
    EXPECT_EQ(profilesFromJson(std::get<DefaultsData>(h.defaults.object("profiles").value()).toString()),
              defaultProfiles());
    h.texts.setTable({{"profile.copy_name", "%@ copy"}, {"default_profile.cooking", "Cooking"}});
    const Profile cooking = builtIn(*h.state, 2);
    const Profile first = h.state->profileLibrary().duplicateProfile(cooking);
    const Profile second = h.state->profileLibrary().duplicateProfile(cooking);
    EXPECT_EQ(first.name, "Cooking copy");
    EXPECT_EQ(second.name, "Cooking copy 2");

    ProfileDraft draft = ProfileDraft::open(&first, h.texts);
    draft.assertionType = AssertionType::noSystemSleep;
    h.state->profileLibrary().saveEditedProfile(draft.finish("  Tea  "));

    h.start();
    ASSERT_EQ(h.state->profileLibrary().profiles().size(), 6u);
    EXPECT_EQ(h.state->profileLibrary().profiles()[4].name, "Tea");
    EXPECT_EQ(h.state->profileLibrary().profiles()[4].assertionType, AssertionType::noSystemSleep);
    EXPECT_EQ(h.state->profileLibrary().profiles()[5].name, "Cooking copy 2");
}

}  // namespace
}  // namespace torvel
