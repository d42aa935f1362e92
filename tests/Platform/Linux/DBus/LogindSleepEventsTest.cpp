#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/Power/LogindSleepEvents.h"

namespace torvel {
namespace {

using Bus = PrivateBuses::Bus;
using LogindSleepEventsTest = PrivateBusTest;

TEST_F(LogindSleepEventsTest, PrepareForSleepTrueIsSleepAndFalseIsWakeOnceLogindIsThere) {
    // Without logind the setters fail.
    LogindSleepEvents absent(system(), log);
    EXPECT_FALSE(absent.setOnSleep([] {}));
    EXPECT_FALSE(absent.setOnWake([] {}));

    ASSERT_TRUE(buses.startTemplate(Bus::system, "logind", "org.freedesktop.login1"));
    LogindSleepEvents events(system(), log);
    std::vector<std::string> seen;
    ASSERT_TRUE(events.setOnSleep([&] { seen.push_back("sleep"); }));
    ASSERT_TRUE(events.setOnWake([&] { seen.push_back("wake"); }));
    const auto prepare = [&](bool start) {
        return buses.emitSignal(Bus::system, "org.freedesktop.login1", "/org/freedesktop/login1",
                                "org.freedesktop.login1.Manager", "PrepareForSleep", "b", {start});
    };
    ASSERT_TRUE(prepare(true) && prepare(false));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return seen.size() == 2; }));
    EXPECT_EQ(seen, (std::vector<std::string>{"sleep", "wake"}));

    // An empty callback stops that event only.
    ASSERT_TRUE(events.setOnSleep({}));
    ASSERT_TRUE(prepare(true) && prepare(false));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return seen.size() == 3; }));
    EXPECT_EQ(seen.back(), "wake");
}

}  // namespace
}  // namespace torvel
