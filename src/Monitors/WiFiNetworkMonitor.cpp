#include "Monitors/WiFiNetworkMonitor.h"

namespace torvel {

const char* toString(WiFiAuthorization authorization) {
    switch (authorization) {
        case WiFiAuthorization::notDetermined:
            return "notDetermined";
        case WiFiAuthorization::denied:
            return "denied";
        case WiFiAuthorization::authorized:
            return "authorized";
        case WiFiAuthorization::unsupported:
            return "unsupported";
    }
    return "unsupported";
}

WiFiNetworkMonitor::WiFiNetworkMonitor(WiFi& wifi, LogSink& log)
    : wifi_(wifi), log_(log, "WiFiNetworkMonitor") {
    const bool subscribed = wifi_.setOnChange([weak = weakSelf()] {
        if (auto self = weak.lock()) self->refreshState(false);
    });
    // Without change events the state is still read at start-up and on every forced refresh.
    if (!subscribed) log_.error("Failed to subscribe to Wi-Fi change events");
    refreshState(false);
}

WiFiNetworkMonitor::~WiFiNetworkMonitor() {
    wifi_.stopNotifications();
}

void WiFiNetworkMonitor::refreshState(bool forceNotify) {
    const WiFiReading reading = wifi_.read();
    if (!forceNotify && reading == currentState_) return;
    // The name is the user's business: hidden unless the log reveals private data.
    std::string names;
    for (const auto& ssid : reading.ssids) names += (names.empty() ? "" : ", ") + ssid;
    log_.info("WiFi state: connected={} SSID={} auth={}", reading.isConnected,
              Private{names.empty() ? std::string("<nil>") : names}, toString(reading.authorization));
    currentState_ = reading;
    stateChanged.emit(reading.isConnected, reading.ssids, reading.authorization);
}

}  // namespace torvel
