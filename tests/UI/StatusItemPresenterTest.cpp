#include "UI/StatusItemPresenter.h"

#include <gtest/gtest.h>

#include <optional>

#include "State/AppStateHarness.h"
#include "State/Emergency/EmergencyHarness.h"

namespace torvel {
namespace {

const Localization::Table kEnglish = {{"a11y.status_active", "On"},
                                      {"a11y.status_inactive", "Off"},
                                      {"a11y.tooltip_remaining", "Torvel: %@ left"},
                                      {"duration.short.hours", "%ld h"},
                                      {"duration.short.minutes", "%ld min"},
                                      {"duration.short.seconds", "%ld s"}};

TEST(StatusItemPresenterTest, TitleAndTooltipCarryRemainingTimeAndEstimateWhenEachApplies) {
    const std::string battery = StatusItemPresenter::kBatteryGlyph;
    const struct {
        const char* name;
        bool timer, estimateOn;
        BatteryState power;
        std::string title;
    } cases[] = {
        {"inactive, estimate off", false, false, {80, false, false, true, 90}, ""},
        {"25-minute timer", true, false, {80, false, false, true, 90}, " 25 min"},
        {"estimate only", false, true, {80, false, false, true, 90}, " " + battery + "1 h 30 min"},
        {"both", true, true, {80, false, false, true, 90}, " 25 min \u00B7 " + battery + "1 h 30 min"},
        {"on AC power", true, true, {80, true, true, true, 90}, " 25 min"},
        {"no estimate", true, true, {80, false, false, true, std::nullopt}, " 25 min"},
        {"zero minutes", true, true, {80, false, false, true, 0}, " 25 min"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppStateHarness h;
        h.texts.setTable(kEnglish);
        StatusItemPresenter presenter(*h.state, h.timer);
        h.state->set(&SettingsValues::showBatteryEstimate, c.estimateOn);
        h.state->updateMonitorValues([&c](MonitorValues& m) { m.batteryState = c.power; });
        if (c.timer) h.state->activate(Duration::custom(25 * 60));
        auto shown = presenter.present();
        EXPECT_EQ(shown.title, c.title);
        EXPECT_EQ(shown.iconName, c.timer ? "torvel-active-symbolic" : "torvel-inactive-symbolic");
        EXPECT_EQ(shown.accessibleText, c.timer ? "On" : "Off");
        EXPECT_EQ(shown.tooltipTitle, c.timer ? "Torvel: 25 min left" : "Torvel");
        EXPECT_FALSE(shown.needsAttention);
        // The countdown wakes per shown minute exactly while the title shows it.
        EXPECT_EQ(presenter.shownText(),
                  c.timer ? TimerManager::ShownText::minutes : TimerManager::ShownText::nothing);
        if (!c.timer) continue;
        // A second into the countdown it still reads 25 minutes, and 24 from 24:00 on.
        h.scheduler.advance(1);
        EXPECT_EQ(presenter.present().tooltipTitle, "Torvel: 25 min left");
        h.scheduler.advance(59);
        EXPECT_EQ(presenter.present().tooltipTitle, "Torvel: 24 min left");
    }
}

TEST(StatusItemPresenterTest, HiddenRemainingTimeNeedsNoMinuteWakeUps) {
    AppStateHarness h;
    h.texts.setTable(kEnglish);
    StatusItemPresenter presenter(*h.state, h.timer);
    h.state->set(&SettingsValues::showRemainingTime, false);
    h.state->activate(Duration::custom(25 * 60));
    EXPECT_EQ(presenter.present().title, "");
    EXPECT_EQ(presenter.present().tooltipTitle, "Torvel") << "a tooltip showing time would go stale";
    EXPECT_EQ(presenter.shownText(), TimerManager::ShownText::nothing);
}

TEST(StatusItemPresenterTest, NeedsAttentionWhileTheBatteryEmergencyIsLiveAsTheTraysLastRefreshSeesIt) {
    EmergencyHarness e;
    StatusItemPresenter presenter(e.state(), e.h.timer);
    // The tray presents again on these signals: the last one of each change must read the new state.
    std::optional<bool> lastSeen;
    const auto record = [&] { lastSeen = presenter.present().needsAttention; };
    const Connection battery = e.state().batteryStateChanged.connect(record);
    const Connection setting = e.state().settingChanged.connect([&](std::string_view) { record(); });
    const Connection emergency = e.emergency().changed.connect(record);
    const auto refreshedTo = [&](bool expected) {
        const bool right = lastSeen == expected && presenter.present().needsAttention == expected;
        lastSeen.reset();
        return right;
    };

    e.battery(50);
    EXPECT_TRUE(refreshedTo(false));
    e.battery(10);
    EXPECT_TRUE(refreshedTo(true)) << "the emergency is live at 10 %";
    e.emergency().startAlarm("test");
    e.h.scheduler.runPending();
    ASSERT_TRUE(e.emergency().alarmActive());
    EXPECT_TRUE(refreshedTo(true)) << "the alarm sounds";
    e.state().set(&SettingsValues::emergencyPowerEnabled, false);
    EXPECT_TRUE(refreshedTo(false)) << "switched off, the alarm stops";
    e.state().set(&SettingsValues::emergencyPowerEnabled, true);
    EXPECT_TRUE(refreshedTo(true));
    e.battery(10, true);
    EXPECT_TRUE(refreshedTo(false)) << "on the charger the emergency is over";
}

TEST(StatusItemPresenterTest, PresentsInTheNewLanguageOnceItsTextsAreIn) {
    AppStateHarness h;
    h.texts.setTable(kEnglish);
    StatusItemPresenter presenter(*h.state, h.timer);
    std::vector<std::string> atSetting, atLanguage;
    const Connection setting = h.state->settingChanged.connect(
        [&](std::string_view) { atSetting.push_back(presenter.present().accessibleText); });
    const Connection language =
        h.texts.languageChanged.connect([&] { atLanguage.push_back(presenter.present().accessibleText); });
    // The harness ships no tables: the new language shows its keys, which tells it apart.
    h.state->set(&SettingsValues::language, AppLanguage::cs);
    EXPECT_EQ(atSetting, std::vector<std::string>{"Off"})
        << "the setting is announced before the texts switch";
    EXPECT_EQ(atLanguage, std::vector<std::string>{"a11y.status_inactive"})
        << "nothing of the old language kept";
}

}  // namespace
}  // namespace torvel
