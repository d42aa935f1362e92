#include "Monitors/DisplayMonitor.h"

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimScreens.h"
#include "Platform/Sim/VirtualScheduler.h"

namespace torvel {
namespace {

struct DisplayMonitorTest : ::testing::Test {
    SimClock clock{Date(818035200.0)};
    VirtualScheduler scheduler{clock};
    CapturingLogSink log;
    SimScreens screens{scheduler};
    std::vector<bool> calls;

    std::unique_ptr<DisplayMonitor> make() {
        auto monitor = std::make_unique<DisplayMonitor>(screens, log);
        monitor->setOnChanged([this](bool value) { calls.push_back(value); });
        return monitor;
    }
    void screensNow(int count) {
        screens.setScreenCount(count);
        screens.emitChange();
        scheduler.runPending();
    }
};

TEST_F(DisplayMonitorTest, TwoOrMoreScreensCountAndOnlyChangesCallBack) {
    auto monitor = make();
    EXPECT_FALSE(monitor->hasExternalDisplay());  // a laptop's own screen, or a desktop's one monitor

    screensNow(2);  // lid open and one external screen
    screensNow(2);  // rearranged: the same count again
    screensNow(3);
    EXPECT_EQ(calls, std::vector<bool>{true});
    EXPECT_TRUE(monitor->hasExternalDisplay());

    screensNow(1);
    screensNow(0);  // unreadable, or every screen gone
    EXPECT_EQ(calls, (std::vector<bool>{true, false}));
}

TEST_F(DisplayMonitorTest, StartsFromTheScreensThereAndStopsListeningWhenGone) {
    screens.setScreenCount(2);
    auto monitor = make();
    EXPECT_TRUE(monitor->hasExternalDisplay());
    EXPECT_TRUE(calls.empty());  // the start-up answer is the wiring's to pass on

    screens.emitChange();  // on its way while the monitor goes
    monitor.reset();
    EXPECT_FALSE(screens.isNotifying());
    screens.setScreenCount(1);
    scheduler.runPending();
    EXPECT_TRUE(calls.empty());
}

}  // namespace
}  // namespace torvel
