#include "Models/TrustedWiFiStatus.h"

namespace torvel {

const char* TrustedWiFiStatus::menuKey() const {
    switch (kind) {
        case Kind::connected:
            return trusted ? "menu.trusted_wifi_current_trusted" : "menu.trusted_wifi_current_untrusted";
        case Kind::ssidUnavailable:
            return "menu.trusted_wifi_ssid_unavailable";
        case Kind::wifiOff:
            return "menu.trusted_wifi_off";
        case Kind::locationDenied:
            return "menu.trusted_wifi_location_denied";
        case Kind::locationNotDetermined:
            return "menu.trusted_wifi_location_needed";
        case Kind::locationUnsupported:
            return "menu.trusted_wifi_location_unsupported";
    }
    return "menu.trusted_wifi_off";
}

const char* TrustedWiFiStatus::settingsKey() const {
    switch (kind) {
        case Kind::connected:
            return trusted ? "settings.trusted_networks.status_current_trusted"
                           : "settings.trusted_networks.status_current_untrusted";
        case Kind::ssidUnavailable:
            return "settings.trusted_networks.status_ssid_unavailable";
        case Kind::wifiOff:
            return "settings.trusted_networks.status_wifi_off";
        case Kind::locationDenied:
            return "settings.trusted_networks.status_location_denied";
        case Kind::locationNotDetermined:
            return "settings.trusted_networks.status_location_not_determined";
        case Kind::locationUnsupported:
            return "settings.trusted_networks.status_location_unsupported";
    }
    return "settings.trusted_networks.status_wifi_off";
}

std::string TrustedWiFiStatus::toString() const {
    switch (kind) {
        case Kind::connected:
            return "connected(" + ssid + (trusted ? ", trusted)" : ", untrusted)");
        case Kind::ssidUnavailable:
            return "ssidUnavailable";
        case Kind::wifiOff:
            return "wifiOff";
        case Kind::locationDenied:
            return "locationDenied";
        case Kind::locationNotDetermined:
            return "locationNotDetermined";
        case Kind::locationUnsupported:
            return "locationUnsupported";
    }
    return "wifiOff";
}

}  // namespace torvel
