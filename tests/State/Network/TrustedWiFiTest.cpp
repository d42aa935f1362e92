#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Monitors/WiFiNetworkMonitor.h"
#include "Platform/Sim/SimWiFi.h"
#include "State/AppStateHarness.h"
#include "State/Wiring/MonitorWiring.h"

namespace torvel {
namespace {

using R = ActivationReason;
using Kind = TrustedWiFiStatus::Kind;

// The state wired to a monitor over the simulated Wi-Fi by the application's own wiring.
struct TrustedWiFi : ::testing::Test {
    AppStateHarness h;
    SimWiFi wifi{h.scheduler};
    std::unique_ptr<WiFiNetworkMonitor> monitor = std::make_unique<WiFiNetworkMonitor>(wifi, h.log);
    int callbacks = 0;
    Connection countCallbacks = monitor->stateChanged.connect(
        [this](bool, const std::vector<std::string>&, WiFiAuthorization) { ++callbacks; });
    std::unique_ptr<MonitorWiring> wiring;

    void SetUp() override {
        wire();
        h.state->set(&SettingsValues::trustedNetworkActivationEnabled, true);
    }
    void wire() {
        WiredMonitors monitors;
        monitors.wifi = monitor.get();
        wiring = std::make_unique<MonitorWiring>(*h.state, monitors);
    }
    // A new launch over the same stored settings, wired again as the application wires it.
    void restart() {
        wiring.reset();
        h.start();
        wire();
    }
    void join(std::string_view bytes) {
        wifi.connect(bytes);
        h.scheduler.runPending();
    }
    bool trustedActive() const { return h.state->activeReasons().contains(R::trustedNetwork); }
    std::string status() const { return h.state->trustedNetworks().status().toString(); }
    // What the lid handling records when the lid closes while the trusted network keeps the machine awake.
    void closeLidOn(const std::string& ssid) {
        const Date deadline = h.clock.now().addingSeconds(300);
        h.state->updateMonitorValues([&](MonitorValues& m) {
            m.isLidClosed = true;
            m.trustedNetworkLatchedWhileLidClosed = true;
            m.trustedNetworkLatchDeadline = deadline;
            m.trustedNetworkLatchSSID = ssid;
        });
    }
};

TEST_F(TrustedWiFi, OnlyTheExactNetworkKeepsAwakeAndRemovingItEndsThatAtOnce) {
    EXPECT_FALSE(h.state->trustedNetworks().addTrustedSSID(""));
    EXPECT_TRUE(h.state->trustedNetworks().addTrustedSSID("Home"));
    EXPECT_FALSE(h.state->trustedNetworks().addTrustedSSID("Home"));
    EXPECT_TRUE(h.state->trustedNetworks().addTrustedSSID("home"));
    EXPECT_TRUE(
        h.state->trustedNetworks().addTrustedSSID("caf\\xe9"));  // a Latin-1 name as the network shows it
    EXPECT_FALSE(h.state->trustedNetworks().addTrustedSSID("caf\\xE9"));  // the same network written otherwise
    EXPECT_EQ(h.state->settings().trustedNetworks.size(), 3u);

    for (const char* other : {"Home ", "HOME", "caf\xef\xbf\xbd", "caf\\xe9"}) {
        join(other);
        EXPECT_FALSE(trustedActive()) << other;
    }
    EXPECT_EQ(status(), "connected(caf\\\\xe9, untrusted)");
    join("caf\xe9");
    EXPECT_TRUE(trustedActive());
    join("Home");
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::trustedNetwork});
    EXPECT_EQ(h.state->currentAssertionType(), AssertionType::noSystemSleep);

    auto networks = h.state->settings().trustedNetworks;
    std::erase_if(networks, [](const TrustedNetwork& n) { return n.ssid == "Home"; });
    h.state->trustedNetworks().setTrustedNetworks(networks);
    EXPECT_FALSE(h.state->isActive());

    // A list the store refuses stays in memory, and the next change writes all of it.
    h.defaults.failWrites("disk full");
    EXPECT_TRUE(h.state->trustedNetworks().addTrustedSSID("Home"));
    EXPECT_TRUE(trustedActive());
    h.defaults.failWrites(std::nullopt);
    EXPECT_TRUE(h.state->trustedNetworks().addTrustedSSID("Office"));
    restart();
    EXPECT_EQ(h.state->settings().trustedNetworks.size(), 4u);
}

