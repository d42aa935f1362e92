#include "UI/MenuBuilder.h"

#include <gtest/gtest.h>

#include "State/AppStateHarness.h"

namespace torvel {
namespace {

struct MenuHarness : AppStateHarness {
    std::vector<RunningAppInfo> running;
    std::vector<std::optional<std::int32_t>> watchedPIDs;
    std::vector<std::string> commands;
    int wifiRefreshes = 0;
    MenuBuilder builder{MenuBuilderServices{*state, timer, notifications, sleepPrevention, clock, calendar_},
                        makeCommands()};

    MenuHarness() {
        texts.setTable({{"menu.active_remaining", "Awake, %@ left"},
                        {"menu.battery_estimate", "Battery %@"},
                        {"duration.short.hours", "%ld h"},
                        {"duration.short.minutes", "%ld min"},
                        {"menu.trusted_wifi_current_untrusted", "Wi-Fi %@ untrusted"}});
        ProcessTrigger::Hooks hooks;
        hooks.runningApps = [this] { return running; };
        hooks.watchTransientPID = [this](std::optional<std::int32_t> pid) { watchedPIDs.push_back(pid); };
        state->processTrigger().setHooks(std::move(hooks));
        state->trustedNetworks().setWiFiStateRefresher([this] { ++wifiRefreshes; });
        state->profileLibrary().setProfiles({});  // no built-in profiles unless a test adds some
    }

    MenuCommands makeCommands() {
        return {[this](std::optional<std::string> tab) { commands.push_back("settings:" + tab.value_or("")); },
                [this] { commands.push_back("custom"); }, [this] { commands.push_back("about"); },
                [this] { commands.push_back("quit"); }};
    }

