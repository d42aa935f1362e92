#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Scheduler.h"
#include "Platform/WiFi.h"

namespace torvel {

/// A scriptable Wi-Fi connection. It starts disconnected; an injector changes the connection and
/// announces it on the main loop, as the real notification arrives.
class SimWiFi : public WiFi {
public:
    explicit SimWiFi(Scheduler& scheduler) : scheduler_(scheduler) {}

    /// As a system that guards the name: without authorisation the name is hidden.
    WiFiReading read() override;
    bool setOnChange(std::function<void()> onChange) override;
    void stopNotifications() override { *onChange_ = nullptr; }

    /// How often the connection was read.
    int readCount() const { return reads_; }
    /// True while someone gets the change notification.
    bool isNotifying() const { return static_cast<bool>(*onChange_); }

    // Injectors; each announces the change.
    /// Associated with the network whose name is the raw bytes `ssidBytes`.
    void connect(std::string_view ssidBytes);
    /// Several Wi-Fi devices associated at once, one network name (raw bytes) each, in device order.
    void connectAll(const std::vector<std::string>& ssidBytes);
    /// Associated, but the name is not known.
    void connectWithoutName();
    void disconnect();
    void setAuthorization(WiFiAuthorization authorization);
    /// setOnChange() fails from now on.
    void failNotificationSetup(bool fail = true) { failNotificationSetup_ = fail; }

private:
    void announce();

    Scheduler& scheduler_;
    WiFiReading reading_;
    int reads_ = 0;
    bool failNotificationSetup_ = false;
    // Shared with posted deliveries, which find it empty once notifications stop or the sim is gone.
    std::shared_ptr<std::function<void()>> onChange_ = std::make_shared<std::function<void()>>();
};

}  // namespace torvel
