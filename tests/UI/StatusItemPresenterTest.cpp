#include "UI/StatusItemPresenter.h"

#include <gtest/gtest.h>

#include "Core/AppStateHarness.h"

namespace torvel {
namespace {

TEST(StatusItemPresenterTest, TitleCarriesRemainingTimeAndEstimateWhenEachApplies) {
    const std::string battery = StatusItemPresenter::kBatteryGlyph;
    const struct {
        const char* name;
        bool timer, estimateOn;
        BatteryState power;
        std::string title;
    } cases[] = {
        {"inactive, estimate off", false, false, {80, false, false, true, 90}, ""},
        {"25-minute timer", true, false, {80, false, false, true, 90}, " 25m"},
        {"estimate only", false, true, {80, false, false, true, 90}, " " + battery + "1h 30m"},
        {"both", true, true, {80, false, false, true, 90}, " 25m \u00B7 " + battery + "1h 30m"},
        {"on AC power", true, true, {80, true, true, true, 90}, " 25m"},
        {"no estimate", true, true, {80, false, false, true, std::nullopt}, " 25m"},
        {"zero minutes", true, true, {80, false, false, true, 0}, " 25m"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppStateHarness h;
        StatusItemPresenter presenter(*h.state, h.timer);
        h.state->set(&SettingsValues::showBatteryEstimate, c.estimateOn);
        h.state->updateMonitorValues([&c](MonitorValues& m) { m.batteryState = c.power; });
        if (c.timer) h.state->activate(Duration::custom(25 * 60));
        const auto shown = presenter.present();
        EXPECT_EQ(shown.title, c.title);
        EXPECT_EQ(shown.iconName, c.timer ? "torvel-active-symbolic" : "torvel-inactive-symbolic");
        EXPECT_EQ(shown.accessibleText, c.timer ? "a11y.status_active" : "a11y.status_inactive");
        // The countdown wakes per shown minute exactly while the title shows it.
        EXPECT_EQ(presenter.shownText(), c.timer ? TimerManager::ShownText::minutes : TimerManager::ShownText::nothing);
    }
}

TEST(StatusItemPresenterTest, HiddenRemainingTimeNeedsNoMinuteWakeUps) {
    AppStateHarness h;
    StatusItemPresenter presenter(*h.state, h.timer);
    h.state->set(&SettingsValues::showRemainingTime, false);
    h.state->activate(Duration::custom(25 * 60));
    EXPECT_EQ(presenter.present().title, "");
    EXPECT_EQ(presenter.shownText(), TimerManager::ShownText::nothing);
}

}  // namespace
}  // namespace torvel
