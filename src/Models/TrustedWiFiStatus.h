#pragma once

#include <string>

namespace torvel {

/// What the menu and the settings window say about the current Wi-Fi network.
struct TrustedWiFiStatus {
    enum class Kind {
        connected,
        ssidUnavailable,
        wifiOff,
        locationDenied,
        locationNotDetermined,
        locationUnsupported
    };
    Kind kind = Kind::wifiOff;
    /// Only for connected: the network's name and whether it is on the trusted list.
    std::string ssid;
    bool trusted = false;

    /// The text key of the tray menu's line; its one argument (connected only) is the name.
    const char* menuKey() const;
    /// The text key of the settings window's status line; its one argument (connected only) is the name.
    const char* settingsKey() const;
    /// "connected(<ssid>, trusted)", "wifiOff", ..., so a failing test shows a readable difference.
    std::string toString() const;
    friend bool operator==(const TrustedWiFiStatus&, const TrustedWiFiStatus&) = default;
};

}  // namespace torvel
