#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "Monitors/DisplayMonitor.h"
#include "Monitors/MirroringMonitor.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimDisplayConfiguration.h"
#include "Platform/Sim/SimScreens.h"
#include "Platform/Sim/VirtualScheduler.h"

namespace torvel {
namespace {

struct DisplayMonitors : ::testing::Test {
    SimClock clock{Date(818035200.0)};
    VirtualScheduler scheduler{clock};
    CapturingLogSink log;
    SimScreens screens{scheduler};
    SimDisplayConfiguration displays{scheduler};
    std::vector<bool> calls;
    std::vector<Connection> connections;

    void screensNow(int count) {
        screens.setScreenCount(count);
        screens.emitChange();
        scheduler.runPending();
    }
    std::unique_ptr<MirroringMonitor> mirroring() {
        auto monitor = std::make_unique<MirroringMonitor>(displays, scheduler, log);
        monitor->checkMirroring();
        monitor->startFollowingReconfigurations();
        connections.push_back(
            monitor->mirroringChanged.connect([this](bool value) { calls.push_back(value); }));
        return monitor;
    }
};

TEST_F(DisplayMonitors, TwoOrMoreScreensCountAndOnlyChangesCallBack) {
    auto monitor = std::make_unique<DisplayMonitor>(screens, log);
    connections.push_back(
        monitor->externalDisplayChanged.connect([this](bool value) { calls.push_back(value); }));
    EXPECT_FALSE(monitor->hasExternalDisplay());  // a laptop's own screen, or a desktop's one monitor

    screensNow(2);  // lid open and one external screen
    screensNow(2);  // rearranged: the same count again
    screensNow(3);
    screensNow(1);
    screensNow(0);  // unreadable, or every screen gone
    EXPECT_EQ(calls, (std::vector<bool>{true, false}));

    screens.setScreenCount(2);
    screens.emitChange();  // on its way while the monitor goes
    monitor.reset();
    EXPECT_FALSE(screens.isNotifying());
    scheduler.runPending();
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_TRUE(DisplayMonitor(screens, log).hasExternalDisplay());  // the screens there at start count
}

TEST_F(DisplayMonitors, MirroringIsCheckedOnlyAfterFinishedReconfigurations) {
    auto monitor = mirroring();
    displays.setMirroring(true);
    displays.emitReconfiguration(1, true);
    displays.emitReconfiguration(2, true);
    scheduler.runPending();
    EXPECT_FALSE(monitor->isMirroring());  // still midway

    displays.emitReconfiguration(1, false);
    displays.emitReconfiguration(2, false);  // one check per display: the second finds nothing new
    scheduler.runPending();
    EXPECT_EQ(calls, std::vector<bool>{true});

    displays.setMirroring(false);
    displays.emitReconfiguration(2, false);
    monitor.reset();  // gone before the callback arrives
    EXPECT_FALSE(displays.isNotifying());
    scheduler.runPending();
    EXPECT_EQ(calls, std::vector<bool>{true});
}

TEST_F(DisplayMonitors, MirroringExaminesTheFirstSixteenDisplaysUpToTheFirstMirrored) {
    auto monitor = mirroring();
    std::vector<DisplayID> many;
    for (DisplayID id = 1; id <= 20; ++id) many.push_back(id);
    displays.setOnlineDisplays(many);
    displays.setMirrorSet({17, 18});
    monitor->checkMirroring();
    EXPECT_FALSE(monitor->isMirroring());
    EXPECT_EQ(displays.mirrorQueries().back(), 16u);

    displays.setMirrorSet({3, 5});
    monitor->checkMirroring();
    EXPECT_TRUE(monitor->isMirroring());
    EXPECT_EQ(displays.mirrorQueries().back(), 3u);
}

}  // namespace
}  // namespace torvel
