// The trusted Wi-Fi trigger: the trusted list, the Wi-Fi readings and the lid latch.
#include "State/Network/TrustedNetworkTrigger.h"

#include <algorithm>
#include <utility>

#include "Core/Settings.h"
#include "Models/SSIDText.h"
#include "Monitors/LidStateMonitor.h"
#include "Monitors/WiFiNetworkMonitor.h"
#include "Platform/DefaultsStore.h"
#include "State/SessionControl.h"
#include "Support/Localization.h"

namespace torvel {

namespace {

// How long the trusted network's reason outlives a Wi-Fi that drops once the lid is closed.
constexpr double kLatchSeconds = 300.0;

}  // namespace

TrustedNetworkTrigger::TrustedNetworkTrigger(SessionControl& session, Clock& clock, DefaultsStore& defaults,
                                             Localization& texts, LogSink& log)
    : session_(session), clock_(clock), defaults_(defaults), texts_(texts), log_(log, "AppState") {}

void TrustedNetworkTrigger::setTrustedNetworks(std::vector<TrustedNetwork> networks) {
    session_.replaceTrustedNetworks(std::move(networks));
    session_.publishSettingChanged(kTrustedNetworksKey);
    const auto& trusted = session_.settings().trustedNetworks;
    const auto written =
        defaults_.set(kTrustedNetworksKey, DefaultsData::fromString(trustedNetworksToJson(trusted)));
    if (!written) log_.error("Failed to persist trustedNetworks: {}", *written.error);
    const MonitorValues& values = session_.monitorValues();
    // With two networks at once, which one counts can change with the list.
    if (values.connectedSSIDs.size() > 1) {
        auto chosen = chooseCurrentSSID();
        session_.recordMonitorValues([&chosen](MonitorValues& m) { m.currentSSID = std::move(chosen); });
    }
    if (trusted.empty()) {
        clearLatch();
    } else if (values.trustedNetworkLatchSSID && !isTrustedSSID(*values.trustedNetworkLatchSSID)) {
        clearLatch();
    }
    session_.reevaluateState();
}

bool TrustedNetworkTrigger::addTrustedSSID(const std::string& ssid) {
    if (ssid.empty() || isTrustedSSID(ssid)) return false;
    auto networks = session_.settings().trustedNetworks;
    networks.push_back({Uuid::random(), ssid, clock_.now()});
    setTrustedNetworks(std::move(networks));
    return true;
}

bool TrustedNetworkTrigger::isTrustedSSID(const std::string& ssid) const {
    // Typed names carry a backslash as it is, seen and added ones escaped: both stand for the same bytes.
    const std::string wanted = canonicalSSID(ssid);
    for (const auto& network : session_.settings().trustedNetworks) {
        if (canonicalSSID(network.ssid) == wanted) return true;
    }
    return false;
}

void TrustedNetworkTrigger::clearLatch() {
    session_.recordMonitorValues([](MonitorValues& m) {
        m.trustedNetworkLatchedWhileLidClosed = false;
        m.trustedNetworkLatchDeadline.reset();
        m.trustedNetworkLatchSSID.reset();
    });
}

void TrustedNetworkTrigger::latchOnLidClosed(bool trustedActive) {
    const Date deadline = clock_.now().addingSeconds(kLatchSeconds);
    session_.recordMonitorValues([trustedActive, deadline](MonitorValues& m) {
        m.trustedNetworkLatchedWhileLidClosed = trustedActive;
        if (trustedActive) {
            m.trustedNetworkLatchSSID = m.currentSSID;
            m.trustedNetworkLatchDeadline = deadline;
        } else {
            m.trustedNetworkLatchSSID.reset();
            m.trustedNetworkLatchDeadline.reset();
        }
    });
}

void TrustedNetworkTrigger::handleActivationSettingChanged() {
    if (!session_.settings().trustedNetworkActivationEnabled) {
        clearLatch();
    } else if (wifiStateRefresher_) {
        wifiStateRefresher_();  // so the current network is known at once
    }
}

void TrustedNetworkTrigger::attachWiFiMonitor(WiFiNetworkMonitor& monitor) {
    wifiStateRefresher_ = [weak = monitor.weakSelf()] {
        if (auto m = weak.lock()) m->refreshState(true);
    };
}

void TrustedNetworkTrigger::attachLidMonitor(LidStateMonitor& monitor) {
    lidMonitor_ = monitor.weakSelf();
    updateLidWatch();
}

void TrustedNetworkTrigger::updateLidWatch() {
    // Only the latch needs lid changes that nothing announces; a lid that can only be read is not read
    // every few seconds for nothing.
    if (const auto monitor = lidMonitor_.lock())
        monitor->setNeeded(session_.settings().trustedNetworkActivationEnabled);
}

std::optional<std::string> TrustedNetworkTrigger::chooseCurrentSSID() const {
    const auto& names = session_.monitorValues().connectedSSIDs;
    if (names.empty()) return std::nullopt;
    const auto trusted =
        std::ranges::find_if(names, [this](const auto& name) { return isTrustedSSID(name); });
    return trusted != names.end() ? *trusted : names.front();
}

void TrustedNetworkTrigger::handleWiFiStateChanged(bool connected, std::vector<std::string> ssids,
                                                   WiFiAuthorization authorization) {
    const MonitorValues& values = session_.monitorValues();
    const bool changed = ssids != values.connectedSSIDs;
    const bool shownChanged =
        changed || connected != values.isWiFiConnected || authorization != values.locationAuthorization;
    session_.recordMonitorValues([&](MonitorValues& m) {
        m.connectedSSIDs = std::move(ssids);
        m.isWiFiConnected = connected;
        m.locationAuthorization = authorization;
    });
    auto chosen = chooseCurrentSSID();
    session_.recordMonitorValues([&chosen](MonitorValues& m) { m.currentSSID = std::move(chosen); });
    if (changed) {
        const auto& ssid = values.currentSSID;
        const bool trusted = ssid && isTrustedSSID(*ssid);
        log_.info("AppState: SSID={} trusted={} connected={} auth={}", Private{ssid.value_or("<nil>")},
                  trusted, connected, toString(authorization));
    }
    session_.reevaluateState();
    if (shownChanged) wifiStateChanged.emit();
}

TrustedWiFiStatus TrustedNetworkTrigger::status() const {
    using Kind = TrustedWiFiStatus::Kind;
    const MonitorValues& values = session_.monitorValues();
    switch (values.locationAuthorization) {
        case WiFiAuthorization::notDetermined:
            return {Kind::locationNotDetermined, {}, false};
        case WiFiAuthorization::denied:
            return {Kind::locationDenied, {}, false};
        case WiFiAuthorization::unsupported:
            return {Kind::locationUnsupported, {}, false};
        case WiFiAuthorization::authorized:
            break;
    }
    if (values.currentSSID && !values.currentSSID->empty()) {
        return {Kind::connected, *values.currentSSID, isTrustedSSID(*values.currentSSID)};
    }
    return {values.isWiFiConnected ? Kind::ssidUnavailable : Kind::wifiOff, {}, false};
}

std::string TrustedNetworkTrigger::statusText(bool forMenu) const {
    const auto s = status();
    const char* key = forMenu ? s.menuKey() : s.settingsKey();
    if (s.kind != TrustedWiFiStatus::Kind::connected) return texts_.text(key);
    return texts_.format(key, {s.ssid});
}

}  // namespace torvel
