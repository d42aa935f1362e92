#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "Monitors/LidStateMonitor.h"
#include "Monitors/WiFiNetworkMonitor.h"
#include "Platform/Sim/SimLid.h"
#include "Platform/Sim/SimWiFi.h"
#include "State/AppStateHarness.h"
#include "State/Wiring/MonitorWiring.h"

namespace torvel {
namespace {

using R = ActivationReason;

// The state wired to the Wi-Fi and lid monitors by the application's own wiring.
struct LidHandling : ::testing::Test {
    AppStateHarness h;
    SimWiFi wifi{h.scheduler};
    SimLid lid{h.scheduler};
    std::unique_ptr<WiFiNetworkMonitor> wifiMonitor = std::make_unique<WiFiNetworkMonitor>(wifi, h.log);
    std::unique_ptr<LidStateMonitor> lidMonitor = std::make_unique<LidStateMonitor>(lid, h.log);
    std::unique_ptr<MonitorWiring> wiring;
    int lidCallbacks = 0;
    Connection countLidCallbacks = lidMonitor->lidChanged.connect([this](bool) { ++lidCallbacks; });

    void SetUp() override {
        WiredMonitors monitors;
        monitors.wifi = wifiMonitor.get();
        monitors.lid = lidMonitor.get();
        wiring = std::make_unique<MonitorWiring>(*h.state, monitors);
        h.state->set(&SettingsValues::trustedNetworkActivationEnabled, true);
        h.state->trustedNetworks().addTrustedSSID("Home");
    }
    void setLid(std::optional<bool> closed) {
        lid.setClosed(closed);
        h.scheduler.runPending();
    }
    bool trustedActive() const { return h.state->activeReasons().contains(R::trustedNetwork); }
    const MonitorValues& values() const { return h.state->monitorValues(); }
};

TEST_F(LidHandling, ClosingOnATrustedNetworkKeepsTheReasonUntilTheDeadlineAndOpeningEndsIt) {
    wifi.connect("Home");
    h.scheduler.runPending();
    ASSERT_TRUE(trustedActive());

    setLid(true);
    EXPECT_TRUE(values().trustedNetworkLatchedWhileLidClosed);
    EXPECT_EQ(values().trustedNetworkLatchSSID, "Home");
    EXPECT_EQ(values().trustedNetworkLatchDeadline, h.clock.now().addingSeconds(300));

    // The Wi-Fi drops as the machine folds up: the latch keeps the reason until its deadline.
    wifi.disconnect();
    h.scheduler.runPending();
    EXPECT_TRUE(trustedActive());
    h.scheduler.advance(299);
    h.state->reevaluateState();
    EXPECT_TRUE(trustedActive());
    h.scheduler.advance(1);
    h.state->reevaluateState();
    EXPECT_FALSE(trustedActive());

    // Back on the trusted network, closing again latches again; opening clears the latch before the
    // re-evaluation, so a network that is gone ends the reason at once.
    wifi.connect("Home");
    h.scheduler.runPending();
    setLid(false);
    setLid(true);
    wifi.disconnect();
    h.scheduler.runPending();
    ASSERT_TRUE(trustedActive());
    setLid(false);
    EXPECT_FALSE(values().trustedNetworkLatchedWhileLidClosed);
    EXPECT_FALSE(values().trustedNetworkLatchDeadline);
    EXPECT_FALSE(values().trustedNetworkLatchSSID);
    EXPECT_FALSE(trustedActive());
}

TEST_F(LidHandling, OnlyRealChangesPassAndOtherReasonsSetNoLatch) {
    h.state->activate(Duration::indefinite());
    ASSERT_TRUE(h.state->isActive());
    const int before = lidCallbacks;
    lid.emitChange();  // an announcement that is no change
    setLid(true);
    lid.emitChange();
    setLid(std::nullopt);  // an unreadable lid is no change either
    h.scheduler.runPending();
    EXPECT_EQ(lidCallbacks, before + 1);
    EXPECT_TRUE(values().isLidClosed);
    EXPECT_FALSE(values().trustedNetworkLatchedWhileLidClosed);
    EXPECT_FALSE(values().trustedNetworkLatchDeadline);
    EXPECT_TRUE(h.state->isActive());
}

TEST_F(LidHandling, TheLidIsReadWithoutAnnouncementsOnlyWhileTheTrustedNetworkTriggerIsOn) {
    EXPECT_TRUE(lid.readingNeeded());
    h.state->set(&SettingsValues::trustedNetworkActivationEnabled, false);
    EXPECT_FALSE(lid.readingNeeded());
    h.state->set(&SettingsValues::trustedNetworkActivationEnabled, true);
    EXPECT_TRUE(lid.readingNeeded());
    lidMonitor.reset();
    EXPECT_FALSE(lid.readingNeeded());
    setLid(true);  // no monitor left to hear it
}

TEST(LidStartup, AMachineStartedWithItsLidClosedRunsTheCloseHandlingOnce) {
    AppStateHarness h;
    SimLid lid{h.scheduler};
    lid.setClosed(true);
    LidStateMonitor monitor(lid, h.log);
    monitor.startMonitoring();
    EXPECT_TRUE(monitor.isClosed());
    h.state->handleLidStateChanged(monitor.isClosed());
    EXPECT_TRUE(h.state->monitorValues().isLidClosed);
    EXPECT_FALSE(h.state->monitorValues().trustedNetworkLatchedWhileLidClosed);
}

}  // namespace
}  // namespace torvel