    /// The menu as it opens: fresh readings first.
    MenuModel open() {
        builder.willOpen();
        return builder.build();
    }
    /// The top level as titles: "---" for a separator, " >" after a submenu.
    std::vector<std::string> titles() {
        std::vector<std::string> out;
        for (const auto& item : open().items)
            out.push_back(item.style == MenuItemStyle::separator ? "---"
                                                                  : item.title + (item.submenu.empty() ? "" : " >"));
        return out;
    }
    /// The first item anywhere in a fresh menu with `action`; fails the test when there is none.
    MenuItem item(MenuAction action, std::size_t skip = 0) {
        const auto menu = open();
        std::vector<MenuItem> pending(menu.items.rbegin(), menu.items.rend());
        while (!pending.empty()) {
            MenuItem next = pending.back();
            pending.pop_back();
            if (next.action == action && skip-- == 0) return next;
            pending.insert(pending.end(), next.submenu.rbegin(), next.submenu.rend());
        }
        ADD_FAILURE() << "no item with action " << static_cast<int>(action);
        return {};
    }
    bool has(std::string_view title) {
        const auto all = titles();
        return std::find(all.begin(), all.end(), title) != all.end();
    }
};

const std::vector<std::string> kFooter = {"---", "menu.settings", "menu.about", "---", "menu.quit"};

std::vector<std::string> with(std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST(MenuBuilderTest, InactiveMenuOffersOnlyDurationsAppsAndFooter) {
    MenuHarness h;
    EXPECT_EQ(h.titles(), with({"menu.sleep_for >"}, kFooter));
    const auto menu = h.builder.build();
    const auto& durations = menu.items[0].submenu;
    ASSERT_EQ(durations.size(), 10u);
    EXPECT_EQ(durations[0].title, "duration.15min");
    EXPECT_EQ(durations[7].title, "duration.indefinite");
    EXPECT_EQ(durations[8].style, MenuItemStyle::separator);
    EXPECT_EQ(durations[9].action, MenuAction::customDuration);
    EXPECT_EQ(h.wifiRefreshes, 0) << "the network is read only while the trusted-network trigger is on";

    // The processes are read as the menu opens, not at every rebuild: each scan wakes the machine.
    h.running = {{"org.example.Editor", "Editor", 41}, {"", "", 42}};
    EXPECT_EQ(h.builder.build().items.size(), 6u);
    EXPECT_EQ(h.titles(), with({"menu.sleep_for >", "menu.keep_awake_until_quit >"}, kFooter));
    const auto apps = h.builder.build().items[1].submenu;
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_EQ(apps[0].title, "Editor");
    EXPECT_EQ(apps[1].title, "42") << "a nameless process still gets a line of its own";
}

TEST(MenuBuilderTest, StopItemAndSubmenusFollowWhoStartedTheSession) {
    const Profile focus{Uuid::random(), "Focus", Duration::preset(Duration::Kind::oneHour),
                        AssertionType::noDisplaySleep, std::nullopt, std::nullopt};
    const struct {
        const char* name;
        std::function<void(MenuHarness&)> start;
        const char* stopTitle;  // nullptr: no stop item
        bool extend, pause;
    } cases[] = {
        {"timer", [](MenuHarness& h) { h.state->activate(Duration::preset(Duration::Kind::oneHour)); },
         "menu.cancel_timer", true, false},
        {"timer with a profile", [&](MenuHarness& h) { h.state->activateProfile(focus); }, "menu.deactivate", true,
         false},
        {"manual", [](MenuHarness& h) { h.state->activate(Duration::indefinite()); }, "menu.deactivate", false,
         false},
        {"external display only",
         [](MenuHarness& h) {
             h.state->set(&SettingsValues::autoActivateOnExternalDisplay, true);
             h.state->updateMonitorValues([](MonitorValues& m) { m.hasExternalDisplay = true; });
         },
         nullptr, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MenuHarness h;
        h.state->profileLibrary().setProfiles({focus});
        c.start(h);
        ASSERT_TRUE(h.state->isActive());
        const auto menu = h.builder.build();
        const MenuItem* stop = nullptr;
        for (const auto& item : menu.items) {
            if (item.action == MenuAction::deactivate) stop = &item;
        }
        EXPECT_EQ(stop ? stop->title : "none", c.stopTitle ? c.stopTitle : "none");
        EXPECT_EQ(h.has("menu.extend >"), c.extend);
        EXPECT_EQ(h.has("menu.pause_automation >"), c.pause);
        // The profile's entry is checked exactly while it runs.
        EXPECT_EQ(menu.items.at(menu.items.size() - 6).checked, h.state->activeProfileID() == focus.id);
    }
}

TEST(MenuBuilderTest, ReadOutShowsTimeReasonsAssertionAndEstimateOnBatteryOnly) {
    MenuHarness h;
    h.state->set(&SettingsValues::showBatteryEstimate, true);
    h.state->set(&SettingsValues::preventDisplaySleep, true);
    h.state->set(&SettingsValues::preventScreenSaver, true);
    h.state->activate(Duration::preset(Duration::Kind::oneHour));
    auto menu = h.builder.build();
    EXPECT_EQ(menu.items[0].title, "Awake, 1 h left");
    EXPECT_EQ(menu.items[0].iconName, "torvel-active-symbolic");
    EXPECT_FALSE(menu.items[0].enabled);
    EXPECT_EQ(menu.items[1].title, "reason.timer");
    EXPECT_EQ(menu.items[1].iconName, "alarm-symbolic");
    EXPECT_EQ(menu.items[2].title, "+ menu.display \u00B7 menu.screensaver");
    EXPECT_EQ(menu.items[3].style, MenuItemStyle::separator) << "no estimate on AC power";

    const auto estimateLine = [&h](std::optional<std::int64_t> minutes) {
        h.state->updateMonitorValues(
            [minutes](MonitorValues& m) { m.batteryState = BatteryState{80, false, false, true, minutes}; });
        const auto items = h.builder.build().items;
        return items[3].style == MenuItemStyle::separator ? std::string("none") : items[3].title;
    };
    EXPECT_EQ(estimateLine(0), "none");
    EXPECT_EQ(estimateLine(std::nullopt), "none");
    EXPECT_EQ(estimateLine(90), "Battery 1 h 30 min");
}

TEST(MenuBuilderTest, PausedLineOnlyWhileThePauseLiesAhead) {
    MenuHarness h;
    h.state->automationPause().pause(AutomationPause::Mode::oneHour);
    EXPECT_EQ(h.titles(),
              with({"  menu.automation_paused", "menu.resume_automation", "---", "menu.sleep_for >"}, kFooter));
    // Past its end before the expiry has run (the machine just woke): nothing paused is shown.
    h.clock.setNow(h.clock.now().addingSeconds(3601));
    EXPECT_EQ(h.titles(), with({"menu.sleep_for >"}, kFooter));
}

TEST(MenuBuilderTest, WiFiSectionReadsTheNetworkAndSaysWhenItCannot) {
    MenuHarness h;
    h.state->set(&SettingsValues::trustedNetworkActivationEnabled, true);
    h.state->trustedNetworks().handleWiFiStateChanged(true, "Home", WiFiAuthorization::authorized);
    h.wifiRefreshes = 0;
    EXPECT_EQ(h.titles(), with({"Wi-Fi Home untrusted", "---", "menu.sleep_for >"}, kFooter));
    EXPECT_EQ(h.wifiRefreshes, 1);
    h.builder.build();
    EXPECT_EQ(h.wifiRefreshes, 1) << "a rebuild after a change must start no reading, or its answer rebuilds again";

    h.state->trustedNetworks().handleWiFiStateChanged(false, std::nullopt, WiFiAuthorization::denied);
    EXPECT_EQ(h.titles(), with({"menu.trusted_wifi_location_denied", "---", "menu.sleep_for >"}, kFooter));
}

TEST(MenuBuilderTest, ChosenItemsChangeTheState) {
    MenuHarness h;
    h.builder.perform(h.item(MenuAction::duration, 2));  // one hour
    EXPECT_TRUE(h.timer.isRunning());
    EXPECT_DOUBLE_EQ(h.timer.remainingSeconds(), 3600);
    h.builder.perform(h.item(MenuAction::extend15));
    EXPECT_DOUBLE_EQ(h.timer.remainingSeconds(), 4500);
    h.builder.perform(h.item(MenuAction::extend60));
    EXPECT_DOUBLE_EQ(h.timer.remainingSeconds(), 8100);
    h.builder.perform(h.item(MenuAction::deactivate));
    EXPECT_FALSE(h.state->isActive());
    EXPECT_FALSE(h.timer.isRunning());

    // A profile item toggles its profile; one deleted while the menu was open does nothing.
    const Profile focus{Uuid::random(), "Focus", Duration::indefinite(), AssertionType::noIdleSleep,
                        std::nullopt, std::nullopt};
    h.state->profileLibrary().setProfiles({focus});
    const MenuItem profileItem = h.item(MenuAction::profile);
    h.builder.perform(profileItem);
    EXPECT_EQ(h.state->activeProfileID(), focus.id);
    h.builder.perform(profileItem);
    EXPECT_FALSE(h.state->isActive());
    h.state->profileLibrary().setProfiles({});
    h.builder.perform(profileItem);
    EXPECT_FALSE(h.state->isActive());

    // Pausing hides the automatic reason; resuming brings it back.
    h.state->set(&SettingsValues::autoActivateOnExternalDisplay, true);
    h.state->updateMonitorValues([](MonitorValues& m) { m.hasExternalDisplay = true; });
    h.builder.perform(h.item(MenuAction::pauseOneHour));
    EXPECT_FALSE(h.state->isActive());
    EXPECT_EQ(h.state->automationPause().pausedUntil(), h.clock.now().addingSeconds(3600));
    h.builder.perform(h.item(MenuAction::resumeAutomation));
    EXPECT_TRUE(h.state->isActive());
    EXPECT_FALSE(h.state->automationPause().pausedUntil());

    // Keeping awake until an application quits lifts a pause and watches its process.
    h.state->automationPause().pause(AutomationPause::Mode::indefinitely);
    h.running = {{"org.example.Editor", "Editor", 41}};
    h.watchedPIDs.clear();
    h.builder.perform(h.item(MenuAction::keepAwakeUntilQuit));
    EXPECT_EQ(h.watchedPIDs, (std::vector<std::optional<std::int32_t>>{41}));
    EXPECT_FALSE(h.state->automationPause().pausedUntil());

    for (auto action : {MenuAction::customDuration, MenuAction::settings, MenuAction::about, MenuAction::quit})
        h.builder.perform(h.item(action));
    h.builder.perform(menuActionItem("consent", MenuAction::emergencyConsent));
    EXPECT_EQ(h.commands, (std::vector<std::string>{"custom", "settings:", "about", "quit", "settings:battery"}));
}

}  // namespace
}  // namespace torvel