TEST_F(TrustedWiFi, ADamagedEntryCostsOnlyItselfInTheTrustedAndWatchedLists) {
    const auto networks = DefaultsData::fromString(
        R"([{"id":"6F1C2D3E-0000-4000-8000-000000000001","ssid":"Home","addedAt":10},)"
        R"({"id":"6F1C2D3E-0000-4000-8000-000000000002","ssid":"Cafe","addedAt":"yesterday"},)"
        R"({"id":"6F1C2D3E-0000-4000-8000-000000000003","ssid":"Office","addedAt":30}])");
    const auto apps = DefaultsData::fromString(
        R"([{"id":7},{"id":"6F1C2D3E-0000-4000-8000-000000000004","bundleID":"org.gimp.GIMP",)"
        R"("name":"GIMP","addedAt":0}])");
    h.defaults.set(kTrustedNetworksKey, networks);
    h.defaults.set("watchedApps", apps);
    h.log.clear();
    restart();

    std::vector<std::string> ssids;
    for (const auto& n : h.state->settings().trustedNetworks) ssids.push_back(n.ssid);
    EXPECT_EQ(ssids, (std::vector<std::string>{"Home", "Office"}));
    ASSERT_EQ(h.state->processTrigger().watchedApps().size(), 1u);
    EXPECT_EQ(h.state->processTrigger().watchedApps().front().desktopId, "org.gimp.GIMP");
    join("Home");
    EXPECT_TRUE(trustedActive());

    // Both stored lists are kept whole, and a change of the list does not touch the copy.
    const std::string when = h.clock.now().toString();
    EXPECT_EQ(h.defaults.object("trustedNetworks.unreadable." + when), DefaultsValue(networks));
    EXPECT_EQ(h.defaults.object("watchedApps.unreadable." + when), DefaultsValue(apps));
    EXPECT_TRUE(h.log.contains("Settings", "Failed to decode trustedNetworks, keeping the 2 entries"));
    EXPECT_TRUE(h.log.contains("AppState", "Failed to decode watchedApps, keeping the 1 entries"));
    EXPECT_TRUE(std::ranges::all_of(h.log.lines(), [](const auto& l) {
        return l.message.find("decode") == std::string::npos || l.level == LogLevel::error;
    }));
    EXPECT_TRUE(h.state->trustedNetworks().addTrustedSSID("Cafe"));
    EXPECT_EQ(h.defaults.object("trustedNetworks.unreadable." + when), DefaultsValue(networks));
}

TEST_F(TrustedWiFi, AnyTrustedNetworkOfTwoAdaptersCountsAndIsTheOneShown) {
    h.state->trustedNetworks().addTrustedSSID("Office");
    for (const auto& devices : {std::vector<std::string>{"Office", "Guest"}, {"Guest", "Office"}}) {
        wifi.connectAll(devices);
        h.scheduler.runPending();
        EXPECT_TRUE(trustedActive());
        EXPECT_EQ(status(), "connected(Office, trusted)");
    }
    // The lid latches the trusted one, so a later change of the list keeps the latch.
    h.state->handleLidStateChanged(true);
    EXPECT_EQ(h.state->monitorValues().trustedNetworkLatchSSID, "Office");
    h.state->trustedNetworks().addTrustedSSID("Zoo");
    EXPECT_TRUE(h.state->monitorValues().trustedNetworkLatchedWhileLidClosed);
    h.state->handleLidStateChanged(false);

    auto networks = h.state->settings().trustedNetworks;
    std::erase_if(networks, [](const TrustedNetwork& n) { return n.ssid == "Office"; });
    h.state->trustedNetworks().setTrustedNetworks(networks);
    EXPECT_FALSE(h.state->isActive());
    EXPECT_EQ(status(), "connected(Guest, untrusted)");
}

