#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Log.h"
#include "Platform/WiFi.h"

namespace torvel {

/// Follows the Wi-Fi connection and tells of every change of connection, network name or
/// authorisation; reads nothing on its own schedule.
class WiFiNetworkMonitor {
public:
    /// Called with the connected flag, the names of every network a Wi-Fi device is on (sorted) and the
    /// authorisation.
    using Callback = std::function<void(bool, const std::vector<std::string>&, WiFiAuthorization)>;

    /// Subscribes to the port's changes and takes a first reading, without a callback yet.
    WiFiNetworkMonitor(WiFi& wifi, LogSink& log);
    ~WiFiNetworkMonitor();
    WiFiNetworkMonitor(const WiFiNetworkMonitor&) = delete;
    WiFiNetworkMonitor& operator=(const WiFiNetworkMonitor&) = delete;

    /// Reads the port; when the reading changed, or `forceNotify`, logs it, stores it and calls back.
    void refreshState(bool forceNotify);
    /// Replaces the change callback; nullptr ends it.
    void setOnStateChanged(Callback callback) { onStateChanged_ = std::move(callback); }
    /// The last reading; not connected, no name and notDetermined before the first.
    const WiFiReading& currentState() const { return currentState_; }
    /// Expires with the monitor, so that closures holding it can tell it is gone.
    std::weak_ptr<WiFiNetworkMonitor> weakSelf() { return self_; }

private:
    WiFi& wifi_;
    Logger log_;
    WiFiReading currentState_{false, {}, WiFiAuthorization::notDetermined};
    Callback onStateChanged_;
    std::shared_ptr<WiFiNetworkMonitor> self_{this, [](WiFiNetworkMonitor*) {}};
};

}  // namespace torvel
