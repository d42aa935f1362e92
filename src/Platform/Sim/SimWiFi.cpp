#include "Platform/Sim/SimWiFi.h"

#include "Models/SSIDText.h"
#include "Platform/Sim/SimDelivery.h"

namespace torvel {

WiFiReading SimWiFi::read() {
    ++reads_;
    WiFiReading reading = reading_;
    if (reading.authorization != WiFiAuthorization::authorized) reading.ssid.reset();
    return reading;
}

bool SimWiFi::setOnChange(std::function<void()> onChange) {
    *onChange_ = failNotificationSetup_ ? nullptr : std::move(onChange);
    return !failNotificationSetup_;
}

void SimWiFi::connect(std::string_view ssidBytes) {
    reading_.isConnected = true;
    reading_.ssid = ssidFromBytes(ssidBytes);
    announce();
}

void SimWiFi::connectWithoutName() {
    reading_.isConnected = true;
    reading_.ssid.reset();
    announce();
}

void SimWiFi::disconnect() {
    reading_.isConnected = false;
    reading_.ssid.reset();
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
