#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AppStateHarness.h"
#include "Monitors/DisplayMonitor.h"
#include "Monitors/MirroringMonitor.h"
#include "Platform/Sim/SimDisplayConfiguration.h"
#include "Platform/Sim/SimScreens.h"
#include "State/Wiring/MonitorWiring.h"

namespace torvel {
namespace {

using R = ActivationReason;

// The state wired to both monitors by the application's own wiring.
struct DisplayTrigger : ::testing::Test {
    AppStateHarness h;
    SimScreens screens{h.scheduler};
    SimDisplayConfiguration displays{h.scheduler};
    std::unique_ptr<DisplayMonitor> displayMonitor;
    std::unique_ptr<MirroringMonitor> mirroringMonitor;
    std::unique_ptr<MonitorWiring> wiring;

    void wire() {
        displayMonitor = std::make_unique<DisplayMonitor>(screens, h.log);
        mirroringMonitor = std::make_unique<MirroringMonitor>(displays, h.scheduler, h.log);
        WiredMonitors monitors;
        monitors.displays = displayMonitor.get();
        monitors.mirroring = mirroringMonitor.get();
        wiring = std::make_unique<MonitorWiring>(*h.state, monitors);
    }
    void enableBoth() {
        h.state->set(&SettingsValues::autoActivateOnExternalDisplay, true);
        h.state->set(&SettingsValues::autoActivateOnMirroring, true);
    }
    void screensNow(int count) {
        screens.setScreenCount(count);
        screens.emitChange();
        h.scheduler.runPending();
    }
    void mirroringNow(bool on) {
        displays.setMirroring(on);
        displays.emitReconfiguration(1, true);
        displays.emitReconfiguration(1, false);
        h.scheduler.runPending();
    }
};

TEST_F(DisplayTrigger, DisplaysAlreadyThereAtStartUpCountWithoutAnyChange) {
    enableBoth();
    screens.setScreenCount(2);
    displays.setMirroring(true);
    wire();
    EXPECT_EQ(h.state->activeReasons(), (ReasonSet{R::externalDisplay, R::mirroring}));
    EXPECT_EQ(h.held(), std::vector<std::string>{"NoDisplaySleepAssertion"});
}

TEST_F(DisplayTrigger, SecondDisplayAndMirroringEachKeepTheScreenAwakeWithTheirReason) {
    wire();
    enableBoth();
    EXPECT_FALSE(h.state->isActive());

    screensNow(2);
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::externalDisplay});
    EXPECT_EQ(h.held(), std::vector<std::string>{"NoDisplaySleepAssertion"});

    mirroringNow(true);
    screensNow(1);
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::mirroring});
    EXPECT_EQ(h.state->currentAssertionType(), AssertionType::noDisplaySleep);

    const auto lines = h.stateLines().size();
    mirroringNow(true);  // a reconfiguration that changes nothing
    screensNow(1);
    EXPECT_EQ(h.stateLines().size(), lines);

    mirroringNow(false);
    EXPECT_FALSE(h.state->isActive());
    EXPECT_TRUE(h.held().empty());
}

TEST_F(DisplayTrigger, ReadingsStopReachingTheStateWhenTheWiringEnds) {
    wire();
    enableBoth();
    wiring.reset();
    screensNow(2);
    mirroringNow(true);
    EXPECT_TRUE(displayMonitor->hasExternalDisplay());
    EXPECT_FALSE(h.state->monitorValues().hasExternalDisplay);
    EXPECT_FALSE(h.state->monitorValues().isMirroring);
    EXPECT_FALSE(h.state->isActive());
}

}  // namespace
}  // namespace torvel
