#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Log.h"
#include "Platform/WiFi.h"
#include "Support/Lifetime.h"
#include "Support/Signal.h"

namespace torvel {

/// Follows the Wi-Fi connection and tells of every change of connection, network name or
/// authorisation; reads nothing on its own schedule.
class WiFiNetworkMonitor {
public:
    /// Subscribes to the port's changes and takes a first reading, told to nobody yet.
    WiFiNetworkMonitor(WiFi& wifi, LogSink& log);
    ~WiFiNetworkMonitor();
    WiFiNetworkMonitor(const WiFiNetworkMonitor&) = delete;
    WiFiNetworkMonitor& operator=(const WiFiNetworkMonitor&) = delete;

    /// Reads the port; when the reading changed, or `forceNotify`, logs it, stores it and tells it.
    void refreshState(bool forceNotify);
    /// Told the connected flag, the names of every network a Wi-Fi device is on (sorted) and the
    /// authorisation, after every refresh that calls back.
    Signal<bool, const std::vector<std::string>&, WiFiAuthorization> stateChanged;
    /// The last reading; not connected, no name and notDetermined before the first.
    const WiFiReading& currentState() const { return currentState_; }
    /// Expires with the monitor, so that closures holding it can tell it is gone.
    std::weak_ptr<WiFiNetworkMonitor> weakSelf() { return lifetime_.weakPointer(*this); }

private:
    WiFi& wifi_;
    Logger log_;
    WiFiReading currentState_{false, {}, WiFiAuthorization::notDetermined};
    Lifetime lifetime_;
};

}  // namespace torvel
