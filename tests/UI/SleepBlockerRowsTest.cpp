#include <gtest/gtest.h>

#include "State/Emergency/EmergencyHarness.h"
#include "UI/MenuBuilder.h"

namespace torvel {
namespace {

TEST(SleepBlockerRows, LocksTheSessionHoldsForItsApplicationsAreOneRowNamedForTheSession) {
    EmergencyHarness e;
    e.h.texts.setTable({{"menu.sleep_blockers_session_relay", "The desktop session"}});
    MenuBuilder menu{MenuBuilderServices{e.state(), e.h.timer, e.h.notifications, e.h.sleepPrevention, e.h.clock,
                                         e.h.calendar_},
                     {}};
    e.addBlocker(9, "cinnamon-session");
    e.addBlocker(12, "mate-session");
    e.addBlocker(7, "zoom");
    e.state().set(&SettingsValues::emergencyPowerEnabled, false);  // only the list
    e.battery(50);
    menu.willOpen();
    const auto items = menu.build().items;
    ASSERT_GE(items.size(), 3u);
    EXPECT_EQ(items[1].title, "The desktop session \u00D72");
    ASSERT_EQ(items[1].submenu.size(), 2u);
    EXPECT_EQ(items[1].submenu[0].title, "PID 9 (cinnamon-session) \u2014 busy");
    EXPECT_EQ(items[2].title, "zoom");
}

}  // namespace
}  // namespace torvel
