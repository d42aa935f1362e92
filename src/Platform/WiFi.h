#pragma once

#include <functional>
#include <string>
#include <vector>

namespace torvel {

/// Whether the system lets Torvel see the network's name. Linux never hides it (always authorized); the
/// other cases exist for systems that put it behind a location permission.
enum class WiFiAuthorization { notDetermined, denied, authorized, unsupported };

/// The case name, for logs and tests.
const char* toString(WiFiAuthorization authorization);

/// The Wi-Fi connection as the system reports it.
struct WiFiReading {
    bool isConnected = false;
    /// The names of the networks the connected Wi-Fi devices are on, in the form of ssidFromBytes(),
    /// sorted and without repeats, so that which device comes first does not matter. Empty when not
    /// associated or when no name is known; which name counts is the core's decision.
    std::vector<std::string> ssids;
    WiFiAuthorization authorization = WiFiAuthorization::authorized;
    friend bool operator==(const WiFiReading&, const WiFiReading&) = default;
};

/// The machine's Wi-Fi connection and its change notification.
class WiFi {
public:
    virtual ~WiFi() = default;
    /// The connection as last known; never blocks. Failure (no network service, nothing known yet):
    /// not connected, no name.
    virtual WiFiReading read() = 0;
    // A hook with one owner rather than a Signal: subscribing is what starts following the source, and
    // its answer (false: no notifications will ever come) is what the owner decides on.
    /// Calls `onChange` on the main loop after any change of the connection, replacing an earlier
    /// callback. Failure: false, and no notifications at all.
    virtual bool setOnChange(std::function<void()> onChange) = 0;
    /// Ends the notifications; the callback is not called afterwards. Never fails.
    virtual void stopNotifications() = 0;
};

}  // namespace torvel
