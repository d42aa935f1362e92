#include <gtest/gtest.h>

#include "State/AppStateHarness.h"

namespace torvel {
namespace {

using R = ActivationReason;

double storedPause(const MemoryDefaultsStore& store) {
    auto value = store.object("automationPausedUntil");
    return value ? std::get<double>(*value) : -1.0;
}

TEST(AutomationPause, AnHourWithAnExternalDisplayEndsByItself) {
    AppStateHarness h;
    h.state->set(&SettingsValues::autoActivateOnExternalDisplay, true);
    h.state->updateMonitorValues([](MonitorValues& m) { m.hasExternalDisplay = true; });
    h.state->automationPause().pause(AutomationPause::Mode::oneHour);
    EXPECT_FALSE(h.state->isActive());
    EXPECT_DOUBLE_EQ(storedPause(h.defaults), h.clock.now().secondsSinceReferenceDate() + 3600);

    h.scheduler.advance(3600);
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::externalDisplay});
    EXPECT_FALSE(h.defaults.object("automationPausedUntil"));
}

TEST(AutomationPause, AnEndSleptAcrossEndsAtTheFirstEvaluationAfterTheWake) {
    AppStateHarness h;
    h.state->set(&SettingsValues::autoActivateOnExternalDisplay, true);
    h.state->automationPause().pause(AutomationPause::Mode::oneHour);
    h.clock.suspend(2 * 3600);  // the end's timer counts on the suspending clock and has not run
    h.state->updateMonitorValues([](MonitorValues& m) { m.hasExternalDisplay = true; });
    EXPECT_FALSE(h.state->automationPause().isPaused());
    EXPECT_FALSE(h.defaults.object("automationPausedUntil"));
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::externalDisplay});
}

TEST(AutomationPause, UntilMorningIsStoredAsTheNextSevenOClock) {
    auto prague = *Calendar::named("Europe/Prague");
    AppStateHarness h(prague);
    h.state->set(&SettingsValues::autoActivateOnExternalDisplay, true);
    h.clock.setNow(*prague.date({2026, 12, 6, 23, 10, 0}));
    h.state->updateMonitorValues([](MonitorValues& m) { m.hasExternalDisplay = true; });
    h.state->automationPause().pause(AutomationPause::Mode::untilMorning);
    EXPECT_DOUBLE_EQ(storedPause(h.defaults),
                     prague.date({2026, 12, 7, 7, 0, 0})->secondsSinceReferenceDate());
    h.scheduler.advance(7 * 3600 + 50 * 60 - 1);
    EXPECT_FALSE(h.state->isActive());
    h.scheduler.advance(1);
    EXPECT_TRUE(h.state->isActive());
    // Before seven the same day's morning counts; at seven sharp the next one.
    EXPECT_EQ(AutomationPause::nextMorning(*prague.date({2026, 12, 7, 6, 30, 0}), prague),
              prague.date({2026, 12, 7, 7, 0, 0}));
    EXPECT_EQ(AutomationPause::nextMorning(*prague.date({2026, 12, 7, 7, 0, 0}), prague),
              prague.date({2026, 12, 8, 7, 0, 0}));
}

TEST(AutomationPause, SurvivesARestartUntilItsEnd) {
    AppStateHarness h;
    h.state->set(&SettingsValues::autoActivateOnExternalDisplay, true);
    h.state->automationPause().pause(AutomationPause::Mode::indefinitely);
    EXPECT_DOUBLE_EQ(storedPause(h.defaults), Date::distantFuture().secondsSinceReferenceDate());
    const auto timers = h.scheduler.activeTimerCount();

    h.start();
    h.state->updateMonitorValues([](MonitorValues& m) { m.hasExternalDisplay = true; });
    EXPECT_EQ(h.state->automationPause().pausedUntil(), Date::distantFuture());
    EXPECT_FALSE(h.state->isActive());
    EXPECT_EQ(h.scheduler.activeTimerCount(), timers);  // an open-ended pause arms no timer

    // A stored end five minutes ahead holds for five minutes after the restart.
    h.defaults.set("automationPausedUntil", h.clock.now().secondsSinceReferenceDate() + 300);
    h.start();
    h.state->updateMonitorValues([](MonitorValues& m) { m.hasExternalDisplay = true; });
    EXPECT_FALSE(h.state->isActive());
    h.scheduler.advance(300);
    EXPECT_TRUE(h.state->isActive());

    // An end in the past is removed and automation runs.
    h.defaults.set("automationPausedUntil", h.clock.now().secondsSinceReferenceDate() - 1);
    h.start();
    EXPECT_FALSE(h.state->automationPause().pausedUntil());
    EXPECT_FALSE(h.defaults.object("automationPausedUntil"));
}

TEST(AutomationPause, ExplicitRequestsEndItAndIdleOverridesWriteNothing) {
    AppStateHarness h;
    const int writes = h.defaults.writeCount();
    h.state->automationPause().overrideForExplicitKeepAwake();
    EXPECT_EQ(h.defaults.writeCount(), writes);

    h.state->set(&SettingsValues::autoActivateOnExternalDisplay, true);
    h.state->updateMonitorValues([](MonitorValues& m) { m.hasExternalDisplay = true; });
    h.state->automationPause().pause(AutomationPause::Mode::indefinitely);
    h.scheduler.advance(365 * 24 * 3600.0);
    EXPECT_FALSE(h.state->isActive());
    h.state->automationPause().overrideForExplicitKeepAwake();
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::externalDisplay});

    h.state->automationPause().pause(AutomationPause::Mode::indefinitely);
    h.state->toggle();  // a manual session started by a click ends the pause
    EXPECT_TRUE(h.state->isActive());
    EXPECT_FALSE(h.state->automationPause().pausedUntil());
    EXPECT_FALSE(h.defaults.object("automationPausedUntil"));
}

}  // namespace
}  // namespace torvel
