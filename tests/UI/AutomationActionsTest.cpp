#include "UI/AutomationActions.h"

#include <gtest/gtest.h>

#include "State/AppStateHarness.h"
#include "Platform/Sim/SimSystemLocale.h"

namespace torvel {
namespace {

/// A state whose running applications the test chooses.
struct PublishedState : AppStateHarness {
    std::vector<RunningAppInfo> running = {{"org.example.Browser", "Browser", 40},
                                           {"org.example.Editor", "Editor", 41}};
    std::vector<std::optional<std::string>> transientDesktopIds;

    PublishedState() {
        ProcessTrigger::Hooks hooks;
        hooks.runningApps = [this] { return running; };
        hooks.watchTransientDesktopId = [this](std::optional<std::string> id) {
            transientDesktopIds.push_back(id);
        };
        state->processTrigger().setHooks(std::move(hooks));
    }
};

TEST(AutomationActionsTest, EveryActionIsNotReadyWithoutAnApplicationState) {
    for (const auto& reply : {AutomationActions::activate(nullptr), AutomationActions::deactivate(nullptr),
                              AutomationActions::status(nullptr),
                              AutomationActions::keepAwakeWhileAppRuns(nullptr, "org.example.Browser")}) {
        EXPECT_FALSE(reply.ready);
        EXPECT_EQ(reply.dialogKey, "intent.error.not_ready");
    }
    EXPECT_TRUE(AutomationActions::suggestedApps(nullptr).empty());
}

TEST(AutomationActionsTest, AnswersSayWhatTheStateDidNotWhatWasAsked) {
    PublishedState h;
    h.onBattery(15);  // below the 20 % limit
    auto reply = AutomationActions::activate(h.state.get());
    EXPECT_EQ(reply.dialogKey, "intent.activate.dialog.vetoed");
    EXPECT_FALSE(h.state->isActive());

    h.state->updateMonitorValues([](MonitorValues& m) { m.batteryState = BatteryState{}; });
    h.state->set(&SettingsValues::autoActivateOnExternalDisplay, true);
    h.state->updateMonitorValues([](MonitorValues& m) { m.hasExternalDisplay = true; });
    reply = AutomationActions::status(h.state.get());
    EXPECT_TRUE(reply.value) << "an automatic trigger alone counts as awake";
    EXPECT_EQ(reply.dialogKey, "intent.dialog.awake");

    reply = AutomationActions::deactivate(h.state.get());
    EXPECT_EQ(reply.dialogKey, "intent.dialog.off");
}

TEST(AutomationActionsTest, KeepsAwakeOnlyWhileTheChosenApplicationRuns) {
    PublishedState h;
    h.state->automationPause().pause(AutomationPause::Mode::oneHour);
    h.running.pop_back();  // the editor quit between choosing and running the action
    auto reply = AutomationActions::keepAwakeWhileAppRuns(h.state.get(), "org.example.Editor");
    EXPECT_EQ(reply.dialogKey, "intent.keep_awake_app.not_running");
    EXPECT_TRUE(h.transientDesktopIds.empty());
    EXPECT_TRUE(h.state->automationPause().pausedUntil()) << "a refused request leaves the pause";

    AutomationActions::keepAwakeWhileAppRuns(h.state.get(), "org.example.Browser");
    ASSERT_EQ(h.transientDesktopIds.size(), 1u);
    EXPECT_EQ(h.transientDesktopIds[0], "org.example.Browser");
    EXPECT_FALSE(h.state->automationPause().pausedUntil()) << "an explicit request lifts the pause";

    SimSystemLocale locale;
    const auto found = AutomationActions::appsMatching(h.state.get(), "brow", locale);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "Browser");
    EXPECT_EQ(
        AutomationActions::appsWithIdentifiers(h.state.get(), {"org.example.None", "org.example.Browser"})
            .size(),
        1u);
}

}  // namespace
}  // namespace torvel
