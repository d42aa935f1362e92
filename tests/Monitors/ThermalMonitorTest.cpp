#include "Monitors/ThermalMonitor.h"

#include <gtest/gtest.h>

#include <vector>

#include "../State/AppStateHarness.h"
#include "Platform/Sim/SimThermal.h"
#include "State/Wiring/MonitorWiring.h"

namespace torvel {
namespace {

TEST(ThermalMonitorTest, PassesOnChangesOnlyAndReadsWhenAskedOrWarm) {
    SimClock clock;
    VirtualScheduler scheduler{clock};
    CapturingLogSink log;
    SimThermal thermal;
    ThermalMonitor monitor{thermal, scheduler, log};
    std::vector<ThermalState> seen;
    auto connection = monitor.stateChanged.connect([&](ThermalState s) { seen.push_back(s); });

    // Cool and not needed: nothing is scheduled, nothing read.
    monitor.refresh();
    scheduler.advance(3600);
    EXPECT_EQ(thermal.readCount(), 1);
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);

    // Needed and cool: read only when asked (the heartbeat), never on a timer of its own.
    monitor.readIfNeeded();
    EXPECT_EQ(thermal.readCount(), 1);
    monitor.setNeeded(true);
    scheduler.advance(3600);
    EXPECT_EQ(thermal.readCount(), 1);
    monitor.readIfNeeded();
    EXPECT_EQ(thermal.readCount(), 2);
    // Warm: read every few seconds; repeats and failed readings are not passed on, and a reading
    // asked for on top of the periodic one is not taken.
    thermal.setState(ThermalState::fair);
    monitor.readIfNeeded();
    EXPECT_TRUE(monitor.isPolling());
    monitor.readIfNeeded();
    scheduler.advance(ThermalMonitor::kPollSeconds * 2);
    thermal.setState(std::nullopt);
    scheduler.advance(ThermalMonitor::kPollSeconds);
    EXPECT_EQ(monitor.currentState(), ThermalState::fair);
    EXPECT_EQ(thermal.readCount(), 6);
    EXPECT_EQ(seen, std::vector<ThermalState>{ThermalState::fair});

    // No longer needed but warm: watched until it is cool again, then silent.
    monitor.setNeeded(false);
    thermal.setState(ThermalState::nominal);
    scheduler.advance(ThermalMonitor::kPollSeconds);
    EXPECT_EQ(seen, (std::vector<ThermalState>{ThermalState::fair, ThermalState::nominal}));
    EXPECT_FALSE(monitor.isPolling());
    const int reads = thermal.readCount();
    scheduler.advance(3600);
    EXPECT_EQ(thermal.readCount(), reads);

    // Without sensors a cool machine is not read in the background, needed or not.
    thermal.setState(std::nullopt);
    monitor.setNeeded(true);
    monitor.refresh();
    monitor.readIfNeeded();
    EXPECT_FALSE(monitor.isPolling());
    scheduler.advance(3600);
    EXPECT_EQ(thermal.readCount(), reads + 1);
}

// The application state wired to the monitor by the application's own wiring.
struct ThermalTriggerTest : ::testing::Test {
    AppStateHarness h;
    SimThermal thermal;
    ThermalMonitor monitor{thermal, h.scheduler, h.log};
    std::unique_ptr<MonitorWiring> wiring;

    void SetUp() override {
        WiredMonitors monitors;
        monitors.thermal = &monitor;
        wiring = std::make_unique<MonitorWiring>(*h.state, monitors);
        h.scheduler.runPending();
    }
};

TEST_F(ThermalTriggerTest, IdleAndCoolReadsNothing) {
    const int reads = thermal.readCount();
    h.scheduler.advance(24 * 3600);
    EXPECT_EQ(thermal.readCount(), reads);
    EXPECT_EQ(h.scheduler.activeTimerCount(), 0u);

    // A session is read for once as it starts, then with each heartbeat, and with no timer of the
    // monitor's own while the machine is cool; after the session nothing is read.
    h.state->activate(Duration::indefinite());
    EXPECT_EQ(thermal.readCount(), reads + 1);
    EXPECT_FALSE(monitor.isPolling());
    h.scheduler.advance(30 * 4);
    EXPECT_EQ(thermal.readCount(), reads + 5);
    h.state->deactivateAll();
    h.scheduler.advance(3600);
    EXPECT_EQ(thermal.readCount(), reads + 5);

    // With the kill switch off nothing depends on the heat.
    h.state->set(&SettingsValues::thermalKillSwitchEnabled, false);
    h.state->activate(Duration::indefinite());
    EXPECT_TRUE(h.state->isActive());
    h.scheduler.advance(3600);
    EXPECT_EQ(thermal.readCount(), reads + 5);
}

TEST_F(ThermalTriggerTest, FreshReadingRefusesAnActivationWhenCritical) {
    // The machine got hot while Torvel was idle and read nothing.
    thermal.setState(ThermalState::critical);
    h.state->activate(Duration::indefinite());
    EXPECT_FALSE(h.state->isActive());
    EXPECT_TRUE(h.held().empty());
    EXPECT_EQ(h.state->monitorValues().thermalState, ThermalState::critical);
    EXPECT_TRUE(monitor.isPolling());
}

TEST_F(ThermalTriggerTest, OverheatingStopsTheSessionAndCoolingResumesIt) {
    h.state->activate(Duration::indefinite());
    ASSERT_TRUE(h.state->isActive());

    // Heat is noticed with the next heartbeat; from then on it is read every few seconds.
    thermal.setState(ThermalState::serious);
    h.scheduler.advance(30);
    EXPECT_TRUE(monitor.isPolling());
    EXPECT_TRUE(h.state->isActive());
    EXPECT_EQ(h.notificationIDs(), std::vector<std::string>{"thermal-throttle"});
    thermal.setState(ThermalState::critical);
    h.scheduler.advance(ThermalMonitor::kPollSeconds);
    EXPECT_FALSE(h.state->isActive());
    EXPECT_TRUE(h.held().empty());
    EXPECT_TRUE(h.sessions.loadSuspendedSession().has_value());
    EXPECT_EQ(h.notificationIDs().size(), 2u);  // the throttle notice, no stop notice of its own

    // The suspended session waits while the machine is read, and comes back when the heat is gone.
    h.scheduler.advance(ThermalMonitor::kPollSeconds * 10);
    EXPECT_FALSE(h.state->isActive());
    thermal.setState(ThermalState::nominal);
    h.scheduler.advance(ThermalMonitor::kPollSeconds);
    h.scheduler.runPending();
    EXPECT_TRUE(h.state->isActive());
    EXPECT_TRUE(h.state->isManuallyActivated());
    EXPECT_EQ(h.notificationIDs().back(), "thermal-resumed");
    EXPECT_EQ(h.state->monitorValues().thermalState, ThermalState::nominal);

    // With the kill switch off the heat is only reported.
    h.state->set(&SettingsValues::thermalKillSwitchEnabled, false);
    h.state->handleThermalStateChanged(ThermalState::critical);
    EXPECT_TRUE(h.state->isActive());
}

}  // namespace
}  // namespace torvel
