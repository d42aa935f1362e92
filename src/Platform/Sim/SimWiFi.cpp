#include "Platform/Sim/SimWiFi.h"

#include <algorithm>

#include "Models/SSIDText.h"
#include "Platform/Sim/SimDelivery.h"

namespace torvel {

WiFiReading SimWiFi::read() {
    ++reads_;
    WiFiReading reading = reading_;
    if (reading.authorization != WiFiAuthorization::authorized) reading.ssids.clear();
    return reading;
}

bool SimWiFi::setOnChange(std::function<void()> onChange) {
    *onChange_ = failNotificationSetup_ ? nullptr : std::move(onChange);
    return !failNotificationSetup_;
}

void SimWiFi::connect(std::string_view ssidBytes) {
    connectAll({std::string(ssidBytes)});
}

void SimWiFi::connectAll(const std::vector<std::string>& ssidBytes) {
    reading_.isConnected = !ssidBytes.empty();
    reading_.ssids.clear();
    for (const auto& bytes : ssidBytes) reading_.ssids.push_back(ssidFromBytes(bytes));
    // As the port promises: sorted, each name once.
    std::ranges::sort(reading_.ssids);
    reading_.ssids.erase(std::unique(reading_.ssids.begin(), reading_.ssids.end()), reading_.ssids.end());
    announce();
}

void SimWiFi::connectWithoutName() {
    reading_.isConnected = true;
    reading_.ssids.clear();
    announce();
}

void SimWiFi::disconnect() {
    reading_.isConnected = false;
    reading_.ssids.clear();
    announce();
}

void SimWiFi::setAuthorization(WiFiAuthorization authorization) {
    reading_.authorization = authorization;
    announce();
}

void SimWiFi::announce() {
    deliverLater(scheduler_, onChange_);
}

}  // namespace torvel