TEST_F(TrustedWiFi, LidLatchOutlastsAWiFiDropUntilItsDeadline) {
    h.state->trustedNetworks().addTrustedSSID("Home");
    join("Home");
    closeLidOn("Home");
    wifi.disconnect();
    h.scheduler.runPending();
    EXPECT_TRUE(trustedActive());

    h.scheduler.advance(290);
    EXPECT_TRUE(trustedActive());
    // No timer of its own: the heartbeat's next evaluation after the deadline ends it.
    h.scheduler.advance(40);
    EXPECT_FALSE(h.state->isActive());
    EXPECT_TRUE(h.state->monitorValues().trustedNetworkLatchedWhileLidClosed);

    // Taking the latched network off the list, or switching the feature off, clears the latch.
    h.state->trustedNetworks().addTrustedSSID("Office");
    closeLidOn("Home");
    EXPECT_TRUE(trustedActive());
    h.state->trustedNetworks().setTrustedNetworks({h.state->settings().trustedNetworks.back()});
    EXPECT_FALSE(h.state->isActive());
    EXPECT_FALSE(h.state->monitorValues().trustedNetworkLatchSSID);
    closeLidOn("Office");
    h.state->set(&SettingsValues::trustedNetworkActivationEnabled, false);
    EXPECT_FALSE(h.state->monitorValues().trustedNetworkLatchedWhileLidClosed);
}

TEST_F(TrustedWiFi, PauseSilencesTheTriggerUntilItEnds) {
    h.state->trustedNetworks().addTrustedSSID("Home");
    h.state->trustedNetworks().addTrustedSSID("Office");
    join("Home");
    h.state->automationPause().pause(AutomationPause::Mode::indefinitely);
    EXPECT_FALSE(h.state->isActive());
    join("Office");
    EXPECT_FALSE(h.state->isActive());
    h.state->automationPause().resume();
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::trustedNetwork});
}

TEST_F(TrustedWiFi, StatusFollowsTheConnectionAndTheAuthorisation) {
    // Readings that change what the status shows are announced, also when activation stays as it was.
    int announced = 0;
    const Connection connection = h.state->trustedNetworks().wifiStateChanged.connect([&] { ++announced; });
    h.texts.setTable({{"menu.trusted_wifi_current_trusted", "Wi-Fi: %@ (trusted)"},
                      {"settings.trusted_networks.status_wifi_off", "Wi-Fi is off"}});
    EXPECT_EQ(status(), "wifiOff");
    EXPECT_EQ(h.state->trustedNetworks().statusText(false), "Wi-Fi is off");
    wifi.connectWithoutName();
    h.scheduler.runPending();
    EXPECT_EQ(status(), "ssidUnavailable");
    EXPECT_EQ(announced, 1);
    monitor->refreshState(true);  // the same reading again
    EXPECT_EQ(announced, 1);
    h.state->trustedNetworks().addTrustedSSID("Home");
    join("Home");
    EXPECT_EQ(h.state->trustedNetworks().statusText(true), "Wi-Fi: Home (trusted)");

    // A system that hides the name without permission: no name, so no trusted network.
    wifi.setAuthorization(WiFiAuthorization::denied);
    h.scheduler.runPending();
    EXPECT_EQ(status(), "locationDenied");
    EXPECT_FALSE(h.state->isActive());
    EXPECT_EQ(announced, 3);
}

TEST_F(TrustedWiFi, MonitorCallsBackOnChangesAndOnEveryForcedRefresh) {
    const int atStart = callbacks;
    monitor->refreshState(false);
    EXPECT_EQ(callbacks, atStart);
    monitor->refreshState(true);
    EXPECT_EQ(callbacks, atStart + 1);
    // Switching the feature on asks for a forced refresh, so the network is known at once.
    h.state->set(&SettingsValues::trustedNetworkActivationEnabled, true);
    EXPECT_EQ(callbacks, atStart + 2);

    join("Secret\nname");
    EXPECT_EQ(callbacks, atStart + 3);
    EXPECT_EQ(monitor->currentState().ssids, std::vector<std::string>{"Secret\\x0aname"});
    // Names stay out of the log.
    for (const auto& line : h.log.lines()) EXPECT_EQ(line.message.find("Secret"), std::string::npos);

    monitor.reset();
    EXPECT_FALSE(wifi.isNotifying());
    h.state->set(&SettingsValues::trustedNetworkActivationEnabled, true);  // refresher outlived its monitor
}

}  // namespace
}  // namespace torvel
