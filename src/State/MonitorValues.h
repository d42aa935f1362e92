#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Models/BatteryState.h"
#include "Models/Date.h"
#include "Platform/WiFi.h"

namespace torvel {

/// The last value every monitor reported. Monitor handlers write here and then re-evaluate.
struct MonitorValues {
    BatteryState batteryState;
    ThermalState thermalState = ThermalState::nominal;
    bool hasExternalDisplay = false;
    bool isMirroring = false;
    bool isWiFiConnected = false;
    /// The network shown and trusted by: of all the networks the Wi-Fi devices are on, the first trusted
    /// one, else the first.
    std::optional<std::string> currentSSID;
    /// Every network a Wi-Fi device is on (a second adapter may be on another), sorted.
    std::vector<std::string> connectedSSIDs;
    WiFiAuthorization locationAuthorization = WiFiAuthorization::notDetermined;
    bool isLidClosed = false;
    bool trustedNetworkLatchedWhileLidClosed = false;
    std::optional<Date> trustedNetworkLatchDeadline;
    std::optional<std::string> trustedNetworkLatchSSID;
    bool isProcessTriggerActive = false;
};

}  // namespace torvel
