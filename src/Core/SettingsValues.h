#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "Models/AppLanguage.h"
#include "Models/AssertionType.h"
#include "Models/TrustedNetwork.h"

namespace torvel {

/// Every user preference with its default, in the order they are stored and loaded.
struct SettingsValues {
    bool autoActivateOnExternalDisplay = false;
    bool autoActivateOnMirroring = false;
    bool batteryLimitEnabled = true;
    std::int64_t batteryLimitPercent = 20;
    bool resumeOnCharger = true;
    bool predictiveBatteryWarning = true;
    std::int64_t predictiveBatteryMinutes = 15;
    bool showRemainingTime = true;
    bool showBatteryEstimate = false;
    bool preventDisplaySleep = false;
    bool preventScreenSaver = false;
    bool lidCloseSoundEnabled = true;
    float lidCloseSoundVolume = 1.0f;
    bool heartbeatPipEnabled = true;
    float heartbeatPipVolume = 0.4f;
    bool heartbeatPipDecayEnabled = true;
    bool guardianEnabled = true;
    std::int64_t guardianHours = 8;
    bool hasSeenOnboarding = false;
    std::vector<TrustedNetwork> trustedNetworks;
    bool trustedNetworkActivationEnabled = false;
    AssertionType trustedNetworkAssertionType = AssertionType::noSystemSleep;
    bool thermalKillSwitchEnabled = true;
    bool autoEnableLowPowerModeOnLidClose = true;
    bool preferStayguardClamshellDefeat = true;
    bool processTriggerEnabled = false;
    bool emergencyPowerEnabled = true;
    std::int64_t emergencyForceSleepPercent = 5;
    std::int64_t emergencyTerminateBlockersPercent = 0;
    bool emergencyAlarmEnabled = true;
    AssertionType processTriggerAssertionType = AssertionType::noIdleSleep;
    AppLanguage language = AppLanguage::system;
};

}  // namespace torvel
