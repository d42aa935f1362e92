#include <algorithm>
#include <utility>

#include "State/AppState.h"
#include "Core/Settings.h"
#include "Monitors/WiFiNetworkMonitor.h"
#include "Platform/DefaultsStore.h"
#include "Support/Localization.h"

namespace torvel {

void AppState::setTrustedNetworks(std::vector<TrustedNetwork> networks) {
    settings_.trustedNetworks = std::move(networks);
    settingChanged.emit(kTrustedNetworksKey);
    const auto written = services_.defaults.set(
        kTrustedNetworksKey, DefaultsData::fromString(trustedNetworksToJson(settings_.trustedNetworks)));
    if (!written) log_.error("Failed to persist trustedNetworks: {}", *written.error);
    // With two networks at once, which one counts can change with the list.
    if (monitors_.connectedSSIDs.size() > 1) monitors_.currentSSID = chooseCurrentSSID();
    if (settings_.trustedNetworks.empty()) {
        clearTrustedNetworkLatch();
    } else if (monitors_.trustedNetworkLatchSSID && !isTrustedSSID(*monitors_.trustedNetworkLatchSSID)) {
        clearTrustedNetworkLatch();
    }
    reevaluateState();
}

bool AppState::addTrustedSSID(const std::string& ssid) {
    if (ssid.empty() || isTrustedSSID(ssid)) return false;
    auto networks = settings_.trustedNetworks;
    networks.push_back({Uuid::random(), ssid, services_.clock.now()});
    setTrustedNetworks(std::move(networks));
    return true;
}

void AppState::clearTrustedNetworkLatch() {
    monitors_.trustedNetworkLatchedWhileLidClosed = false;
    monitors_.trustedNetworkLatchDeadline.reset();
    monitors_.trustedNetworkLatchSSID.reset();
}

void AppState::attachWiFiMonitor(WiFiNetworkMonitor& monitor) {
    wifiStateRefresher_ = [weak = monitor.weakSelf()] {
        if (auto m = weak.lock()) m->refreshState(true);
    };
}

std::optional<std::string> AppState::chooseCurrentSSID() const {
    const auto& names = monitors_.connectedSSIDs;
    if (names.empty()) return std::nullopt;
    const auto trusted =
        std::ranges::find_if(names, [this](const auto& name) { return isTrustedSSID(name); });
    return trusted != names.end() ? *trusted : names.front();
}

void AppState::handleWiFiStateChanged(bool connected, std::vector<std::string> ssids,
                                      WiFiAuthorization authorization) {
    const bool changed = ssids != monitors_.connectedSSIDs;
    const bool shownChanged =
        changed || connected != monitors_.isWiFiConnected || authorization != monitors_.locationAuthorization;
    monitors_.connectedSSIDs = std::move(ssids);
    monitors_.currentSSID = chooseCurrentSSID();
    monitors_.isWiFiConnected = connected;
    monitors_.locationAuthorization = authorization;
    if (changed) {
        const auto& ssid = monitors_.currentSSID;
        const bool trusted = ssid && isTrustedSSID(*ssid);
        log_.info("AppState: SSID={} trusted={} connected={} auth={}", Private{ssid.value_or("<nil>")},
                  trusted, connected, toString(authorization));
    }
    reevaluateState();
    if (shownChanged) wifiStateChanged.emit();
}

TrustedWiFiStatus AppState::trustedWiFiStatus() const {
    using Kind = TrustedWiFiStatus::Kind;
    switch (monitors_.locationAuthorization) {
        case WiFiAuthorization::notDetermined:
            return {Kind::locationNotDetermined, {}, false};
        case WiFiAuthorization::denied:
            return {Kind::locationDenied, {}, false};
        case WiFiAuthorization::unsupported:
            return {Kind::locationUnsupported, {}, false};
        case WiFiAuthorization::authorized:
            break;
    }
    if (monitors_.currentSSID && !monitors_.currentSSID->empty()) {
        return {Kind::connected, *monitors_.currentSSID, isTrustedSSID(*monitors_.currentSSID)};
    }
    return {monitors_.isWiFiConnected ? Kind::ssidUnavailable : Kind::wifiOff, {}, false};
}

std::string AppState::trustedWiFiStatusText(bool forMenu) const {
    const auto status = trustedWiFiStatus();
    const char* key = forMenu ? status.menuKey() : status.settingsKey();
    if (status.kind != TrustedWiFiStatus::Kind::connected) return services_.texts.text(key);
    return services_.texts.format(key, {status.ssid});
}

}  // namespace torvel
