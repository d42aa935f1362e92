#include <gtest/gtest.h>

#include <functional>

#include "Core/PriorityChain.h"

namespace torvel {
namespace {

using R = ActivationReason;
using T = AssertionType;

PriorityDecision keep(ReasonSet reasons, T type) {
    return {std::move(reasons), type, std::nullopt};
}
PriorityDecision stop(StopCause::Kind kind, std::int64_t limit = 0) {
    return {{}, std::nullopt, StopCause{kind, limit}};
}

PriorityChainInput onBattery(std::int64_t percent) {
    PriorityChainInput in;
    in.hasBattery = true;
    in.isOnACPower = false;
    in.batteryPercentage = percent;
    return in;
}

struct Row {
    const char* name;
    std::function<void(PriorityChainInput&)> setup;
    PriorityDecision expected;
};

TEST(PriorityChain, DecidesEveryRuleInOrder) {
    const std::vector<Row> rows = {
        {"nothing holds", [](auto&) {}, PriorityDecision{}},
        {"hard floor on battery with limits off",
         [](auto& in) {
             in = onBattery(9);
             in.isManuallyActivated = true;
         },
         stop(StopCause::Kind::batteryHardLimit)},
        {"hard floor does not apply on AC",
         [](auto& in) {
             in = onBattery(9);
             in.isOnACPower = true;
             in.isManuallyActivated = true;
         },
         keep({R::manual}, T::noIdleSleep)},
        {"soft limit carries the limit",
         [](auto& in) {
             in = onBattery(15);
             in.effectiveBatteryLimit = 20;
         },
         stop(StopCause::Kind::batterySoftLimit, 20)},
        {"exactly at the soft limit keeps going",
         [](auto& in) {
             in = onBattery(20);
             in.effectiveBatteryLimit = 20;
             in.isTimerRunning = true;
         },
         keep({R::timer}, T::noIdleSleep)},
        {"limit 0 means none",
         [](auto& in) {
             in = onBattery(15);
             in.isManuallyActivated = true;
         },
         keep({R::manual}, T::noIdleSleep)},
        {"profile override 30 at 25 %",
         [](auto& in) {
             in = onBattery(25);
             in.effectiveBatteryLimit = 30;
             in.profileAssertionType = T::noIdleSleep;
         },
         stop(StopCause::Kind::batterySoftLimit, 30)},
        {"no battery present is never stopped",
         [](auto& in) {
             in.hasBattery = false;
             in.isOnACPower = false;
             in.batteryPercentage = 5;
             in.effectiveBatteryLimit = 20;
         },
         PriorityDecision{}},
        {"thermal stop comes before the battery rules",
         [](auto& in) {
             in = onBattery(5);
             in.thermalState = ThermalState::critical;
         },
         stop(StopCause::Kind::thermalCritical)},
        {"thermal stop on AC",
         [](auto& in) {
             in.thermalState = ThermalState::critical;
             in.isManuallyActivated = true;
         },
         stop(StopCause::Kind::thermalCritical)},
        {"kill switch off ignores the heat",
         [](auto& in) {
             in.thermalKillSwitchEnabled = false;
             in.thermalState = ThermalState::critical;
             in.isManuallyActivated = true;
         },
         keep({R::manual}, T::noIdleSleep)},
        {"manual with display sleep prevented",
         [](auto& in) {
             in.isManuallyActivated = true;
             in.preventDisplaySleep = true;
         },
         keep({R::manual}, T::noDisplaySleep)},
        {"a profile keeps its own type against the display setting",
         [](auto& in) {
             in.profileAssertionType = T::noSystemSleep;
             in.preventDisplaySleep = true;
         },
         keep({R::profile}, T::noSystemSleep)},
        {"profile plus external display takes the stronger type",
         [](auto& in) {
             in.profileAssertionType = T::noIdleSleep;
             in.autoActivateOnExternalDisplay = true;
             in.hasExternalDisplay = true;
         },
         keep({R::externalDisplay, R::profile}, T::noDisplaySleep)},
        {"external display without its setting", [](auto& in) { in.hasExternalDisplay = true; },
         PriorityDecision{}},
        {"mirroring holds the display",
         [](auto& in) {
             in.autoActivateOnMirroring = true;
             in.isMirroring = true;
         },
         keep({R::mirroring}, T::noDisplaySleep)},
        {"pause silences the automatic reasons only",
         [](auto& in) {
             in.isAutomationPaused = true;
             in.autoActivateOnExternalDisplay = in.hasExternalDisplay = true;
             in.isProcessTriggerActive = true;
             in.trustedNetworkActivationEnabled = in.hasTrustedNetworks = in.isWiFiConnected =
                 in.isOnTrustedNetwork = true;
         },
         PriorityDecision{}},
        {"pause keeps manual, timer and profile",
         [](auto& in) {
             in.isAutomationPaused = true;
             in.isManuallyActivated = in.isTimerRunning = true;
             in.profileAssertionType = T::noIdleSleep;
         },
         keep({R::manual, R::timer, R::profile}, T::noIdleSleep)},
        {"trusted network raises to its type",
         [](auto& in) {
             in.trustedNetworkActivationEnabled = in.hasTrustedNetworks = in.isWiFiConnected =
                 in.isOnTrustedNetwork = true;
         },
         keep({R::trustedNetwork}, T::noSystemSleep)},
        {"trusted network needs a connection",
         [](auto& in) {
             in.trustedNetworkActivationEnabled = in.hasTrustedNetworks = in.isOnTrustedNetwork = true;
         },
         PriorityDecision{}},
        {"lid latch holds the trusted network after Wi-Fi dropped",
         [](auto& in) {
             in.trustedNetworkActivationEnabled = in.hasTrustedNetworks = true;
             in.trustedNetworkLatchedWhileLidClosed = in.isLidClosed = in.isTrustedNetworkLatchValid = true;
         },
         keep({R::trustedNetwork}, T::noSystemSleep)},
        {"an expired latch drops it",
         [](auto& in) {
             in.trustedNetworkActivationEnabled = in.hasTrustedNetworks = true;
             in.trustedNetworkLatchedWhileLidClosed = in.isLidClosed = true;
         },
         PriorityDecision{}},
        {"an empty trusted list never counts",
         [](auto& in) {
             in.trustedNetworkActivationEnabled = in.isWiFiConnected = in.isOnTrustedNetwork = true;
         },
         PriorityDecision{}},
        {"watched process with its type",
         [](auto& in) {
             in.isProcessTriggerActive = true;
             in.processTriggerAssertionType = T::noSystemSleep;
             in.isTimerRunning = true;
         },
         keep({R::timer, R::processRunning}, T::noSystemSleep)},
    };
    for (const auto& row : rows) {
        PriorityChainInput in;
        row.setup(in);
        EXPECT_EQ(decideSleepPrevention(in).toString(), row.expected.toString()) << row.name;
        EXPECT_EQ(decideSleepPrevention(in), row.expected) << row.name;
    }
}

}  // namespace
}  // namespace torvel
