#include "Monitors/MirroringMonitor.h"

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimDisplayConfiguration.h"
#include "Platform/Sim/VirtualScheduler.h"

namespace torvel {
namespace {

struct MirroringMonitorTest : ::testing::Test {
    SimClock clock{Date(818035200.0)};
    VirtualScheduler scheduler{clock};
    CapturingLogSink log;
    SimDisplayConfiguration displays{scheduler};
    std::unique_ptr<MirroringMonitor> monitor = std::make_unique<MirroringMonitor>(displays, scheduler, log);
    std::vector<bool> calls;

    MirroringMonitorTest() {
        monitor->checkMirroring();
        monitor->startFollowingReconfigurations();
        monitor->setOnChanged([this](bool value) { calls.push_back(value); });
    }
};

TEST_F(MirroringMonitorTest, ChecksOnlyAfterFinishedReconfigurationsAndCallsBackOnChange) {
    displays.setMirroring(true);
    displays.emitReconfiguration(1, true);
    displays.emitReconfiguration(2, true);
    scheduler.runPending();
    EXPECT_FALSE(monitor->isMirroring());  // still midway

    displays.emitReconfiguration(1, false);
    displays.emitReconfiguration(2, false);  // one check per display: the second finds nothing new
    scheduler.runPending();
    EXPECT_TRUE(monitor->isMirroring());
    EXPECT_EQ(calls, std::vector<bool>{true});

    displays.setMirroring(false);
    displays.emitReconfiguration(2, false);
    scheduler.runPending();
    EXPECT_EQ(calls, (std::vector<bool>{true, false}));
}

TEST_F(MirroringMonitorTest, ExaminesTheFirstSixteenDisplaysUpToTheFirstMirrored) {
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

TEST_F(MirroringMonitorTest, NothingArrivesOnceTheMonitorIsGone) {
    displays.setMirroring(true);
    displays.emitReconfiguration(1, false);
    monitor.reset();
    EXPECT_FALSE(displays.isNotifying());
    scheduler.runPending();
    EXPECT_TRUE(calls.empty());
}

}  // namespace
}  // namespace torvel
