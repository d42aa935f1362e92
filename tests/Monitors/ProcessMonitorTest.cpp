#include "Monitors/ProcessMonitor.h"

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimSystemLocale.h"
#include "Platform/Sim/SimWorkspace.h"
#include "Platform/Sim/VirtualScheduler.h"

namespace torvel {
namespace {

WorkspaceApplication app(std::optional<std::string> desktopId, std::optional<std::string> name,
                         std::int32_t pid, bool regular = true) {
    return {std::move(desktopId), std::move(name), pid, regular};
}

class ProcessMonitorTest : public ::testing::Test {
protected:
    ProcessMonitorTest() {
        workspace.setRunningApplications({app("org.gnome.Terminal", "Terminal", 10)});
        workspace.addProcess(100);
        workspace.addProcess(200);
    }

    SimClock clock{Date(0.0)};
    VirtualScheduler scheduler{clock};
    CapturingLogSink log;
    SimSystemLocale locale;
    SimWorkspace workspace{scheduler};
    std::unique_ptr<ProcessMonitor> monitor = std::make_unique<ProcessMonitor>(workspace, locale, log);
    std::vector<bool> changes;
    int appsChanged = 0;
    Connection changing = monitor->activeChanged.connect([this](bool active) { changes.push_back(active); });
    Connection appsChanging = monitor->runningAppsChanged.connect([this] { ++appsChanged; });
};

TEST_F(ProcessMonitorTest, ListsEachVisibleApplicationOnceSortedByNameIgnoringCase) {
    workspace.setRunningApplications(
        {app("org.example.Beta", "Beta", 1), app("org.example.beta2", "beta", 2),
         app("org.example.alpha", "alpha", 3), app("org.example.Beta", "Beta", 4),  // a second instance
         app("org.example.tray", "Tray helper", 5, false), app(std::nullopt, "script", 6),
         app("", "blank", 7), app("org.example.unnamed", std::nullopt, 8)});
    EXPECT_EQ(monitor->runningApplications(),
              (std::vector<RunningAppInfo>{{"org.example.unnamed", "", 8},
                                           {"org.example.alpha", "alpha", 3},
                                           {"org.example.Beta", "Beta", 1},
                                           {"org.example.beta2", "beta", 2}}));
    // Background processes count as running; nothing matches an empty identity.
    EXPECT_TRUE(monitor->isRunning("org.example.tray"));
    EXPECT_FALSE(monitor->isRunning(""));
    EXPECT_FALSE(monitor->isRunning("org.example.BETA"));
}

TEST_F(ProcessMonitorTest, WatchedApplicationKeepsTheTriggerActiveWhileItRuns) {
    monitor->setWatchedDesktopIds({"org.gnome.Terminal"});
    EXPECT_EQ(changes, std::vector<bool>{true});

    workspace.launch(app("org.gnome.Nautilus", "Files", 11));
    workspace.terminate(10);
    EXPECT_TRUE(monitor->isActive());  // noticed on the main loop, not before
    scheduler.runPending();
    EXPECT_EQ(appsChanged, 2);  // also for the launch that changed nothing
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
}

TEST_F(ProcessMonitorTest, FollowsLaunchesOnlyWhileSomethingDependsOnThem) {
    monitor->setWatchedDesktopIds({""});  // an empty identity follows nothing
    EXPECT_FALSE(workspace.isObservingChanges());
    EXPECT_EQ(workspace.readCount(), 0);  // nor is the process list scanned
    monitor->setWatchedDesktopIds({"org.example.editor"});
    EXPECT_TRUE(workspace.isObservingChanges());
    monitor->setWatchedDesktopIds({});
    monitor->setTransientDesktopId("org.example.absent");  // not running: ends at once
    EXPECT_FALSE(workspace.isObservingChanges());
    EXPECT_TRUE(changes.empty());

    monitor->setTransientDesktopId("org.gnome.Terminal");
    EXPECT_TRUE(workspace.isObservingChanges());
    workspace.terminate(10);
    scheduler.runPending();
    EXPECT_FALSE(monitor->transientDesktopId());
    EXPECT_FALSE(workspace.isObservingChanges());
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));

    workspace.launch(app("org.gnome.Nautilus", "Files", 11));
    scheduler.runPending();
    EXPECT_EQ(appsChanged, 1);                             // only the termination seen while following
    EXPECT_EQ(monitor->runningApplications().size(), 1u);  // asked for: read fresh

    // A list on screen is followed while it shows, with nothing watched.
    monitor->setListShown(true);
    workspace.launch(app("org.gnome.Terminal", "Terminal", 12));
    scheduler.runPending();
    EXPECT_EQ(appsChanged, 2);
    monitor->setListShown(false);
    EXPECT_FALSE(workspace.isObservingChanges());
}

TEST_F(ProcessMonitorTest, TransientProcessHoldsUntilItExitsAndOnlyTheLatestWatchCounts) {
    monitor->watchTransientPID(100);
    monitor->watchTransientPID(200);
    EXPECT_EQ(workspace.activeExitWatches(), 1u);
    workspace.exitProcess(100);  // the replaced watch
    scheduler.runPending();
    EXPECT_EQ(monitor->transientPID(), 200);
    workspace.exitProcess(200);
    scheduler.runPending();
    EXPECT_FALSE(monitor->transientPID());
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
    EXPECT_EQ(workspace.activeExitWatches(), 0u);
}

TEST_F(ProcessMonitorTest, ProcessesThatCannotBeFollowedAreNotWatched) {
    monitor->setWatchedDesktopIds({"org.gnome.Terminal"});
    workspace.failNextWatch();
    for (auto pid : std::vector<std::optional<std::int32_t>>{std::nullopt, 0, -1, 999, 100}) {
        monitor->watchTransientPID(pid);
        EXPECT_FALSE(monitor->transientPID());
    }
    EXPECT_EQ(changes, std::vector<bool>{true});  // the watched application still counts
    // Only the process that exists but cannot be followed is worth a line.
    EXPECT_EQ(log.messages("ProcessMonitor").back(),
              "Cannot follow transient PID 100 to its exit; not keeping awake for it");
}

TEST_F(ProcessMonitorTest, EndingTheMonitorStopsEverythingItFollowed) {
    monitor->setWatchedDesktopIds({"org.gnome.Terminal"});
    monitor->watchTransientPID(100);
    workspace.exitProcess(100);  // delivered after the monitor is gone
    monitor.reset();
    EXPECT_FALSE(workspace.isObservingChanges());
    EXPECT_EQ(workspace.activeExitWatches(), 0u);
    scheduler.runPending();
    EXPECT_EQ(changes, std::vector<bool>{true});
}

}  // namespace
}  // namespace torvel
