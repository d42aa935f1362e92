#include <gtest/gtest.h>

#include "Core/PriorityChain.h"

namespace torvel {
namespace {

using R = ActivationReason;
using T = AssertionType;
using K = StopCause::Kind;

PriorityDecision keep(ReasonSet reasons, T type) {
    return {std::move(reasons), type, std::nullopt};
}
PriorityDecision stop(K kind, std::int64_t limit = 0) {
    return {{}, std::nullopt, StopCause{kind, limit}};
}

// Each row names only the inputs that matter to it; the rest keep their defaults.
TEST(PriorityChain, DecidesEveryRuleInOrder) {
    const ThermalState hot = ThermalState::critical;
    const struct {
        const char* name;
        PriorityChainInput in;  // fields in declaration order
        PriorityDecision expected;
    } rows[] = {
        {"nothing holds", {}, PriorityDecision{}},
        {"hard floor on battery with limits off",
         {.hasBattery = true, .isOnACPower = false, .batteryPercentage = 9, .isManuallyActivated = true},
         stop(K::batteryHardLimit)},
        {"hard floor does not apply on AC",
         {.hasBattery = true, .batteryPercentage = 9, .isManuallyActivated = true},
         keep({R::manual}, T::noIdleSleep)},
        {"soft limit carries the limit",
         {.hasBattery = true, .isOnACPower = false, .batteryPercentage = 15, .effectiveBatteryLimit = 20},
         stop(K::batterySoftLimit, 20)},
        {"exactly at the soft limit keeps going",
         {.hasBattery = true,
          .isOnACPower = false,
          .batteryPercentage = 20,
          .effectiveBatteryLimit = 20,
          .isTimerRunning = true},
         keep({R::timer}, T::noIdleSleep)},
        {"limit 0 means none",
         {.hasBattery = true, .isOnACPower = false, .batteryPercentage = 15, .isManuallyActivated = true},
         keep({R::manual}, T::noIdleSleep)},
        {"no battery present is never stopped",
         {.hasBattery = false, .isOnACPower = false, .batteryPercentage = 5, .effectiveBatteryLimit = 20},
         PriorityDecision{}},
        {"thermal stop comes before the battery rules",
         {.thermalState = hot, .hasBattery = true, .isOnACPower = false, .batteryPercentage = 5},
         stop(K::thermalCritical)},
        {"kill switch off ignores the heat",
         {.thermalKillSwitchEnabled = false, .thermalState = hot, .isManuallyActivated = true},
         keep({R::manual}, T::noIdleSleep)},
        {"manual with display sleep prevented",
         {.isManuallyActivated = true, .preventDisplaySleep = true},
         keep({R::manual}, T::noDisplaySleep)},
        {"a profile keeps its own type against the display setting",
         {.profileAssertionType = T::noSystemSleep, .preventDisplaySleep = true},
         keep({R::profile}, T::noSystemSleep)},
        {"profile plus external display takes the stronger type",
         {.autoActivateOnExternalDisplay = true,
          .hasExternalDisplay = true,
          .profileAssertionType = T::noIdleSleep},
         keep({R::externalDisplay, R::profile}, T::noDisplaySleep)},
        {"external display without its setting", {.hasExternalDisplay = true}, PriorityDecision{}},
        {"mirroring holds the display",
         {.autoActivateOnMirroring = true, .isMirroring = true},
         keep({R::mirroring}, T::noDisplaySleep)},
        {"pause silences the automatic reasons only",
         {.isAutomationPaused = true,
          .autoActivateOnExternalDisplay = true,
          .hasExternalDisplay = true,
          .trustedNetworkActivationEnabled = true,
          .isWiFiConnected = true,
          .hasTrustedNetworks = true,
          .isOnTrustedNetwork = true,
          .isProcessTriggerActive = true},
         PriorityDecision{}},
        {"pause keeps manual, timer and profile",
         {.isManuallyActivated = true,
          .isTimerRunning = true,
          .isAutomationPaused = true,
          .profileAssertionType = T::noIdleSleep},
         keep({R::manual, R::timer, R::profile}, T::noIdleSleep)},
        {"trusted network raises to its type",
         {.trustedNetworkActivationEnabled = true,
          .isWiFiConnected = true,
          .hasTrustedNetworks = true,
          .isOnTrustedNetwork = true},
         keep({R::trustedNetwork}, T::noSystemSleep)},
        {"trusted network needs a connection",
         {.trustedNetworkActivationEnabled = true, .hasTrustedNetworks = true, .isOnTrustedNetwork = true},
         PriorityDecision{}},
        {"lid latch holds the trusted network after Wi-Fi dropped",
         {.trustedNetworkActivationEnabled = true,
          .hasTrustedNetworks = true,
          .trustedNetworkLatchedWhileLidClosed = true,
          .isLidClosed = true,
          .isTrustedNetworkLatchValid = true},
         keep({R::trustedNetwork}, T::noSystemSleep)},
        {"an expired latch drops it",
         {.trustedNetworkActivationEnabled = true,
          .hasTrustedNetworks = true,
          .trustedNetworkLatchedWhileLidClosed = true,
          .isLidClosed = true},
         PriorityDecision{}},
        {"an empty trusted list never counts",
         {.trustedNetworkActivationEnabled = true, .isWiFiConnected = true, .isOnTrustedNetwork = true},
         PriorityDecision{}},
        {"watched process with its type",
         {.isTimerRunning = true,
          .isProcessTriggerActive = true,
          .processTriggerAssertionType = T::noSystemSleep},
         keep({R::timer, R::processRunning}, T::noSystemSleep)},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(decideSleepPrevention(row.in).toString(), row.expected.toString()) << row.name;
        EXPECT_EQ(decideSleepPrevention(row.in), row.expected) << row.name;
    }
}

}  // namespace
}  // namespace torvel
