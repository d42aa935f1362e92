#include "Core/EmergencyPowerPolicy.h"

#include <gtest/gtest.h>

namespace torvel {
namespace {

using Action = EmergencyPowerAction;

struct Row {
    std::int64_t battery;
    std::int64_t storedForce;
    std::int64_t storedTerminate;
    bool blockers;
    bool onAC;
    bool cooldown;
    Action expected;
};

TEST(EmergencyPowerPolicyTest, DecidesByStrictThresholdsWithTerminationNeverAboveSleep) {
    const Row rows[] = {
        {9, 10, 5, true, false, false, Action::forceSleep},
        {4, 10, 5, true, false, false, Action::terminateBlockersThenSleep},
        {10, 10, 5, true, false, false, Action::none},                        // exactly at the threshold
        {9, 10, 30, true, false, false, Action::terminateBlockersThenSleep},  // terminate capped at 10
        {1, 0, 5, true, false, false, Action::none},                          // sleeping switched off
        {0, 0, 5, true, false, false, Action::none},                          // ... even at an empty battery
        {0, 1, 0, true, false, false, Action::forceSleep},                    // the lowest threshold, no termination
        {19, 25, 0, true, false, false, Action::forceSleep},                  // read as 20
        {3, 10, 5, false, false, false, Action::none},                        // nothing to blame
        {3, 10, 5, true, true, false, Action::none},
        {3, 10, 5, true, false, true, Action::none},
        {4, 10, -7, true, false, false, Action::forceSleep},                  // a negative threshold is off
    };
    for (const Row& row : rows) {
        EmergencyPowerPolicy::Input input;
        input.hasBattery = true;
        input.isOnACPower = row.onAC;
        input.batteryPercent = row.battery;
        input.hasBlockers = row.blockers;
        input.forceSleepPercent = EmergencyPowerPolicy::forceSleepPercent(row.storedForce);
        input.terminateBlockersPercent =
            EmergencyPowerPolicy::effectiveTerminatePercent(row.storedTerminate, row.storedForce);
        input.inCooldown = row.cooldown;
        EXPECT_EQ(toString(EmergencyPowerPolicy::decide(input)), toString(row.expected))
            << "battery " << row.battery << " force " << row.storedForce << " terminate " << row.storedTerminate;
    }
    EXPECT_EQ(EmergencyPowerPolicy::watchPercent(0), 15);
    EXPECT_EQ(EmergencyPowerPolicy::watchPercent(5), 15);
    EXPECT_EQ(EmergencyPowerPolicy::watchPercent(18), 18);
    EXPECT_EQ(EmergencyPowerPolicy::watchPercent(25), 20);
}

}  // namespace
}  // namespace torvel
