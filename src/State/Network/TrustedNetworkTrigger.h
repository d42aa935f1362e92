#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Models/TrustedNetwork.h"
#include "Models/TrustedWiFiStatus.h"
#include "Platform/Clock.h"
#include "Platform/Log.h"
#include "Platform/WiFi.h"
#include "Support/Signal.h"

namespace torvel {

class DefaultsStore;
class LidStateMonitor;
class Localization;
class SessionControl;
class WiFiNetworkMonitor;

/// The trusted Wi-Fi trigger: the trusted list, the Wi-Fi readings, and the latch that keeps the
/// trusted network's reason for a while after the lid closes (a Wi-Fi that drops with the lid must not
/// end it at once). The readings and the latch live in MonitorValues, where the decision reads them.
/// Main thread only.
class TrustedNetworkTrigger {
public:
    TrustedNetworkTrigger(SessionControl& session, Clock& clock, DefaultsStore& defaults, Localization& texts,
                          LogSink& log);
    TrustedNetworkTrigger(const TrustedNetworkTrigger&) = delete;
    TrustedNetworkTrigger& operator=(const TrustedNetworkTrigger&) = delete;

    /// Stores the list whole, ends a lid latch whose network is no longer trusted and re-evaluates. A
    /// list the store refuses stays in memory and is written again at the next change.
    void setTrustedNetworks(std::vector<TrustedNetwork> networks);
    /// Adds `ssid` to the trusted list; false, changing nothing, when it is empty or already trusted.
    bool addTrustedSSID(const std::string& ssid);
    /// True when some trusted network names the same network as `ssid` (compared as canonicalSSID(), so
    /// case and spaces count).
    bool isTrustedSSID(const std::string& ssid) const;

    /// A new Wi-Fi reading with the names of all connected networks: records it, logs a change of
    /// network and re-evaluates. Any trusted network among them keeps the computer awake.
    void handleWiFiStateChanged(bool connected, std::vector<std::string> ssids,
                                WiFiAuthorization authorization);
    /// The same for a machine on at most one network.
    void handleWiFiStateChanged(bool connected, const std::optional<std::string>& ssid,
                                WiFiAuthorization authorization) {
        handleWiFiStateChanged(connected, ssid ? std::vector{*ssid} : std::vector<std::string>{},
                               authorization);
    }
    /// A Wi-Fi reading changed what status() answers (the network, the connection or the permission),
    /// whether or not activation follows.
    Signal<> wifiStateChanged;
    /// The current network and whether it is trusted, as the menu and the settings window show it.
    TrustedWiFiStatus status() const;
    /// The status as text: the menu's line, or the settings window's when `forMenu` is false.
    std::string statusText(bool forMenu) const;

    /// Installed by the Wi-Fi wiring: a forced refresh of the current network.
    void setWiFiStateRefresher(std::function<void()> refresher) {
        wifiStateRefresher_ = std::move(refresher);
    }
    /// Refreshes through `monitor` while it exists; replaces an earlier refresher.
    void attachWiFiMonitor(WiFiNetworkMonitor& monitor);
    /// Re-reads the current network through the installed refresher (the menu opening); none: nothing.
    void refreshWiFiState() {
        if (wifiStateRefresher_) wifiStateRefresher_();
    }
    /// Tells `monitor` while lid changes matter (the trigger is on); held weakly.
    void attachLidMonitor(LidStateMonitor& monitor);

    // For the session itself, which re-evaluates after each of these.
    /// The lid closed: latches the trusted network when its reason held just before.
    void latchOnLidClosed(bool trustedActive);
    /// Ends the latch (the lid opened, the user ended everything, the network is no longer trusted).
    void clearLatch();
    /// The trigger was switched on or off: off ends the latch, on reads the current network at once.
    void handleActivationSettingChanged();
    /// Asks the lid monitor for changes exactly while the trigger is on.
    void updateLidWatch();

private:
    /// currentSSID from connectedSSIDs and the trusted list.
    std::optional<std::string> chooseCurrentSSID() const;

    SessionControl& session_;
    Clock& clock_;
    DefaultsStore& defaults_;
    Localization& texts_;
    Logger log_;
    std::function<void()> wifiStateRefresher_;
    std::weak_ptr<LidStateMonitor> lidMonitor_;
};

}  // namespace torvel
