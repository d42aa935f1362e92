#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Models/ActivationReason.h"
#include "Models/AssertionType.h"
#include "Models/BatteryState.h"
#include "Models/ReasonSet.h"

namespace torvel {

/// Everything the keep-awake decision looks at, read once at the moment of deciding.
struct PriorityChainInput {
    bool thermalKillSwitchEnabled = true;
    ThermalState thermalState = ThermalState::nominal;
    bool hasBattery = false;
    bool isOnACPower = true;
    std::int64_t batteryPercentage = 100;
    /// 0 means no soft limit.
    std::int64_t effectiveBatteryLimit = 0;
    bool isManuallyActivated = false;
    bool isTimerRunning = false;
    bool isAutomationPaused = false;
    bool autoActivateOnExternalDisplay = false;
    bool hasExternalDisplay = false;
    bool autoActivateOnMirroring = false;
    bool isMirroring = false;
    std::optional<AssertionType> profileAssertionType{};
    bool trustedNetworkActivationEnabled = false;
    bool isWiFiConnected = false;
    bool hasTrustedNetworks = false;
    bool isOnTrustedNetwork = false;
    AssertionType trustedNetworkAssertionType = AssertionType::noSystemSleep;
    bool trustedNetworkLatchedWhileLidClosed = false;
    bool isLidClosed = false;
    bool isTrustedNetworkLatchValid = false;
    bool isProcessTriggerActive = false;
    AssertionType processTriggerAssertionType = AssertionType::noIdleSleep;
    bool preventDisplaySleep = false;
};

/// Why a safety rule stopped keeping the machine awake.
struct StopCause {
    enum class Kind { thermalCritical, batteryHardLimit, batterySoftLimit };
    Kind kind;
    /// The effective limit, for batterySoftLimit; 0 otherwise.
    std::int64_t limit = 0;

    friend bool operator==(const StopCause&, const StopCause&) = default;
};

/// The answer: the reasons and type to hold, or a stop.
struct PriorityDecision {
    ReasonSet reasons;
    /// Absent exactly when `reasons` is empty.
    std::optional<AssertionType> assertionType;
    std::optional<StopCause> stopCause;

    friend bool operator==(const PriorityDecision&, const PriorityDecision&) = default;
    std::string toString() const;
};

/// Below this charge on battery power every session stops, whatever the settings and profiles say.
inline constexpr std::int64_t kBatteryHardFloorPercent = 10;

/// The keep-awake decision: safety stops first (heat, the battery floor, the soft limit), then the
/// reasons with the strongest assertion type any of them asks for. Pure.
PriorityDecision decideSleepPrevention(const PriorityChainInput& input);

}  // namespace torvel
